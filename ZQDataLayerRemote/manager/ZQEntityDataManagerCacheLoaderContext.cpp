#include "ZQDataLayerRemote/manager/ZQEntityDataManagerCacheLoaderContext.hpp"

std::shared_ptr<ZQEntityDataCacheLoadOperation>
ZQEntityDataManagerCacheLoaderContext::cacheLoadOperation() const {
    ZQEntityDataManagerLoader current = loader();
    if (auto* operation = std::get_if<std::shared_ptr<ZQEntityDataCacheLoadOperation>>(&current)) {
        return *operation;
    }
    return nullptr;
}

bool ZQEntityDataManagerCacheLoaderContext::needsReadAgain() const {
    platform::RecursiveMutexLock lock(mutex_);
    return needsReadAgain_;
}

void ZQEntityDataManagerCacheLoaderContext::setNeedsReadAgain(bool needsReadAgain) {
    platform::RecursiveMutexLock lock(mutex_);
    needsReadAgain_ = needsReadAgain;
}

void ZQEntityDataManagerCacheLoaderContext::setCacheLoadOperation(
    std::shared_ptr<ZQEntityDataCacheLoadOperation> operation) {
    setLoader(operation ? ZQEntityDataManagerLoader(std::move(operation))
                        : ZQEntityDataManagerLoader());
}
