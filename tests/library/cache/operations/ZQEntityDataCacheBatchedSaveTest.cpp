// A collection saved in runs of rows (in one store write batch) must leave the cache as the
// one-context save does, and nothing at all when it stops part way.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"
#include "platform/Clock.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/library/cache/operations/CacheOperationTestSupport.hpp"

using namespace zqtest;
using platform::Value;

namespace {

const platform::Date kFirstDay(1700000000.0);

struct RowsPerRun {
    explicit RowsPerRun(int64_t rows) { ZQUndocumentedConfig::setCacheSaveBatchRows(rows); }
    ~RowsPerRun() { ZQUndocumentedConfig::setCacheSaveBatchRows(-1); }
};

std::string jsonText(const Value& value) {
    auto written = ZQJSON::write(value);
    EXPECT_FALSE(written.error);
    return written.text;
}

std::shared_ptr<ZQEntityDataServiceResult> streamedResult(std::string text) {
    auto result = collectionResult(Value());
    result->setStreamedRows(std::make_shared<const ZQJSONArrayReader>(Value(std::move(text))));
    return result;
}

Value items(std::initializer_list<Value> list) {
    return Value(platform::Array(list));
}

std::string entityOf(const char* provider) {
    return provider == std::string(kCachedOrders) ? "Shop__Orders" : "Shop__LiveOrders";
}

// What the cache holds for the query: its record, its rows in order with their orders and lines,
// and how many objects each entity has.
std::string cacheText(CacheOperationEnvironment& env, const char* provider) {
    auto source = env.collection(provider);
    const std::string entity = entityOf(provider);
    auto context = env.newContext();
    auto query = cachedQuery(*context, source);
    if (!query) return "no query";
    auto seconds = [](const std::optional<platform::Date>& date) {
        return date ? std::to_string(date->timeIntervalSince1970()) : std::string("none");
    };
    std::string text =
        "complete " + std::string(query->complete ? (*query->complete ? "yes" : "no") : "?") +
        ", time " + seconds(query->timeStamp) + ", data " + seconds(query->dataTimeStamp) +
        ", modified " + seconds(query->lastModified) + "\n";
    for (const auto& row : cachedRows(*context, source)) {
        text += std::to_string(row.rowId) + ": ";
        if (!row.entity) {
            text += "no entity\n";
            continue;
        }
        text += std::to_string(row.entity->valueForKey("zqorderid").integer().value_or(-1)) + " " +
                std::string(row.entity->valueForKey("zqordername").string().value_or("?")) + " [";
        for (const auto& line : related(row.entity, "zqline")) {
            text += " " + std::to_string(line->valueForKey("zqlineid").integer().value_or(-1));
        }
        text += " ]\n";
    }
    return text + "objects " + std::to_string(countOf(*context, entity)) + ", lines " +
           std::to_string(countOf(*context, "_Sublevel" + entity + "_Line")) + ", rows " +
           std::to_string(countOf(*context, "_QueryCollectionEntity" + entity));
}

struct Save {
    Value items;
    bool clearPrevious;
    ZQRange page;
};

struct Mode {
    const char* name;
    int64_t rowsPerRun;  // -1: the default, above every result here
    bool streamed;
};

// Saves in order, each from a parsed or a streamed result; every save must succeed.
void runSaves(CacheOperationEnvironment& env, const char* provider, const std::vector<Save>& saves,
              bool streamed, platform::ManualClock& clock) {
    auto delegate = std::make_shared<RecordingSaveDelegate>();
    for (const auto& save : saves) {
        clock.advance(60);
        auto result =
            streamed ? streamedResult(jsonText(save.items)) : collectionResult(save.items);
        auto operation =
            env.saveOperation(env.collection(provider), result, save.clearPrevious, save.page);
        operation->setDelegate(delegate);
        env.run(operation);
    }
    EXPECT_EQ(delegate->finished(), static_cast<int>(saves.size()));
    for (const auto& error : delegate->failures()) ADD_FAILURE() << error->description();
}

TEST(BatchedCacheSaveTest, SavesInRunsAndFromTextWriteWhatTheOneContextSaveWrites) {
    const Value o1 = orderItem(1), o2 = orderItem(2), o3 = orderItem(3), o4 = orderItem(4);
    const Value o5 = orderItem(5), o7 = orderItem(7), o9 = orderItem(9);
    const Value later1 = orderItem(1, 3, "Later"), later2 = orderItem(2, 1, "Later");
    const Value later3 = orderItem(3, 0, "Later"), later4 = orderItem(4, 2, "Later");
    const std::vector<std::pair<const char*, std::vector<Save>>> sequences{
        // Keys repeated within a run and across runs: one object each, with the later values
        // and the first one's row.
        {"repeated keys", {{items({o1, o2, o3, later1, later2, o4, later1}), true, {0, 20}}}},
        // A later page repeats keys of the first page and of its own earlier runs.
        {"later page",
         {{orderItems(1, 4), true, {0, 4}},
          {items({later3, o5, later3, o7, later4}), false, {4, 4}}}},
        // A first page replaces every row; the old entity data stay.
        {"first page again",
         {{orderItems(1, 5), true, {0, 5}},
          {orderItems(6, 5), false, {5, 5}},
          {items({o5, later4, o9}), true, {0, 5}}}},
        // Unpaged: complete, old rows kept beside the new ones or all replaced.
        {"unpaged",
         {{orderItems(1, 3), true, {0, 3}},
          {items({later2, o7, later2}), false, {0, 0}},
          {items({o9, o1, o9}), true, {0, 0}}}},
        {"empty result", {{orderItems(1, 3), true, {0, 3}}, {items({}), true, {0, 3}}}},
    };
    const std::vector<Mode> modes{
        {"runs of 1", 1, false}, {"runs of 2", 2, false},          {"runs of 3", 3, false},
        {"from text", -1, true}, {"runs of 2 from text", 2, true},
    };
    for (const char* provider : {kCachedOrders, kLiveOrders}) {
        for (const auto& [name, saves] : sequences) {
            SCOPED_TRACE(testing::Message() << provider << ", " << name);
            std::string expected;
            {
                auto clock = std::make_shared<platform::ManualClock>(kFirstDay);
                platform::ScopedClock scoped(clock);
                CacheOperationEnvironment env;
                runSaves(env, provider, saves, false, *clock);
                expected = cacheText(env, provider);
            }
            for (const auto& mode : modes) {
                SCOPED_TRACE(mode.name);
                RowsPerRun rows(mode.rowsPerRun);
                auto clock = std::make_shared<platform::ManualClock>(kFirstDay);
                platform::ScopedClock scoped(clock);
                CacheOperationEnvironment env;
                runSaves(env, provider, saves, mode.streamed, *clock);
                EXPECT_EQ(cacheText(env, provider), expected);
            }
        }
    }
}

// Objects the main context holds take what a batched save changed once it has committed: new
// values, rows that moved or went, the record's flags and rows.
TEST(BatchedCacheSaveTest, MainContextTakesTheBatchOnceCommitted) {
    RowsPerRun rows(1);
    CacheOperationEnvironment env;
    auto source = env.collection(kCachedOrders);
    auto delegate = std::make_shared<RecordingSaveDelegate>();
    auto save = [&](Value data, bool clearPrevious, ZQRange page) {
        auto operation =
            env.saveOperation(source, collectionResult(std::move(data)), clearPrevious, page);
        operation->setDelegate(delegate);
        env.run(operation);
    };
    auto rowCount = [](const std::shared_ptr<platform::ManagedObject>& record) {
        auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
            record->valueForKey("queryEntities").object());
        return set ? set->count() : size_t{0};
    };
    save(orderItems(1, 3), true, {0, 3});
    auto main = env.mainContext();
    auto held = objectsWhere(*main, "Shop__Orders", "zqorderid", 1).at(0);
    auto record = main->objectWithID(cachedQuery(*main, source)->id);
    ASSERT_EQ(record->valueForKey("complete"), Value(false));
    ASSERT_EQ(rowCount(record), 3u);
    auto firstRows = cachedRows(*main, source);
    ASSERT_EQ(firstRows.size(), 3u);
    auto heldRow = main->objectWithID(firstRows[0].rowObjectID);
    ASSERT_EQ(heldRow->valueForKey("rowId"), Value(1));

    // A later page moves order 1's row to its new place and completes the query.
    save(items({orderItem(1, 2, "New"), orderItem(4)}), false, {3, 3});
    EXPECT_EQ(held->valueForKey("zqordername"), Value("New 1"));
    EXPECT_EQ(heldRow->valueForKey("rowId"), Value(4));
    EXPECT_EQ(record->valueForKey("complete"), Value(true));
    EXPECT_EQ(rowCount(record), 4u);

    // A first page again: the old rows leave the main context.
    save(orderItems(1, 2, 2, "Again"), true, {0, 3});
    EXPECT_FALSE(heldRow->managedObjectContext());
    EXPECT_EQ(held->valueForKey("zqordername"), Value("Again 1"));
    EXPECT_EQ(rowCount(record), 2u);
    EXPECT_EQ(delegate->finished(), 3);
}

TEST(BatchedCacheSaveTest, ReadersOnOtherThreadsSeeTheOldRowsOrTheNewOnesNeverAMix) {
    RowsPerRun rows(5);
    CacheOperationEnvironment env;
    auto source = env.collection(kCachedOrders);
    auto delegate = std::make_shared<RecordingSaveDelegate>();
    auto save = [&](const std::string& prefix) {
        auto operation = env.saveOperation(source, collectionResult(orderItems(1, 60, 1, prefix)),
                                           true, {0, 60});
        operation->setDelegate(delegate);
        env.run(operation);
    };
    save("First");
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, partial{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                auto context = env.newContext();
                auto counted = context->countForFetchRequest(
                    platform::FetchRequest("_QueryCollectionEntityShop__Orders"));
                if (counted.error || counted.count != 60) ++partial;
                ++reads;
            }
        });
    }
    for (int round = 0; round < 3; ++round) save("Round" + std::to_string(round));
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(partial.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(delegate->finished(), 4);
    EXPECT_EQ(objectsWhere(*env.newContext(), "Shop__Orders", "zqorderid", 60)
                  .at(0)
                  ->valueForKey("zqordername"),
              Value("Round2 60"));
}

// A save that fails or is cancelled after earlier runs were written leaves the cache (and the
// main context) as it was, and the store takes the next save.
TEST(BatchedCacheSaveTest, ASaveStoppedInItsThirdRunLeavesTheCacheAsItWas) {
    enum class Stop { MalformedText, BadItem, Cancel };
    struct Case {
        const char* name;
        Stop stop;
        bool clearPrevious;
    };
    const std::vector<Case> cases{
        {"malformed text", Stop::MalformedText, true},
        {"malformed text, next page", Stop::MalformedText, false},
        {"bad item", Stop::BadItem, true},
        {"bad item, next page", Stop::BadItem, false},
        {"cancelled", Stop::Cancel, true},
        {"cancelled, next page", Stop::Cancel, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto clock = std::make_shared<platform::ManualClock>(kFirstDay);
        platform::ScopedClock scoped(clock);
        CacheOperationEnvironment env;
        auto source = env.collection(kCachedOrders);
        auto delegate = std::make_shared<RecordingSaveDelegate>();
        auto run = [&](std::shared_ptr<ZQEntityDataServiceResult> result, bool clearPrevious,
                       ZQRange page) {
            auto operation = env.saveOperation(source, std::move(result), clearPrevious, page);
            operation->setDelegate(delegate);
            env.run(operation);
            return operation;
        };
        run(collectionResult(orderItems(1, 5)), true, {0, 5});
        const std::string before = cacheText(env, kCachedOrders);
        auto held = objectsWhere(*env.mainContext(), "Shop__Orders", "zqorderid", 1).at(0);
        ASSERT_EQ(held->valueForKey("zqordername"), Value("Order 1"));

        clock->advance(60);
        RowsPerRun rows(2);
        // Runs of two: orders 1 and 20, 21 and 22, then the fault in the fifth item.
        platform::Array list{orderItem(1, 2, "Changed"),
                             orderItem(20),
                             orderItem(21),
                             orderItem(22),
                             orderItem(23),
                             orderItem(24)};
        std::shared_ptr<ZQEntityDataServiceResult> result;
        if (c.stop == Stop::MalformedText) {
            std::string text = "[";
            for (size_t i = 0; i < 4; ++i) text += jsonText(list[i]) + ",";
            text += R"({"OrderId":23,"OrderName":},)" + jsonText(list[5]) + "]";
            result = streamedResult(text);
        } else {
            if (c.stop == Stop::BadItem) {
                platform::Dictionary bad = *list[4].dictionary();
                bad.erase("OrderName");
                list[4] = Value(std::move(bad));
            }
            result = collectionResult(Value(list));
        }
        const ZQRange page = c.clearPrevious ? ZQRange{0, 5} : ZQRange{5, 5};
        auto operation = env.saveOperation(source, result, c.clearPrevious, page);
        operation->setDelegate(delegate);
        // Cancelled once the batch has saved its third step (the record, runs or deletions).
        int stepSaves = 0;
        auto token = platform::NotificationCenter::defaultCenter().addObserver(
            platform::kManagedObjectContextDidSaveNotification, nullptr,
            [&](const platform::Notification&) {
                if (c.stop == Stop::Cancel && ++stepSaves == 3) operation->cancel();
            });
        env.run(operation);
        token.reset();

        EXPECT_EQ(cacheText(env, kCachedOrders), before);
        EXPECT_EQ(held->valueForKey("zqordername"), Value("Order 1"));
        EXPECT_TRUE(held->managedObjectContext());
        EXPECT_EQ(delegate->finished(), 1);
        EXPECT_EQ(delegate->released(), delegate->obtained());
        auto failures = delegate->failures();
        if (c.stop == Stop::Cancel) {
            EXPECT_TRUE(failures.empty());
        } else {
            ASSERT_EQ(failures.size(), 1u);
            EXPECT_EQ(failures[0]->domain(), c.stop == Stop::MalformedText
                                                 ? std::string(ZQJSONErrorDomain)
                                                 : std::string(ZQErrorDomain));
        }
        // The store is out of the batch: the next save is written and seen.
        run(collectionResult(orderItems(30, 3)), true, {0, 5});
        EXPECT_EQ(delegate->finished(), 2);
        auto reader = env.newContext();
        auto rowsNow = cachedRows(*reader, source);
        ASSERT_EQ(rowsNow.size(), 3u);
        EXPECT_EQ(rowsNow[0].entity->valueForKey("zqorderid").integer(), 30);
    }
}

}  // namespace
