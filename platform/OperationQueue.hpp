// A scheduler of operations with a concurrency limit, suspension and cancellation. It owns no
// thread: ready operations run on the process-wide WorkerPool, or on the main loop for the main
// queue, so thousands of idle queues cost memory only. Thread-safe; the queue holds its
// operations (shared) until they finish.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Operation.hpp"

namespace platform {

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
  public:
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;  // as many as the pool runs

    [[nodiscard]] static std::shared_ptr<OperationQueue> create(std::string name = "");
    // The serial queue drained by the main loop.
    static std::shared_ptr<OperationQueue> mainQueue();

    // Destroying the queue object does not stop its work: held operations still start when
    // ready and finish as if it were there. A queue destroyed while suspended lets go of the
    // operations it has not started (they never run and stay unfinished).
    virtual ~OperationQueue();

    void addOperation(std::shared_ptr<Operation> operation);
    void addOperations(const std::vector<std::shared_ptr<Operation>>& operations,
                       bool waitUntilFinished);
    void addOperationWithBlock(std::function<void()> block);

    // Cancels every operation the queue holds; they still finish (without running if not started).
    void cancelAllOperations();
    // A suspended queue starts no new operation; running ones go on.
    void setSuspended(bool suspended);
    bool isSuspended() const;
    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;
    void setName(std::string name);
    std::string name() const;

    std::vector<std::shared_ptr<Operation>> operations() const;
    size_t operationCount() const;
    // Blocks until every operation added so far has finished.
    void waitUntilAllOperationsAreFinished();

    // Constructed through create() only; public for make_shared.
    struct Private;
    explicit OperationQueue(std::shared_ptr<Private> p);

  private:
    std::shared_ptr<Private> p_;
};

}  // namespace platform
