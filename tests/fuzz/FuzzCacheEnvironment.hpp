// What the cache fuzz targets share: a model loaded from text, with its cache schema moved
// entirely to the in-memory store (no file grows across runs), made the running model once per
// process. Header-only; called from the fuzzer's (main) thread.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

namespace zqfuzz {

inline std::shared_ptr<ZQModel> runMemoryCacheModel(const char* modelJSON) {
    ZQApplicationStorageService::sharedInstance()->setApplicationRoot(
        std::filesystem::temp_directory_path() / "zq-fuzz-cache");
    ZQCoreDataCacheClasses::registerClasses();
    auto loaded = ZQApplicationModelLoader::loadFromString(modelJSON, "fuzz");
    if (!loaded.model) std::abort();
    platform::ErrorPtr error;
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(loaded.model, &error);
    if (!schema) std::abort();
    schema->setEntitiesForConfiguration({}, "sql");
    schema->setEntitiesForConfiguration(schema->entities(), "memory");
    platform::Dictionary objects{
        {ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, platform::Value::object(schema)}};
    auto model = ZQModel::create(loaded.model, objects);
    if (!ZQModel_ZQCoreDataCache::coreDataCacheModel(model) &&
        !ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model, objects))
        std::abort();
    ZQModel::setCurrentModel(model);
    return model;
}

}  // namespace zqfuzz
