// The source of the current time. The process-wide clock is the system clock unless a test
// replaces it with a ManualClock. Clocks are read from any thread; ManualClock guards its time.
#pragma once

#include <atomic>
#include <memory>

#include "platform/Date.hpp"

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;

    // The process-wide clock; never null.
    static std::shared_ptr<Clock> current();
    // Replaces the process-wide clock; null restores the system clock.
    static void setCurrent(std::shared_ptr<Clock> clock);
};

class SystemClock final : public Clock {
  public:
    Date now() const override;
};

// A clock that only moves when told to.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(Date start = Date(1700000000.0))
        : seconds_(start.timeIntervalSince1970()) {}
    Date now() const override { return Date(seconds_.load()); }
    void set(Date date) { seconds_.store(date.timeIntervalSince1970()); }
    void advance(double seconds);

  private:
    std::atomic<double> seconds_;
};

// Installs a clock for the lifetime of the guard, then restores the previous one.
class ScopedClock {
  public:
    explicit ScopedClock(std::shared_ptr<Clock> clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

  private:
    std::shared_ptr<Clock> previous_;
};

}  // namespace platform
