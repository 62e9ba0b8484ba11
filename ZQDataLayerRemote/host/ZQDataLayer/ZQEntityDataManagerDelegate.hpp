// Protocol of whoever waits for a query's answer (a data provider). The entity data manager calls
// it once per query, on the main thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"

class ZQEntityDataManager;

class ZQEntityDataManagerDelegate {
  public:
    virtual ~ZQEntityDataManagerDelegate() = default;
    // manager is the host's entity data manager (may be none when the online manager runs alone).
    virtual void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>& manager,
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) = 0;
};
