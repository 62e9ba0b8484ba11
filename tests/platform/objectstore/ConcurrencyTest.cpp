#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <set>
#include <thread>

#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;

namespace {

class ConcurrencyTest : public zqtest::ObjectStoreTest {};

constexpr int kBatch = 150;
constexpr int kSaves = 12;

}  // namespace

TEST_P(ConcurrencyTest, TwoContextsSaveDifferentEntitiesWhileAThirdReads) {
    std::atomic<int> writersDone{0};
    std::atomic<bool> failed{false};
    auto writer = [&](const char* entity, const char* key) {
        auto context = newContext();
        for (int save = 0; save < kSaves; ++save) {
            for (int i = 0; i < kBatch; ++i) {
                auto object = context->insertNewObject(entity);
                if (object->setValueForKey(Value(save * kBatch + i), key)) failed = true;
            }
            if (auto error = context->save()) {
                ADD_FAILURE() << error->description();
                failed = true;
            }
        }
        ++writersDone;
    };
    std::vector<int64_t> seen;
    std::thread a(writer, "Item", "key");
    std::thread b(writer, "Line", "number");
    std::thread reader([&] {
        auto context = newContext();
        FetchRequest items("Item");
        items.setResultType(FetchRequest::ResultType::ManagedObjectID);
        do {
            auto fetched = context->executeFetchRequest(items);
            if (fetched.error) {
                ADD_FAILURE() << fetched.error->description();
                failed = true;
                return;
            }
            seen.push_back(static_cast<int64_t>(fetched.results.size()));
        } while (writersDone < 2);
    });
    a.join();
    b.join();
    reader.join();
    ASSERT_FALSE(failed);
    // Every read saw whole saves, never fewer rows than before.
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i] % kBatch, 0) << seen[i];
        if (i) {
            EXPECT_GE(seen[i], seen[i - 1]);
        }
    }
    auto check = newContext();
    EXPECT_EQ(check->countForFetchRequest(FetchRequest("Item")).count, kBatch * kSaves);
    EXPECT_EQ(check->countForFetchRequest(FetchRequest("Line")).count, kBatch * kSaves);
    // Row numbers were handed out once each.
    FetchRequest keys("Item");
    keys.setResultType(FetchRequest::ResultType::ManagedObjectID);
    auto ids = check->executeFetchRequest(keys).results;
    std::set<int64_t> numbers;
    for (const auto& id : ids) numbers.insert(objectIDFromValue(id)->number());
    EXPECT_EQ(numbers.size(), ids.size());
}

TEST_P(ConcurrencyTest, PrivateContextsOnManyThreadsShareOneCoordinator) {
    auto seed = newContext();
    auto query = insert(*seed, "Query", {{"queryBaseUri", "q"}});
    ASSERT_NO_STORE_ERROR(seed->save());
    auto queryID = query->objectID();
    std::vector<std::thread> threads;
    std::atomic<int> errors{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                auto context = newContext();
                auto q = context->objectWithID(queryID);
                auto row = context->insertNewObject("Row");
                if (row->setValuesForKeysWithDictionary(
                        {{"rowId", t * 100 + round}, {"query", Value::object(q)}})) {
                    ++errors;
                }
                if (context->save()) ++errors;
                FetchRequest rows("Row");
                rows.setPredicate(Predicate::equal("query", Value::objectID(queryID)));
                if (context->executeFetchRequest(rows).error) ++errors;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(errors, 0);
    FetchRequest rows("Row");
    rows.setPredicate(Predicate::equal("query", Value::objectID(queryID)));
    EXPECT_EQ(newContext()->countForFetchRequest(rows).count, 40);
}

INSTANTIATE_TEST_SUITE_P(Stores, ConcurrencyTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);

// A writer that holds the file's write transaction open (as a long save does) does not keep
// contexts from reading the last committed state.
TEST(SQLiteStoreConcurrency, ReadersAreNotBlockedByAnOpenWriteTransaction) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
    ASSERT_TRUE(
        coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", path).store);
    auto context =
        ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(coordinator);
    context->insertNewObject("Item");
    ASSERT_FALSE(context->save());

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO E_Item (Z_PK, Z_OPT) VALUES (999, 1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    auto reader = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    reader->setPersistentStoreCoordinator(coordinator);
    auto counted = reader->countForFetchRequest(FetchRequest("Item"));
    EXPECT_FALSE(counted.error);
    EXPECT_EQ(counted.count, 1);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}
