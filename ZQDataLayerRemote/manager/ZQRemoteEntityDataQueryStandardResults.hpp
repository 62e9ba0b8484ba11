// The standard results the entity data manager hands out: no data (single item or collection, for
// a source), the empty single item around a given item, and the empty collection. Each call makes
// a new result. Stateless; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemResult.hpp"

class ZQRemoteEntityDataQueryStandardResults {
  public:
    // Single item: no data, no dates. Collection: no rows, count 0, not complete, no index, no
    // dates. Both with the given source, not up to date.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryResult>
    remoteNoDataResultWithSource(ZQEntityDataQueryResultSourceType source, bool collection);
    // The given item, no dates, source Remote.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQuerySingleItemResult>
    emptySingleItemEntityDataQueryResultWithDataItem(std::shared_ptr<ZQEntityData> dataItem);
    // An empty list of sections, count 0, complete, no index, no dates, source Remote.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
    emptyCollectionEntityDataQueryResult();
};
