// A unit of work run by an OperationQueue: cancellation, execution state, dependencies (also
// across queues) and asynchronous operations that finish themselves later. Shared by the queue
// that runs it and by whoever keeps it; every member may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.hpp"

namespace platform {

class OperationQueue;

class Operation : public std::enable_shared_from_this<Operation> {
  public:
    Operation();
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // The work. A synchronous operation is finished when main() returns; an asynchronous one
    // (isAsynchronous() true) starts its work in main() and calls finish() when done.
    virtual void main() {}
    virtual bool isAsynchronous() const { return false; }

    // Marks the operation cancelled. A cancelled operation that has not started finishes without
    // running main(); one that runs is expected to check isCancelled(). Overrides must call up.
    virtual void cancel();
    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;
    // Finished and its completion block has returned: from here on it only tells its dependents
    // and its queue, and waits for nothing.
    bool isSettled() const;
    // Every dependency has finished (cancelled or not), or the operation is cancelled: a
    // cancelled operation no longer waits for its dependencies, it only needs to finish.
    bool isReady() const;

    // Dependencies must be added before the operation is added to a queue.
    void addDependency(const std::shared_ptr<Operation>& operation);
    void removeDependency(const std::shared_ptr<Operation>& operation);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    // Runs on the thread that finished the operation, after it is marked finished and before
    // waitUntilFinished() returns, dependents become ready or the queue lets the operation go.
    void setCompletionBlock(std::function<void()> block);
    void setName(std::string name);
    std::string name() const;

    // Blocks the calling thread until the operation has finished. Never call on the main thread
    // for an operation of the main queue.
    void waitUntilFinished();

    // Runs the operation on the calling thread (what a queue does on a worker). Used by queues.
    void start();

  protected:
    // Ends an asynchronous operation. Safe to call more than once and from any thread.
    void finish();

  private:
    friend class OperationQueue;
    struct State;
    // What the queue that holds the operation hears from it, each once, with the number the
    // queue gave it. Implemented by the queue's state, which the operation keeps alive until it
    // has told it that it finished.
    class QueueLink {
      public:
        virtual ~QueueLink() = default;
        virtual void operationBecameReady(uint64_t seq) = 0;
        virtual void operationFinished(uint64_t seq) = 0;
    };
    // False when the operation is already in a queue or has already started.
    bool attachToQueue(std::shared_ptr<QueueLink> queue, uint64_t seq);
    // Forgets the queue (a queue that drops operations it will never start).
    void detachFromQueue();

    std::shared_ptr<State> state_;
};

// An operation whose work is a block.
class BlockOperation : public Operation {
  public:
    [[nodiscard]] static std::shared_ptr<BlockOperation> create(std::function<void()> block);
    explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}
    void main() override {
        if (block_) block_();
    }

  private:
    std::function<void()> block_;
};

}  // namespace platform
