#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <tuple>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"
#include "platform/Clock.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "tests/library/cache/operations/CacheOperationTestSupport.hpp"
#include "tests/support/MainLoopHelpers.hpp"

using namespace zqtest;

namespace {

const platform::Date kFirstDay(1700000000.0);
const platform::Date kServerDate(1690000000.0);

std::string entityNameOf(const char* provider) {
    std::string name = provider;
    for (size_t at = name.find('.'); at != std::string::npos; at = name.find('.', at + 2)) {
        name.replace(at, 1, "__");
    }
    return name;
}

std::string developerText(const platform::ErrorPtr& error) {
    return error ? developerDescriptionOfError(error) : "";
}

// Every case runs with the one-context save (rows per run at their default, above any result
// here) and with saves of runs of one and of two rows, which must write the same cache.
class SaveOperationFixture : public ::testing::Test {
  protected:
    explicit SaveOperationFixture(int64_t rowsPerRun) {
        ZQUndocumentedConfig::setCacheSaveBatchRows(rowsPerRun);
    }
    ~SaveOperationFixture() override { ZQUndocumentedConfig::setCacheSaveBatchRows(-1); }
    std::shared_ptr<ZQEntityDataCacheSaveOperation> makeSave(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
        std::shared_ptr<ZQEntityDataServiceResult> result, bool clearPrevious, ZQRange page = {}) {
        auto operation = env.saveOperation(source, std::move(result), clearPrevious, page);
        operation->setDelegate(delegate);
        return operation;
    }
    std::shared_ptr<ZQEntityDataCacheSaveOperation> save(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
        std::shared_ptr<ZQEntityDataServiceResult> result, bool clearPrevious, ZQRange page = {}) {
        auto operation = makeSave(source, std::move(result), clearPrevious, page);
        env.run(operation);
        return operation;
    }
    std::vector<int64_t> orderIdsOfRows(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source) {
        auto context = env.newContext();
        std::vector<int64_t> ids;
        for (const auto& row : cachedRows(*context, source)) {
            ids.push_back(row.entity ? row.entity->valueForKey("zqorderid").integer().value_or(-1)
                                     : -1);
        }
        return ids;
    }
    static std::vector<int64_t> range(int64_t first, int64_t last) {
        std::vector<int64_t> out;
        for (int64_t i = first; i <= last; ++i) out.push_back(i);
        return out;
    }

    std::shared_ptr<platform::ManualClock> clock =
        std::make_shared<platform::ManualClock>(kFirstDay);
    platform::ScopedClock scopedClock{clock};
    CacheOperationEnvironment env;
    std::shared_ptr<RecordingSaveDelegate> delegate = std::make_shared<RecordingSaveDelegate>();
};

const auto kRowsPerRun = ::testing::Values(int64_t{-1}, int64_t{1}, int64_t{2});

std::string rowsPerRunName(int64_t rows) {
    return rows < 0 ? "WholeSave" : "RunsOf" + std::to_string(rows);
}

class SaveOperationTest : public SaveOperationFixture,
                          public ::testing::WithParamInterface<int64_t> {
  protected:
    SaveOperationTest() : SaveOperationFixture(GetParam()) {}
};

INSTANTIATE_TEST_SUITE_P(Runs, SaveOperationTest, kRowsPerRun,
                         [](const auto& info) { return rowsPerRunName(info.param); });

// ---- paging, on both stores: a provider whose cache is enabled lives in the SQLite store, one
// whose cache is disabled in the memory store.

class SavePagingTest : public SaveOperationFixture,
                       public ::testing::WithParamInterface<std::tuple<const char*, int64_t>> {
  protected:
    SavePagingTest() : SaveOperationFixture(std::get<1>(GetParam())) {}
    std::shared_ptr<const ZQEntityDataSourceDescriptor> orders() {
        return env.collection(provider());
    }
    std::string entity() const { return entityNameOf(provider()); }
    const char* provider() const { return std::get<0>(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(BothStores, SavePagingTest,
                         ::testing::Combine(::testing::Values(kCachedOrders, kLiveOrders),
                                            kRowsPerRun),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == kCachedOrders ? "Cached"
                                                                                         : "Live") +
                                    "_" + rowsPerRunName(std::get<1>(info.param));
                         });

TEST_P(SavePagingTest, FirstPageThenNextPageCompletesTheQueryWithRows1To27) {
    auto source = orders();
    save(source, collectionResult(orderItems(1, 20), 200, kServerDate), true, {0, 20});
    auto context = env.newContext();
    auto query = cachedQuery(*context, source);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->complete, false);
    EXPECT_EQ(query->timeStamp, kFirstDay);
    EXPECT_EQ(query->dataTimeStamp, kFirstDay);
    EXPECT_EQ(query->lastModified, kServerDate);
    EXPECT_EQ(orderIdsOfRows(source), range(1, 20));

    clock->advance(60);
    save(source, collectionResult(orderItems(21, 7), 200, platform::Date(1695000000.0)), false,
         {20, 20});
    context = env.newContext();
    query = cachedQuery(*context, source);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->complete, true);
    // A later page changes neither the record's dates nor the query's Last-Modified.
    EXPECT_EQ(query->timeStamp, kFirstDay);
    EXPECT_EQ(query->dataTimeStamp, kFirstDay);
    EXPECT_EQ(query->lastModified, kServerDate);
    auto rows = cachedRows(*context, source);
    ASSERT_EQ(rows.size(), 27u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].rowId, static_cast<int64_t>(i + 1));
    }
    EXPECT_EQ(orderIdsOfRows(source), range(1, 27));
    // Values are converted for the cache; lines live in their own entity, linked in order.
    EXPECT_EQ(rows[26].entity->valueForKey("zqamount").number(), 27.25);
    EXPECT_TRUE(rows[26].entity->valueForKey("zqorderdate").date());
    auto lines = related(rows[26].entity, "zqline");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->valueForKey("zqlineid").integer(), 2701);
    EXPECT_EQ(lines[1]->valueForKey("zqlineid").integer(), 2702);
    EXPECT_EQ(countOf(*context, "_Sublevel" + entity() + "_Line"), 54);
    EXPECT_EQ(delegate->finished(), 2);
    EXPECT_EQ(delegate->obtained(), 2);
    EXPECT_EQ(delegate->released(), 2);
}

TEST_P(SavePagingTest, ANextPageReusesTheRowsOfItemsAlreadyInTheQueryWithNewRowIds) {
    auto source = orders();
    save(source, collectionResult(orderItems(1, 5)), true, {0, 5});
    auto before = cachedRows(*env.newContext(), source);
    ASSERT_EQ(before.size(), 5u);
    // The server's list moved: orders 4 and 5 come again on the second page.
    save(source, collectionResult(orderItems(4, 5, 2, "Renamed")), false, {5, 5});
    auto context = env.newContext();
    auto rows = cachedRows(*context, source);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(orderIdsOfRows(source), (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(*rows[3].rowObjectID, *before[3].rowObjectID);
    EXPECT_EQ(rows[3].rowId, 6);
    EXPECT_EQ(*rows[4].rowObjectID, *before[4].rowObjectID);
    EXPECT_EQ(rows[4].rowId, 7);
    EXPECT_EQ(rows[3].entity->valueForKey("zqordername"), platform::Value("Renamed 4"));
    // Matched by key: one object per order, one per line.
    EXPECT_EQ(countOf(*context, entity()), 8);
    EXPECT_EQ(countOf(*context, "_Sublevel" + entity() + "_Line"), 16);
}

TEST_P(SavePagingTest, AFirstPageReplacesEveryRowOfTheQuery) {
    auto source = orders();
    save(source, collectionResult(orderItems(1, 20)), true, {0, 20});
    save(source, collectionResult(orderItems(21, 20)), false, {20, 20});
    clock->advance(60);
    save(source, collectionResult(orderItems(100, 3), 200, std::nullopt), true, {0, 20});
    auto context = env.newContext();
    EXPECT_EQ(orderIdsOfRows(source), range(100, 102));
    auto query = cachedQuery(*context, source);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->complete, true);  // 3 < 20
    EXPECT_EQ(query->timeStamp, clock->now());
    EXPECT_EQ(query->dataTimeStamp, clock->now());
    // A result without Last-Modified leaves the stored one alone (none here).
    EXPECT_FALSE(query->lastModified);
    // The old entity data stay cached; only the query's rows go.
    EXPECT_EQ(countOf(*context, "_QueryCollectionEntity" + entity()), 3);
    EXPECT_EQ(countOf(*context, entity()), 43);
}

TEST_P(SavePagingTest, AnUnpagedResultCompletesTheQueryAndKeepsOrDropsRows) {
    auto source = orders();
    save(source, collectionResult(orderItems(1, 4)), true, {0, 4});
    EXPECT_EQ(cachedQuery(*env.newContext(), source)->complete, false);  // a full page
    // Unpaged without clearPrevious: complete, and the old rows stay beside the new ones.
    save(source, collectionResult(orderItems(10, 2)), false, {0, 0});
    EXPECT_EQ(cachedQuery(*env.newContext(), source)->complete, true);
    auto ids = orderIdsOfRows(source);
    EXPECT_EQ(std::multiset<int64_t>(ids.begin(), ids.end()),
              (std::multiset<int64_t>{1, 2, 3, 4, 10, 11}));
    // Unpaged with clearPrevious: every old row goes.
    save(source, collectionResult(orderItems(50, 2)), true, {0, 0});
    EXPECT_EQ(orderIdsOfRows(source), range(50, 51));
    EXPECT_EQ(cachedQuery(*env.newContext(), source)->complete, true);
}

TEST_P(SavePagingTest, NotModifiedRefreshesOnlyTheTimeStampOfACachedRecord) {
    auto source = orders();
    // Without a record a 304 writes nothing and still succeeds.
    save(source, collectionResult(platform::Value(), 304), true, {0, 20});
    EXPECT_FALSE(cachedQuery(*env.newContext(), source));
    EXPECT_EQ(delegate->finished(), 1);

    save(source, collectionResult(orderItems(1, 3), 200, kServerDate), true, {0, 20});
    clock->advance(3600);
    save(source, collectionResult(platform::Value(), 304, platform::Date(1699999999.0)), true,
         {0, 20});
    auto context = env.newContext();
    auto query = cachedQuery(*context, source);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->timeStamp, clock->now());
    EXPECT_EQ(query->dataTimeStamp, kFirstDay);
    EXPECT_EQ(query->lastModified, kServerDate);
    EXPECT_EQ(orderIdsOfRows(source), range(1, 3));
    EXPECT_EQ(delegate->finished(), 3);
    EXPECT_TRUE(delegate->failures().empty());
}

// ---- repeated keys in one result

TEST_P(SavePagingTest, ItemsWithOneUncachedKeyBecomeOneObjectWithOneRowAndTheLaterValues) {
    auto source = orders();
    platform::Array items{orderItem(1), orderItem(2), orderItem(1, 2, "Later")};
    save(source, collectionResult(platform::Value(items)), true, {0, 20});
    auto context = env.newContext();
    auto objects = objectsWhere(*context, entity(), "zqorderid", 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->valueForKey("zqordername"), platform::Value("Later 1"));
    EXPECT_EQ(countOf(*context, "_Sublevel" + entity() + "_Line"), 4);
    auto rows = cachedRows(*context, source);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].rowId, 1);  // the first position of the repeated item
    EXPECT_EQ(rows[1].rowId, 2);

    // A later save of the key updates that one object (no arbitrary pick among two).
    save(source, collectionResult(platform::Value(platform::Array{orderItem(1, 2, "Again")})), true,
         {0, 20});
    context = env.newContext();
    objects = objectsWhere(*context, entity(), "zqorderid", 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->valueForKey("zqordername"), platform::Value("Again 1"));
}

TEST_P(SavePagingTest, TwoRowsLinkingOneEntityDataKeepTheLowestRowId) {
    auto source = orders();
    save(source, collectionResult(orderItems(1, 3)), true, {0, 3});
    // A cache written before repeated keys were merged: a second row links order 2.
    {
        auto context = env.newContext();
        auto query = cachedQuery(*context, source);
        auto order2 = objectsWhere(*context, entity(), "zqorderid", 2).at(0);
        auto row = context->insertNewObject("_QueryCollectionEntity" + entity());
        ASSERT_EQ(row->setValueForKey(90, "rowId"), nullptr);
        ASSERT_EQ(row->setValueForKey(platform::Value::object(order2), "entityData"), nullptr);
        ASSERT_EQ(
            row->setValueForKey(platform::Value::object(context->objectWithID(query->id)), "query"),
            nullptr);
        ASSERT_EQ(context->save(), nullptr);
    }
    auto before = cachedRows(*env.newContext(), source);
    ASSERT_EQ(before.size(), 4u);
    save(source, collectionResult(orderItems(2, 1)), false, {3, 3});
    auto rows = cachedRows(*env.newContext(), source);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(orderIdsOfRows(source), (std::vector<int64_t>{1, 3, 2}));
    EXPECT_EQ(*rows[2].rowObjectID, *before[1].rowObjectID);  // the row that had rowId 2
    EXPECT_EQ(rows[2].rowId, 4);
}

// ---- single items, keyless data, merging

TEST_P(SaveOperationTest, ASingleItemIsLinkedFromItsRecordWithItsLines) {
    auto detail = env.singleItem(kOrderDetail);
    auto item = platform::Value::dictionary(
        {{"OrderId", 7}, {"OrderName", "Seven"}, {"Amount", 7.5}, {"Line", orderItem(7)["Line"]}});
    save(detail, singleItemResult(item, 200, kServerDate), true);
    auto context = env.newContext();
    auto query = cachedQuery(*context, detail);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->lastModified, kServerDate);
    auto record = context->objectWithID(query->id);
    auto entity = std::dynamic_pointer_cast<platform::ManagedObject>(
        record->valueForKey("entityData").object());
    ASSERT_TRUE(entity);
    EXPECT_EQ(entity->valueForKey("zqordername"), platform::Value("Seven"));
    EXPECT_EQ(related(entity, "zqline").size(), 2u);

    // An array for a single item: every item is stored, the record links the last one.
    platform::Array two{
        platform::Value::dictionary({{"OrderId", 8},
                                     {"OrderName", "Eight"},
                                     {"Amount", 1},
                                     {"Line", platform::Value(platform::Array{})}}),
        platform::Value::dictionary({{"OrderId", 9},
                                     {"OrderName", "Nine"},
                                     {"Amount", 1},
                                     {"Line", platform::Value(platform::Array{})}})};
    save(detail, singleItemResult(platform::Value(two)), true);
    context = env.newContext();
    entity = std::dynamic_pointer_cast<platform::ManagedObject>(
        context->objectWithID(cachedQuery(*context, detail)->id)
            ->valueForKey("entityData")
            .object());
    ASSERT_TRUE(entity);
    EXPECT_EQ(entity->valueForKey("zqorderid").integer(), 9);
    EXPECT_EQ(countOf(*context, "Shop__Order__Detail"), 3);
}

TEST_P(SaveOperationTest, ASingleItemWithoutDataFailsAndWritesNothing) {
    auto detail = env.singleItem(kOrderDetail);
    for (platform::Value empty : {platform::Value(), platform::Value(platform::Array{})}) {
        save(detail, singleItemResult(empty), true);
    }
    ASSERT_EQ(delegate->failures().size(), 2u);
    for (const auto& error : delegate->failures()) {
        EXPECT_EQ(error->domain(), ZQErrorDomain);
        EXPECT_EQ(error->code(), ZQErrorCodeUnknown);
    }
    EXPECT_FALSE(cachedQuery(*env.newContext(), detail));
    EXPECT_EQ(delegate->released(), 0);  // building failed before any lock was asked for
}

TEST_P(SaveOperationTest, ItemsWithoutAStorageKeyAreNewObjectsEveryTime) {
    auto events = env.collection(kEvents);
    platform::Array items{eventItem("a"), eventItem("a")};
    save(events, collectionResult(platform::Value(items)), true, {0, 0});
    save(events, collectionResult(platform::Value(items)), true, {0, 0});
    auto context = env.newContext();
    EXPECT_EQ(countOf(*context, "Shop__Events"), 4);
    EXPECT_EQ(cachedRows(*context, events).size(), 2u);
}

TEST_P(SaveOperationTest, TheMainContextHasMergedTheSaveBeforeTheDelegateHears) {
    auto source = env.collection(kCachedOrders);
    save(source, collectionResult(orderItems(1, 2)), true, {0, 2});
    auto held = objectsWhere(*env.mainContext(), "Shop__Orders", "zqorderid", 1).at(0);
    ASSERT_EQ(held->valueForKey("zqordername"), platform::Value("Order 1"));

    std::atomic<bool> sawNewName{false};
    struct Observer : RecordingSaveDelegate {
        std::function<void()> onFinish;
        void entityDataCacheSaveOperationDidFinishSaving(
            const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation) override {
            onFinish();
            RecordingSaveDelegate::entityDataCacheSaveOperationDidFinishSaving(operation);
        }
    };
    auto observer = std::make_shared<Observer>();
    observer->onFinish = [&] {
        platform::dispatchSyncOnMain(
            [&] { sawNewName = held->valueForKey("zqordername") == platform::Value("New 1"); });
    };
    auto operation =
        env.saveOperation(source, collectionResult(orderItems(1, 1, 2, "New")), true, {0, 2});
    operation->setDelegate(observer);
    env.run(operation);
    EXPECT_EQ(observer->finished(), 1);
    EXPECT_TRUE(sawNewName);
}

TEST_P(SaveOperationTest, WithoutACurrentModelTheSaveStillSucceeds) {
    auto source = env.collection(kCachedOrders);
    ZQModel::setCurrentModel(nullptr);
    save(source, collectionResult(orderItems(1, 2)), true, {0, 2});
    ZQModel::setCurrentModel(env.model);
    EXPECT_EQ(delegate->finished(), 1);
    EXPECT_EQ(orderIdsOfRows(source), range(1, 2));
}

// ---- bad input

TEST_P(SaveOperationTest, BadItemsFailWithTheirErrorAndWriteNothing) {
    auto source = env.collection(kCachedOrders);
    platform::Dictionary withoutNotes = *orderItem(2).dictionary();
    withoutNotes.erase("Notes");
    struct Case {
        platform::Value data;
        std::string developerText;
    };
    auto shortLine = *orderItem(3).dictionary();
    shortLine.set("Line", platform::Value::dictionary({{"LineId", 5}, {"ProductName", "x"}}));
    std::vector<Case> cases{
        {platform::Value(platform::Array{orderItem(1), platform::Value("not an object")}), ""},
        {platform::Value(platform::Array{orderItem(1), platform::Value(withoutNotes)}),
         "Could not find value for field name 'Notes' in level 'Shop__Orders' while saving "
         "data to the cache."},
        {platform::Value(platform::Array{platform::Value::dictionary(
             {{"OrderId", 1}, {"Line", platform::Value::dictionary({{"LineId", 5}})}})}),
         "Could not find value for field name 'OrderName' in level 'Shop__Orders' while saving "
         "data to the cache."},
        {platform::Value(platform::Array{platform::Value(shortLine)}),
         "Could not find value for field name 'LineQty' in level "
         "'_SublevelShop__Orders_Line' while saving data to the cache."},
    };
    for (const auto& c : cases) save(source, collectionResult(c.data), true, {0, 20});
    auto failures = delegate->failures();
    ASSERT_EQ(failures.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(failures[i]->code(), ZQErrorCodeUnknown);
        if (!cases[i].developerText.empty()) {
            EXPECT_EQ(developerText(failures[i]), cases[i].developerText);
        }
    }
    auto context = env.newContext();
    EXPECT_FALSE(cachedQuery(*context, source));
    EXPECT_EQ(countOf(*context, "Shop__Orders"), 0);
}

// ---- the delegate and its lock

TEST_P(SaveOperationTest, WithTheDelegateGoneTheSaveEndsWithAnErrorAndWritesNothing) {
    auto source = env.collection(kCachedOrders);
    auto operation = env.saveOperation(source, collectionResult(orderItems(1, 2)), true, {0, 2});
    {
        auto shortLived = std::make_shared<RecordingSaveDelegate>();
        operation->setDelegate(shortLived);
    }
    env.run(operation);
    ASSERT_TRUE(operation->error());
    EXPECT_EQ(operation->error()->domain(), ZQErrorDomain);
    auto context = env.newContext();
    EXPECT_FALSE(cachedQuery(*context, source));
    EXPECT_EQ(countOf(*context, "Shop__Orders"), 0);
}

TEST_P(SaveOperationTest, ACancelledSaveTellsNobodyAndGivesItsLockBack) {
    auto source = env.collection(kCachedOrders);
    // Cancelled between obtaining the lock and locking it, then while holding it.
    auto first = makeSave(source, collectionResult(orderItems(1, 2)), true, {0, 2});
    delegate->onObtain = [&](const std::string&) { first->cancel(); };
    env.run(first);
    delegate->onObtain = nullptr;
    auto lock = delegate->lockNamed("Shop__Orders");
    EXPECT_EQ(lock->timesLocked(), 0);

    auto second = makeSave(source, collectionResult(orderItems(1, 2)), true, {0, 2});
    lock->setOnLocked([&] { second->cancel(); });
    env.run(second);
    lock->setOnLocked(nullptr);

    EXPECT_EQ(lock->timesLocked(), 1);
    EXPECT_FALSE(lock->isHeld());
    EXPECT_EQ(delegate->obtained(), 2);
    EXPECT_EQ(delegate->released(), 2);
    EXPECT_EQ(delegate->finished(), 0);
    EXPECT_TRUE(delegate->failures().empty());
    EXPECT_FALSE(cachedQuery(*env.newContext(), source));
}

TEST_P(SaveOperationTest, TwoSavesOfOneEntityNeverOverlap) {
    auto source = env.collection(kCachedOrders);
    auto lock = delegate->lockNamed("Shop__Orders");
    // Hold each save inside the lock for a while so that overlaps would show.
    lock->setOnLocked([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    // Every write of the entity happens while its lock is held.
    std::atomic<int> savesOutsideLock{0}, saves{0};
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::kManagedObjectContextDidSaveNotification, nullptr,
        [&](const platform::Notification&) {
            ++saves;
            if (!lock->isHeld()) ++savesOutsideLock;
        });
    // Pages of their own (any order of running gives the same 40 rows).
    std::vector<std::shared_ptr<platform::Operation>> operations;
    for (int i = 0; i < 4; ++i) {
        operations.push_back(makeSave(source, collectionResult(orderItems(i * 10, 10)), false,
                                      {static_cast<uint64_t>(i * 10), 10}));
    }
    env.runAll(operations);
    token.reset();
    EXPECT_EQ(lock->maxHolders(), 1);
    EXPECT_EQ(lock->timesLocked(), 4);
    // One store save per operation, or one per run when saved in runs.
    if (GetParam() < 0) {
        EXPECT_EQ(saves.load(), 4);
    } else {
        EXPECT_GE(saves.load(), 40 / GetParam());
    }
    EXPECT_EQ(savesOutsideLock.load(), 0);
    EXPECT_EQ(delegate->finished(), 4);
    EXPECT_EQ(cachedRows(*env.newContext(), source).size(), 40u);
}

TEST_P(SaveOperationTest, SavesOfDifferentEntitiesHoldTheirLocksAtTheSameTime) {
    auto cached = env.collection(kCachedOrders);
    auto events = env.collection(kEvents);
    auto ordersLock = delegate->lockNamed("Shop__Orders");
    auto eventsLock = delegate->lockNamed("Shop__Events");
    // Each save waits, inside its lock, until the other save holds its own lock.
    zqtest::Event ordersIn, eventsIn;
    std::atomic<bool> met{true};
    ordersLock->setOnLocked([&] {
        ordersIn.signal();
        if (!eventsIn.wait(10)) met = false;
    });
    eventsLock->setOnLocked([&] {
        eventsIn.signal();
        if (!ordersIn.wait(10)) met = false;
    });
    env.runAll({makeSave(cached, collectionResult(orderItems(1, 3)), true, {0, 3}),
                makeSave(events, collectionResult(platform::Value(platform::Array{eventItem("e")})),
                         true, {0, 0})});
    EXPECT_TRUE(met);
    EXPECT_EQ(delegate->finished(), 2);
}

TEST_P(SaveOperationTest, ASaveRunsWhileReadersFetchTheSameEntity) {
    auto source = env.collection(kCachedOrders);
    save(source, collectionResult(orderItems(1, 50)), true, {0, 50});
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                auto context = env.newContext();
                auto rows = cachedRows(*context, source);
                for (const auto& row : rows) {
                    if (row.entity) (void)row.entity->valueForKey("zqordername");
                }
                ++reads;
            }
        });
    }
    for (int round = 0; round < 3; ++round) {
        save(source, collectionResult(orderItems(1, 50, 2, "Round" + std::to_string(round))), true,
             {0, 50});
    }
    // Readers on the main thread too, through the main context.
    auto mainRows = cachedRows(*env.mainContext(), source);
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(mainRows.size(), 50u);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(delegate->finished(), 4);
    EXPECT_EQ(objectsWhere(*env.newContext(), "Shop__Orders", "zqorderid", 50)
                  .at(0)
                  ->valueForKey("zqordername"),
              platform::Value("Round2 50"));
}

}  // namespace
