#include "platform/Operation.hpp"

#include <algorithm>
#include <atomic>

#include "platform/WorkerPool.hpp"

namespace platform {

// Shared by the operation and by the operations that depend on it (weakly), so that a
// dependency can tell its dependents it is done without keeping them alive.
struct Operation::State {
    enum class Phase { Pending, Executing, Finished };

    Mutex mutex;
    CondVar settledCv;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};  // marked finished (isFinished)
    std::atomic<bool> settled{false};   // finished and its completion block has returned
    Phase phase GUARDED_BY(mutex) = Phase::Pending;
    std::string name GUARDED_BY(mutex);
    std::function<void()> completion GUARDED_BY(mutex);
    std::vector<std::shared_ptr<Operation>> dependencies GUARDED_BY(mutex);
    std::vector<std::weak_ptr<State>> dependents GUARDED_BY(mutex);
    bool enqueued GUARDED_BY(mutex) = false;
    bool readyReported GUARDED_BY(mutex) = false;
    std::shared_ptr<QueueLink> queue GUARDED_BY(mutex);  // until the operation has finished
    uint64_t queueSeq GUARDED_BY(mutex) = 0;

    bool readyLocked() const REQUIRES(mutex) {
        if (cancelled.load()) return true;
        return std::all_of(dependencies.begin(), dependencies.end(),
                           [](const auto& d) { return d->state_->settled.load(); });
    }

    // Tells the queue, once, that the operation can start.
    void checkReady() EXCLUDES(mutex) {
        std::shared_ptr<QueueLink> link;
        uint64_t seq = 0;
        {
            MutexLock lock(mutex);
            if (!queue || readyReported || !readyLocked()) return;
            readyReported = true;
            link = queue;
            seq = queueSeq;
        }
        link->operationBecameReady(seq);
    }
};

Operation::Operation() : state_(std::make_shared<State>()) {}

Operation::~Operation() = default;

void Operation::cancel() {
    if (state_->finished.load()) return;  // too late to matter
    state_->cancelled.store(true);
    state_->checkReady();
}

bool Operation::isCancelled() const {
    return state_->cancelled.load();
}

bool Operation::isExecuting() const {
    MutexLock lock(state_->mutex);
    return state_->phase == State::Phase::Executing;
}

bool Operation::isFinished() const {
    return state_->finished.load();
}

bool Operation::isSettled() const {
    return state_->settled.load();
}

bool Operation::isReady() const {
    MutexLock lock(state_->mutex);
    return state_->readyLocked();
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
    if (!operation || operation.get() == this) return;
    {
        // A dependency that settles after this registration will tell us; one that settled
        // before is seen through its settled flag.
        State& dep = *operation->state_;
        MutexLock lock(dep.mutex);
        if (!dep.settled.load()) dep.dependents.push_back(state_);
    }
    MutexLock lock(state_->mutex);
    state_->dependencies.push_back(operation);
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
    {
        MutexLock lock(state_->mutex);
        auto& deps = state_->dependencies;
        deps.erase(std::remove(deps.begin(), deps.end(), operation), deps.end());
    }
    state_->checkReady();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
    MutexLock lock(state_->mutex);
    return state_->dependencies;
}

void Operation::setCompletionBlock(std::function<void()> block) {
    MutexLock lock(state_->mutex);
    state_->completion = std::move(block);
}

void Operation::setName(std::string name) {
    MutexLock lock(state_->mutex);
    state_->name = std::move(name);
}

std::string Operation::name() const {
    MutexLock lock(state_->mutex);
    return state_->name;
}

void Operation::waitUntilFinished() {
    if (state_->settled.load()) return;
    WorkerPool::BlockingScope blocking;
    MutexLock lock(state_->mutex);
    while (!state_->settled.load()) state_->settledCv.wait(state_->mutex);
}

void Operation::start() {
    {
        MutexLock lock(state_->mutex);
        if (state_->phase != State::Phase::Pending) return;
        if (!state_->cancelled.load()) state_->phase = State::Phase::Executing;
    }
    if (!isCancelled()) {
        main();
        if (isAsynchronous()) return;
    }
    finish();
}

void Operation::finish() {
    // The queue may hold the last reference and let go of it below.
    std::shared_ptr<Operation> keepAlive = weak_from_this().lock();
    std::shared_ptr<State> s = state_;
    std::function<void()> completion;
    std::shared_ptr<QueueLink> queue;
    uint64_t seq = 0;
    std::vector<std::weak_ptr<State>> dependents;
    {
        MutexLock lock(s->mutex);
        if (s->phase == State::Phase::Finished) return;
        s->phase = State::Phase::Finished;
        s->finished.store(true);
        completion = std::move(s->completion);
        s->completion = nullptr;
        queue = std::move(s->queue);
        seq = s->queueSeq;
    }
    if (completion) completion();
    {
        MutexLock lock(s->mutex);
        s->settled.store(true);
        dependents.swap(s->dependents);
        s->settledCv.notifyAll();
    }
    for (auto& weak : dependents) {
        if (auto dependent = weak.lock()) dependent->checkReady();
    }
    if (queue) queue->operationFinished(seq);
}

bool Operation::attachToQueue(std::shared_ptr<QueueLink> queue, uint64_t seq) {
    {
        MutexLock lock(state_->mutex);
        if (state_->enqueued || state_->phase != State::Phase::Pending) return false;
        state_->enqueued = true;
        state_->queue = std::move(queue);
        state_->queueSeq = seq;
    }
    state_->checkReady();
    return true;
}

void Operation::detachFromQueue() {
    std::shared_ptr<QueueLink> queue;  // let go after the lock is released
    MutexLock lock(state_->mutex);
    queue.swap(state_->queue);
}

std::shared_ptr<BlockOperation> BlockOperation::create(std::function<void()> block) {
    return std::make_shared<BlockOperation>(std::move(block));
}

}  // namespace platform
