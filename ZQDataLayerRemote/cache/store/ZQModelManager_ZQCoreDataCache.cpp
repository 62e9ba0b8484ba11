#include "ZQDataLayerRemote/cache/store/ZQModelManager_ZQCoreDataCache.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"

std::filesystem::path ZQModelManager_ZQCoreDataCache::managedObjectModelFileURLForDirectoryURL(
    const std::filesystem::path& directory) {
    return ZQModelManager::modelFileURLForDirectoryURL(directory, "mom");
}
