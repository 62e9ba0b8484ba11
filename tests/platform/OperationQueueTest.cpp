#include "platform/OperationQueue.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MainLoop.hpp"
#include "platform/SerialQueue.hpp"
#include "platform/WorkerPool.hpp"

using platform::BlockOperation;
using platform::MainLoop;
using platform::Operation;
using platform::OperationQueue;

namespace {

constexpr double kPatience = 30.0;  // seconds; only ever reached when something is broken

class OperationQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { MainLoop::designateCurrentThreadAsMain(); }
};

// Finishes only when told to, from whichever thread calls release().
class AsyncOperation : public Operation {
  public:
    bool isAsynchronous() const override { return true; }
    void main() override { started = true; }
    void release() { finish(); }
    std::atomic<bool> started{false};
};

// Holds every operation that calls wait() until open() is called.
class Gate {
  public:
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(30), [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

void raiseTo(std::atomic<int>& highest, int value) {
    int seen = highest.load();
    while (seen < value && !highest.compare_exchange_weak(seen, value)) {
    }
}

}  // namespace

TEST_F(OperationQueueTest, CancelledOperationsFinishWithoutRunning) {
    auto queue = OperationQueue::create("cancel");
    std::atomic<int> ran{0};
    std::atomic<int> completions{0};

    auto early = BlockOperation::create([&] { ++ran; });
    early->setCompletionBlock([&] { ++completions; });
    early->cancel();
    queue->addOperation(early);

    queue->setSuspended(true);
    std::vector<std::shared_ptr<BlockOperation>> held;
    for (int i = 0; i < 5; ++i) {
        held.push_back(BlockOperation::create([&] { ++ran; }));
        queue->addOperation(held.back());
    }
    queue->cancelAllOperations();
    queue->setSuspended(false);
    // Launched from the main thread, a cancelled operation finishes there and then, waking no
    // worker.
    for (const auto& operation : held) EXPECT_TRUE(operation->isFinished());

    // A cancelled operation no longer waits for a dependency that may never run.
    auto neverRuns = BlockOperation::create([] {});
    auto dependent = BlockOperation::create([&] { ++ran; });
    dependent->addDependency(neverRuns);
    queue->addOperation(dependent);
    dependent->cancel();

    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 0);
    EXPECT_EQ(completions.load(), 1);
    EXPECT_TRUE(early->isFinished() && early->isCancelled() && !early->isExecuting());
    EXPECT_TRUE(dependent->isFinished());
    EXPECT_EQ(queue->operationCount(), 0u);
}

// Cancelling the head of a chain makes it ready and lets it finish at once; the rest of the chain
// must be cancelled before any of it starts, or a dependent runs on the head's missing result.
TEST_F(OperationQueueTest, CancelAllOperationsCancelsAChainBeforeAnyOfItStarts) {
    class SlowToCancel : public Operation {
      public:
        void cancel() override {
            Operation::cancel();
            // Time for a worker to start what the cancellation made startable.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    };
    auto queue = OperationQueue::create("chain");
    auto request = std::make_shared<AsyncOperation>();
    auto head = std::make_shared<SlowToCancel>();
    std::atomic<int> ran{0};
    auto dependent = BlockOperation::create([&] { ++ran; });
    head->addDependency(request);
    dependent->addDependency(head);
    queue->addOperation(request);
    queue->addOperation(head);
    queue->addOperation(dependent);
    while (!request->started.load()) std::this_thread::yield();

    queue->cancelAllOperations();
    request->release();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 0);
    EXPECT_TRUE(dependent->isFinished() && dependent->isCancelled());
}

TEST_F(OperationQueueTest, RunningOperationSeesCancellation) {
    auto queue = OperationQueue::create();
    std::atomic<bool> running{false};
    std::shared_ptr<BlockOperation> op;
    op = BlockOperation::create([&] {
        running = true;
        while (!op->isCancelled()) std::this_thread::yield();
    });
    queue->addOperation(op);
    ASSERT_TRUE(MainLoop::runUntil([&] { return running.load(); }, kPatience));
    EXPECT_TRUE(op->isExecuting());
    queue->cancelAllOperations();
    op->waitUntilFinished();
    EXPECT_TRUE(op->isCancelled() && op->isFinished() && !op->isExecuting());
}

TEST_F(OperationQueueTest, DependenciesChainAcrossQueuesAndTheMainQueue) {
    auto first = OperationQueue::create("first");
    auto last = OperationQueue::create("last");
    std::mutex mutex;
    std::vector<std::string> order;
    auto record = [&](std::string step) {
        std::lock_guard<std::mutex> lock(mutex);
        order.push_back(std::move(step));
    };
    auto a = BlockOperation::create([&] { record("a"); });
    auto b = BlockOperation::create([&] { record(MainLoop::isMainThread() ? "b on main" : "b"); });
    auto c = BlockOperation::create([&] { record("c"); });
    auto cancelledDep = BlockOperation::create([&] { record("never"); });
    a->setCompletionBlock([&] { record("a done"); });
    b->addDependency(a);
    c->addDependency(b);
    c->addDependency(cancelledDep);
    EXPECT_FALSE(c->isReady());

    // Added in reverse so that only the dependencies can put them in order.
    last->addOperation(c);
    OperationQueue::mainQueue()->addOperation(b);
    first->setSuspended(true);
    first->addOperation(a);
    first->addOperation(cancelledDep);
    cancelledDep->cancel();
    first->setSuspended(false);

    ASSERT_TRUE(MainLoop::runUntil([&] { return c->isFinished(); }, kPatience));
    c->waitUntilFinished();
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a done", "b on main", "c"}));

    // A dependency that finished before the dependent is queued does not hold it.
    auto late = BlockOperation::create([] {});
    late->addDependency(a);
    EXPECT_TRUE(late->isReady());
    last->addOperation(late);
    late->waitUntilFinished();
}

TEST_F(OperationQueueTest, SuspendedQueueHoldsItsWorkUntilResumed) {
    auto queue = OperationQueue::create();
    queue->setSuspended(true);
    std::atomic<int> ran{0};
    for (int i = 0; i < 10; ++i) queue->addOperationWithBlock([&] { ++ran; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ran.load(), 0);
    EXPECT_EQ(queue->operationCount(), 10u);
    EXPECT_TRUE(queue->isSuspended());
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 10);
}

TEST_F(OperationQueueTest, MaxConcurrentOperationCountLimitsAndOrders) {
    auto serial = OperationQueue::create();
    serial->setMaxConcurrentOperationCount(1);
    std::atomic<int> active{0};
    std::atomic<int> maxActive{0};
    std::vector<int> order;  // written only by the one operation that runs at a time
    std::vector<std::shared_ptr<Operation>> ops;
    for (int i = 0; i < 200; ++i) {
        ops.push_back(BlockOperation::create([&, i] {
            raiseTo(maxActive, ++active);
            order.push_back(i);
            std::this_thread::yield();
            --active;
        }));
    }
    serial->addOperations(ops, true);
    EXPECT_EQ(maxActive.load(), 1);
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);

    // Three run together (each waits for the other two), a fourth never joins them.
    auto three = OperationQueue::create();
    three->setMaxConcurrentOperationCount(3);
    active = 0;
    maxActive = 0;
    std::atomic<int> metAll{0};
    for (int i = 0; i < 9; ++i) {
        three->addOperationWithBlock([&] {
            raiseTo(maxActive, ++active);
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (maxActive.load() < 3 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (maxActive.load() >= 3) ++metAll;
            --active;
        });
    }
    three->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(maxActive.load(), 3);
    EXPECT_EQ(metAll.load(), 9);
}

TEST_F(OperationQueueTest, AsynchronousOperationFinishesLaterFromAnotherThread) {
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    auto op = std::make_shared<AsyncOperation>();
    std::atomic<int> completions{0};
    op->setCompletionBlock([&] { ++completions; });
    auto next = BlockOperation::create([] {});
    queue->addOperation(op);
    queue->addOperation(next);
    ASSERT_TRUE(MainLoop::runUntil([&] { return op->started.load(); }, kPatience));
    // main() has returned, yet the operation runs on and keeps the serial queue's slot.
    EXPECT_TRUE(op->isExecuting());
    EXPECT_FALSE(next->isFinished());
    std::thread finisher([&] {
        op->release();
        op->release();
    });
    finisher.join();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(op->isFinished() && next->isFinished());
    EXPECT_EQ(completions.load(), 1);
}

// Each phase blocks more operations than the pool has threads at that moment.
TEST_F(OperationQueueTest, PoolGrowsWhenWorkersBlockOnOtherWork) {
    using platform::WorkerPool;
    auto moreThanThreads = [] {
        return static_cast<int>(
            std::min(WorkerPool::threadCount() + 3, WorkerPool::kMaxThreadCount - 4));
    };
    auto queue = OperationQueue::create();

    // Blocked on something the pool cannot see: the stall monitor adds threads.
    int blockers = moreThanThreads();
    Gate foreign;
    std::atomic<int> inside{0};
    for (int i = 0; i < blockers; ++i) {
        queue->addOperationWithBlock([&] {
            if (++inside == blockers) foreign.open();
            EXPECT_TRUE(foreign.wait());
        });
    }
    queue->waitUntilAllOperationsAreFinished();

    // Every one waits for an operation queued behind all of them.
    blockers = moreThanThreads();
    auto gateOp = BlockOperation::create([] {});
    std::atomic<int> waited{0};
    for (int i = 0; i < blockers; ++i) {
        queue->addOperationWithBlock([&] {
            gateOp->waitUntilFinished();
            ++waited;
        });
    }
    queue->addOperation(gateOp);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(waited.load(), blockers);

    // Every one syncs onto a serial queue whose current block waits until all have arrived.
    blockers = moreThanThreads();
    auto serial = platform::SerialQueue::create("busy");
    std::atomic<int> arrived{0};
    std::atomic<int> synced{0};
    Gate gate;
    serial->async([&] { gate.wait(); });
    for (int i = 0; i < blockers; ++i) {
        queue->addOperationWithBlock([&] {
            if (++arrived == blockers) gate.open();
            serial->sync([&] { ++synced; });
        });
    }
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(synced.load(), blockers);
    EXPECT_LE(WorkerPool::threadCount(), WorkerPool::kMaxThreadCount);
}

// Finishes itself in main() and only then returns, a moment later.
class FinishesThenLingers : public Operation {
  public:
    bool isAsynchronous() const override { return true; }
    void main() override {
        finish();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        returned = std::chrono::steady_clock::now();
    }
    std::chrono::steady_clock::time_point returned;
};

TEST_F(OperationQueueTest, DependentChainStaysOnOneWorkerWhileFanOutStillRunsInParallel) {
    // The dependent of an operation that finished on a worker waits for that worker rather than
    // waking another one, even while the worker is still busy returning from it.
    auto queue = OperationQueue::create();
    auto link = std::make_shared<FinishesThenLingers>();
    std::thread::id linkThread, nextThread;
    std::chrono::steady_clock::time_point nextStarted;
    link->setCompletionBlock([&] { linkThread = std::this_thread::get_id(); });
    auto next = BlockOperation::create([&] {
        nextThread = std::this_thread::get_id();
        nextStarted = std::chrono::steady_clock::now();
    });
    next->addDependency(link);
    queue->addOperations({next, link}, true);
    EXPECT_EQ(nextThread, linkThread);
    EXPECT_GE(nextStarted, link->returned);

    // Two dependents of one operation must not wait for each other: each only returns once the
    // other has started, which never happens if both are kept for the same worker.
    auto first = BlockOperation::create([] {});
    std::atomic<int> started{0};
    std::atomic<int> met{0};
    auto meet = [&] {
        ++started;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (started.load() < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        if (started.load() == 2) ++met;
    };
    auto left = BlockOperation::create(meet);
    auto right = BlockOperation::create(meet);
    left->addDependency(first);
    right->addDependency(first);
    queue->addOperations({left, right, first}, false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(met.load(), 2);
}

TEST_F(OperationQueueTest, OperationMayWaitForWorkItQueuesWhileRunningOrFinishing) {
    // Neither the work itself nor its completion block (which runs once it is marked finished)
    // may find what it queued kept for its own thread.
    auto queue = OperationQueue::create();
    std::atomic<int> ran{0};
    auto outer = BlockOperation::create([&] {
        auto inner = BlockOperation::create([&] { ++ran; });
        queue->addOperation(inner);
        inner->waitUntilFinished();
    });
    outer->setCompletionBlock([&] {
        auto inner = BlockOperation::create([&] { ++ran; });
        queue->addOperation(inner);
        inner->waitUntilFinished();
    });
    queue->addOperation(outer);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 2);
}

TEST_F(OperationQueueTest, ManyQueuesShareThePool) {
    std::vector<std::shared_ptr<OperationQueue>> queues;
    std::atomic<int> ran{0};
    for (int i = 0; i < 10000; ++i) {
        queues.push_back(OperationQueue::create());
        queues.back()->addOperationWithBlock([&] { ++ran; });
    }
    for (auto& queue : queues) queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 10000);
    EXPECT_LE(platform::WorkerPool::threadCount(), platform::WorkerPool::kMaxThreadCount);
}

TEST_F(OperationQueueTest, QueueGoneWhilePending) {
    Gate gate;
    std::atomic<int> ran{0};
    auto blocked = BlockOperation::create([&] { gate.wait(); });
    auto behind = BlockOperation::create([&] { ++ran; });
    auto held = BlockOperation::create([&] { ++ran; });
    {
        auto queue = OperationQueue::create();
        queue->setMaxConcurrentOperationCount(1);
        queue->addOperation(blocked);
        queue->addOperation(behind);
        auto suspended = OperationQueue::create();
        suspended->setSuspended(true);
        suspended->addOperation(held);
        EXPECT_EQ(queue->operations(), (std::vector<std::shared_ptr<Operation>>{blocked, behind}));
    }
    gate.open();
    behind->waitUntilFinished();  // the running queue's work carries on without it
    EXPECT_EQ(ran.load(), 1);
    EXPECT_FALSE(held->isFinished());  // the suspended one let go of its work
}

TEST_F(OperationQueueTest, MainQueueRunsInOrderOnTheMainThread) {
    auto main = OperationQueue::mainQueue();
    EXPECT_EQ(main->maxConcurrentOperationCount(), 1);
    std::vector<int> order;
    std::atomic<bool> allOnMain{true};
    for (int i = 0; i < 20; ++i) {
        main->addOperationWithBlock([&, i] {
            allOnMain = allOnMain && MainLoop::isMainThread();
            order.push_back(i);
        });
    }
    ASSERT_TRUE(MainLoop::runUntil([&] { return main->operationCount() == 0; }, kPatience));
    EXPECT_TRUE(allOnMain.load());
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
}
