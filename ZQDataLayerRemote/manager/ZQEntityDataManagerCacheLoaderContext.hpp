// A loader context whose loader may be a cache load operation: the context of a local query, and
// of a remote query in its read-back stage. Same ownership and locking as its base.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/manager/ZQEntityDataManagerLoaderContext.hpp"

class ZQEntityDataManagerCacheLoaderContext : public ZQEntityDataManagerLoaderContext {
  public:
    using ZQEntityDataManagerLoaderContext::ZQEntityDataManagerLoaderContext;

    // The loader when it is a cache load operation, else none; setting replaces the loader.
    std::shared_ptr<ZQEntityDataCacheLoadOperation> cacheLoadOperation() const;
    void setCacheLoadOperation(std::shared_ptr<ZQEntityDataCacheLoadOperation> operation);

    // Set when pairs joined after the read had started: its rows may predate what they wait
    // for (a save that just reported), so the rows are read once more before delivery.
    bool needsReadAgain() const;
    void setNeedsReadAgain(bool needsReadAgain);

  private:
    bool needsReadAgain_ GUARDED_BY(mutex_) = false;
};
