// Protocol of the online entity data manager that a framework registers with ZQEntityDataManager:
// it answers queries, cancels them, and builds the standard empty results. The host sets manager
// (held weakly) to itself; it is the first argument of every delegate call.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerQueryInfoLoader.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemResult.hpp"

class ZQInternalEntityDataManager : public virtual ZQEntityDataManagerQueryInfoLoader {
  public:
    virtual void cancelAllOperations() = 0;
    virtual std::shared_ptr<ZQEntityDataQuerySingleItemResult>
    emptySingleItemEntityDataQueryResultWithDataItem(
        const std::shared_ptr<ZQEntityData>& dataItem) = 0;
    virtual std::shared_ptr<ZQEntityDataQueryCollectionResult>
    emptyCollectionEntityDataQueryResult() = 0;
    virtual std::shared_ptr<ZQEntityDataManager> manager() const = 0;
    virtual void setManager(std::weak_ptr<ZQEntityDataManager> manager) = 0;
};
