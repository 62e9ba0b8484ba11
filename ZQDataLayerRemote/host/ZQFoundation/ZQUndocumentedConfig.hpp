// Settings of the host that applications rarely change. Static functions; any thread (atomics).
#pragma once

#include <cstdint>

class ZQUndocumentedConfig {
  public:
    // Seconds allowed for one binary upload; callers use it only when above 0. Set explicitly,
    // or else read from the main bundle's information dictionary key "ZQRestUploaderTimeout";
    // 0 when neither gives a number.
    static double restUploaderTimeout();
    // A value below 0 forgets the explicit setting.
    static void setRestUploaderTimeout(double seconds);

    // A collection answer of at least this many bytes is saved into the cache from its text, a
    // run of rows at a time, instead of being parsed into one tree first. Set explicitly, or else
    // the information dictionary's "ZQStreamedAnswerBytes"; 262,144 when neither gives a number.
    static int64_t streamedAnswerBytes();
    // Rows the cache writes per step of one save of many rows (all in one transaction), set
    // explicitly or else by "ZQCacheSaveBatchRows"; 250 when neither gives a number above 0.
    static int64_t cacheSaveBatchRows();
    // A value below 0 forgets the explicit setting.
    static void setStreamedAnswerBytes(int64_t bytes);
    static void setCacheSaveBatchRows(int64_t rows);
};
