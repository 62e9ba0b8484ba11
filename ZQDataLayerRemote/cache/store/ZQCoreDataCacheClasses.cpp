#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"

#include <mutex>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClassNames.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCLevel.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCRootLevel.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataTimeStamp.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntitySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"
#include "platform/objectstore/ManagedObjectClassRegistry.hpp"

void ZQCoreDataCacheClasses::registerClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        namespace names = ZQCoreDataCacheClassNames;
        auto& registry = platform::ManagedObjectClassRegistry::shared();
        registry.registerClass<ZQCoreDataEntityData>(names::kEntityData);
        registry.registerClass<ZQCoreDataEntityDataTimeStamp>(names::kEntityDataTimeStamp);
        registry.registerClass<ZQCoreDataEntityDataBCLevel>(names::kEntityDataBCLevel);
        registry.registerClass<ZQCoreDataEntityDataBCRootLevel>(names::kEntityDataBCRootLevel);
        registry.registerClass<ZQEntityCollectionManagedObject>(names::kEntityCollection);
        registry.registerClass<ZQEntitySingleItemManagedObject>(names::kEntitySingleItem);
        registry.registerClass<ZQQueryManagedObject>(names::kQuery);
        registry.registerClass<ZQQueryCollectionManagedObject>(names::kQueryCollection);
        registry.registerClass<ZQQuerySingleItemManagedObject>(names::kQuerySingleItem);
        registry.registerClass<ZQQueryCollectionEntityCollectionManagedObject>(
            names::kQueryCollectionEntity);
    });
}
