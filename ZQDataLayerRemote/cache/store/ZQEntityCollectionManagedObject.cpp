#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

std::vector<std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject>>
ZQEntityCollectionManagedObject::entityQueries() const {
    return ZQQueryCollectionEntityCollectionManagedObject::rowsIn(
        storedValueForKey(kEntityQueriesKey));
}
