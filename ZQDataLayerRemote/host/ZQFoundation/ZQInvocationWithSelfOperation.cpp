#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"

using platform::MutexLock;
using platform::Value;

std::shared_ptr<ZQInvocationWithSelfOperation> ZQInvocationWithSelfOperation::create(
    Invocation invocation) {
    return std::make_shared<ZQInvocationWithSelfOperation>(std::move(invocation));
}

ZQInvocationWithSelfOperation::ZQInvocationWithSelfOperation(Invocation invocation) {
    {
        MutexLock lock(mutex_);
        invocation_ = std::move(invocation);
    }
    declareKey(
        "context", [this] { return context(); }, [this](const Value& value) { setContext(value); });
}

void ZQInvocationWithSelfOperation::setContext(Value context) {
    MutexLock lock(mutex_);
    context_ = std::move(context);
}

Value ZQInvocationWithSelfOperation::context() const {
    MutexLock lock(mutex_);
    return context_;
}

void ZQInvocationWithSelfOperation::main() {
    Invocation invocation;
    {
        MutexLock lock(mutex_);
        invocation.swap(invocation_);
    }
    if (invocation) {
        invocation(std::static_pointer_cast<ZQInvocationWithSelfOperation>(shared_from_this()));
    }
}

void ZQInvocationWithSelfOperation::cancel() {
    Operation::cancel();
    Invocation dropped;
    MutexLock lock(mutex_);
    dropped.swap(invocation_);
}
