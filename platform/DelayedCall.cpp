#include "platform/DelayedCall.hpp"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/MainLoop.hpp"
#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Longer delays are as good as never and would overflow the clock's arithmetic.
constexpr double kMaxDelaySeconds = 100.0 * 365 * 24 * 3600;

struct Call {
    const void* target;
    std::function<void()> block;
    bool cancelled = false;  // guarded by the timer's mutex
};

// The one timer thread and its calls. A call sits in `scheduled` until it is due, then in
// `posted` until the main loop runs it, so that cancellation reaches it in both places.
struct Timer {
    Mutex mutex;
    CondVar changed;
    std::multimap<SteadyClock::time_point, std::shared_ptr<Call>> scheduled GUARDED_BY(mutex);
    std::unordered_multimap<const void*, std::shared_ptr<Call>> posted GUARDED_BY(mutex);
    std::thread thread GUARDED_BY(mutex);
    bool stopping GUARDED_BY(mutex) = false;

    void loop() EXCLUDES(mutex);
    void run(const std::shared_ptr<Call>& call) EXCLUDES(mutex);
    void stop() EXCLUDES(mutex);
};

struct TimerStopper {
    Timer& timer;
    ~TimerStopper() { timer.stop(); }
};

Timer& timer() {
    static Immortal<Timer> state;
    static TimerStopper stopper{state.get()};
    return state.get();
}

void Timer::loop() {
    std::vector<std::shared_ptr<Call>> due;
    mutex.lock();
    while (!stopping) {
        if (scheduled.empty()) {
            changed.wait(mutex);
            continue;
        }
        auto now = SteadyClock::now();
        if (scheduled.begin()->first > now) {
            // A copy: the call may be cancelled, and its entry freed, while we wait.
            const SteadyClock::time_point next = scheduled.begin()->first;
            changed.waitUntil(mutex, next);
            continue;
        }
        while (!scheduled.empty() && scheduled.begin()->first <= now) {
            auto call = std::move(scheduled.begin()->second);
            scheduled.erase(scheduled.begin());
            posted.emplace(call->target, call);
            due.push_back(std::move(call));
        }
        mutex.unlock();
        for (auto& call : due) {
            MainLoop::dispatchAsync([call] { timer().run(call); });
        }
        due.clear();
        mutex.lock();
    }
    mutex.unlock();
}

void Timer::run(const std::shared_ptr<Call>& call) {
    std::function<void()> block;
    {
        MutexLock lock(mutex);
        if (call->cancelled) return;
        auto [first, last] = posted.equal_range(call->target);
        for (auto it = first; it != last; ++it) {
            if (it->second == call) {
                posted.erase(it);
                break;
            }
        }
        block = std::move(call->block);
    }
    block();
}

void Timer::stop() {
    std::thread thread;
    {
        MutexLock lock(mutex);
        stopping = true;
        changed.notifyAll();
        thread.swap(this->thread);
    }
    if (thread.joinable()) thread.join();
}

}  // namespace

void performAfterDelay(const void* target, double delaySeconds, std::function<void()> block) {
    auto delay = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(std::clamp(delaySeconds, 0.0, kMaxDelaySeconds)));
    auto call = std::make_shared<Call>(Call{target, std::move(block)});
    Timer& t = timer();
    MutexLock lock(t.mutex);
    if (t.stopping) return;  // the process is exiting
    t.scheduled.emplace(SteadyClock::now() + delay, std::move(call));
    if (!t.thread.joinable()) t.thread = std::thread([&t] { t.loop(); });
    t.changed.notifyAll();
}

void cancelPreviousPerformRequestsWithTarget(const void* target) {
    std::vector<std::function<void()>> dropped;  // destroyed after the lock is released
    Timer& t = timer();
    MutexLock lock(t.mutex);
    for (auto it = t.scheduled.begin(); it != t.scheduled.end();) {
        if (it->second->target != target) {
            ++it;
            continue;
        }
        it->second->cancelled = true;
        dropped.push_back(std::move(it->second->block));
        it = t.scheduled.erase(it);
    }
    auto [first, last] = t.posted.equal_range(target);
    for (auto it = first; it != last; ++it) {
        it->second->cancelled = true;
        dropped.push_back(std::move(it->second->block));
    }
    t.posted.erase(first, last);
}

}  // namespace platform
