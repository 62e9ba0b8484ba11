// One row of a cached collection query: its position in the result ("rowId"), the query
// ("query") and the item ("entityData"). Used on the thread of its context only.
#pragma once

#include <vector>

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/Error.hpp"
#include "platform/objectstore/ManagedObject.hpp"

class ZQEntityCollectionManagedObject;
class ZQQueryCollectionManagedObject;

class ZQQueryCollectionEntityCollectionManagedObject : public platform::ManagedObject {
  public:
    static constexpr const char* kRowIdKey = "rowId";
    static constexpr const char* kQueryKey = "query";
    static constexpr const char* kEntityDataKey = "entityData";

    // The rows held in a to-many relationship's value (a set of managed objects); none otherwise.
    static std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>> rowsIn(
        const platform::Value& relationship);

    std::optional<int32_t> rowId();
    [[nodiscard]] platform::ErrorPtr setRowId(int32_t rowId);
    std::shared_ptr<ZQQueryCollectionManagedObject> query();
    // None clears it; the query's "queryEntities" follows.
    [[nodiscard]] platform::ErrorPtr setQuery(
        const std::shared_ptr<ZQQueryCollectionManagedObject>& query);
    std::shared_ptr<ZQEntityCollectionManagedObject> entityData();
    // None clears it; the item's "entityQueries" follows.
    [[nodiscard]] platform::ErrorPtr setEntityData(
        const std::shared_ptr<ZQEntityCollectionManagedObject>& entityData);
};
