#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"

using platform::Value;

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
