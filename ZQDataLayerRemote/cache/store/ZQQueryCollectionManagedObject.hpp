// The cache's record of a collection query: the query record, the completeness flag stored with
// the result, and its rows ("queryEntities", deleted with it). Used on the thread of its context
// only.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQQueryManagedObject.hpp"

class ZQQueryCollectionEntityCollectionManagedObject;

class ZQQueryCollectionManagedObject : public ZQQueryManagedObject {
  public:
    static constexpr const char* kCompleteKey = "complete";
    static constexpr const char* kQueryEntitiesKey = "queryEntities";

    // None when never stored.
    std::optional<bool> complete();
    // Absent clears it.
    [[nodiscard]] platform::ErrorPtr setComplete(std::optional<bool> complete);
    // In no particular order; the rows carry their position (rowId).
    std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>> queryEntities();
};
