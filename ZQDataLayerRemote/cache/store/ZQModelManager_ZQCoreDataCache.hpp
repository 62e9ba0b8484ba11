// The cache's additions to the host's model manager: where the saved cache schema lives among the
// application's model files. Static functions, no state; any thread.
#pragma once

#include <filesystem>

class ZQModelManager_ZQCoreDataCache {
  public:
    // The schema file in a model folder: the host's model file name with the extension "mom".
    static std::filesystem::path managedObjectModelFileURLForDirectoryURL(
        const std::filesystem::path& directory);
};
