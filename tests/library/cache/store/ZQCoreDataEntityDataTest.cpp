#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCLevel.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCRootLevel.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntitySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataField.hpp"
#include "platform/objectstore/FetchRequest.hpp"
#include "tests/library/cache/store/StoreTestSupport.hpp"

namespace {

using platform::Date;
using platform::ManagedObject;
using platform::ManagedObjectContext;
using platform::Value;

template <typename T>
std::shared_ptr<T> insert(ManagedObjectContext& context, const std::string& entity) {
    auto object = std::dynamic_pointer_cast<T>(context.insertNewObject(entity));
    EXPECT_NE(object, nullptr) << entity;
    return object;
}

void save(ManagedObjectContext& context) {
    auto error = context.save();
    ASSERT_EQ(error, nullptr) << error->description();
}

class EntityDataTest : public zqtest::CacheStoreTest {
  protected:
    void SetUp() override {
        CacheStoreTest::SetUp();
        model = zqtest::cachedModel(app, zqtest::schemaFor(app));
        context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
        ASSERT_NE(context, nullptr);
    }

    // A second context on the same stores, as a background cache operation has.
    std::shared_ptr<ManagedObjectContext> privateContext() const {
        auto other =
            ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
        other->setPersistentStoreCoordinator(context->persistentStoreCoordinator());
        return other;
    }
    std::shared_ptr<ManagedObject> refetch(ManagedObjectContext& in, const ManagedObject& object) {
        return in.objectWithID(object.objectID());
    }
    std::shared_ptr<const ZQEntityDataFieldDescriptor> shipToDescriptor() const {
        return std::make_shared<ZQWorkWithDataField>("&ShipTo", ZQEntityDataFieldTypeVariable,
                                                     app->sdtInfoNamed("Address"));
    }

    std::shared_ptr<const ZQApplicationModel> app = zqtest::loadStoreApp();
    std::shared_ptr<ZQModel> model;
    std::shared_ptr<ManagedObjectContext> context;
};

TEST_F(EntityDataTest, EveryEntityOfTheSchemaMakesObjectsOfItsCachedClass) {
    // Registering again, from several threads at once, changes nothing.
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back(ZQCoreDataCacheClasses::registerClasses);
    for (auto& thread : threads) thread.join();

    auto detail = context->insertNewObject("Orders__Detail");
    EXPECT_NE(std::dynamic_pointer_cast<ZQEntitySingleItemManagedObject>(detail), nullptr);
    auto list = context->insertNewObject("Orders__List");
    EXPECT_NE(std::dynamic_pointer_cast<ZQEntityCollectionManagedObject>(list), nullptr);
    auto sublevel = context->insertNewObject("_SublevelOrders__Detail_Lines");
    ASSERT_NE(std::dynamic_pointer_cast<ZQCoreDataEntityData>(sublevel), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<ZQEntityCollectionManagedObject>(sublevel), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(
                  context->insertNewObject("_QueryOrders__List")),
              nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ZQQuerySingleItemManagedObject>(
                  context->insertNewObject("_QueryOrders__Detail")),
              nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ZQQueryCollectionEntityCollectionManagedObject>(
                  context->insertNewObject("_QueryCollectionEntityOrders__List")),
              nullptr);
    auto root = context->insertNewObject("sales__order");
    EXPECT_NE(std::dynamic_pointer_cast<ZQCoreDataEntityDataBCRootLevel>(root), nullptr);
    auto child = context->insertNewObject("sales__orderline");
    ASSERT_NE(std::dynamic_pointer_cast<ZQCoreDataEntityDataBCLevel>(child), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<ZQCoreDataEntityDataBCRootLevel>(child), nullptr);
    // Screens reach cached levels through the host's protocols.
    EXPECT_NE(std::dynamic_pointer_cast<ZQBusinessComponentLevelEntityData>(child), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ZQMutableEntityData>(list), nullptr);
}

TEST_F(EntityDataTest, FieldNamesMapToTheirCacheAttributes) {
    auto row = insert<ZQEntityCollectionManagedObject>(*context, "Orders__List");
    ASSERT_EQ(row->setValueForKey(Value(12.5), "zqamount"), nullptr);
    ASSERT_EQ(row->setValueForKey(Value(3), "zqorderid"), nullptr);

    EXPECT_EQ(row->valueForEntityDataFieldName("&Amount"), Value(12.5));
    EXPECT_EQ(row->valueForEntityDataFieldName("amount"), Value(12.5));
    EXPECT_EQ(row->valueForEntityDataFieldName("OrderId"), Value(3));
    EXPECT_TRUE(row->hasValueForEntityDataFieldName("&AMOUNT"));
    // Known field without a value: there is such a field, it reads as nothing.
    EXPECT_TRUE(row->hasValueForEntityDataFieldName("OrderTotal"));
    EXPECT_TRUE(row->valueForEntityDataFieldName("OrderTotal").isNothing());

    EXPECT_FALSE(row->hasValueForEntityDataFieldName("Nope"));
    EXPECT_EQ(row->valueForEntityDataFieldName("Nope"), Value());
    EXPECT_FALSE(row->hasValueForEntityDataFieldName(""));
    EXPECT_EQ(row->valueForEntityDataFieldName(""), Value());
    // Only one "&" is dropped.
    EXPECT_FALSE(row->hasValueForEntityDataFieldName("&&Amount"));
    EXPECT_EQ(row->relatedValuesByFieldNameForFieldName("Amount", Value(12.5)), std::nullopt);

    // Read together, the fields give what they give one by one, also after another entity with
    // the same names was read in between (the list's amount lies where the detail keeps ShipTo).
    auto item = insert<ZQEntitySingleItemManagedObject>(*context, "Orders__Detail");
    ASSERT_EQ(item->setValueForKey(Value(8), "zqorderid"), nullptr);
    ASSERT_EQ(item->setValueForKey(Value(R"({"City": "Lyon"})"), "zqshipto"), nullptr);
    const std::vector<std::string> names{"&Amount", "amount",   "OrderId", "OrderTotal",
                                         "Nope",    "&&Amount", ""};
    const ZQCoreDataEntityData* objects[] = {row.get(), item.get(), row.get()};
    for (const ZQCoreDataEntityData* object : objects) {
        std::vector<Value> values{Value("stale")};
        object->valuesForEntityDataFieldNames(names, values);
        ASSERT_EQ(values.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(values[i], object->valueForEntityDataFieldName(names[i])) << names[i];
    }
}

TEST_F(EntityDataTest, ADeletedObjectReadsAsNothing) {
    auto row = insert<ZQEntityCollectionManagedObject>(*context, "Orders__List");
    ASSERT_EQ(row->setValueForKey(Value(9), "zqorderid"), nullptr);
    save(*context);
    context->deleteObject(row);
    save(*context);

    EXPECT_EQ(row->valueForEntityDataFieldName("OrderId"), Value());
    EXPECT_FALSE(row->hasValueForEntityDataFieldName("OrderId"));
    std::vector<Value> values;
    row->valuesForEntityDataFieldNames(std::vector<std::string>{"OrderId"}, values);
    EXPECT_EQ(values, std::vector<Value>{Value()});
    EXPECT_EQ(row->valueForEntityDataFieldName("&ShipTo", std::nullopt, shipToDescriptor()),
              Value());
}

TEST_F(EntityDataTest, NewAndUpdatedFollowTheUnsavedChanges) {
    auto row = insert<ZQEntityCollectionManagedObject>(*context, "Orders__List");
    EXPECT_TRUE(row->entityDataNew());
    EXPECT_TRUE(row->entityDataUpdated());
    save(*context);
    EXPECT_FALSE(row->entityDataNew());
    EXPECT_FALSE(row->entityDataUpdated());
    ASSERT_EQ(row->setValueForKey(Value(4), "zqorderid"), nullptr);
    EXPECT_FALSE(row->entityDataNew());
    EXPECT_TRUE(row->entityDataUpdated());
}

TEST_F(EntityDataTest, AStructuredFieldIsParsedOnceAndRebuiltWhenItsTextChanges) {
    auto item = insert<ZQEntitySingleItemManagedObject>(*context, "Orders__Detail");
    ASSERT_EQ(
        item->setValueForKey(Value(R"({"Street": "Main 1", "City": "Springfield"})"), "zqshipto"),
        nullptr);
    save(*context);
    auto descriptor = shipToDescriptor();

    Value first = item->valueForEntityDataFieldName("&ShipTo", std::nullopt, descriptor);
    auto structured = std::dynamic_pointer_cast<ZQSDTData>(first.object());
    ASSERT_NE(structured, nullptr);
    EXPECT_EQ(structured->value()["City"], Value("Springfield"));
    // Served from the object's cache while the text stays.
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", std::nullopt, descriptor).object(),
              structured);
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", "City", descriptor),
              Value("Springfield"));
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", "Country", descriptor), Value());
    // Without a structured type the stored text comes back as it is.
    EXPECT_TRUE(item->valueForEntityDataFieldName("&ShipTo").isString());

    ASSERT_EQ(item->setValueForKey(Value("{not json"), "zqshipto"), nullptr);
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", std::nullopt, descriptor), Value());
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", "City", descriptor), Value());
    ASSERT_EQ(item->setValueForKey(Value(R"({"City": "Shelbyville"})"), "zqshipto"), nullptr);
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", "City", descriptor),
              Value("Shelbyville"));

    // Another context saves a new text; merging it into this one rebuilds the value too.
    auto background = privateContext();
    save(*context);
    auto theirs = refetch(*background, *item);
    ASSERT_EQ(theirs->setValueForKey(Value(R"({"City": "Capital City"})"), "zqshipto"), nullptr);
    auto token = background->addDidSaveObserver([&](const auto& notification) {
        context->mergeChangesFromContextDidSaveNotification(notification);
    });
    save(*background);
    EXPECT_EQ(item->valueForEntityDataFieldName("&ShipTo", "City", descriptor),
              Value("Capital City"));

    // Turned into a fault, the object builds the value again from the store.
    Value before = item->valueForEntityDataFieldName("&ShipTo", std::nullopt, descriptor);
    context->refreshObject(item, false);
    Value after = item->valueForEntityDataFieldName("&ShipTo", std::nullopt, descriptor);
    EXPECT_NE(after.object(), before.object());
    EXPECT_TRUE(after.object()->isEqualTo(*before.object()));
}

TEST_F(EntityDataTest, BusinessComponentLevelsFindTheirChildrenByLevelNameInAnyCase) {
    auto order = insert<ZQCoreDataEntityDataBCRootLevel>(*context, "sales__order");
    ASSERT_EQ(order->setTimeStamp(Date(1000)), nullptr);
    ASSERT_EQ(order->setZq_md5_hash("abc123"), nullptr);
    std::vector<std::shared_ptr<ZQCoreDataEntityDataBCLevel>> lines;
    for (int i = 0; i < 2; ++i) {
        auto line = insert<ZQCoreDataEntityDataBCLevel>(*context, "sales__orderline");
        ASSERT_EQ(line->setTimeStamp(Date(1000)), nullptr);
        ASSERT_EQ(line->setValueForKey(Value::object(order), "parentLevel"), nullptr);
        lines.push_back(line);
    }
    save(*context);

    EXPECT_EQ(order->entityMD5Hash(), "abc123");
    EXPECT_EQ(order->timeStamp(), Date(1000));
    EXPECT_EQ(lines[0]->entityMD5Hash(), std::nullopt);
    for (const char* name : {"Line", "line", "LINE"}) {
        auto children = order->entityChildLevelEntitiesForLevelName(name);
        ASSERT_TRUE(children.has_value()) << name;
        EXPECT_EQ(children->size(), 2u);
    }
    auto children = order->entityChildLevelEntitiesForLevelName("Line");
    for (const auto& line : lines) {
        auto asLevel = std::static_pointer_cast<ZQBusinessComponentLevelEntityData>(line);
        EXPECT_NE(std::find(children->begin(), children->end(), asLevel), children->end());
    }
    EXPECT_EQ(order->entityChildLevelEntitiesForLevelName(""), std::nullopt);
    EXPECT_EQ(order->entityChildLevelEntitiesForLevelName("Nope"), std::nullopt);
    // A to-one relationship is no child level.
    EXPECT_EQ(lines[0]->entityChildLevelEntitiesForLevelName("parentLevel"), std::nullopt);

    ASSERT_EQ(order->setZq_md5_hash(std::nullopt), nullptr);
    EXPECT_EQ(order->entityMD5Hash(), std::nullopt);
}

TEST_F(EntityDataTest, ACollectionQueryKeepsItsRowsAndGoesWithThem) {
    auto query = insert<ZQQueryCollectionManagedObject>(*context, "_QueryOrders__List");
    ASSERT_EQ(query->setQueryBaseUri("rest/Orders/List"), nullptr);
    ASSERT_EQ(query->setQueryParameters("a=1"), nullptr);
    ASSERT_EQ(query->setTimeStamp(Date(10)), nullptr);
    ASSERT_EQ(query->setDataTimeStamp(Date(20)), nullptr);
    ASSERT_EQ(query->setComplete(true), nullptr);
    std::vector<std::shared_ptr<ZQEntityCollectionManagedObject>> items;
    for (int i = 0; i < 3; ++i) {
        auto item = insert<ZQEntityCollectionManagedObject>(*context, "Orders__List");
        auto row = insert<ZQQueryCollectionEntityCollectionManagedObject>(
            *context, "_QueryCollectionEntityOrders__List");
        ASSERT_EQ(row->setRowId(i), nullptr);
        ASSERT_EQ(row->setQuery(query), nullptr);
        ASSERT_EQ(row->setEntityData(item), nullptr);
        items.push_back(item);
    }
    save(*context);

    auto reader = privateContext();
    auto stored =
        std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(refetch(*reader, *query));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->queryParameters(), "a=1");
    EXPECT_EQ(stored->lastModified(), std::nullopt);
    EXPECT_EQ(stored->complete(), true);
    auto rows = stored->queryEntities();
    ASSERT_EQ(rows.size(), 3u);
    std::set<int32_t> rowIds;
    for (const auto& row : rows) {
        rowIds.insert(row->rowId().value_or(-1));
        EXPECT_EQ(row->query(), stored);
        auto item = row->entityData();
        ASSERT_NE(item, nullptr);
        auto back = item->entityQueries();
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0], row);
    }
    EXPECT_EQ(rowIds, (std::set<int32_t>{0, 1, 2}));

    // An item takes its rows with it; the query takes the rest.
    context->deleteObject(items[0]);
    save(*context);
    auto rowCount = [&] {
        return context
            ->countForFetchRequest(platform::FetchRequest("_QueryCollectionEntityOrders__List"))
            .count;
    };
    EXPECT_EQ(rowCount(), 2);
    EXPECT_EQ(query->queryEntities().size(), 2u);
    context->deleteObject(query);
    save(*context);
    EXPECT_EQ(rowCount(), 0);
}

}  // namespace
