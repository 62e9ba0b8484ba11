#include "platform/WorkerPool.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/SpinWait.hpp"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long process exit waits for workers to end the task they are running before it leaves
// them detached (a worker blocked for ever must not hang the exit).
constexpr std::chrono::milliseconds kExitGrace{500};

thread_local bool tlsIsWorker = false;

// The pool's critical sections are a few instructions long, so a thread that finds the lock taken
// tries again for a moment before it sleeps: a worker that ends a task while another thread
// submits one would otherwise sleep in the kernel and need waking, which costs far more.
void lockBriefly(Mutex& mutex) ACQUIRE(mutex) {
    for (int i = 0; i < 200; ++i) {
        if (mutex.try_lock()) return;
        cpuRelax();
    }
    mutex.lock();
}

}  // namespace

struct WorkerPool::State {
    Mutex mutex;
    CondVar workCv;     // workers wait here for tasks
    CondVar monitorCv;  // the stall monitor waits here
    CondVar exitCv;     // process exit waits here for workers to leave
    std::deque<std::function<void()>> tasks GUARDED_BY(mutex);
    std::atomic<size_t> queued{
        0};  // tasks.size(), for the spinning worker to read without the lock
    std::map<uint64_t, std::thread> threads GUARDED_BY(mutex);
    std::vector<uint64_t> exited GUARDED_BY(mutex);  // left their loop, not yet joined
    std::thread monitor GUARDED_BY(mutex);
    uint64_t nextThreadId GUARDED_BY(mutex) = 0;
    uint64_t dequeued GUARDED_BY(mutex) = 0;  // progress mark for the stall monitor
    size_t liveThreads GUARDED_BY(mutex) = 0;
    size_t idle GUARDED_BY(mutex) = 0;      // workers waiting on workCv
    size_t wakeups GUARDED_BY(mutex) = 0;   // notifications not yet taken by a worker
    size_t blocked GUARDED_BY(mutex) = 0;   // workers inside a BlockingScope
    size_t spinning GUARDED_BY(mutex) = 0;  // workers looking for work before they sleep (0 or 1)
    bool monitorSleeping GUARDED_BY(mutex) = false;
    bool shutdown GUARDED_BY(mutex) = false;
    const size_t base = std::max<size_t>(2, std::thread::hardware_concurrency());

    size_t freeWorkers() const REQUIRES(mutex) { return idle > wakeups ? idle - wakeups : 0; }
    void spawnWorker() REQUIRES(mutex);
    void startMonitor() REQUIRES(mutex);
    void workerLoop(uint64_t id) EXCLUDES(mutex);
    // Waits up to kSpinBeforeSleep for a task to be queued, without the lock.
    void spinForWork() const;
    void monitorLoop() EXCLUDES(mutex);
    void stop() EXCLUDES(mutex);
    // Work is waiting, no thread is free and fewer than the base count are running work.
    bool needsThreadNow() const REQUIRES(mutex) {
        return !shutdown && !tasks.empty() && freeWorkers() == 0 &&
               liveThreads - std::min(blocked, liveThreads) < base && liveThreads < kMaxThreadCount;
    }
};

namespace {

// Stops the pool when static objects are destroyed at exit; made right after the pool itself.
struct PoolStopper {
    WorkerPool::State& state;
    ~PoolStopper() { state.stop(); }
};

WorkerPool::State& pool() {
    static Immortal<WorkerPool::State> state;
    static PoolStopper stopper{state.get()};
    return state.get();
}

}  // namespace

void WorkerPool::State::spawnWorker() {
    uint64_t id = nextThreadId++;
    try {
        threads.emplace(id, std::thread([this, id] { workerLoop(id); }));
    } catch (const std::system_error&) {
        return;  // out of threads: the ones we have carry on
    }
    ++liveThreads;
    startMonitor();
}

void WorkerPool::State::startMonitor() {
    if (monitor.joinable()) return;
    try {
        monitor = std::thread([this] { monitorLoop(); });
    } catch (const std::system_error&) {
    }
}

void WorkerPool::State::workerLoop(uint64_t id) {
    tlsIsWorker = true;
    mutex.lock();
    bool ranTask = false;
    while (!shutdown) {
        if (!tasks.empty()) {
            std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            queued.store(tasks.size(), std::memory_order_relaxed);
            ++dequeued;
            mutex.unlock();
            task();
            task = nullptr;  // captured objects go before the lock is taken again
            lockBriefly(mutex);
            ranTask = true;
            continue;
        }
        // One worker at a time looks on for a moment after a task, so that a busy pool does not
        // burn more than one processor waiting.
        if (ranTask && spinning == 0) {
            ranTask = false;
            ++spinning;
            mutex.unlock();
            spinForWork();
            lockBriefly(mutex);
            --spinning;
            continue;
        }
        ranTask = false;
        ++idle;
        bool woken = true;
        if (liveThreads > base) {
            woken = workCv.waitUntil(mutex, SteadyClock::now() + kIdleExit);
        } else {
            workCv.wait(mutex);
        }
        --idle;
        if (wakeups > 0) --wakeups;
        if (!woken && tasks.empty() && liveThreads > base) break;
    }
    --liveThreads;
    exited.push_back(id);
    exitCv.notifyAll();
    monitorCv.notifyAll();  // to be joined
    mutex.unlock();
}

void WorkerPool::State::spinForWork() const {
    // The next task of a chain (the caller's next request, an operation that was waiting for the
    // one just finished) usually comes sooner than a sleeping worker would wake for it.
    spinFor(kSpinBeforeSleep, [this] { return queued.load(std::memory_order_relaxed) > 0; });
}

void WorkerPool::State::monitorLoop() {
    mutex.lock();
    while (!shutdown) {
        if (!exited.empty()) {
            std::vector<std::thread> done;
            for (uint64_t id : exited) {
                auto it = threads.find(id);
                done.push_back(std::move(it->second));
                threads.erase(it);
            }
            exited.clear();
            mutex.unlock();
            for (auto& t : done) t.join();
            mutex.lock();
            continue;
        }
        if (tasks.empty()) {
            monitorSleeping = true;
            monitorCv.wait(mutex);
            monitorSleeping = false;
            continue;
        }
        // Work is waiting. If nothing is taken from the list for a grace period while no thread
        // is free, every thread is busy or blocked on something the pool cannot see: add one.
        uint64_t mark = dequeued;
        auto deadline = SteadyClock::now() + kStallGrace;
        while (!shutdown && SteadyClock::now() < deadline) monitorCv.waitUntil(mutex, deadline);
        if (!shutdown && !tasks.empty() && dequeued == mark && freeWorkers() == 0 &&
            liveThreads < kMaxThreadCount) {
            spawnWorker();
        }
    }
    mutex.unlock();
}

void WorkerPool::State::stop() {
    std::thread monitorThread;
    std::map<uint64_t, std::thread> all;
    std::vector<uint64_t> left;
    {
        MutexLock lock(mutex);
        shutdown = true;
        workCv.notifyAll();
        monitorCv.notifyAll();
        auto deadline = SteadyClock::now() + kExitGrace;
        while (liveThreads > 0 && exitCv.waitUntil(mutex, deadline)) {
        }
        monitorThread = std::move(monitor);
        all.swap(threads);
        left.swap(exited);
    }
    if (monitorThread.joinable()) monitorThread.join();
    for (auto& [id, thread] : all) {
        if (std::find(left.begin(), left.end(), id) != left.end()) {
            thread.join();
        } else {
            thread.detach();  // still inside a task; the pool's state outlives it
        }
    }
}

size_t WorkerPool::baseThreadCount() {
    return pool().base;
}

void WorkerPool::submit(std::function<void()> task) {
    State& s = pool();
    CondVar* wake = nullptr;
    {
        MutexLock lock(s.mutex);
        s.tasks.push_back(std::move(task));
        s.queued.store(s.tasks.size(), std::memory_order_relaxed);
        if (s.shutdown) return;  // the process is exiting: nothing runs any more
        if (s.tasks.size() <= s.spinning) {
            // The spinning worker takes it.
        } else if (s.freeWorkers() > 0) {
            ++s.wakeups;
            wake = &s.workCv;
        } else if (s.needsThreadNow()) {
            s.spawnWorker();
        } else if (s.monitorSleeping) {
            wake = &s.monitorCv;
        }
    }
    // Woken after the lock is let go: a thread woken under it would at once block on it again,
    // which costs two more context switches per task. The state is never destroyed, so the
    // condition variable outlives this call.
    if (wake) wake->notifyOne();
}

bool WorkerPool::isWorkerThread() {
    return tlsIsWorker;
}

size_t WorkerPool::threadCount() {
    State& s = pool();
    MutexLock lock(s.mutex);
    return s.liveThreads;
}

size_t WorkerPool::busyThreadCount() {
    State& s = pool();
    MutexLock lock(s.mutex);
    return s.liveThreads - s.idle + s.tasks.size();
}

WorkerPool::BlockingScope::BlockingScope() {
    if (!tlsIsWorker) return;
    State& s = pool();
    MutexLock lock(s.mutex);
    ++s.blocked;
    counted_ = true;
    if (s.needsThreadNow()) s.spawnWorker();
}

WorkerPool::BlockingScope::~BlockingScope() {
    if (!counted_) return;
    State& s = pool();
    MutexLock lock(s.mutex);
    --s.blocked;
}

}  // namespace platform
