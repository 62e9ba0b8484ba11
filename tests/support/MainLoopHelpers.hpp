// Waiting in tests: run the main loop until a condition holds (so main-queue work proceeds while
// the test waits), with a generous timeout that only guards against hangs, and a one-shot event
// for callbacks that arrive on other threads. Free functions; Event is thread-safe (its mutex
// guards the flag).
#pragma once

#include <functional>

#include "platform/Mutex.hpp"

namespace zqtest {

// Long enough for the slowest sanitizer build on a loaded machine; never a measure of speed.
inline constexpr double kDefaultWaitSeconds = 60.0;

// On the main thread, runs the main loop until the predicate holds; elsewhere, polls it. Returns
// the predicate's last answer.
bool runMainLoopUntil(const std::function<bool()>& predicate,
                      double timeoutSeconds = kDefaultWaitSeconds);
// Runs the main loop (or sleeps, off main) for the given time: lets late callbacks show up when a
// test checks that something does NOT happen.
void runMainLoopFor(double seconds);

class Event {
  public:
    void signal() EXCLUDES(mutex_);
    bool isSignalled() const EXCLUDES(mutex_);
    // Waits for signal(), running the main loop when called on the main thread.
    bool wait(double timeoutSeconds = kDefaultWaitSeconds) const;

  private:
    mutable platform::Mutex mutex_;
    bool signalled_ GUARDED_BY(mutex_) = false;
};

}  // namespace zqtest
