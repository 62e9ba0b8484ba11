// The host logger behind ZQLog::loggerService(). One shared instance for the process. Every
// message is kept in an in-memory record (for tests and diagnostics, the oldest dropped past a
// limit) and, when logging is enabled and the caller asks for the console, written to stderr.
// Any thread logs; the mutex guards the record, the enabled flag is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Date.hpp"
#include "platform/Mutex.hpp"

// Message types (what the message is about) and levels (how serious it is). Callers may pass any
// integer; these are the values the host itself uses.
enum ZQLogType : int64_t {
    ZQLogTypeGeneral = 0,
    ZQLogTypeNetwork = 1,
    ZQLogTypeData = 2,
    ZQLogTypeSecurity = 3
};
enum ZQLogLevel : int64_t {
    ZQLogLevelDebug = 0,
    ZQLogLevelInfo = 1,
    ZQLogLevelNotice = 2,
    ZQLogLevelWarning = 3,
    ZQLogLevelError = 4
};

struct ZQLogRecord {
    std::string message;
    int64_t type = 0;
    int64_t level = 0;
    bool logToConsole = false;
    bool wasEnabled = false;  // logging was enabled when the message arrived
    platform::Date date;
};

class ZQLoggerService {
  public:
    static constexpr size_t kMaxRecords = 10000;

    // The process-wide logger; logging starts enabled when the environment variable ZQ_LOG is
    // "1", disabled otherwise.
    static std::shared_ptr<ZQLoggerService> shared();

    ZQLoggerService() = default;
    ZQLoggerService(const ZQLoggerService&) = delete;
    ZQLoggerService& operator=(const ZQLoggerService&) = delete;

    bool isLogEnabled() const { return enabled_.load(std::memory_order_relaxed); }
    void setLogEnabled(bool enabled) { enabled_.store(enabled, std::memory_order_relaxed); }
    // Turns the stderr output off without disabling logging (quiet test runs).
    void setConsoleOutputEnabled(bool enabled) { console_.store(enabled); }

    void logMessage(const std::string& message, int64_t forType, int64_t withLevel,
                    bool logToConsole) EXCLUDES(mutex_);

    // Sees every message logged while logging is enabled, on the logging thread, after the
    // message is recorded (a tool's verbose output); none by default. The observer must not log.
    using Observer = std::function<void(const ZQLogRecord&)>;
    void setObserver(Observer observer) EXCLUDES(mutex_);

    std::vector<ZQLogRecord> recordedMessages() const EXCLUDES(mutex_);
    // True when a recorded message contains the text.
    bool hasRecordedMessageContaining(const std::string& text) const EXCLUDES(mutex_);
    void clearRecordedMessages() EXCLUDES(mutex_);

  private:
    std::atomic<bool> enabled_{false};
    std::atomic<bool> console_{true};
    mutable platform::Mutex mutex_;
    std::deque<ZQLogRecord> records_ GUARDED_BY(mutex_);
    std::shared_ptr<const Observer> observer_ GUARDED_BY(mutex_);
};
