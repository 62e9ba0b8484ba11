#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

std::optional<bool> ZQQueryCollectionManagedObject::complete() {
    return valueForKey(kCompleteKey).boolean();
}

platform::ErrorPtr ZQQueryCollectionManagedObject::setComplete(std::optional<bool> complete) {
    return setValueForKey(complete ? platform::Value(*complete) : platform::Value(), kCompleteKey);
}

std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>>
ZQQueryCollectionManagedObject::queryEntities() {
    std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>> rows;
    auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
        valueForKey(kQueryEntitiesKey).object());
    if (!set) return rows;
    for (const auto& object : set->objects())
        if (auto row =
                std::dynamic_pointer_cast<ZQQueryCollectionEntityCollectionManagedObject>(object))
            rows.push_back(std::move(row));
    return rows;
}
