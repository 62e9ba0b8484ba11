// The cache's accessor on the host's model load context: the cache schema that a load operation
// stored among the context's model objects. Static functions, no state; any thread (the context
// guards its model objects with its own lock).
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelLoadOperationContext.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

class ZQModelLoadOperationContext_ZQCoreDataCache {
  public:
    // The model object under "ZQCoreDataCacheManagedObjectModel"; none when it is absent or is not
    // a managed-object model.
    static std::shared_ptr<platform::ManagedObjectModel> managedObjectModel(
        const ZQModelLoadOperationContext& context);
};
