#include "tests/support/MainLoopHelpers.hpp"

#include <chrono>
#include <thread>

#include "platform/MainLoop.hpp"

namespace zqtest {

bool runMainLoopUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    if (platform::isMainThread()) return platform::runUntil(predicate, timeoutSeconds);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(timeoutSeconds));
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void runMainLoopFor(double seconds) {
    runMainLoopUntil([] { return false; }, seconds);
}

void Event::signal() {
    platform::MutexLock lock(mutex_);
    signalled_ = true;
}

bool Event::isSignalled() const {
    platform::MutexLock lock(mutex_);
    return signalled_;
}

bool Event::wait(double timeoutSeconds) const {
    return runMainLoopUntil([this] { return isSignalled(); }, timeoutSeconds);
}

}  // namespace zqtest
