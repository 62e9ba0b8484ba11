#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

using platform::Value;

std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>>
ZQQueryCollectionEntityCollectionManagedObject::rowsIn(const Value& relationship) {
    std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>> rows;
    auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(relationship.object());
    if (!set) return rows;
    for (const auto& object : set->objects())
        if (auto row =
                std::dynamic_pointer_cast<ZQQueryCollectionEntityCollectionManagedObject>(object))
            rows.push_back(std::move(row));
    return rows;
}

std::optional<int32_t> ZQQueryCollectionEntityCollectionManagedObject::rowId() {
    auto row = valueForKey(kRowIdKey).integer();
    if (!row) return std::nullopt;
    return static_cast<int32_t>(*row);
}

platform::ErrorPtr ZQQueryCollectionEntityCollectionManagedObject::setRowId(int32_t rowId) {
    return setValueForKey(Value(rowId), kRowIdKey);
}

std::shared_ptr<ZQQueryCollectionManagedObject>
ZQQueryCollectionEntityCollectionManagedObject::query() {
    return std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(
        valueForKey(kQueryKey).object());
}

platform::ErrorPtr ZQQueryCollectionEntityCollectionManagedObject::setQuery(
    const std::shared_ptr<ZQQueryCollectionManagedObject>& query) {
    return setValueForKey(query ? Value::object(query) : Value(), kQueryKey);
}

std::shared_ptr<ZQEntityCollectionManagedObject>
ZQQueryCollectionEntityCollectionManagedObject::entityData() {
    return std::dynamic_pointer_cast<ZQEntityCollectionManagedObject>(
        valueForKey(kEntityDataKey).object());
}

platform::ErrorPtr ZQQueryCollectionEntityCollectionManagedObject::setEntityData(
    const std::shared_ptr<ZQEntityCollectionManagedObject>& entityData) {
    return setValueForKey(entityData ? Value::object(entityData) : Value(), kEntityDataKey);
}
