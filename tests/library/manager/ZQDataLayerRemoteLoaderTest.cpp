#include "ZQDataLayerRemote/manager/ZQDataLayerRemoteLoader.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClassNames.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModelManagerZQCoreDataCacheExtension.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHost.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"
#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"
#include "tests/support/TempDir.hpp"

namespace {

// The registrations are process-wide and one-way (the shared model manager keeps its extension,
// every later ZQModel runs the initializer), so the start-up runs in a process of its own: the
// child of a death test, which reports through its exit code and its last line on stderr.
int failure(const std::string& what) {
    std::fprintf(stderr, "start-up check failed: %s\n", what.c_str());
    return 1;
}

size_t cacheExtensionsRegistered() {
    size_t count = 0;
    for (const auto& extension : ZQModelManager::sharedManager()->modelManagerExtensions()) {
        if (std::dynamic_pointer_cast<ZQModelManagerZQCoreDataCacheExtension>(extension)) ++count;
    }
    return count;
}

int startHostAndLoadTheSampleApplication() {
    zqtest::TempDir root;
    ZQDataLayerRemoteLoader::load();
    ZQDataLayerRemoteLoader::load();
    if (cacheExtensionsRegistered() != 0) return failure("registered before the host started");

    ZQHostConfiguration configuration;
    configuration.applicationRoot = root.path();
    if (auto error = ZQHost::start(configuration)) return failure(error->description());
    ZQDataLayerRemoteLoader::load();  // after the start-up: still nothing more
    if (cacheExtensionsRegistered() != 1) return failure("not exactly one cache extension");
    if (!platform::ManagedObjectClassRegistry::shared().isRegistered(
            ZQCoreDataCacheClassNames::kEntityDataBCRootLevel)) {
        return failure("cached object classes not registered");
    }

    auto app =
        std::make_shared<ZQApplication>("SampleSales", zqtest::sampleAppFolder() / "model.json");
    auto loaded = ZQModelManager::sharedManager()->loadModelForApplication(app);
    if (!loaded.model) return failure(loaded.error ? loaded.error->description() : "no model");
    auto schema = ZQModel_ZQCoreDataCache::managedObjectModel(loaded.model);
    if (!schema) return failure("the loaded model carries no schema");
    platform::ErrorPtr error;
    auto expected =
        ZQCoreDataModelFactory::coreDataModelForApplicationModel(loaded.model->appModel(), &error);
    if (!expected || !(*schema == *expected)) return failure("not the sample's schema");

    // The schema is usable: the store opens on it in the application's caches folder.
    if (!ZQModel_ZQCoreDataCache::persistentStoreCoordinator(loaded.model))
        return failure("no coordinator");
    if (!std::filesystem::exists(root / "SampleSales" / "Caches" / "AppDB.sqlite"))
        return failure("no store file");
    std::fprintf(stderr, "start-up checks passed\n");
    return 0;
}

TEST(ZQDataLayerRemoteLoader, HostStartRegistersTheCacheSoLoadedModelsCarryTheirSchema) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int status = startHostAndLoadTheSampleApplication();
            std::fflush(stderr);
            std::_Exit(status);
        },
        ::testing::ExitedWithCode(0), "start-up checks passed");
}

}  // namespace
