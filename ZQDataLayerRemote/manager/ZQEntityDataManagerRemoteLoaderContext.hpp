// The loader context of a remote query from its arrival until its answer is in the cache: adds
// the page range of the request and the service-request and cache-save views of the loader, and
// the questions the manager asks about all waiting queries at once. Same ownership and locking as
// its base (mutex_ also guards the page range).
#pragma once

#include <cstdint>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRange.hpp"
#include "ZQDataLayerRemote/manager/ZQEntityDataManagerCacheLoaderContext.hpp"

class ZQEntityDataManagerRemoteLoaderContext : public ZQEntityDataManagerCacheLoaderContext {
  public:
    using ZQEntityDataManagerCacheLoaderContext::ZQEntityDataManagerCacheLoaderContext;

    ZQRange pageRange() const;
    void setPageRange(ZQRange range);

    std::shared_ptr<ZQEntityDataServiceQueryInfo> serviceQueryInfo() const;
    void setServiceQueryInfo(std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo);
    std::shared_ptr<ZQEntityDataCacheSaveOperation> cacheSaveOperation() const;
    void setCacheSaveOperation(std::shared_ptr<ZQEntityDataCacheSaveOperation> operation);

    // The URL of the next request: parameters, page range and the last query's zqid.
    platform::URL remoteURL() const;

    bool isAnyRefreshOrFirst() const;
    bool isAnyFirst() const;
    bool isAnyForce() const;
    bool isAnyAllLoadedData() const;
    // Over the collection queries in order: 0 as soon as one has page size 0, else the largest.
    uint64_t maxPageSize() const;

  private:
    ZQRange pageRange_ GUARDED_BY(mutex_);
};
