// Cached entity data of a single-item data provider, with the cached queries that returned it
// ("queries", deleted with it). Used on the thread of its context only.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"

class ZQQuerySingleItemManagedObject;

class ZQEntitySingleItemManagedObject : public ZQCoreDataEntityData {
  public:
    static constexpr const char* kQueriesKey = "queries";

    std::vector<std::shared_ptr<ZQQuerySingleItemManagedObject>> queries() const;
};
