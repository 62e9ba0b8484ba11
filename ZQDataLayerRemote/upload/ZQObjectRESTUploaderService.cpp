#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderService.hpp"

std::shared_ptr<ZQObjectUploader>
ZQObjectRESTUploaderService::objectUploaderOperationWithBinaryDataFieldReferences(
    std::vector<std::shared_ptr<ZQBinaryDataFieldReference>> references) {
    auto operation =
        ZQObjectRESTUploaderOperation::createWithBinaryDataFieldReferences(std::move(references));
    platform::MutexLock lock(mutex_);
    if (progressObserver_) operation->setProgressObserver(progressObserver_);
    return operation;
}

void ZQObjectRESTUploaderService::setProgressObserver(
    ZQObjectRESTUploaderOperation::ProgressObserver observer) {
    platform::MutexLock lock(mutex_);
    progressObserver_ = std::move(observer);
}
