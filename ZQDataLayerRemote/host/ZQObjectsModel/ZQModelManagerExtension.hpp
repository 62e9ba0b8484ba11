// A framework's contribution to model loading: model objects of its own (a cache schema, say),
// produced by load operations on a first load and read back from its own cache on later loads.
// Registered once with ZQModelManager::registerModelManagerExtension; the manager may call it from
// any thread, so implementations keep no unguarded state.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelLoadOperation.hpp"
#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQModelManagerExtension {
  public:
    virtual ~ZQModelManagerExtension() = default;

    // The operations to run for a load that found nothing cached.
    virtual std::vector<std::shared_ptr<ZQModelLoadOperation>>
    extensionModelLoadOperationsForContext(
        const std::shared_ptr<ZQModelLoadOperationContext>& context) = 0;
    // The model objects saved by an earlier load, or none with *error set (error may be null).
    virtual std::optional<platform::Dictionary> loadExtensionModelObjectsFromCacheForApplication(
        const std::shared_ptr<const ZQApplication>& application, platform::ErrorPtr* error) = 0;
    // After the load operations ran: the model objects, or none with *error set.
    virtual std::optional<platform::Dictionary> onModelLoadOperationsDidFinishForContext(
        const std::shared_ptr<ZQModelLoadOperationContext>& context, platform::ErrorPtr* error) = 0;
    // Forgets what loadExtensionModelObjectsFromCacheForApplication would read.
    virtual void clearCachedExtensionModelObjectsForApplication(
        const std::shared_ptr<const ZQApplication>& application) = 0;
};
