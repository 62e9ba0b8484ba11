// Told when a cache load operation ends (normally the entity data manager). Called on the thread
// that ran the operation, never for a cancelled one; held weakly by the operation.
#pragma once

#include "platform/Error.hpp"

class ZQEntityDataCacheLoadOperation;

class ZQEntityDataCacheLoadOperationDelegate {
  public:
    virtual ~ZQEntityDataCacheLoadOperationDelegate() = default;
    virtual void entityDataCacheLoadOperationDidFinishLoading(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation) = 0;
    virtual void entityDataCacheLoadOperationDidFailLoadingWithError(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation,
        const platform::ErrorPtr& error) = 0;
};
