// Test support for the cache store tests: a small application model (one business component with
// a child level, a cached collection provider, a cached single-item provider with a structured
// variable and a sublevel, and optionally an uncached provider), its schema from the factory, and a
// fixture that points the host's storage root and main bundle at a temporary folder, turns logging
// on (quietly) and restores everything afterwards. Header-only; used on the test's own thread.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQResources.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "tests/support/TempDir.hpp"

namespace zqtest {

struct StoreAppOptions {
    std::string name = "StoreApp";
    bool withUncachedProvider = true;      // gives the schema its "memory" configuration
    bool withExtraOrderAttribute = false;  // another schema version of the same application
};

inline std::string storeAppModelJSON(const StoreAppOptions& options) {
    std::string extra = options.withExtraOrderAttribute
                            ? R"(, {"name": "OrderNote", "type": "varchar", "length": 80})"
                            : "";
    std::string uncached = options.withUncachedProvider ? R"(,
        {"name": "Recent", "list": {"data": [{
          "dataProvider": "Orders.Recent", "collection": true, "cache": {"enabled": false},
          "elements": [{"name": "OrderId"}, {"name": "OrderTotal"}], "key": ["OrderId"]}]}})"
                                                        : "";
    return R"({
  "formatVersion": 1,
  "name": ")" +
           options.name +
           R"(",
  "domains": [{"name": "Amount", "type": "numeric", "length": 12, "decimals": 2}],
  "structuredTypes": [{"name": "Address", "members": [
      {"name": "Street", "type": "varchar", "length": 60},
      {"name": "City", "type": "varchar", "length": 40}]}],
  "businessComponents": [{"name": "Sales.Order", "levels": [
      {"name": "Order", "attributes": [
          {"name": "OrderId", "type": "numeric", "length": 6, "key": true},
          {"name": "OrderTotal", "domain": "Amount"}, {"name": "Amount", "domain": "Amount"})" +
           extra + R"(]},
      {"name": "Line", "parent": "Order", "attributes": [
          {"name": "LineId", "type": "numeric", "length": 4, "key": true},
          {"name": "LineAmount", "domain": "Amount"}]}]}],
  "workWiths": [{"name": "WorkWithOrder", "businessComponent": "Sales.Order", "levels": [
      {"name": "Order",
       "list": {"data": [{
          "dataProvider": "Orders.List", "collection": true, "cache": {"enabled": true},
          "elements": [{"name": "OrderId"}, {"name": "OrderTotal"}, {"name": "Amount"}],
          "key": ["OrderId"]}]},
       "detail": {"dataProvider": "Orders.Detail", "data": [{
          "dataProvider": "Orders.Detail", "cache": {"enabled": true},
          "elements": [{"name": "OrderId"}, {"name": "OrderTotal"},
                       {"name": "&ShipTo", "sdt": "Address"}],
          "key": ["OrderId"],
          "sublevels": [{"level": "Lines", "elements": [{"name": "LineId"}, {"name": "LineAmount"}],
                         "key": ["LineId"]}]}]}})" +
           uncached + R"(]}]
})";
}

inline std::shared_ptr<const ZQApplicationModel> loadStoreApp(const StoreAppOptions& options = {}) {
    auto result = ZQApplicationModelLoader::loadFromString(storeAppModelJSON(options), "store-app");
    EXPECT_EQ(result.error, nullptr) << (result.error ? result.error->description() : "");
    return result.model;
}

inline std::shared_ptr<platform::ManagedObjectModel> schemaFor(
    const std::shared_ptr<const ZQApplicationModel>& app) {
    platform::ErrorPtr error;
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(app, &error);
    EXPECT_NE(schema, nullptr) << (error ? error->description() : "");
    return schema;
}

inline platform::Dictionary modelObjectsWithSchema(
    const std::shared_ptr<platform::ManagedObjectModel>& schema) {
    platform::Dictionary objects;
    objects.set(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel,
                platform::Value::object(schema));
    return objects;
}

// A ZQModel of the application whose cache holds the schema.
inline std::shared_ptr<ZQModel> cachedModel(
    const std::shared_ptr<const ZQApplicationModel>& app,
    const std::shared_ptr<platform::ManagedObjectModel>& schema) {
    auto model = ZQModel::create(app);
    EXPECT_TRUE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
        model, modelObjectsWithSchema(schema)));
    return model;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class CacheStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ZQCoreDataCacheClasses::registerClasses();
        storage->setApplicationRoot(dir / "root");
        std::filesystem::create_directories(dir / "bundle");
        ZQBundle::setMainBundle(std::make_shared<ZQBundle>(dir / "bundle", platform::Dictionary()));
        logger->setConsoleOutputEnabled(false);
        logger->setLogEnabled(true);
        logger->clearRecordedMessages();
        ZQFoundationServices::alertMessageService()->clearRecordedAlerts();
    }
    void TearDown() override {
        storage->setApplicationRoot(savedRoot);
        ZQBundle::setMainBundle(nullptr);
        logger->setLogEnabled(savedLogEnabled);
        logger->setConsoleOutputEnabled(true);
        ZQFoundationServices::alertMessageService()->clearRecordedAlerts();
    }

    std::filesystem::path cachesFolder(const std::string& appName = "StoreApp") const {
        return dir / "root" / appName / "Caches";
    }
    std::filesystem::path bundleFolder() const { return dir / "bundle"; }

    TempDir dir;
    std::shared_ptr<ZQApplicationStorageService> storage =
        ZQObjectsModelServices::applicationStorageService();
    std::filesystem::path savedRoot = storage->applicationRoot();
    std::shared_ptr<ZQLoggerService> logger = ZQLog::loggerService();
    bool savedLogEnabled = logger->isLogEnabled();
};

}  // namespace zqtest
