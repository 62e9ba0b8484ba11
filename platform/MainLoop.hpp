// The main queue: a serial queue of blocks drained by the thread the host designates as main
// (by default the process's initial thread). Other threads post to it; the main thread drains it
// from runUntil(). Thread-safe.
#pragma once

#include <functional>

namespace platform {

class MainLoop {
  public:
    // Makes the calling thread the main thread (tools and tests that run main elsewhere).
    static void designateCurrentThreadAsMain();
    static bool isMainThread();

    static void dispatchAsync(std::function<void()> block);
    // Says that a block will be posted within about a millisecond (a worker is about to end work
    // whose last step runs on main). A main thread asleep in runUntil wakes now and looks for the
    // block until it comes, for at most a millisecond, so that its wake-up (tens of microseconds
    // on an idle processor) overlaps the rest of the worker's work instead of following it. A
    // hint only: nothing waits for it, and a main thread that is not asleep ignores it.
    static void expectBlockSoon();
    // Runs the block on the main thread and waits for it; inline when already on main.
    static void dispatchSync(const std::function<void()>& block);

    // On the main thread: runs posted blocks until the predicate holds or the timeout (seconds)
    // passes; returns the predicate's last answer. The predicate is checked after each block and
    // every few milliseconds while idle, so it may also turn true through other threads.
    static bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds);
    // On the main thread: runs the blocks posted so far and returns how many ran.
    static size_t drain();
};

inline void dispatchAsyncOnMain(std::function<void()> block) {
    MainLoop::dispatchAsync(std::move(block));
}
inline void dispatchSyncOnMain(const std::function<void()>& block) {
    MainLoop::dispatchSync(block);
}
inline bool isMainThread() {
    return MainLoop::isMainThread();
}
inline bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    return MainLoop::runUntil(predicate, timeoutSeconds);
}

}  // namespace platform
