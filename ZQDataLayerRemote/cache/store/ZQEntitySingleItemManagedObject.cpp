#include "ZQDataLayerRemote/cache/store/ZQEntitySingleItemManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

std::vector<std::shared_ptr<ZQQuerySingleItemManagedObject>>
ZQEntitySingleItemManagedObject::queries() const {
    std::vector<std::shared_ptr<ZQQuerySingleItemManagedObject>> queries;
    auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
        storedValueForKey(kQueriesKey).object());
    if (!set) return queries;
    for (const auto& object : set->objects())
        if (auto query = std::dynamic_pointer_cast<ZQQuerySingleItemManagedObject>(object))
            queries.push_back(std::move(query));
    return queries;
}
