#include "platform/Clock.hpp"

#include <chrono>
#include <mutex>

namespace platform {

namespace {
std::mutex& clockMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<Clock>& clockSlot() {
    static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}
}  // namespace

std::shared_ptr<Clock> Clock::current() {
    std::lock_guard<std::mutex> lock(clockMutex());
    return clockSlot();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
    std::lock_guard<std::mutex> lock(clockMutex());
    clockSlot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

Date SystemClock::now() const {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date(std::chrono::duration<double>(since).count());
}

void ManualClock::advance(double seconds) {
    double current = seconds_.load();
    while (!seconds_.compare_exchange_weak(current, current + seconds)) {
    }
}

ScopedClock::ScopedClock(std::shared_ptr<Clock> clock) : previous_(Clock::current()) {
    Clock::setCurrent(std::move(clock));
}

ScopedClock::~ScopedClock() {
    Clock::setCurrent(previous_);
}

Date Date::now() {
    return Clock::current()->now();
}

}  // namespace platform
