// A list read after a save of the same SQLite store takes the rows that save wrote instead of
// decoding them again. Whatever path a read takes, it must give what the file holds: each test
// compares with a second coordinator on the same file, whose store has kept nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/objectstore/ManagedObjectSet.hpp"
#include "platform/objectstore/SQLiteRowCache.hpp"
#include "platform/objectstore/SQLiteSchema.hpp"
#include "platform/objectstore/SQLiteStore.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;
using Type = PersistentStore::StoreType;

namespace {

const char* const kItemKeys[] = {"key",    "name",    "price", "weight", "ratio",
                                 "active", "created", "blob",  "small",  "mid"};

class SQLiteRowCacheTest : public testing::Test {
  protected:
    void SetUp() override {
        path_ = (dir_ / "store.sqlite").string();
        writer_ = open();
        ASSERT_TRUE(writer_);
    }
    std::shared_ptr<PersistentStoreCoordinator> open() {
        auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
        auto added = coordinator->addPersistentStore(Type::SQLite, "", path_);
        EXPECT_FALSE(added.error) << added.error->description();
        return added.error ? nullptr : coordinator;
    }
    static std::shared_ptr<ManagedObjectContext> contextOf(
        const std::shared_ptr<PersistentStoreCoordinator>& coordinator) {
        auto context =
            ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
        context->setPersistentStoreCoordinator(coordinator);
        return context;
    }
    // The members of `owner`'s to-many relationship `key`, read in a new context of the
    // coordinator.
    static std::vector<std::shared_ptr<ManagedObject>> members(
        const std::shared_ptr<PersistentStoreCoordinator>& coordinator,
        const ManagedObjectIDPtr& owner, const char* key,
        std::shared_ptr<ManagedObjectContext>& context) {
        context = contextOf(coordinator);
        // By row number: the identifier names the writer's store.
        auto object = context->objectWithRowID(
            coordinator->managedObjectModel()->entityNamed(owner->entity()->name()),
            coordinator->persistentStores().front(), owner->number());
        auto set =
            object ? std::dynamic_pointer_cast<ManagedObjectSet>(object->valueForKey(key).object())
                   : nullptr;
        return set ? set->objects() : std::vector<std::shared_ptr<ManagedObject>>{};
    }
    // Reads the list through the writer's coordinator and through a fresh one, and expects the
    // same members with the same values, kind for kind.
    void expectSameAsTheFile(const ManagedObjectIDPtr& owner, const char* key,
                             const std::vector<const char*>& valueKeys) {
        std::shared_ptr<ManagedObjectContext> cached, fresh;
        auto viaWriter = members(writer_, owner, key, cached);
        auto reader = open();
        ASSERT_TRUE(reader);
        auto viaFile = members(reader, owner, key, fresh);
        ASSERT_EQ(viaWriter.size(), viaFile.size());
        ASSERT_FALSE(viaWriter.empty());
        for (size_t i = 0; i < viaWriter.size(); ++i) {
            EXPECT_EQ(viaWriter[i]->objectID()->number(), viaFile[i]->objectID()->number());
            // A kept identifier is one of this row in this store, as a new one would be.
            const auto& id = *viaWriter[i]->objectID();
            EXPECT_FALSE(id.isTemporaryID());
            EXPECT_EQ(id.entity()->name(), viaFile[i]->objectID()->entity()->name());
            EXPECT_EQ(id.persistentStore(), writer_->persistentStores().front());
            for (const char* valueKey : valueKeys) {
                Value a = viaWriter[i]->valueForKey(valueKey);
                Value b = viaFile[i]->valueForKey(valueKey);
                EXPECT_EQ(a.kind(), b.kind()) << valueKey << " of member " << i;
                EXPECT_EQ(a.description(), b.description()) << valueKey << " of member " << i;
            }
        }
    }

    static void insertAndSave(ManagedObjectContext& context, const std::string& entity,
                              const Dictionary& values) {
        auto object = context.insertNewObject(entity);
        ASSERT_FALSE(object->setValuesForKeysWithDictionary(values));
        ASSERT_NO_STORE_ERROR(context.save());
    }

    // A new parent whose children (new too) have these names.
    static std::shared_ptr<ManagedObject> parentOf(ManagedObjectContext& context,
                                                   const std::vector<std::string>& names,
                                                   Array& children) {
        auto parent = context.insertNewObject("Parent");
        for (const auto& name : names) {
            auto child = context.insertNewObject("Child");
            EXPECT_FALSE(child->setValueForKey(Value(name), "name"));
            children.push_back(Value::object(child));
        }
        EXPECT_FALSE(parent->setValueForKey(Value(children), "children"));
        return parent;
    }
    static void rename(const Array& objects, const char* name) {
        for (const auto& object : objects)
            EXPECT_FALSE(std::dynamic_pointer_cast<ManagedObject>(object.object())
                             ->setValueForKey(Value(name), "name"));
    }

    zqtest::TempDir dir_;
    std::string path_;
    std::shared_ptr<PersistentStoreCoordinator> writer_;
};

}  // namespace

TEST_F(SQLiteRowCacheTest, ListsReadAfterASaveGiveWhatTheFileHolds) {
    auto context = contextOf(writer_);
    auto tag = context->insertNewObject("Tag");
    ASSERT_FALSE(tag->setValueForKey(Value("t"), "label"));
    const Value::Bytes blob{0, 1, 2, 255};
    std::vector<Dictionary> rows = {
        {{"key", 1},
         {"name", "naïve"},
         {"price", Value(*Decimal::fromString("12.30"))},
         {"weight", 2.5},
         {"ratio", 0.1},
         {"active", true},
         {"created", Date(1.7e9 + 0.25)},
         {"blob", Value::bytes(blob)},
         {"small", 7},
         {"mid", 70000}},
        // A NaN is stored as NULL, a whole number given to a double column stays a double.
        {{"key", 2}, {"weight", std::numeric_limits<double>::quiet_NaN()}, {"ratio", 3}},
        {{"key", 3}, {"name", ""}, {"active", false}},
    };
    Array items;
    for (const auto& values : rows) {
        auto item = context->insertNewObject("Item");
        ASSERT_FALSE(item->setValuesForKeysWithDictionary(values));
        items.push_back(Value::object(item));
    }
    ASSERT_FALSE(tag->setValueForKey(Value(items), "items"));
    ASSERT_NO_STORE_ERROR(context->save());
    const std::vector<const char*> keys(std::begin(kItemKeys), std::end(kItemKeys));
    expectSameAsTheFile(tag->objectID(), "items", keys);

    // Saved again with values cleared and changed: what the file now holds, not the first save.
    auto first = std::dynamic_pointer_cast<ManagedObject>(items[0].object());
    ASSERT_FALSE(first->setValuesForKeysWithDictionary({{"name", Value::null()},
                                                        {"price", Value(*Decimal::fromString("1"))},
                                                        {"blob", Value::null()}}));
    ASSERT_NO_STORE_ERROR(context->save());
    expectSameAsTheFile(tag->objectID(), "items", keys);
}

TEST_F(SQLiteRowCacheTest, ChangesOfAnotherCoordinatorAndOfFaultsShow) {
    auto context = contextOf(writer_);
    // The children name a parent that has no row number yet when they are written.
    Array children;
    auto parent = parentOf(*context, {"a", "b", "c"}, children);
    ASSERT_NO_STORE_ERROR(context->save());
    expectSameAsTheFile(parent->objectID(), "children", {"name", "parentLevel"});
    // Written again, now with the parent's row number, they are kept.
    rename(children, "again");
    ASSERT_NO_STORE_ERROR(context->save());
    expectSameAsTheFile(parent->objectID(), "children", {"name", "parentLevel"});

    // Another coordinator renames a child it read: this store's next read shows it.
    auto other = open();
    std::shared_ptr<ManagedObjectContext> otherContext;
    auto theirs = members(other, parent->objectID(), "children", otherContext);
    ASSERT_EQ(theirs.size(), 3u);
    ASSERT_FALSE(theirs[1]->setValueForKey(Value("renamed"), "name"));
    ASSERT_NO_STORE_ERROR(otherContext->save());
    std::shared_ptr<ManagedObjectContext> reading;
    auto ours = members(writer_, parent->objectID(), "children", reading);
    ASSERT_EQ(ours.size(), 3u);
    EXPECT_EQ(ours[1]->valueForKey("name"), Value("renamed"));
    // Still so once this store has saved again, something else.
    insertAndSave(*context, "Tag", {{"label", "unrelated"}});
    ours = members(writer_, parent->objectID(), "children", reading);
    ASSERT_EQ(ours.size(), 3u);
    EXPECT_EQ(ours[1]->valueForKey("name"), Value("renamed"));

    // An item saved as a fault (only its tags changed, through the inverse) keeps its values.
    auto item = context->insertNewObject("Item");
    ASSERT_FALSE(item->setValuesForKeysWithDictionary({{"key", 9}, {"name", "kept"}}));
    ASSERT_NO_STORE_ERROR(context->save());
    auto later = contextOf(writer_);
    auto fault = later->objectWithID(item->objectID());
    auto tag = later->insertNewObject("Tag");
    ASSERT_FALSE(tag->setValueForKey(Value(Array{Value::object(fault)}), "items"));
    ASSERT_NO_STORE_ERROR(later->save());
    expectSameAsTheFile(tag->objectID(), "items", {"key", "name"});
}

// A list's members are kept from its last read while this store's saves move no row between
// lists; each save below moves one (or only renames, which keeps them), and both lists must then
// read as the file holds them.
TEST_F(SQLiteRowCacheTest, ListsShowMembersThatSavesMoved) {
    auto context = contextOf(writer_);
    Array first, second;
    auto a = parentOf(*context, {"a1", "a2", "a3"}, first);
    auto b = parentOf(*context, {"b1"}, second);
    ASSERT_NO_STORE_ERROR(context->save());
    rename(first, "kept");
    rename(second, "kept");
    ASSERT_NO_STORE_ERROR(context->save());
    auto child = [&](const Array& list, size_t i) {
        return std::dynamic_pointer_cast<ManagedObject>(list[i].object());
    };
    struct Step {
        const char* what;
        std::function<void()> change;
        size_t firstCount, secondCount;
    };
    const std::vector<Step> steps = {
        {"renamed only", [&] { rename(first, "renamed"); }, 3, 1},
        {"moved to the other parent",
         [&] { EXPECT_FALSE(child(first, 1)->setValueForKey(Value::object(b), "parentLevel")); }, 2,
         2},
        {"a new child",
         [&] {
             auto added = context->insertNewObject("Child");
             EXPECT_FALSE(added->setValueForKey(Value("new"), "name"));
             EXPECT_FALSE(added->setValueForKey(Value::object(a), "parentLevel"));
         },
         3, 2},
        {"a child deleted", [&] { context->deleteObject(child(second, 0)); }, 3, 1},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        // Both lists read (and their members kept) before the change.
        std::shared_ptr<ManagedObjectContext> reading;
        members(writer_, a->objectID(), "children", reading);
        members(writer_, b->objectID(), "children", reading);
        step.change();
        ASSERT_NO_STORE_ERROR(context->save());
        EXPECT_EQ(members(writer_, a->objectID(), "children", reading).size(), step.firstCount);
        EXPECT_EQ(members(writer_, b->objectID(), "children", reading).size(), step.secondCount);
        expectSameAsTheFile(a->objectID(), "children", {"name", "parentLevel"});
        expectSameAsTheFile(b->objectID(), "children", {"name", "parentLevel"});
    }
}

// A list held by its members' foreign key changes when a member's to-one changes.
TEST_F(SQLiteRowCacheTest, ListsShowMembersMovedByTheirForeignKey) {
    auto context = contextOf(writer_);
    auto a = context->insertNewObject("Query");
    auto b = context->insertNewObject("Query");
    ASSERT_FALSE(a->setValueForKey(Value("a"), "queryBaseUri"));
    ASSERT_FALSE(b->setValueForKey(Value("b"), "queryBaseUri"));
    std::vector<std::shared_ptr<ManagedObject>> rows;
    for (int id : {1, 2, 3}) {
        rows.push_back(context->insertNewObject("Row"));
        ASSERT_FALSE(rows.back()->setValueForKey(Value(id), "rowId"));
        ASSERT_FALSE(rows.back()->setValueForKey(Value::object(id < 3 ? a : b), "query"));
    }
    ASSERT_NO_STORE_ERROR(context->save());
    // Written again, now with their owners' row numbers, the rows are kept.
    for (const auto& row : rows)
        ASSERT_FALSE(row->setValueForKey(
            Value(row->valueForKey("rowId").integer().value_or(0) + 10), "rowId"));
    ASSERT_NO_STORE_ERROR(context->save());
    std::shared_ptr<ManagedObjectContext> reading;
    ASSERT_EQ(members(writer_, a->objectID(), "queryEntities", reading).size(), 2u);
    ASSERT_EQ(members(writer_, b->objectID(), "queryEntities", reading).size(), 1u);

    ASSERT_FALSE(rows[0]->setValueForKey(Value::object(b), "query"));
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_EQ(members(writer_, a->objectID(), "queryEntities", reading).size(), 1u);
    EXPECT_EQ(members(writer_, b->objectID(), "queryEntities", reading).size(), 2u);
    expectSameAsTheFile(a->objectID(), "queryEntities", {"rowId"});
    expectSameAsTheFile(b->objectID(), "queryEntities", {"rowId"});
}

// A list kept in a link table changes by its links alone.
TEST_F(SQLiteRowCacheTest, ListsShowMembersThatLinksMoved) {
    auto context = contextOf(writer_);
    auto tag = context->insertNewObject("Tag");
    Array items;
    for (int key : {1, 2, 3}) {
        auto item = context->insertNewObject("Item");
        ASSERT_FALSE(item->setValuesForKeysWithDictionary({{"key", key}, {"name", "n"}}));
        items.push_back(Value::object(item));
    }
    ASSERT_FALSE(tag->setValueForKey(Value(Array{items[0], items[1]}), "items"));
    ASSERT_NO_STORE_ERROR(context->save());
    rename(items, "kept");
    ASSERT_NO_STORE_ERROR(context->save());
    std::shared_ptr<ManagedObjectContext> reading;
    ASSERT_EQ(members(writer_, tag->objectID(), "items", reading).size(), 2u);
    ASSERT_FALSE(tag->setValueForKey(Value(Array{items[1], items[2]}), "items"));
    ASSERT_NO_STORE_ERROR(context->save());
    auto read = members(writer_, tag->objectID(), "items", reading);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1]->valueForKey("key"), Value(3));
    expectSameAsTheFile(tag->objectID(), "items", {"key", "name"});
}

TEST_F(SQLiteRowCacheTest, AListLongerThanTheKeptRowsReadsWhole) {
    auto context = contextOf(writer_);
    // A short list whose rows are kept, then written again first in a save too large to keep.
    Array few;
    auto small = parentOf(*context, {"x", "y"}, few);
    ASSERT_NO_STORE_ERROR(context->save());
    rename(few, "kept");
    ASSERT_NO_STORE_ERROR(context->save());

    const size_t count = SQLiteStore::kKeptRows + 10;
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.push_back("child " + std::to_string(i));
    Array children;
    auto parent = parentOf(*context, names, children);
    ASSERT_NO_STORE_ERROR(context->save());
    // Saved again so that the children are written with a known parent and kept; the short
    // list's rows come first in that save, among those it does not keep.
    rename(few, "later");
    rename(children, "again");
    ASSERT_NO_STORE_ERROR(context->save());
    std::shared_ptr<ManagedObjectContext> reading;
    auto read = members(writer_, parent->objectID(), "children", reading);
    ASSERT_EQ(read.size(), count);
    for (const auto& child : read) ASSERT_EQ(child->valueForKey("name"), Value("again"));
    auto short_ = members(writer_, small->objectID(), "children", reading);
    ASSERT_EQ(short_.size(), 2u);
    for (const auto& child : short_) EXPECT_EQ(child->valueForKey("name"), Value("later"));
}

// A save too large to keep lets go of every row kept before, not only of those it skips: a
// row it skipped but kept earlier would otherwise stay, older than the file, with nothing
// newer to push it out.
TEST(SQLiteRowCache, ASaveLargerThanTheCacheLetsGoOfWhatWasKept) {
    auto model = zqtest::makeTestModel();
    // A coordinator resolves the model's relationships, which the layout reads.
    auto coordinator = PersistentStoreCoordinator::create(model);
    SQLiteSchema schema(model, model->entities());
    auto tag = model->entityNamed("Tag");
    const auto* table = schema.table(*tag);
    ASSERT_TRUE(table);
    SQLiteRowCache cache(4);
    PropertyMask changed;
    changed.assign(tag->properties().size());
    auto labelled = [&](const char* label) {
        std::vector<Value> values(tag->properties().size());
        values[static_cast<size_t>(tag->propertyIndex("label"))] = Value(label);
        return values;
    };
    auto save = [&](int64_t version, const std::vector<std::pair<int64_t, const char*>>& rows) {
        std::vector<std::vector<Value>> values;
        values.reserve(rows.size());
        StoreChangeSet changes;
        StoreSaveOutcome outcome;
        outcome.version = version;
        outcome.previousVersion = version - 1;
        for (const auto& [row, label] : rows) {
            values.push_back(labelled(label));
            changes.updates.push_back({tag, row, &changed, &values.back(), true, nullptr});
            outcome.updatedVersions.push_back(version);
        }
        cache.rememberSave(schema, changes, outcome);
    };
    save(1, {{1, "a"}, {2, "b"}, {3, "c"}});
    save(2, {{9, "x"}});
    // Five rows for four places: row 9 is skipped, rows 1 to 3 are written over in place.
    save(3, {{9, "x2"}, {1, "a2"}, {2, "b2"}, {3, "c2"}, {4, "d2"}});
    RowSnapshot row;
    EXPECT_FALSE(cache.find(*table, 9, 2, row)) << "row 9 kept at a version the file left";
    std::vector<RowSnapshot> rows;
    EXPECT_FALSE(cache.findAll(*table, {9}, 3, rows));
    rows.clear();
    ASSERT_TRUE(cache.findAll(*table, {1, 2, 3, 4}, 3, rows));
    EXPECT_EQ(rows[0].values[static_cast<size_t>(tag->propertyIndex("label"))], Value("a2"));
    // A save that follows one kept elsewhere (another coordinator's) lets go of everything too.
    save(5, {{1, "a5"}});
    rows.clear();
    EXPECT_FALSE(cache.findAll(*table, {1, 2}, 5, rows));
}
