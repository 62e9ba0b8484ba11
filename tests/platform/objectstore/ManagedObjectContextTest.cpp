#include "platform/objectstore/ManagedObjectContext.hpp"

#include <gtest/gtest.h>

#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;

namespace {

// The class named by the test model's Item entity: records its hook calls.
class TestItem : public ManagedObject {
  public:
    void didChangeValueForKey(const std::string& key) override { changedKeys.push_back(key); }
    void didTurnIntoFault() override { ++faults; }
    std::vector<std::string> changedKeys;
    int faults = 0;
};

const bool registered = [] {
    ManagedObjectClassRegistry::shared().registerClass<TestItem>("TestItem");
    return true;
}();

class ManagedObjectContextTest : public zqtest::ObjectStoreTest {};

}  // namespace

TEST_P(ManagedObjectContextTest, InsertedObjectsGetPermanentIdentifiersWhenSaved) {
    auto context = newContext();
    EXPECT_FALSE(context->hasChanges());
    EXPECT_FALSE(context->insertNewObject("NoSuchEntity"));
    auto item = insert(*context, "Item", {{"name", "a"}});
    auto temporary = item->objectID();
    EXPECT_TRUE(temporary->isTemporaryID());
    EXPECT_TRUE(item->isInserted());
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(context->objectWithID(temporary), item);

    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_FALSE(context->hasChanges());
    EXPECT_FALSE(item->isInserted());
    EXPECT_FALSE(item->objectID()->isTemporaryID());
    EXPECT_EQ(item->objectID()->persistentStore(), store_);
    EXPECT_EQ(context->objectWithID(item->objectID()), item);
    EXPECT_FALSE(context->objectWithID(temporary));
    EXPECT_NE(item->objectID()->URIRepresentation().find(store_->identifier()), std::string::npos);
    // Identifiers compare by value and ride in Values.
    auto again = ManagedObjectID::permanent(item->entity(), store_, item->objectID()->number());
    EXPECT_EQ(Value::objectID(again), Value::objectID(item->objectID()));
    EXPECT_FALSE(context->save());  // nothing to do
}

TEST_P(ManagedObjectContextTest, AttributeValuesOfEveryTypeRoundTripThroughTheStore) {
    auto writer = newContext();
    Value::Bytes bytes = {0, 1, 2, 255};
    auto item = insert(*writer, "Item",
                       {{"key", 1234567890123LL},
                        {"name", "naïve"},
                        {"price", Value(*Decimal::fromString("12.300"))},
                        {"weight", 2.5},
                        {"ratio", 0.1},
                        {"active", true},
                        {"created", Value(Date(1.7e9 + 0.25))},
                        {"blob", Value::bytes(bytes)},
                        {"small", 7},
                        {"mid", 70000}});
    ASSERT_NO_STORE_ERROR(writer->save());

    auto reader = newContext();
    auto fault = reader->objectWithID(item->objectID());
    ASSERT_TRUE(fault);
    EXPECT_TRUE(fault->isFault());
    EXPECT_EQ(fault->valueForKey("key"), Value(1234567890123LL));
    EXPECT_FALSE(fault->isFault());
    EXPECT_EQ(*fault->valueForKey("name").string(), "naïve");
    EXPECT_EQ(fault->valueForKey("price").decimal()->text(), "12.3");
    EXPECT_EQ(fault->valueForKey("weight"), Value(2.5));
    EXPECT_EQ(fault->valueForKey("ratio"), Value(static_cast<double>(0.1f)));
    EXPECT_EQ(fault->valueForKey("active").kind(), Value::Kind::Bool);
    EXPECT_EQ(*fault->valueForKey("created").date(), Date(1.7e9 + 0.25));
    EXPECT_EQ(*fault->valueForKey("blob").bytes(), bytes);
    EXPECT_EQ(fault->valueForKey("small"), Value(7));
    EXPECT_EQ(fault->valueForKey("mid"), Value(70000));
    EXPECT_TRUE(fault->valueForKey("nothing").isAbsent());
}

TEST_P(ManagedObjectContextTest, SettingValuesChecksKeysAndTypesAndNullClears) {
    auto context = newContext();
    auto item = insert(*context, "Item", {{"name", "x"}, {"small", 1}});
    EXPECT_TRUE(item->setValueForKey(Value("text"), "small"));
    EXPECT_TRUE(item->setValueForKey(Value(100000), "small"));  // out of 16-bit range
    EXPECT_TRUE(item->setValueForKey(Value(1), "noSuchKey"));
    EXPECT_TRUE(item->setValueForKey(Value(1), "detail"));  // a relationship takes objects
    EXPECT_EQ(item->valueForKey("small"), Value(1));
    ASSERT_FALSE(item->setValuesForKeysWithDictionary({{"name", Value::null()}, {"mid", 2.0}}));
    EXPECT_TRUE(item->valueForKey("name").isAbsent());
    EXPECT_EQ(item->valueForKey("mid").kind(), Value::Kind::Integer);

    // By property number: the same checks and conversions, and a number past the entity's
    // properties is refused.
    const auto& entity = *item->entity();
    auto at = [&entity](const char* name) {
        return static_cast<size_t>(entity.propertyIndex(name));
    };
    using IV = ManagedObject::IndexedValue;
    const IV wrongType[] = {{at("small"), Value("text")}};
    EXPECT_TRUE(item->setValuesAtIndices(wrongType));
    const IV pastTheEnd[] = {{entity.properties().size(), Value(1)}};
    EXPECT_TRUE(item->setValuesAtIndices(pastTheEnd));
    EXPECT_EQ(item->valueForKey("small"), Value(1));
    const IV edits[] = {{at("small"), Value(3)}, {at("weight"), Value(4)}};
    ASSERT_FALSE(item->setValuesAtIndices(edits));
    EXPECT_EQ(item->valueForKey("small"), Value(3));
    EXPECT_EQ(item->valueForKey("weight").kind(), Value::Kind::Double);

    ASSERT_NO_STORE_ERROR(context->save());
    auto reader = newContext();
    auto fresh = reader->objectWithID(item->objectID());
    EXPECT_TRUE(fresh->valueForKey("name").isAbsent());
    EXPECT_EQ(fresh->valueForKey("small"), Value(3));
    context->deleteObject(item);
    EXPECT_TRUE(item->setValuesAtIndices(edits));
}

TEST_P(ManagedObjectContextTest, ChangeFlagsFollowEditsSavesAndDeletes) {
    auto context = newContext();
    auto item = insert(*context, "Item", {{"name", "a"}});
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_FALSE(item->hasChanges());
    ASSERT_FALSE(item->setValueForKey(Value("a"), "name"));  // same value: no change
    EXPECT_FALSE(item->isUpdated());
    ASSERT_FALSE(item->setValueForKey(Value("b"), "name"));
    EXPECT_TRUE(item->isUpdated());
    EXPECT_EQ(item->changedValues(), Dictionary({{"name", "b"}}));
    EXPECT_EQ(context->updatedObjects().size(), 1u);
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_FALSE(item->isUpdated());

    context->deleteObject(item);
    EXPECT_TRUE(item->isDeleted());
    EXPECT_EQ(context->deletedObjects().size(), 1u);
    EXPECT_TRUE(context->executeFetchRequest(FetchRequest("Item")).results.empty());
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_FALSE(item->managedObjectContext());
    EXPECT_TRUE(item->valueForKey("name").isAbsent());
    EXPECT_EQ(newContext()->countForFetchRequest(FetchRequest("Item")).count, 0);

    // Inserted and deleted before any save: never written.
    auto ghost = context->insertNewObject("Item");
    context->deleteObject(ghost);
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_EQ(newContext()->countForFetchRequest(FetchRequest("Item")).count, 0);
}

TEST_P(ManagedObjectContextTest, IdentifiersOfDeletedRowsReadAsNone) {
    auto writer = newContext();
    auto item = insert(*writer, "Item", {{"name", "gone soon"}});
    ASSERT_NO_STORE_ERROR(writer->save());
    auto id = item->objectID();
    writer->deleteObject(item);
    ASSERT_NO_STORE_ERROR(writer->save());

    auto reader = newContext();
    auto fault = reader->objectWithID(id);
    ASSERT_TRUE(fault);  // a fault is cheap; it finds out on first access
    EXPECT_TRUE(fault->valueForKey("name").isAbsent());
    EXPECT_TRUE(fault->setValueForKey(Value("x"), "name"));
    auto existing = reader->existingObjectWithID(id);
    EXPECT_FALSE(existing.object);
    EXPECT_TRUE(existing.error);
    EXPECT_FALSE(reader->objectWithID(nullptr));
}

TEST_P(ManagedObjectContextTest, MissingRequiredValuesFailTheSaveAndWriteNothing) {
    auto context = newContext();
    insert(*context, "Item", {{"name", "fine"}});
    auto query = context->insertNewObject("Query");  // queryBaseUri is required
    auto error = context->save();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), errc::kValidationMissingMandatoryProperty);
    EXPECT_TRUE(query->objectID()->isTemporaryID());
    EXPECT_EQ(newContext()->countForFetchRequest(FetchRequest("Item")).count, 0);
    ASSERT_FALSE(query->setValueForKey(Value("http://x"), "queryBaseUri"));
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_EQ(newContext()->countForFetchRequest(FetchRequest("Item")).count, 1);
}

TEST_P(ManagedObjectContextTest, ObjectsAreMadeOfTheRegisteredClassAndHearTheirHooks) {
    auto context = newContext();
    auto item = std::dynamic_pointer_cast<TestItem>(context->insertNewObject("Item"));
    ASSERT_TRUE(item);
    EXPECT_FALSE(std::dynamic_pointer_cast<TestItem>(context->insertNewObject("Line")));
    ASSERT_FALSE(item->setValueForKey(Value("a"), "name"));
    EXPECT_EQ(item->changedKeys, std::vector<std::string>{"name"});
    ASSERT_NO_STORE_ERROR(context->save());
    context->refreshObject(item, false);
    EXPECT_EQ(item->faults, 1);
    EXPECT_TRUE(item->isFault());
    EXPECT_EQ(item->valueForKey("name"), Value("a"));  // loads again

    auto other = newContext();
    auto fetched = other->executeFetchRequest(FetchRequest("Item")).objects();
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_TRUE(std::dynamic_pointer_cast<TestItem>(fetched[0]));

    // A class registered while a context is making objects of the entity is used from then on.
    struct LateItem : TestItem {};
    ManagedObjectClassRegistry::shared().registerClass<LateItem>("TestItem");
    EXPECT_TRUE(std::dynamic_pointer_cast<LateItem>(context->insertNewObject("Item")));
    ManagedObjectClassRegistry::shared().registerClass<TestItem>("TestItem");
    auto again = context->insertNewObject("Item");
    EXPECT_TRUE(std::dynamic_pointer_cast<TestItem>(again));
    EXPECT_FALSE(std::dynamic_pointer_cast<LateItem>(again));
}

TEST_P(ManagedObjectContextTest, ResetForgetsObjectsAndChanges) {
    auto context = newContext();
    auto item = insert(*context, "Item", {{"name", "a"}});
    context->reset();
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(context->registeredObjectCount(), 0u);
    EXPECT_FALSE(item->managedObjectContext());
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_EQ(context->countForFetchRequest(FetchRequest("Item")).count, 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, ManagedObjectContextTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);
