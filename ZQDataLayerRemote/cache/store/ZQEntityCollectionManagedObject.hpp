// Cached entity data of a collection data provider: one item, with the rows of the cached
// queries that returned it ("entityQueries", deleted with it). Used on the thread of its context
// only.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"

class ZQQueryCollectionEntityCollectionManagedObject;

class ZQEntityCollectionManagedObject : public ZQCoreDataEntityData {
  public:
    static constexpr const char* kEntityQueriesKey = "entityQueries";

    std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>> entityQueries()
        const;
};
