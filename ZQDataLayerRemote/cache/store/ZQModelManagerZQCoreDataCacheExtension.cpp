#include "ZQDataLayerRemote/cache/store/ZQModelManagerZQCoreDataCacheExtension.hpp"

#include <filesystem>
#include <string>
#include <system_error>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheModelLoadOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModelLoadOperationContext_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModelManager_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"

namespace {

// The application's model folder as it stands: the host makes it for its own model files, and
// the schema file is not a reason to make it.
std::optional<std::filesystem::path> modelDirectory(const ZQApplication* application) {
    if (!application) return std::nullopt;
    return ZQModelManager::defaultModelFileDirectoryURLForApplication(*application, false);
}

platform::Dictionary modelObjectsWithSchema(std::shared_ptr<platform::ManagedObjectModel> model) {
    platform::Dictionary objects;
    objects.set(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel,
                platform::Value::object(std::move(model)));
    return objects;
}

void setError(platform::ErrorPtr* out, platform::ErrorPtr error) {
    if (out) *out = std::move(error);
}

}  // namespace

std::vector<std::shared_ptr<ZQModelLoadOperation>>
ZQModelManagerZQCoreDataCacheExtension::extensionModelLoadOperationsForContext(
    const std::shared_ptr<ZQModelLoadOperationContext>& context) {
    return {std::make_shared<ZQCoreDataCacheModelLoadOperation>(context)};
}

std::optional<platform::Dictionary>
ZQModelManagerZQCoreDataCacheExtension::loadExtensionModelObjectsFromCacheForApplication(
    const std::shared_ptr<const ZQApplication>& application, platform::ErrorPtr* error) {
    std::shared_ptr<platform::ManagedObjectModel> model;
    platform::ErrorPtr found;
    if (auto directory = modelDirectory(application.get())) {
        std::filesystem::path file =
            ZQModelManager_ZQCoreDataCache::managedObjectModelFileURLForDirectoryURL(*directory);
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) {
            found = platform::Error::create(
                ZQModelErrorDomain, 0,
                "Core Data managed object model not found: " + file.string());
        } else {
            // A file that is not a saved schema reads as no model with its own error, the same
            // as a missing one: the schema is then generated again and overwrites it.
            auto read = platform::ManagedObjectModel::readFromFile(file.string());
            model = std::move(read.model);
            found = std::move(read.error);
        }
    } else {
        found = ZQUtilities::tryHandleFatalError("App cache URL for application is not available");
    }

    if (model) {
        setError(error, nullptr);
        return modelObjectsWithSchema(std::move(model));
    }
    setError(error, found ? std::move(found)
                          : platform::Error::create(ZQModelErrorDomain, 0,
                                                    "The saved cache schema could not be read"));
    return std::nullopt;
}

std::optional<platform::Dictionary>
ZQModelManagerZQCoreDataCacheExtension::onModelLoadOperationsDidFinishForContext(
    const std::shared_ptr<ZQModelLoadOperationContext>& context, platform::ErrorPtr* error) {
    if (!context) {
        setError(error, platform::Error::create(ZQModelErrorDomain, 0, "No model load context"));
        return std::nullopt;
    }
    if (auto failed = context->error()) {
        setError(error, std::move(failed));
        return std::nullopt;
    }
    auto model = ZQModelLoadOperationContext_ZQCoreDataCache::managedObjectModel(*context);
    if (!model) {
        setError(error, platform::Error::create(ZQModelErrorDomain, 0,
                                                "The model load produced no cache schema"));
        return std::nullopt;
    }

    const ZQApplication* application = context->applicationModel()
                                           ? context->applicationModel().get()
                                           : context->applicationToLoad().get();
    if (auto directory = modelDirectory(application)) {
        // A schema that could not be saved is generated again on the next load; this load has
        // its schema either way.
        static_cast<void>(model->saveToFile(
            ZQModelManager_ZQCoreDataCache::managedObjectModelFileURLForDirectoryURL(*directory)
                .string()));
    }
    setError(error, nullptr);
    return modelObjectsWithSchema(std::move(model));
}

void ZQModelManagerZQCoreDataCacheExtension::clearCachedExtensionModelObjectsForApplication(
    const std::shared_ptr<const ZQApplication>& application) {
    auto directory = modelDirectory(application.get());
    if (!directory) return;
    std::error_code ignored;  // nothing to delete is as good as deleted
    std::filesystem::remove(
        ZQModelManager_ZQCoreDataCache::managedObjectModelFileURLForDirectoryURL(*directory),
        ignored);
}
