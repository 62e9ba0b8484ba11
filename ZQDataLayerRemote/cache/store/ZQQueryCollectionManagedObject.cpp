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
    return ZQQueryCollectionEntityCollectionManagedObject::rowsIn(valueForKey(kQueryEntitiesKey));
}
