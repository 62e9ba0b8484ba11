#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>>
ZQEntityCollectionManagedObject::entityQueries() const {
    std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>> rows;
    auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
        storedValueForKey(kEntityQueriesKey).object());
    if (!set) return rows;
    for (const auto& object : set->objects())
        if (auto row =
                std::dynamic_pointer_cast<ZQQueryCollectionEntityCollectionManagedObject>(object))
            rows.push_back(std::move(row));
    return rows;
}
