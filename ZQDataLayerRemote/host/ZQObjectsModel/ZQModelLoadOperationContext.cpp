#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelLoadOperationContext.hpp"

platform::ErrorPtr ZQModelLoadOperationContext::error() const {
    platform::MutexLock lock(mutex_);
    return error_;
}

void ZQModelLoadOperationContext::setError(platform::ErrorPtr error) {
    platform::MutexLock lock(mutex_);
    error_ = std::move(error);
}

bool ZQModelLoadOperationContext::setErrorIfNone(platform::ErrorPtr error) {
    platform::MutexLock lock(mutex_);
    if (error_ || !error) return false;
    error_ = std::move(error);
    return true;
}

platform::Value ZQModelLoadOperationContext::modelObjectForKey(std::string_view key) const {
    platform::MutexLock lock(mutex_);
    return modelObjects_.get(key);
}

void ZQModelLoadOperationContext::setModelObject(platform::Value object, std::string key) {
    platform::MutexLock lock(mutex_);
    modelObjects_.set(std::move(key), std::move(object));
}

platform::Dictionary ZQModelLoadOperationContext::modelObjects() const {
    platform::MutexLock lock(mutex_);
    return modelObjects_;
}
