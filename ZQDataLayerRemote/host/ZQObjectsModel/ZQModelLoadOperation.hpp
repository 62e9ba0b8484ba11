// Base of the operations that model-manager extensions contribute to a model load. The model
// manager runs them on its load queue; each reads and writes the shared load context, whose own
// lock makes that safe. Subclasses override main().
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelLoadOperationContext.hpp"
#include "platform/Operation.hpp"

class ZQModelLoadOperation : public platform::Operation {
  public:
    explicit ZQModelLoadOperation(std::shared_ptr<ZQModelLoadOperationContext> context)
        : context_(std::move(context)) {}

    const std::shared_ptr<ZQModelLoadOperationContext>& modelLoadContext() const {
        return context_;
    }

  private:
    const std::shared_ptr<ZQModelLoadOperationContext> context_;
};
