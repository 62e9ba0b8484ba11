#include "platform/objectstore/StoreWriteBatch.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;

namespace {

class StoreWriteBatchTest : public zqtest::ObjectStoreTest {
  protected:
    void SetUp() override {
        ObjectStoreTest::SetUp();
        auto seed = newContext();
        auto query = insert(*seed, "Query", {{"queryBaseUri", "q"}});
        insert(*seed, "Row", {{"rowId", 1}, {"query", Value::object(query)}});
        ASSERT_NO_STORE_ERROR(seed->save());
        queryID_ = query->objectID();
    }
    StoreWriteBatch openBatch() {
        ErrorPtr error;
        auto batch = StoreWriteBatch::open(*coordinator_, error);
        EXPECT_FALSE(error) << error->description();
        EXPECT_TRUE(batch.isOpen());
        return batch;
    }
    // Saves an item named `name` from a new context of the calling thread.
    ManagedObjectIDPtr saveItem(const std::string& name) {
        auto context = newContext();
        auto item = insert(*context, "Item", {{"name", name}});
        auto error = context->save();
        EXPECT_FALSE(error) << error->description();
        return item ? item->objectID() : nullptr;
    }
    // Counts from a new context of the calling thread.
    int64_t count(const char* entity) {
        auto counted = newContext()->countForFetchRequest(FetchRequest(entity));
        EXPECT_FALSE(counted.error) << counted.error->description();
        return counted.count;
    }
    size_t rowsOfQuery() {
        auto context = newContext();
        auto query = context->objectWithID(queryID_);
        auto set = std::dynamic_pointer_cast<ManagedObjectSet>(
            query->valueForKey("queryEntities").object());
        return set ? set->count() : 0;
    }
    // Runs `f` on a thread of its own and waits for it.
    static void onOtherThread(const std::function<void()>& f) { std::thread(f).join(); }

    ManagedObjectIDPtr queryID_;
};

}  // namespace

TEST_P(StoreWriteBatchTest, TheBatchThreadSeesItsSavesAndOtherThreadsSeeOnlyTheCommit) {
    auto batch = openBatch();
    auto itemID = saveItem("in batch");
    {
        auto context = newContext();
        auto query = context->objectWithID(queryID_);
        insert(*context, "Row", {{"rowId", 2}, {"query", Value::object(query)}});
        ASSERT_NO_STORE_ERROR(context->save());
    }
    // This thread: fetches, faults and relationship loads go through the batch.
    EXPECT_EQ(count("Item"), 1);
    auto reader = newContext();
    auto fault = reader->existingObjectWithID(itemID);
    ASSERT_FALSE(fault.error) << fault.error->description();
    EXPECT_EQ(fault.object->valueForKey("name"), Value("in batch"));
    EXPECT_EQ(rowsOfQuery(), 2u);
    onOtherThread([&] {
        EXPECT_EQ(count("Item"), 0);
        EXPECT_TRUE(newContext()->existingObjectWithID(itemID).error);
        EXPECT_EQ(rowsOfQuery(), 1u);
    });

    ASSERT_NO_STORE_ERROR(batch.commit());
    EXPECT_FALSE(batch.isOpen());
    onOtherThread([&] {
        EXPECT_EQ(count("Item"), 1);
        auto context = newContext();
        auto loaded = context->existingObjectWithID(itemID);
        ASSERT_FALSE(loaded.error) << loaded.error->description();
        EXPECT_EQ(loaded.object->valueForKey("name"), Value("in batch"));
        EXPECT_EQ(rowsOfQuery(), 2u);
    });
    // After the batch, saves are transactions of their own again.
    saveItem("after");
    onOtherThread([&] { EXPECT_EQ(count("Item"), 2); });
}

TEST_P(StoreWriteBatchTest, RollbackAndDestructionWithoutCommitUndoEveryBatchSave) {
    for (bool explicitRollback : {true, false}) {
        SCOPED_TRACE(explicitRollback ? "rollback" : "destroyed");
        {
            auto batch = openBatch();
            saveItem("a");
            saveItem("b");
            auto context = newContext();
            context->deleteObject(context->objectWithID(queryID_));  // cascades to its row
            ASSERT_NO_STORE_ERROR(context->save());
            EXPECT_EQ(count("Item"), 2);
            EXPECT_EQ(count("Row"), 0);
            if (explicitRollback) {
                batch.rollback();
                EXPECT_FALSE(batch.isOpen());
            }
        }
        EXPECT_EQ(count("Item"), 0);
        EXPECT_EQ(count("Row"), 1);
        EXPECT_EQ(rowsOfQuery(), 1u);
        // The store takes saves (and batches) as before.
        openBatch().rollback();
    }
    saveItem("kept");
    onOtherThread([&] { EXPECT_EQ(count("Item"), 1); });
}

TEST_P(StoreWriteBatchTest, AnotherThreadsSaveWaitsForTheBatchAndLandsAfterIt) {
    for (bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        const int64_t before = count("Item");
        auto batch = openBatch();
        saveItem("batch");
        std::atomic<bool> saved{false};
        std::thread other([&] {
            saveItem("other");
            saved = true;
        });
        // Time for the other save to reach the store; it must still be waiting then.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(saved);
        EXPECT_EQ(count("Item"), before + 1);  // this thread sees the batch, not the other save
        if (commit) {
            ASSERT_NO_STORE_ERROR(batch.commit());
        } else {
            batch.rollback();
        }
        other.join();
        EXPECT_TRUE(saved);
        EXPECT_EQ(count("Item"), before + (commit ? 2 : 1));
    }
}

TEST_P(StoreWriteBatchTest, ASecondBatchOnTheSameThreadFailsAndLeavesTheFirstOpen) {
    auto batch = openBatch();
    saveItem("first");
    ErrorPtr error;
    auto second = StoreWriteBatch::open(*coordinator_, error);
    ASSERT_TRUE(error);
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(second.commit() == nullptr);  // an empty batch has nothing to end
    // The first batch went on: its saves are there and commit.
    EXPECT_TRUE(batch.isOpen());
    saveItem("second");
    EXPECT_EQ(count("Item"), 2);
    onOtherThread([&] { EXPECT_EQ(count("Item"), 0); });
    ASSERT_NO_STORE_ERROR(batch.commit());
    onOtherThread([&] { EXPECT_EQ(count("Item"), 2); });
}

TEST_P(StoreWriteBatchTest, MergingChangedIdentifiersRefreshesLoadedObjectsAndDropsDeletedOnes) {
    auto main = newContext(ManagedObjectContext::ConcurrencyType::MainQueue);
    auto keptID = saveItem("old");
    auto goneID = saveItem("gone");
    auto untouchedID = saveItem("untouched");
    auto kept = main->existingObjectWithID(keptID).object;
    auto gone = main->existingObjectWithID(goneID).object;
    auto untouched = main->existingObjectWithID(untouchedID).object;
    auto query = main->objectWithID(queryID_);
    ASSERT_TRUE(kept && gone && untouched && query);
    auto rows =
        std::dynamic_pointer_cast<ManagedObjectSet>(query->valueForKey("queryEntities").object());
    ASSERT_EQ(rows ? rows->count() : 0, 1u);
    ASSERT_FALSE(kept->setValueForKey(Value(7), "mid"));  // an unsaved change of its own

    {
        auto batch = openBatch();
        auto writer = newContext();
        auto item = writer->objectWithID(keptID);
        ASSERT_FALSE(item->setValuesForKeysWithDictionary({{"name", "new"}, {"mid", 1}}));
        writer->deleteObject(writer->objectWithID(goneID));
        insert(*writer, "Row",
               {{"rowId", 2}, {"query", Value::object(writer->objectWithID(queryID_))}});
        ASSERT_NO_STORE_ERROR(writer->save());
        ASSERT_NO_STORE_ERROR(batch.commit());
    }
    // Not merged yet: the main context keeps what it had.
    EXPECT_EQ(kept->valueForKey("name"), Value("old"));
    main->mergeChangedObjectIDs({keptID, queryID_, untouchedID}, {goneID});
    EXPECT_EQ(kept->valueForKey("name"), Value("new"));
    EXPECT_EQ(kept->valueForKey("mid"), Value(7));  // the unsaved change wins
    EXPECT_TRUE(kept->isUpdated());
    EXPECT_EQ(untouched->valueForKey("name"), Value("untouched"));
    rows =
        std::dynamic_pointer_cast<ManagedObjectSet>(query->valueForKey("queryEntities").object());
    EXPECT_EQ(rows ? rows->count() : 0, 2u);
    EXPECT_FALSE(gone->managedObjectContext());
    EXPECT_FALSE(main->existingObjectWithID(goneID).object);
    FetchRequest items("Item");
    EXPECT_EQ(main->executeFetchRequest(items).results.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreWriteBatchTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);

// A save the store refuses (here a trigger of the file) inside a batch undoes only itself: the
// batch's earlier saves stay and commit.
TEST(StoreWriteBatchSavepoints, AFailedSaveLeavesTheBatchsEarlierSaves) {
    zqtest::TempDir dir;
    const std::string path = (dir / "AppDB.sqlite").string();
    auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
    ASSERT_TRUE(
        coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", path).store);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse BEFORE INSERT ON E_Item "
                           "WHEN NEW.A_name = 'refused' BEGIN SELECT RAISE(ABORT, 'refused'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    auto newContext = [&] {
        auto context =
            ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
        context->setPersistentStoreCoordinator(coordinator);
        return context;
    };
    auto saveItems = [&](std::initializer_list<const char*> names) {
        auto context = newContext();
        for (const char* name : names) {
            auto item = context->insertNewObject("Item");
            EXPECT_FALSE(item->setValueForKey(Value(name), "name"));
        }
        return context->save();
    };
    auto names = [&] {
        FetchRequest request("Item");
        request.setSortDescriptors({SortDescriptor{"name", true}});
        std::vector<std::string> out;
        auto context = newContext();
        for (const auto& item : context->executeFetchRequest(request).objects()) {
            out.emplace_back(item->valueForKey("name").string().value_or(""));
        }
        return out;
    };

    ErrorPtr error;
    auto batch = StoreWriteBatch::open(*coordinator, error);
    ASSERT_FALSE(error);
    ASSERT_FALSE(saveItems({"a"}));
    EXPECT_TRUE(saveItems({"b", "refused"}));  // neither of the two is written
    EXPECT_EQ(names(), (std::vector<std::string>{"a"}));
    ASSERT_FALSE(saveItems({"c"}));
    ASSERT_FALSE(batch.commit());
    std::vector<std::string> committed;
    std::thread([&] { committed = names(); }).join();
    EXPECT_EQ(committed, (std::vector<std::string>{"a", "c"}));
}
