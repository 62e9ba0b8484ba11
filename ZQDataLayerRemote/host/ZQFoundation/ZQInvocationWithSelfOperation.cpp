#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"

using platform::MutexLock;
using platform::Value;

std::shared_ptr<ZQInvocationWithSelfOperation> ZQInvocationWithSelfOperation::create(
    Invocation invocation) {
    return std::make_shared<ZQInvocationWithSelfOperation>(std::move(invocation));
}

ZQInvocationWithSelfOperation::ZQInvocationWithSelfOperation(Invocation invocation)
    : KeyValueCoding(keyTable()) {
    MutexLock lock(mutex_);
    invocation_ = std::move(invocation);
}

std::span<const platform::KeyValueCoding::Key> ZQInvocationWithSelfOperation::keyTable() {
    using Self = ZQInvocationWithSelfOperation;
    static constexpr Key kKeys[] = {
        {"context",
         [](const KeyValueCoding& self) { return static_cast<const Self&>(self).context(); },
         [](KeyValueCoding& self, const Value& value) {
             static_cast<Self&>(self).setContext(value);
         }},
    };
    return kKeys;
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
