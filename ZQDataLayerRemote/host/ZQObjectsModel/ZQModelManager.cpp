#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"

#include <fstream>
#include <iterator>
#include <system_error>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "platform/OperationQueue.hpp"

namespace {

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::shared_ptr<ZQModelManager> ZQModelManager::sharedManager() {
    static const auto* instance = new std::shared_ptr<ZQModelManager>(create());
    return *instance;
}

std::shared_ptr<ZQModelManager> ZQModelManager::create() {
    return std::make_shared<ZQModelManager>();
}

void ZQModelManager::registerModelManagerExtension(
    std::shared_ptr<ZQModelManagerExtension> extension) {
    if (!extension) return;
    platform::MutexLock lock(mutex_);
    extensions_.push_back(std::move(extension));
}

std::vector<std::shared_ptr<ZQModelManagerExtension>> ZQModelManager::modelManagerExtensions()
    const {
    platform::MutexLock lock(mutex_);
    return extensions_;
}

std::optional<std::filesystem::path> ZQModelManager::defaultModelFileDirectoryURLForApplication(
    const ZQApplication& application, bool createIfNeeded) {
    auto storage = ZQObjectsModelServices::applicationStorageService();
    if (!storage) return std::nullopt;
    return storage->modelDirectoryForApplication(application.name(), createIfNeeded);
}

std::filesystem::path ZQModelManager::modelFileURLForDirectoryURL(
    const std::filesystem::path& directory, std::string_view extension) {
    return directory / ("Model." + std::string(extension));
}

std::filesystem::path ZQModelManager::modelFileURLForDirectoryURL(
    const std::filesystem::path& directory) {
    return modelFileURLForDirectoryURL(directory, "json");
}

ZQModelLoadResult ZQModelManager::loadModelForApplication(
    const std::shared_ptr<const ZQApplication>& application) {
    if (!application)
        return {nullptr, platform::Error::create(ZQModelErrorDomain, 0, "No application to load")};
    auto appModel = std::dynamic_pointer_cast<const ZQApplicationModel>(application);
    if (!appModel) {
        auto loaded = ZQApplicationModelLoader::loadFromFile(application->modelFilePath());
        if (loaded.error) return {nullptr, loaded.error};
        appModel = loaded.model;
    }
    refreshModelDirectory(appModel);
    auto context = std::make_shared<ZQModelLoadOperationContext>(application, appModel);
    platform::Dictionary modelObjects;
    auto merge = [&modelObjects](const platform::Dictionary& objects) {
        for (const auto& [key, value] : objects) modelObjects.set(key, value);
    };

    std::vector<std::shared_ptr<ZQModelManagerExtension>> pending;
    std::vector<std::shared_ptr<platform::Operation>> operations;
    for (const auto& extension : modelManagerExtensions()) {
        platform::ErrorPtr cacheError;  // a cache miss only means the objects are made again
        if (auto objects = extension->loadExtensionModelObjectsFromCacheForApplication(
                appModel, &cacheError)) {
            merge(*objects);
            continue;
        }
        pending.push_back(extension);
        for (auto& operation : extension->extensionModelLoadOperationsForContext(context))
            operations.push_back(std::move(operation));
    }
    if (!operations.empty()) {
        auto queue = platform::OperationQueue::create("ZQModelManager.load");
        queue->addOperations(operations, true);
    }
    for (const auto& extension : pending) {
        platform::ErrorPtr error;
        auto objects = extension->onModelLoadOperationsDidFinishForContext(context, &error);
        if (auto first = context->error()) return {nullptr, first};
        if (!objects) {
            return {nullptr,
                    error ? error
                          : platform::Error::create(ZQModelErrorDomain, 0,
                                                    "A model extension gave no model objects")};
        }
        merge(*objects);
    }
    if (auto first = context->error()) return {nullptr, first};
    return {ZQModel::create(appModel, std::move(modelObjects)), nullptr};
}

void ZQModelManager::refreshModelDirectory(const std::shared_ptr<const ZQApplicationModel>& app) {
    // The model folder keeps a copy of the model file the cached objects were made from; a
    // different model file makes every extension drop what it cached, so that a schema made for
    // an older model is never read back for a newer one.
    auto directory = defaultModelFileDirectoryURLForApplication(*app, true);
    if (!directory || app->modelFilePath().empty()) return;
    auto current = readWholeFile(app->modelFilePath());
    if (!current) return;
    auto copyPath = modelFileURLForDirectoryURL(*directory);
    if (readWholeFile(copyPath) == current) return;
    clearCachedModelObjectsForApplication(app);
    std::ofstream out(copyPath, std::ios::binary | std::ios::trunc);
    out << *current;  // a copy that fails to write only costs a rebuild on the next load
}

void ZQModelManager::clearCachedModelObjectsForApplication(
    const std::shared_ptr<const ZQApplication>& application) {
    for (const auto& extension : modelManagerExtensions())
        extension->clearCachedExtensionModelObjectsForApplication(application);
}
