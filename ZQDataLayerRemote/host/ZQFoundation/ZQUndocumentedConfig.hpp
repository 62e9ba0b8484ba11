// Settings of the host that applications rarely change. Static functions; any thread (atomics).
#pragma once

class ZQUndocumentedConfig {
  public:
    // Seconds allowed for one binary upload; callers use it only when above 0. Set explicitly,
    // or else read from the main bundle's information dictionary key "ZQRestUploaderTimeout";
    // 0 when neither gives a number.
    static double restUploaderTimeout();
    // A value below 0 forgets the explicit setting.
    static void setRestUploaderTimeout(double seconds);
};
