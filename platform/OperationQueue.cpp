#include "platform/OperationQueue.hpp"

#include <deque>
#include <map>
#include <set>
#include <utility>

#include "platform/MainLoop.hpp"
#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace platform {

// The queue's scheduling state. Held by the public object and by every unfinished
// operation it holds (as its QueueLink), so that a queue whose object is gone still runs and
// lets go of what it took (see ~OperationQueue).
struct OperationQueue::Private : Operation::QueueLink,
                                 std::enable_shared_from_this<OperationQueue::Private> {
    struct Entry {
        std::shared_ptr<Operation> operation;
        bool dispatched = false;  // handed to the pool or the main loop
    };

    Private(std::string n, bool main) : isMain(main), name(std::move(n)) {}

    const bool isMain;
    mutable Mutex mutex;
    CondVar finishedCv;
    // Held operations by order of addition (the key), so that operations() keeps that order and
    // waitUntilAllOperationsAreFinished can wait for those added before it was called.
    std::map<uint64_t, Entry> entries GUARDED_BY(mutex);
    std::deque<uint64_t> ready GUARDED_BY(mutex);  // in the order they became ready
    uint64_t nextSeq GUARDED_BY(mutex) = 0;
    // Marks of the threads in waitUntilAllOperationsAreFinished: each waits until no operation
    // numbered below its mark is left, and is only woken when that may have happened.
    std::multiset<uint64_t> waitMarks GUARDED_BY(mutex);
    int running GUARDED_BY(mutex) = 0;
    bool suspended GUARDED_BY(mutex) = false;
    // While cancelAllOperations goes through the queue nothing starts: a cancelled operation is
    // ready at once, and finishing it would otherwise start a dependent the loop has not
    // cancelled yet.
    int cancelling GUARDED_BY(mutex) = 0;
    int maxConcurrent GUARDED_BY(mutex) = isMain ? 1 : kDefaultMaxConcurrentOperationCount;
    std::string name GUARDED_BY(mutex);

    void add(const std::shared_ptr<Operation>& operation) EXCLUDES(mutex);
    void operationBecameReady(uint64_t seq) override EXCLUDES(mutex);
    void operationFinished(uint64_t seq) override EXCLUDES(mutex);
    void pump() EXCLUDES(mutex);
    std::vector<std::shared_ptr<Operation>> takeStartable() REQUIRES(mutex);
    bool doneBelow(uint64_t mark) const REQUIRES(mutex) {
        return entries.empty() || entries.begin()->first >= mark;
    }
    void wakeWaitersLocked() REQUIRES(mutex) {
        if (!waitMarks.empty() && doneBelow(*waitMarks.begin())) finishedCv.notifyAll();
    }
    void launch(const std::vector<std::shared_ptr<Operation>>& operations) const;
};

void OperationQueue::Private::add(const std::shared_ptr<Operation>& operation) {
    if (!operation) return;
    uint64_t seq = 0;
    {
        MutexLock lock(mutex);
        seq = nextSeq++;
        entries.emplace(seq, Entry{operation});
    }
    if (operation->attachToQueue(shared_from_this(), seq)) return;
    // Already in a queue or already started: not ours to run.
    MutexLock lock(mutex);
    entries.erase(seq);
    wakeWaitersLocked();
}

void OperationQueue::Private::operationBecameReady(uint64_t seq) {
    std::vector<std::shared_ptr<Operation>> startable;
    {
        MutexLock lock(mutex);
        if (entries.count(seq) == 0) return;
        ready.push_back(seq);
        startable = takeStartable();
    }
    launch(startable);
}

void OperationQueue::Private::operationFinished(uint64_t seq) {
    std::shared_ptr<Operation> released;  // let go after the lock
    std::vector<std::shared_ptr<Operation>> startable;
    {
        MutexLock lock(mutex);
        auto it = entries.find(seq);
        if (it == entries.end()) return;
        if (it->second.dispatched) --running;
        released = std::move(it->second.operation);
        entries.erase(it);
        wakeWaitersLocked();
        startable = takeStartable();
    }
    launch(startable);
}

void OperationQueue::Private::pump() {
    std::vector<std::shared_ptr<Operation>> startable;
    {
        MutexLock lock(mutex);
        startable = takeStartable();
    }
    launch(startable);
}

std::vector<std::shared_ptr<Operation>> OperationQueue::Private::takeStartable() {
    std::vector<std::shared_ptr<Operation>> out;
    while (!suspended && cancelling == 0 && !ready.empty() &&
           (maxConcurrent < 0 || running < maxConcurrent)) {
        uint64_t seq = ready.front();
        ready.pop_front();
        auto it = entries.find(seq);
        // Gone when it finished without the queue (started by hand, or finished early).
        if (it == entries.end() || it->second.dispatched) continue;
        it->second.dispatched = true;
        ++running;
        out.push_back(it->second.operation);
    }
    return out;
}

namespace {

// A worker starting an operation for a queue keeps here the first operation that becomes
// startable once its own operation has finished (a dependent, or the next one waiting for a
// slot), and starts it itself when its operation returns, instead of waking another worker for
// it. A chain such as a request and the parsing of its answer then runs on one thread. Only once
// its operation has settled: before, the operation (or its completion block) may still wait for
// what it started.
struct Continuation {
    const Operation* running;
    std::shared_ptr<Operation> next;
};
thread_local Continuation* tContinuation = nullptr;

void startOnWorker(std::shared_ptr<Operation> operation) {
    while (operation) {
        Continuation here{operation.get(), nullptr};
        struct Restore {
            Continuation* outer;
            ~Restore() { tContinuation = outer; }
        } restore{std::exchange(tContinuation, &here)};
        operation->start();
        operation = std::move(here.next);
    }
}

}  // namespace

void OperationQueue::Private::launch(
    const std::vector<std::shared_ptr<Operation>>& operations) const {
    for (const auto& operation : operations) {
        if (isMain) {
            MainLoop::dispatchAsync([operation] { operation->start(); });
        } else if (operation->isCancelled() && MainLoop::isMainThread()) {
            // It only finishes (a handler's last step, cancelled on the main thread once the
            // handler has reported): a worker woken for that would cost more than the step.
            operation->start();
        } else if (tContinuation && !tContinuation->next && tContinuation->running->isSettled()) {
            tContinuation->next = operation;
        } else {
            WorkerPool::submit([operation] { startOnWorker(operation); });
        }
    }
}

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
    return std::make_shared<OperationQueue>(std::make_shared<Private>(std::move(name), false));
}

std::shared_ptr<OperationQueue> OperationQueue::mainQueue() {
    // Never destroyed: workers may add to the main queue while the process exits.
    static Immortal<std::shared_ptr<OperationQueue>> queue(
        std::make_shared<OperationQueue>(std::make_shared<Private>("main", true)));
    return queue.get();
}

OperationQueue::OperationQueue(std::shared_ptr<Private> p) : p_(std::move(p)) {}

// Operations of a running queue outlive its object: they start and finish as if it were still
// there. A suspended queue would never start the operations it holds, so it lets go of those
// (they stay unfinished); the ones already running finish normally.
OperationQueue::~OperationQueue() {
    std::vector<std::shared_ptr<Operation>> dropped;
    {
        MutexLock lock(p_->mutex);
        if (!p_->suspended) return;
        for (auto it = p_->entries.begin(); it != p_->entries.end();) {
            if (it->second.dispatched) {
                ++it;
                continue;
            }
            dropped.push_back(std::move(it->second.operation));
            it = p_->entries.erase(it);
        }
        p_->ready.clear();
        p_->wakeWaitersLocked();
    }
    for (const auto& operation : dropped) operation->detachFromQueue();
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
    p_->add(operation);
}

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& operations,
                                   bool waitUntilFinished) {
    for (const auto& operation : operations) p_->add(operation);
    if (!waitUntilFinished) return;
    for (const auto& operation : operations) {
        if (operation) operation->waitUntilFinished();
    }
}

void OperationQueue::addOperationWithBlock(std::function<void()> block) {
    p_->add(BlockOperation::create(std::move(block)));
}

void OperationQueue::cancelAllOperations() {
    {
        MutexLock lock(p_->mutex);
        ++p_->cancelling;
    }
    for (const auto& operation : operations()) operation->cancel();
    {
        MutexLock lock(p_->mutex);
        --p_->cancelling;
    }
    p_->pump();
}

void OperationQueue::setSuspended(bool suspended) {
    {
        MutexLock lock(p_->mutex);
        p_->suspended = suspended;
    }
    if (!suspended) p_->pump();
}

bool OperationQueue::isSuspended() const {
    MutexLock lock(p_->mutex);
    return p_->suspended;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    {
        MutexLock lock(p_->mutex);
        if (p_->isMain) return;  // the main queue stays serial
        p_->maxConcurrent = count < 0 ? kDefaultMaxConcurrentOperationCount : count;
    }
    p_->pump();
}

int OperationQueue::maxConcurrentOperationCount() const {
    MutexLock lock(p_->mutex);
    return p_->maxConcurrent;
}

void OperationQueue::setName(std::string name) {
    MutexLock lock(p_->mutex);
    p_->name = std::move(name);
}

std::string OperationQueue::name() const {
    MutexLock lock(p_->mutex);
    return p_->name;
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    MutexLock lock(p_->mutex);
    std::vector<std::shared_ptr<Operation>> out;
    out.reserve(p_->entries.size());
    for (const auto& [seq, entry] : p_->entries) out.push_back(entry.operation);
    return out;
}

size_t OperationQueue::operationCount() const {
    MutexLock lock(p_->mutex);
    return p_->entries.size();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    WorkerPool::BlockingScope blocking;
    MutexLock lock(p_->mutex);
    const uint64_t mark = p_->nextSeq;
    if (p_->doneBelow(mark)) return;
    auto registered = p_->waitMarks.insert(mark);
    while (!p_->doneBelow(mark)) p_->finishedCv.wait(p_->mutex);
    p_->waitMarks.erase(registered);
}

}  // namespace platform
