#include "ZQDataLayerRemote/cache/store/ZQModelLoadOperationContext_ZQCoreDataCache.hpp"

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"

std::shared_ptr<platform::ManagedObjectModel>
ZQModelLoadOperationContext_ZQCoreDataCache::managedObjectModel(
    const ZQModelLoadOperationContext& context) {
    platform::Value object =
        context.modelObjectForKey(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel);
    return std::dynamic_pointer_cast<platform::ManagedObjectModel>(object.object());
}
