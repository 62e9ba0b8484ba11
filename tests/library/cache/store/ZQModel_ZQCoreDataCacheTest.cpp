#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"
#include "platform/objectstore/FetchRequest.hpp"
#include "tests/library/cache/store/StoreTestSupport.hpp"

namespace {

namespace fs = std::filesystem;
using platform::ManagedObjectContext;
using platform::PersistentStore;
using platform::Value;
using zqtest::CacheStoreTest;
using zqtest::StoreAppOptions;

int64_t countOf(ManagedObjectContext& context, const std::string& entity) {
    auto result = context.countForFetchRequest(platform::FetchRequest(entity));
    EXPECT_EQ(result.error, nullptr) << (result.error ? result.error->description() : "");
    return result.count;
}

// Saves one list row (SQLite store) and, when the schema has it, one uncached row (memory store).
void saveRows(ManagedObjectContext& context, int64_t orderId) {
    auto row = context.insertNewObject("Orders__List");
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->setValueForKey(Value(orderId), "zqorderid"), nullptr);
    if (auto recent = context.insertNewObject("Orders__Recent")) {
        ASSERT_EQ(recent->setValueForKey(Value(orderId), "zqorderid"), nullptr);
    }
    auto error = context.save();
    ASSERT_EQ(error, nullptr) << error->description();
}

std::shared_ptr<PersistentStore> storeOfType(
    const platform::PersistentStoreCoordinator& coordinator, PersistentStore::StoreType type) {
    for (const auto& store : coordinator.persistentStores())
        if (store->type() == type) return store;
    return nullptr;
}

const std::string kClearedMessage = "ZQM_ApplicationCacheHasBeenCleared";

class ModelCacheTest : public CacheStoreTest {
  protected:
    std::shared_ptr<const ZQApplicationModel> app = zqtest::loadStoreApp();
    std::shared_ptr<platform::ManagedObjectModel> schema = zqtest::schemaFor(app);

    std::string storePath() const { return (cachesFolder() / "AppDB.sqlite").string(); }
    std::string clearedText() const { return ZQResources::translationFor(kClearedMessage); }
    size_t alertCount() const {
        return ZQFoundationServices::alertMessageService()->recordedAlerts().size();
    }
};

TEST_F(ModelCacheTest, InitializationTakesOnlyAManagedObjectModelFromTheModelObjects) {
    auto model = ZQModel::create(app);
    EXPECT_FALSE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model, {}));
    platform::Dictionary wrongKind;
    wrongKind.set(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, Value("a schema"));
    EXPECT_FALSE(
        ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model, wrongKind));
    EXPECT_EQ(ZQModel_ZQCoreDataCache::coreDataCacheModel(model), nullptr);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model), nullptr);

    ASSERT_TRUE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
        model, zqtest::modelObjectsWithSchema(schema)));
    auto holder = ZQModel_ZQCoreDataCache::coreDataCacheModel(model);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->managedObjectModel(), schema);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::managedObjectModel(model), schema);
    // Nothing is opened until first use.
    EXPECT_EQ(holder->persistentStoreCoordinator(), nullptr);
    EXPECT_EQ(holder->managedObjectContext(), nullptr);
    EXPECT_FALSE(fs::exists(storePath()));
}

TEST_F(ModelCacheTest, FirstUseOpensTheSQLiteFileAndTheMemoryStoreByConfiguration) {
    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->concurrencyType(), ManagedObjectContext::ConcurrencyType::MainQueue);
    auto coordinator = ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);
    EXPECT_EQ(context->persistentStoreCoordinator(), coordinator);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::managedObjectContext(model), context);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::cacheSQLStoreURLPath(model), storePath());

    auto stores = coordinator->persistentStores();
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(stores[0]->type(), PersistentStore::StoreType::SQLite);
    EXPECT_EQ(stores[0]->configurationName(), ZQModelSQLStoreConfiguration);
    EXPECT_EQ(fs::path(stores[0]->path()), fs::path(storePath()));
    EXPECT_EQ(stores[1]->type(), PersistentStore::StoreType::InMemory);
    EXPECT_EQ(stores[1]->configurationName(), ZQModelMemoryStoreConfiguration);

    saveRows(*context, 7);
    EXPECT_EQ(countOf(*context, "Orders__List"), 1);
    EXPECT_EQ(countOf(*context, "Orders__Recent"), 1);
    EXPECT_TRUE(fs::exists(storePath()));
    EXPECT_EQ(alertCount(), 0u);
}

TEST_F(ModelCacheTest, ASchemaWithoutMemoryEntitiesKeepsEverythingInOneSQLiteStore) {
    auto allCached = zqtest::loadStoreApp({.withUncachedProvider = false});
    auto allCachedSchema = zqtest::schemaFor(allCached);
    ASSERT_TRUE(allCachedSchema->configurations().empty());
    auto model = zqtest::cachedModel(allCached, allCachedSchema);

    auto coordinator = ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);
    ASSERT_NE(coordinator, nullptr);
    auto stores = coordinator->persistentStores();
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0]->type(), PersistentStore::StoreType::SQLite);
    EXPECT_EQ(stores[0]->configurationName(), "");
    EXPECT_EQ(stores[0]->entities().size(), allCachedSchema->entities().size());
}

TEST_F(ModelCacheTest, WithoutAnApplicationModelNothingIsCreated) {
    auto model = ZQModel::create(nullptr);
    ASSERT_TRUE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
        model, zqtest::modelObjectsWithSchema(schema)));
    EXPECT_EQ(ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model), nullptr);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::managedObjectContext(model), nullptr);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::cacheSQLStoreURLPath(model), "");
}

TEST_F(ModelCacheTest, ConcurrentFirstCallersShareOneCoordinatorAndOneContext) {
    auto model = zqtest::cachedModel(app, schema);
    constexpr int kThreads = 8;
    std::vector<std::shared_ptr<platform::PersistentStoreCoordinator>> coordinators(kThreads);
    std::vector<std::shared_ptr<ManagedObjectContext>> contexts(kThreads);
    std::vector<size_t> storeCounts(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            if (i % 2 == 0) {
                contexts[i] = ZQModel_ZQCoreDataCache::managedObjectContext(model);
                coordinators[i] = contexts[i]->persistentStoreCoordinator();
            } else {
                coordinators[i] = ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);
            }
            // Whoever gets the coordinator gets it with its stores.
            storeCounts[i] = coordinators[i]->persistentStores().size();
        });
    }
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(coordinators[i], coordinators[0]);
        EXPECT_EQ(storeCounts[i], 2u);
        if (contexts[i]) {
            EXPECT_EQ(contexts[i], contexts[0]);
        }
    }
}

TEST_F(ModelCacheTest, AFirstStartCopiesACompleteSeedFromTheBundle) {
    // A seed written by this schema, with one row, closed (which folds its log into the file),
    // then shipped with (empty) companion files as an application would.
    std::string seed = (bundleFolder() / "AppDB.sqlite").string();
    {
        auto coordinator = platform::PersistentStoreCoordinator::create(schema);
        ASSERT_EQ(coordinator
                      ->addPersistentStore(PersistentStore::StoreType::SQLite,
                                           ZQModelSQLStoreConfiguration, seed)
                      .error,
                  nullptr);
        auto context =
            ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(coordinator);
        auto row = context->insertNewObject("Orders__List");
        ASSERT_EQ(row->setValueForKey(Value(42), "zqorderid"), nullptr);
        ASSERT_EQ(context->save(), nullptr);
    }
    zqtest::writeFile(seed + "-wal", "");
    zqtest::writeFile(seed + "-shm", "");

    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(countOf(*context, "Orders__List"), 1);
    EXPECT_TRUE(fs::exists(storePath() + "-wal"));
    EXPECT_TRUE(fs::exists(storePath() + "-shm"));
    EXPECT_EQ(alertCount(), 0u);
}

TEST_F(ModelCacheTest, ASeedWithoutItsLogIsIgnored) {
    zqtest::writeFile(bundleFolder() / "AppDB.sqlite", "a seed that must not be copied");
    zqtest::writeFile(bundleFolder() / "AppDB.sqlite-shm", "");

    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(countOf(*context, "Orders__List"), 0);
    // Had the seed been copied, opening it would have failed and raised an alert.
    EXPECT_EQ(alertCount(), 0u);
}

TEST_F(ModelCacheTest, AStoreOfAnotherSchemaVersionIsRecreatedWithoutAnAlert) {
    {
        auto older = zqtest::cachedModel(app, schema);
        saveRows(*ZQModel_ZQCoreDataCache::managedObjectContext(older), 1);
    }
    auto newerApp = zqtest::loadStoreApp({.withExtraOrderAttribute = true});
    auto newerSchema = zqtest::schemaFor(newerApp);
    ASSERT_NE(newerSchema->versionHash(), schema->versionHash());

    auto model = zqtest::cachedModel(newerApp, newerSchema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->persistentStoreCoordinator()->persistentStores().size(), 2u);
    EXPECT_EQ(countOf(*context, "Orders__List"), 0);
    EXPECT_EQ(alertCount(), 0u);
    EXPECT_TRUE(logger->hasRecordedMessageContaining(clearedText()));
    EXPECT_FALSE(logger->hasRecordedMessageContaining("Unresolved error"));
}

TEST_F(ModelCacheTest, AnUnreadableStoreFileIsRecreatedAfterAnAlert) {
    fs::create_directories(cachesFolder());
    zqtest::writeFile(storePath(), std::string(4096, 'x'));
    zqtest::writeFile(storePath() + "-wal", "stale");

    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->persistentStoreCoordinator()->persistentStores().size(), 2u);
    saveRows(*context, 3);
    EXPECT_EQ(countOf(*context, "Orders__List"), 1);

    auto alerts = ZQFoundationServices::alertMessageService()->recordedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].message, clearedText());
    EXPECT_FALSE(alerts[0].title.empty());
}

TEST_F(ModelCacheTest, AStoreThatCannotBeOpenedNowIsKeptAndOpenedAtALaterUse) {
    // A folder where the file should be: it cannot be opened, yet it is not a file of another
    // kind that could be replaced, so it stays, and nobody is told the cache was cleared.
    const fs::path occupied = fs::path(storePath()) / "occupied";
    fs::create_directories(occupied);

    auto model = zqtest::cachedModel(app, schema);
    auto coordinator = ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);
    ASSERT_NE(coordinator, nullptr);
    EXPECT_TRUE(coordinator->persistentStores().empty());
    EXPECT_NE(ZQModel_ZQCoreDataCache::storesError(model), nullptr);
    EXPECT_TRUE(fs::exists(occupied));
    EXPECT_TRUE(logger->hasRecordedMessageContaining("Unresolved error"));
    EXPECT_EQ(alertCount(), 0u);
    EXPECT_FALSE(logger->hasRecordedMessageContaining(clearedText()));

    // Once the obstacle is gone the next use adds the stores to the same coordinator.
    fs::remove_all(storePath());
    EXPECT_EQ(ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model), coordinator);
    EXPECT_EQ(coordinator->persistentStores().size(), 2u);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::storesError(model), nullptr);
}

TEST_F(ModelCacheTest, ClearingEmptiesBothStoresAndKeepsTheContext) {
    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    saveRows(*context, 5);
    auto fetched = context->executeFetchRequest(platform::FetchRequest("Orders__List")).objects();
    ASSERT_EQ(fetched.size(), 1u);
    auto kept = std::dynamic_pointer_cast<ZQCoreDataEntityData>(fetched[0]);
    ASSERT_NE(kept, nullptr);
    auto coordinator = context->persistentStoreCoordinator();
    auto oldStores = coordinator->persistentStores();

    ASSERT_EQ(ZQModel_ZQCoreDataCache::clearCoreDataCache(model), nullptr);

    EXPECT_EQ(ZQModel_ZQCoreDataCache::managedObjectContext(model), context);
    EXPECT_EQ(ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model), coordinator);
    auto newStores = coordinator->persistentStores();
    ASSERT_EQ(newStores.size(), 2u);
    for (const auto& store : newStores)
        EXPECT_EQ(std::count(oldStores.begin(), oldStores.end(), store), 0);
    EXPECT_EQ(countOf(*context, "Orders__List"), 0);
    EXPECT_EQ(countOf(*context, "Orders__Recent"), 0);
    // The object the context still holds belongs to a store that is gone: it reads as nothing.
    EXPECT_EQ(kept->valueForEntityDataFieldName("OrderId"), Value());
    EXPECT_FALSE(kept->hasValueForEntityDataFieldName("OrderId"));

    // The fresh stores work.
    saveRows(*context, 6);
    EXPECT_EQ(countOf(*context, "Orders__List"), 1);
}

TEST_F(ModelCacheTest, TheMainContextKeepsOnlyTheRowsSomeoneHoldsAndClearingForgetsThem) {
    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    for (int64_t id = 1; id <= 20; ++id) saveRows(*context, id);
    EXPECT_EQ(context->registeredObjectCount(), 0u);  // saved and let go of

    platform::FetchRequest request("Orders__List");
    auto fetched = context->executeFetchRequest(request).objects();
    ASSERT_EQ(fetched.size(), 20u);
    EXPECT_EQ(context->registeredObjectCount(), 20u);
    fetched.resize(5);
    EXPECT_EQ(context->registeredObjectCount(), 5u);
    // A row still held is the very object a new fetch returns.
    auto again = context->executeFetchRequest(request).objects();
    EXPECT_EQ(std::count(again.begin(), again.end(), fetched[0]), 1);
    again.clear();
    fetched.clear();
    EXPECT_EQ(context->registeredObjectCount(), 0u);

    fetched = context->executeFetchRequest(request).objects();
    ASSERT_EQ(ZQModel_ZQCoreDataCache::clearCoreDataCache(model), nullptr);
    EXPECT_EQ(context->registeredObjectCount(), 0u);
    EXPECT_EQ(fetched[0]->managedObjectContext(), nullptr);
}

TEST_F(ModelCacheTest, ClearingBeforeFirstUseDeletesTheFilesAndOpensNothing) {
    fs::create_directories(cachesFolder());
    for (const char* suffix : {"", "-wal", "-shm"}) zqtest::writeFile(storePath() + suffix, "old");
    auto model = zqtest::cachedModel(app, schema);

    ASSERT_EQ(ZQModel_ZQCoreDataCache::clearCoreDataCache(model), nullptr);

    for (const char* suffix : {"", "-wal", "-shm"}) EXPECT_FALSE(fs::exists(storePath() + suffix));
    EXPECT_EQ(ZQModel_ZQCoreDataCache::coreDataCacheModel(model)->persistentStoreCoordinator(),
              nullptr);
}

TEST_F(ModelCacheTest, TheClearCacheNotificationOfThisModelOnlyClearsItsCache) {
    auto model = zqtest::cachedModel(app, schema);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    saveRows(*context, 8);

    auto otherApp = zqtest::loadStoreApp({.name = "OtherApp"});
    auto other = zqtest::cachedModel(otherApp, zqtest::schemaFor(otherApp));
    other->clearCache();
    EXPECT_EQ(countOf(*context, "Orders__List"), 1);

    model->clearCache();
    EXPECT_EQ(countOf(*context, "Orders__List"), 0);
    EXPECT_EQ(countOf(*context, "Orders__Recent"), 0);
}

TEST_F(ModelCacheTest, ARepeatedInitializationObservesOnce) {
    auto model = zqtest::cachedModel(app, schema);
    ASSERT_TRUE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
        model, zqtest::modelObjectsWithSchema(schema)));
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    auto coordinator = context->persistentStoreCoordinator();

    uint64_t lastSerial = 0;
    for (const auto& store : coordinator->persistentStores())
        lastSerial = std::max(lastSerial, store->serial());

    model->clearCache();
    // Store serials count up: one clear opens exactly two new stores, a second observer (of the
    // replaced holder) would have opened two more.
    uint64_t newest = 0;
    for (const auto& store : coordinator->persistentStores())
        newest = std::max(newest, store->serial());
    EXPECT_EQ(coordinator->persistentStores().size(), 2u);
    EXPECT_EQ(newest, lastSerial + 2);
}

TEST_F(ModelCacheTest, TheUpdateModelNotificationRebuildsOnTheNewSchemaAtNextUse) {
    auto model = zqtest::cachedModel(app, schema);
    auto oldContext = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(oldContext, nullptr);

    auto newerApp = zqtest::loadStoreApp({.withExtraOrderAttribute = true});
    auto newerSchema = zqtest::schemaFor(newerApp);
    auto newer = zqtest::cachedModel(newerApp, newerSchema);
    model->updateModel(newer);

    auto holder = ZQModel_ZQCoreDataCache::coreDataCacheModel(model);
    EXPECT_EQ(holder->managedObjectModel(), newerSchema);
    EXPECT_EQ(holder->managedObjectContext(), nullptr);
    EXPECT_EQ(holder->persistentStoreCoordinator(), nullptr);

    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
    ASSERT_NE(context, nullptr);
    EXPECT_NE(context, oldContext);
    auto coordinator = context->persistentStoreCoordinator();
    EXPECT_EQ(coordinator->managedObjectModel(), newerSchema);
    auto sqlite = storeOfType(*coordinator, PersistentStore::StoreType::SQLite);
    ASSERT_NE(sqlite, nullptr);
    EXPECT_EQ(fs::path(sqlite->path()), fs::path(storePath()));
    EXPECT_NE(newerSchema->entityNamed("sales__order")->attributeNamed("zqordernote"), nullptr);
    auto row = context->insertNewObject("sales__order");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->setValueForKey(Value("fragile"), "zqordernote"), nullptr);
}

TEST_F(ModelCacheTest, TheObserversDoNotKeepTheModelAlive) {
    std::weak_ptr<ZQModel> gone = zqtest::cachedModel(app, schema);
    EXPECT_TRUE(gone.expired());
}

}  // namespace
