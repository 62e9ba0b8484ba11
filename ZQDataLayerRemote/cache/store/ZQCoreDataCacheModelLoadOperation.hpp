// The cache's step of a model load: generates the cache schema from the application model and
// stores it in the shared load context, or records why it could not. Made by
// ZQModelManagerZQCoreDataCacheExtension and run once by the model manager's load queue, beside
// other extensions' operations; the load context's own lock guards what they share.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelLoadOperation.hpp"
#include "platform/Error.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

class ZQCoreDataCacheModelLoadOperation : public ZQModelLoadOperation {
  public:
    using ZQModelLoadOperation::ZQModelLoadOperation;

    // Never lets an exception out: one becomes the load context's error.
    void main() override;

  protected:
    // The schema of the application model, or none with *error set; ZQCoreDataModelFactory's
    // build. A step of its own so that a subclass can observe or disturb the generation.
    [[nodiscard]] virtual std::shared_ptr<platform::ManagedObjectModel> managedObjectModelFor(
        const std::shared_ptr<const ZQApplicationModel>& appModel, platform::ErrorPtr* error);

  private:
    void generateIntoContext(const std::shared_ptr<ZQModelLoadOperationContext>& context);
};
