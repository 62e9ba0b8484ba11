#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerInternalBaseOperation.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"

platform::ErrorPtr ZQEntityDataManagerInternalBaseOperation::error() const {
    platform::MutexLock lock(mutex_);
    return error_;
}

bool ZQEntityDataManagerInternalBaseOperation::hasFinishedWithResult() const {
    platform::MutexLock lock(mutex_);
    return finishedWithResult_;
}

void ZQEntityDataManagerInternalBaseOperation::onFinishWithSuccess() {
    finishWith(nullptr);
}

void ZQEntityDataManagerInternalBaseOperation::onFinishWithDefaultError() {
    finishWith(defaultZQError());
}

void ZQEntityDataManagerInternalBaseOperation::onFinishWithDefaultErrorIfNil(
    platform::ErrorPtr error) {
    finishWith(error ? std::move(error) : defaultZQError());
}

void ZQEntityDataManagerInternalBaseOperation::finishWith(platform::ErrorPtr error) {
    onFinishWithError(error);
    // An override that forgot to call up still leaves the operation finished and its error kept.
    ZQEntityDataManagerInternalBaseOperation::onFinishWithError(std::move(error));
}

void ZQEntityDataManagerInternalBaseOperation::onFinishWithError(platform::ErrorPtr error) {
    {
        platform::MutexLock lock(mutex_);
        if (!finishedWithResult_) {
            finishedWithResult_ = true;
            error_ = std::move(error);
        }
    }
    if (isAsynchronous()) finish();
}
