#include "platform/MainLoop.hpp"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <deque>
#include <thread>
#include <utility>

#include "platform/Mutex.hpp"
#include "platform/SpinWait.hpp"
#include "platform/WorkerPool.hpp"

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A predicate may turn true through another thread without anything being posted; runUntil
// looks again at least this often while it waits.
constexpr std::chrono::milliseconds kPredicateRecheck{5};
// How long a main thread woken by expectBlockSoon looks for the block before it sleeps again.
constexpr std::chrono::milliseconds kSpinForExpectedBlock{1};

struct MainState {
    Mutex mutex;
    CondVar posted;
    std::deque<std::function<void()>> blocks GUARDED_BY(mutex);
    // blocks.size(), for the main thread to look at without the lock before it sleeps.
    std::atomic<size_t> pending{0};
    // Set while the main thread sleeps in runUntil; read without the lock by expectBlockSoon.
    std::atomic<bool> sleeping{false};
    // A worker has said a block is coming (expectBlockSoon) while the main thread slept.
    bool expected GUARDED_BY(mutex) = false;
    // The designated main thread; the default id means "the process's initial thread".
    std::atomic<std::thread::id> designated{};
};

// Workers may post to main while the process exits, so the state is never destroyed.
MainState& mainState() {
    static Immortal<MainState> state;
    return state.get();
}

#if !defined(__linux__)
// Static initialisation runs on the initial thread.
const std::thread::id kInitialThread = std::this_thread::get_id();
#endif

bool isInitialThread() {
#if defined(__linux__)
    // Asked on every dispatch; a thread's identity does not change, so it is worked out (two
    // system calls) once per thread. A process forked from another thread than its initial one
    // would keep that thread's answer.
    thread_local const bool initial = static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid();
    return initial;
#else
    return std::this_thread::get_id() == kInitialThread;
#endif
}

// Takes the oldest posted block, or an empty function when there is none.
std::function<void()> takeBlock(MainState& s) EXCLUDES(s.mutex) {
    MutexLock lock(s.mutex);
    if (s.blocks.empty()) return {};
    std::function<void()> block = std::move(s.blocks.front());
    s.blocks.pop_front();
    s.pending.store(s.blocks.size(), std::memory_order_relaxed);
    return block;
}

// Signals the end of one sync dispatch; lives on the waiting thread's stack. `done` is set under
// the mutex, so that a waiter that takes the mutex after seeing it knows the main thread has let
// go of this object; it is atomic so that the waiter may look at it before it sleeps.
struct SyncDone {
    Mutex mutex;
    CondVar cv;
    std::atomic<bool> done{false};
};

}  // namespace

void MainLoop::designateCurrentThreadAsMain() {
    mainState().designated.store(std::this_thread::get_id());
}

bool MainLoop::isMainThread() {
    std::thread::id designated = mainState().designated.load(std::memory_order_relaxed);
    if (designated != std::thread::id()) return designated == std::this_thread::get_id();
    return isInitialThread();
}

void MainLoop::dispatchAsync(std::function<void()> block) {
    MainState& s = mainState();
    MutexLock lock(s.mutex);
    s.blocks.push_back(std::move(block));
    s.pending.store(s.blocks.size(), std::memory_order_relaxed);
    s.posted.notifyAll();
}

void MainLoop::expectBlockSoon() {
    MainState& s = mainState();
    // Only a sleeping main thread needs waking; a busy or spinning one finds the block itself.
    if (!s.sleeping.load(std::memory_order_relaxed)) return;
    MutexLock lock(s.mutex);
    if (!s.sleeping.load(std::memory_order_relaxed)) return;
    s.expected = true;
    s.posted.notifyAll();
}

void MainLoop::dispatchSync(const std::function<void()>& block) {
    if (isMainThread()) {
        block();
        return;
    }
    SyncDone done;
    dispatchAsync([&block, &done] {
        block();
        // Notify under the lock: the waiter cannot return and destroy `done` before we let go.
        MutexLock lock(done.mutex);
        done.done.store(true, std::memory_order_release);
        done.cv.notifyAll();
    });
    WorkerPool::BlockingScope blocking;
    // A short block (a merge of a few objects) is over before this thread would have gone to
    // sleep and been woken again.
    spinFor(kSpinBeforeSleep, [&done] { return done.done.load(std::memory_order_acquire); });
    MutexLock lock(done.mutex);
    while (!done.done.load(std::memory_order_acquire)) done.cv.wait(done.mutex);
}

bool MainLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    assert(isMainThread());
    MainState& s = mainState();
    auto deadline =
        SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                 std::chrono::duration<double>(std::max(0.0, timeoutSeconds)));
    // As after a block: whoever waits here has usually just started work whose first step comes
    // back to this thread at once (a save handler's request body).
    bool ranBlock = true;
    for (;;) {
        if (predicate()) return true;
        if (std::function<void()> block = takeBlock(s)) {
            block();
            ranBlock = true;
        } else if (ranBlock) {
            // A block often makes a worker post the next one at once (a worker that waited for
            // it to finish, an answer handed back): look for it a moment before sleeping.
            ranBlock = false;
            spinFor(kSpinBeforeSleep,
                    [&s] { return s.pending.load(std::memory_order_relaxed) > 0; });
        } else {
            bool expected = false;
            {
                MutexLock lock(s.mutex);
                auto now = SteadyClock::now();
                if (s.blocks.empty() && now < deadline) {
                    s.sleeping.store(true, std::memory_order_relaxed);
                    s.posted.waitUntil(s.mutex, std::min(deadline, now + kPredicateRecheck));
                    s.sleeping.store(false, std::memory_order_relaxed);
                }
                expected = std::exchange(s.expected, false) && s.blocks.empty();
            }
            if (expected) {
                spinFor(kSpinForExpectedBlock,
                        [&s] { return s.pending.load(std::memory_order_relaxed) > 0; });
            }
        }
        if (SteadyClock::now() >= deadline) return predicate();
    }
}

size_t MainLoop::drain() {
    assert(isMainThread());
    MainState& s = mainState();
    size_t available = 0;
    {
        MutexLock lock(s.mutex);
        available = s.blocks.size();
    }
    size_t ran = 0;
    while (ran < available) {
        std::function<void()> block = takeBlock(s);
        if (!block) break;  // a nested drain ran some of them
        block();
        ++ran;
    }
    return ran;
}

}  // namespace platform
