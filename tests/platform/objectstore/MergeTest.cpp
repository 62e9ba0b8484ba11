#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;
using Type = ManagedObjectContext::ConcurrencyType;

namespace {

// The class named by the test model's Query entity: records its hook calls.
class TestQuery : public ManagedObject {
  public:
    void didChangeValueForKey(const std::string& key) override { changedKeys.push_back(key); }
    void didTurnIntoFault() override { ++faults; }
    std::vector<std::string> changedKeys;
    int faults = 0;
};

const bool registered = [] {
    ManagedObjectClassRegistry::shared().registerClass<TestQuery>("TestQuery");
    return true;
}();

class MergeTest : public zqtest::ObjectStoreTest {
  protected:
    void SetUp() override {
        ObjectStoreTest::SetUp();
        auto seed = newContext();
        auto query = insert(*seed, "Query", {{"queryBaseUri", "q"}, {"complete", false}});
        insert(*seed, "Row", {{"rowId", 1}, {"query", Value::object(query)}});
        ASSERT_NO_STORE_ERROR(seed->save());
        queryID_ = query->objectID();
        main_ = newContext(Type::MainQueue);
        mainQuery_ = std::dynamic_pointer_cast<TestQuery>(main_->objectWithID(queryID_));
        ASSERT_TRUE(mainQuery_);
        ASSERT_EQ(count(mainQuery_, "queryEntities"), 1u);  // loads values and rows
    }
    static size_t count(const std::shared_ptr<ManagedObject>& object, const char* key) {
        auto set = std::dynamic_pointer_cast<ManagedObjectSet>(object->valueForKey(key).object());
        return set ? set->count() : 0;
    }
    ManagedObjectIDPtr queryID_;
    std::shared_ptr<ManagedObjectContext> main_;
    std::shared_ptr<TestQuery> mainQuery_;
};

}  // namespace

TEST_P(MergeTest, TheDidSaveNotificationListsWhatTheSaveChanged) {
    auto writer = newContext();
    int posted = 0;
    auto centerToken = NotificationCenter::defaultCenter().addObserver(
        kManagedObjectContextDidSaveNotification, writer.get(), [&](const Notification& n) {
            ++posted;
            EXPECT_EQ(n.sender(), writer.get());
            EXPECT_EQ(n.userInfo().get(kInsertedObjectIDsKey).count(), 1u);
            EXPECT_TRUE(ContextDidSaveNotification::fromNotification(n));
        });
    std::shared_ptr<const ContextDidSaveNotification> received;
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& n) {
        EXPECT_TRUE(received == nullptr);
        received = std::make_shared<ContextDidSaveNotification>(n);
    });
    auto query = writer->objectWithID(queryID_);
    ASSERT_FALSE(query->setValueForKey(Value(true), "complete"));
    auto row = insert(*writer, "Row", {{"rowId", 2}, {"query", Value::object(query)}});
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_TRUE(received);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(received->sender(), writer);
    ASSERT_EQ(received->insertedObjectIDs().size(), 1u);
    EXPECT_EQ(*received->insertedObjectIDs()[0], *row->objectID());
    EXPECT_FALSE(received->insertedObjectIDs()[0]->isTemporaryID());
    ASSERT_EQ(received->updatedObjectIDs().size(), 1u);
    EXPECT_EQ(*received->updatedObjectIDs()[0], *queryID_);
    EXPECT_TRUE(received->deletedObjectIDs().empty());

    // A save with nothing to write, and a failed save, notify nobody.
    ASSERT_NO_STORE_ERROR(writer->save());
    writer->insertNewObject("Query");  // required queryBaseUri missing
    EXPECT_TRUE(writer->save());
    EXPECT_EQ(posted, 1);
    token.reset();
    centerToken.reset();
}

TEST_P(MergeTest, MergingRefreshesUpdatedObjectsAndDropsDeletedOnes) {
    auto writer = newContext();
    auto query = writer->objectWithID(queryID_);
    ASSERT_FALSE(query->setValueForKey(Value(true), "complete"));
    auto row = insert(*writer, "Row", {{"rowId", 2}, {"query", Value::object(query)}});
    std::shared_ptr<ContextDidSaveNotification> saved;
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& n) {
        saved = std::make_shared<ContextDidSaveNotification>(n);
    });
    ASSERT_NO_STORE_ERROR(writer->save());
    EXPECT_EQ(mainQuery_->valueForKey("complete"), Value(false));  // not merged yet

    mainQuery_->changedKeys.clear();
    main_->mergeChangesFromContextDidSaveNotification(*saved);
    EXPECT_EQ(mainQuery_->valueForKey("complete"), Value(true));
    EXPECT_EQ(count(mainQuery_, "queryEntities"), 2u);
    EXPECT_NE(std::find(mainQuery_->changedKeys.begin(), mainQuery_->changedKeys.end(), "complete"),
              mainQuery_->changedKeys.end());
    EXPECT_FALSE(main_->hasChanges());
    auto inserted = main_->objectWithID(row->objectID());  // reachable
    ASSERT_TRUE(inserted);
    EXPECT_EQ(inserted->valueForKey("rowId"), Value(2));

    // Deleted in the writer: gone from the main context after the merge.
    writer->deleteObject(query);
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_EQ(saved->deletedObjectIDs().size(), 3u);  // the query and, by cascade, its rows
    main_->mergeChangesFromContextDidSaveNotification(*saved);
    EXPECT_FALSE(mainQuery_->managedObjectContext());
    EXPECT_EQ(mainQuery_->faults, 1);
    EXPECT_TRUE(mainQuery_->valueForKey("queryBaseUri").isAbsent());
    EXPECT_FALSE(inserted->managedObjectContext());
    EXPECT_EQ(main_->countForFetchRequest(FetchRequest("Row")).count, 0);
}

TEST_P(MergeTest, ASaveThatOnlyGrewAFaultsRelationshipKeepsItsValuesInOtherContexts) {
    auto writer = newContext();
    std::shared_ptr<ContextDidSaveNotification> saved;
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& n) {
        saved = std::make_shared<ContextDidSaveNotification>(n);
    });
    auto fault = writer->objectWithID(queryID_);
    insert(*writer, "Row", {{"rowId", 2}, {"query", Value::object(fault)}});
    ASSERT_NO_STORE_ERROR(writer->save());
    EXPECT_TRUE(fault->isFault());
    ASSERT_EQ(saved->updatedObjectIDs().size(), 1u);
    main_->mergeChangesFromContextDidSaveNotification(*saved);
    EXPECT_EQ(mainQuery_->valueForKey("queryBaseUri"), Value("q"));
    EXPECT_EQ(count(mainQuery_, "queryEntities"), 2u);
}

TEST_P(MergeTest, UnsavedLocalChangesWinAndOlderSavesMergedLateAreIgnored) {
    ASSERT_FALSE(mainQuery_->setValueForKey(Value("local"), "queryParameters"));
    std::vector<std::shared_ptr<ContextDidSaveNotification>> saves;
    auto writer = newContext();
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& n) {
        saves.push_back(std::make_shared<ContextDidSaveNotification>(n));
    });
    auto query = writer->objectWithID(queryID_);
    ASSERT_FALSE(query->setValuesForKeysWithDictionary(
        {{"queryParameters", "remote"}, {"timeStamp", Value(Date(1))}}));
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_FALSE(query->setValueForKey(Value(Date(2)), "timeStamp"));
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_EQ(saves.size(), 2u);

    main_->mergeChangesFromContextDidSaveNotification(*saves[1]);
    main_->mergeChangesFromContextDidSaveNotification(*saves[0]);  // late, older
    EXPECT_EQ(mainQuery_->valueForKey("queryParameters"), Value("local"));
    EXPECT_EQ(*mainQuery_->valueForKey("timeStamp").date(), Date(2));
    EXPECT_TRUE(mainQuery_->isUpdated());
}

// A merge reloads only the lists the save changed, also when that save is merged late, after a
// newer one that left the list alone.
TEST_P(MergeTest, MergingReloadsOnlyTheListsASaveChanged) {
    std::vector<std::shared_ptr<ContextDidSaveNotification>> saves;
    auto writer = newContext();
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& n) {
        saves.push_back(std::make_shared<ContextDidSaveNotification>(n));
    });
    auto query = writer->objectWithID(queryID_);
    insert(*writer, "Row", {{"rowId", 2}, {"query", Value::object(query)}});
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_FALSE(query->setValueForKey(Value(true), "complete"));
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_EQ(saves.size(), 2u);

    mainQuery_->changedKeys.clear();
    main_->mergeChangesFromContextDidSaveNotification(*saves[1]);
    EXPECT_EQ(mainQuery_->changedKeys, (std::vector<std::string>{"complete"}));
    main_->mergeChangesFromContextDidSaveNotification(*saves[0]);  // late, older
    EXPECT_EQ(count(mainQuery_, "queryEntities"), 2u);
    EXPECT_EQ(mainQuery_->valueForKey("complete"), Value(true));
}

TEST_P(MergeTest, APostedNotificationCanBeMergedDirectly) {
    auto writer = newContext();
    auto token = NotificationCenter::defaultCenter().addObserver(
        kManagedObjectContextDidSaveNotification, writer.get(),
        [&](const Notification& n) { main_->mergeChangesFromContextDidSaveNotification(n); });
    auto query = writer->objectWithID(queryID_);
    ASSERT_FALSE(query->setValueForKey(Value("p=1"), "queryParameters"));
    ASSERT_NO_STORE_ERROR(writer->save());
    EXPECT_EQ(mainQuery_->valueForKey("queryParameters"), Value("p=1"));
}

// Every save of a file has a higher version than the ones before it, also in a file written before
// save versions were kept (its rows' versions count instead); a snapshot of an older save merged
// late is ignored.
TEST(SaveVersions, GrowWithEverySaveAndAboveTheRowsOfOlderFiles) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    auto open = [&] {
        auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
        EXPECT_FALSE(
            coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", path).error);
        auto context = ManagedObjectContext::create(Type::PrivateQueue);
        context->setPersistentStoreCoordinator(coordinator);
        return context;
    };
    auto versionOfSave = [](ManagedObjectContext& context,
                            const std::shared_ptr<ManagedObject>& item, const char* name) {
        std::shared_ptr<ContextDidSaveNotification> saved;
        auto token = context.addDidSaveObserver([&](const ContextDidSaveNotification& note) {
            saved = std::make_shared<ContextDidSaveNotification>(note);
        });
        EXPECT_FALSE(item->setValueForKey(Value(name), "name"));
        EXPECT_FALSE(context.save());
        return saved && saved->updatedSnapshots().size() == 1 ? saved->updatedSnapshots()[0].version
                                                              : int64_t{-1};
    };
    int64_t last = 0;
    {
        auto context = open();
        auto item = context->insertNewObject("Item");
        ASSERT_FALSE(context->save());
        for (const char* name : {"a", "b", "c"}) {
            int64_t version = versionOfSave(*context, item, name);
            EXPECT_GT(version, last);
            last = version;
        }
    }
    // As a file from before save versions: no record of the last one, a row with a high version.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "DELETE FROM zq_metadata WHERE key = 'save_version'; "
                           "INSERT INTO E_Line (Z_PK, Z_OPT) VALUES (1, 500);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    auto context = open();
    auto item = context->executeFetchRequest(FetchRequest("Item")).objects().at(0);
    int64_t version = versionOfSave(*context, item, "d");
    EXPECT_GT(version, 500);
    EXPECT_GT(versionOfSave(*context, item, "e"), version);
}

INSTANTIATE_TEST_SUITE_P(Stores, MergeTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);
