// The cache's record of a single-item query, with the one item it returned ("entityData"). Used
// on the thread of its context only.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/cache/store/ZQQueryManagedObject.hpp"

class ZQEntitySingleItemManagedObject;

class ZQQuerySingleItemManagedObject : public ZQQueryManagedObject {
  public:
    static constexpr const char* kEntityDataKey = "entityData";

    std::shared_ptr<ZQEntitySingleItemManagedObject> entityData();
    // None clears it; the item's "queries" follows.
    [[nodiscard]] platform::ErrorPtr setEntityData(
        const std::shared_ptr<ZQEntitySingleItemManagedObject>& entityData);
};
