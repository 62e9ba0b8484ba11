// An operation that, when it runs, calls a member function of a target with the operation itself
// (so the function can read its context and test cancellation), or calls a plain callable the
// same way. The target is held strongly until the call has run or the operation is cancelled,
// then let go, so that a target keeping its own step does not keep itself alive. Any thread; the
// mutex guards the invocation and the context.
// Key-value key: "context".
#pragma once

#include <functional>
#include <memory>

#include "platform/KeyValueCoding.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"

class ZQInvocationWithSelfOperation : public platform::Operation, public platform::KeyValueCoding {
  public:
    using Invocation = std::function<void(const std::shared_ptr<ZQInvocationWithSelfOperation>&)>;

    [[nodiscard]] static std::shared_ptr<ZQInvocationWithSelfOperation> create(
        Invocation invocation);
    // target->*selector(operation).
    template <typename T>
    [[nodiscard]] static std::shared_ptr<ZQInvocationWithSelfOperation> create(
        std::shared_ptr<T> target,
        void (T::*selector)(const std::shared_ptr<ZQInvocationWithSelfOperation>&)) {
        return create([target = std::move(target),
                       selector](const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) {
            ((*target).*selector)(operation);
        });
    }

    explicit ZQInvocationWithSelfOperation(Invocation invocation);

    void setContext(platform::Value context) EXCLUDES(mutex_);
    platform::Value context() const EXCLUDES(mutex_);

    void main() override EXCLUDES(mutex_);
    void cancel() override EXCLUDES(mutex_);

  private:
    static std::span<const Key> keyTable();

    mutable platform::Mutex mutex_;
    Invocation invocation_ GUARDED_BY(mutex_);
    platform::Value context_ GUARDED_BY(mutex_);
};
