// Contexts that hold many objects (the registry grows, re-keys inserted objects at save and lets
// deleted ones go, and must still find every other object by identifier) and entities with more
// properties than an object keeps its change flags for inline.
#include <gtest/gtest.h>

#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;

namespace {

class ManyObjectsTest : public zqtest::ObjectStoreTest {
  protected:
    // Every object is found by its identifier as that very object.
    static void expectRegistered(ManagedObjectContext& context,
                                 const std::vector<std::shared_ptr<ManagedObject>>& objects) {
        for (const auto& object : objects) {
            ASSERT_EQ(context.objectWithID(object->objectID()), object)
                << object->objectID()->URIRepresentation();
        }
    }
};

}  // namespace

TEST_P(ManyObjectsTest, EveryObjectStaysFindableThroughSavesDeletesAndMerges) {
    constexpr int kCount = 600;
    auto context = newContext();
    std::vector<std::shared_ptr<ManagedObject>> items;
    for (int i = 0; i < kCount; ++i) items.push_back(insert(*context, "Item", {{"key", i}}));
    expectRegistered(*context, items);
    ASSERT_NO_STORE_ERROR(context->save());
    for (const auto& item : items) ASSERT_FALSE(item->objectID()->isTemporaryID());
    expectRegistered(*context, items);

    std::vector<std::shared_ptr<ManagedObject>> kept, gone;
    for (int i = 0; i < kCount; ++i) (i % 3 == 0 ? gone : kept).push_back(items[i]);
    for (const auto& item : gone) context->deleteObject(item);
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_EQ(context->registeredObjectCount(), kept.size());
    expectRegistered(*context, kept);
    for (const auto& item : gone) {
        EXPECT_FALSE(item->managedObjectContext());
        EXPECT_NE(context->objectWithID(item->objectID()), item);
    }

    // Another context holding them all merges a save that deletes half of the rest.
    auto other = newContext();
    auto fetched = other->executeFetchRequest(FetchRequest("Item")).objects();
    ASSERT_EQ(fetched.size(), kept.size());
    std::shared_ptr<ContextDidSaveNotification> saved;
    auto token = context->addDidSaveObserver([&](const ContextDidSaveNotification& note) {
        saved = std::make_shared<ContextDidSaveNotification>(note);
    });
    std::vector<ManagedObjectIDPtr> deleted;
    for (size_t i = 0; i < kept.size(); i += 2) {
        context->deleteObject(kept[i]);
        deleted.push_back(kept[i]->objectID());
    }
    ASSERT_NO_STORE_ERROR(context->save());
    ASSERT_TRUE(saved);
    other->mergeChangesFromContextDidSaveNotification(*saved);
    EXPECT_EQ(other->registeredObjectCount(), kept.size() - deleted.size());
    std::vector<std::shared_ptr<ManagedObject>> remaining;
    for (const auto& object : fetched) {
        if (object->managedObjectContext()) remaining.push_back(object);
    }
    EXPECT_EQ(remaining.size(), kept.size() - deleted.size());
    expectRegistered(*other, remaining);
}

INSTANTIATE_TEST_SUITE_P(Stores, ManyObjectsTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);

TEST(ManyProperties, ChangesOfEveryPropertyAreTrackedSavedAndMerged) {
    constexpr int kProperties = 150;
    auto wide = EntityDescription::create("Wide");
    std::vector<std::shared_ptr<PropertyDescription>> properties;
    for (int i = 0; i < kProperties; ++i) {
        properties.push_back(
            AttributeDescription::create("a" + std::to_string(i), AttributeType::Integer64));
    }
    wide->setProperties(properties);
    auto model = ManagedObjectModel::create();
    model->setEntities({wide});
    zqtest::TempDir dir;
    auto coordinator = PersistentStoreCoordinator::create(model);
    ASSERT_FALSE(coordinator
                     ->addPersistentStore(PersistentStore::StoreType::SQLite, "",
                                          (dir / "wide.sqlite").string())
                     .error);
    auto contextOn = [&] {
        auto c = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
        c->setPersistentStoreCoordinator(coordinator);
        return c;
    };

    auto writer = contextOn();
    auto object = writer->insertNewObject("Wide");
    ASSERT_NO_STORE_ERROR(object->setValuesForKeysWithDictionary({{"a0", 1}, {"a149", 2}}));
    ASSERT_NO_STORE_ERROR(writer->save());

    auto holder = contextOn();
    auto held = holder->objectWithID(object->objectID());
    EXPECT_EQ(held->valueForKey("a149"), Value(2));
    ASSERT_NO_STORE_ERROR(object->setValueForKey(Value(3), "a129"));
    ASSERT_NO_STORE_ERROR(object->setValueForKey(Value(4), "a148"));
    EXPECT_EQ(object->changedValues(), Dictionary({{"a129", 3}, {"a148", 4}}));
    std::shared_ptr<ContextDidSaveNotification> saved;
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& note) {
        saved = std::make_shared<ContextDidSaveNotification>(note);
    });
    ASSERT_NO_STORE_ERROR(writer->save());
    EXPECT_FALSE(object->hasChanges());
    ASSERT_TRUE(saved);
    holder->mergeChangesFromContextDidSaveNotification(*saved);
    EXPECT_EQ(held->valueForKey("a148"), Value(4));

    auto fresh = contextOn();
    auto reader = fresh->objectWithID(object->objectID());
    for (int i = 0; i < kProperties; ++i) {
        Value expected = i == 0     ? Value(1)
                         : i == 129 ? Value(3)
                         : i == 148 ? Value(4)
                         : i == 149 ? Value(2)
                                    : Value();
        EXPECT_EQ(reader->valueForKey("a" + std::to_string(i)), expected) << i;
    }
}
