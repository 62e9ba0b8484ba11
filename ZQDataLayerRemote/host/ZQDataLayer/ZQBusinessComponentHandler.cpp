#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"

#include <utility>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "platform/MainLoop.hpp"

ZQBusinessComponentHandler::ZQBusinessComponentHandler(
    std::shared_ptr<const ZQBusinessComponentLevel> level,
    std::shared_ptr<const ZQEntityDataKey> key)
    : level_(std::move(level)),
      model_(level_ ? level_->businessComponent() : nullptr),
      key_(std::move(key)) {}

void ZQBusinessComponentHandler::setDelegate(
    std::weak_ptr<ZQBusinessComponentHandlerDelegate> delegate) {
    platform::MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

void ZQBusinessComponentHandler::setCompletion(Completion completion) {
    platform::MutexLock lock(mutex_);
    completion_ = std::move(completion);
}

std::shared_ptr<platform::OperationQueue> ZQBusinessComponentHandler::operationQueue() const {
    platform::MutexLock lock(mutex_);
    if (!queue_) queue_ = platform::OperationQueue::create("ZQBusinessComponentHandler");
    return queue_;
}

void ZQBusinessComponentHandler::cancel() {
    std::shared_ptr<platform::OperationQueue> queue;
    {
        platform::MutexLock lock(mutex_);
        cancelled_ = true;
        queue = queue_;
    }
    if (queue) queue->cancelAllOperations();
}

bool ZQBusinessComponentHandler::isCancelled() const {
    platform::MutexLock lock(mutex_);
    return cancelled_;
}

bool ZQBusinessComponentHandler::isEnded() const {
    platform::MutexLock lock(mutex_);
    return cancelled_ || reported_;
}

bool ZQBusinessComponentHandler::claimReport() {
    std::shared_ptr<platform::OperationQueue> queue;
    {
        platform::MutexLock lock(mutex_);
        if (reported_ || cancelled_) return false;
        reported_ = true;
        queue = queue_;
    }
    // The report ends the handler: steps still queued would only find their input missing.
    if (queue) queue->cancelAllOperations();
    return true;
}

void ZQBusinessComponentHandler::onSuccess(
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    if (claimReport()) deliver(entityData, nullptr);
}

void ZQBusinessComponentHandler::onSuccess() {
    if (claimReport()) deliver(nullptr, nullptr);
}

void ZQBusinessComponentHandler::onError(const platform::ErrorPtr& error) {
    if (claimReport()) deliver(nullptr, error ? error : defaultZQError());
}

void ZQBusinessComponentHandler::onErrorAndCancelOperationsOnMainThread(
    const std::shared_ptr<platform::Operation>& /*operation*/, const platform::ErrorPtr& error) {
    // Claiming here rather than on main: a step that finishes meanwhile cannot report a success
    // first.
    onError(error);
    operationQueue()->cancelAllOperations();
}

void ZQBusinessComponentHandler::deliver(
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData, platform::ErrorPtr error) {
    auto self = shared_from_this();
    auto report = [self, entityData = std::move(entityData), error = std::move(error)] {
        std::shared_ptr<ZQBusinessComponentHandlerDelegate> delegate;
        Completion completion;
        {
            platform::MutexLock lock(self->mutex_);
            // A cancel between the claim and the main thread still silences the handler.
            if (self->cancelled_) return;
            delegate = self->delegate_.lock();
            completion = std::move(self->completion_);
            self->completion_ = nullptr;
        }
        if (error) {
            if (delegate) delegate->businessComponentHandlerDidFailWithError(self, error);
            if (completion) completion(nullptr, error);
            self->handlerDidFail(error);
        } else {
            if (delegate)
                delegate->businessComponentHandlerDidFinishWithEntityData(self, entityData);
            if (completion) completion(entityData, nullptr);
            self->handlerDidSucceed(entityData);
        }
    };
    if (platform::isMainThread()) {
        report();
    } else {
        platform::dispatchAsyncOnMain(std::move(report));
    }
}
