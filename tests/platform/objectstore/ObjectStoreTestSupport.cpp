#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;

namespace zqtest {

namespace {

std::shared_ptr<AttributeDescription> attr(const std::string& name, AttributeType type,
                                           bool optional = true) {
    return AttributeDescription::create(name, type, optional);
}

std::shared_ptr<RelationshipDescription> rel(const std::string& name, const std::string& dest,
                                             const std::string& inverse, bool toMany,
                                             DeleteRule rule = DeleteRule::Nullify,
                                             bool ordered = false) {
    auto r = RelationshipDescription::create(name, dest, toMany, rule);
    r->setInverseName(inverse);
    r->setOrdered(ordered);
    return r;
}

}  // namespace

std::shared_ptr<ManagedObjectModel> makeTestModel() {
    auto query = EntityDescription::create("Query", "TestQuery");
    query->setProperties({attr("queryBaseUri", AttributeType::String, false),
                          attr("queryParameters", AttributeType::String),
                          attr("timeStamp", AttributeType::Date),
                          attr("complete", AttributeType::Boolean),
                          rel("queryEntities", "Row", "query", true, DeleteRule::Cascade)});
    query->setIndexes(
        {FetchIndexDescription("queryBaseUri_queryParameters",
                               {{"queryBaseUri", true, {}}, {"queryParameters", true, {}}})});

    auto row = EntityDescription::create("Row");
    row->setProperties({attr("rowId", AttributeType::Integer32, false),
                        rel("query", "Query", "queryEntities", false),
                        rel("entityData", "Item", "entityQueries", false)});
    FetchIndexDescription byPosition("rowId", {{"rowId", true, {}}});
    byPosition.setSearchedWithinOwner(true);
    row->setIndexes({byPosition});

    auto item = EntityDescription::create("Item", "TestItem");
    item->setProperties(
        {attr("key", AttributeType::Integer64), attr("name", AttributeType::String),
         attr("price", AttributeType::Decimal), attr("weight", AttributeType::Double),
         attr("ratio", AttributeType::Float), attr("active", AttributeType::Boolean),
         attr("created", AttributeType::Date), attr("blob", AttributeType::Binary),
         attr("small", AttributeType::Integer16), attr("mid", AttributeType::Integer32),
         rel("entityQueries", "Row", "entityData", true, DeleteRule::Cascade),
         rel("zqlines", "Line", "parentLevel", true, DeleteRule::Nullify, true),
         rel("tags", "Tag", "items", true),
         rel("detail", "Detail", "item", false, DeleteRule::Cascade)});
    item->setIndexes({FetchIndexDescription("key", {{"key", true, {}}})});

    auto line = EntityDescription::create("Line");
    line->setProperties({attr("number", AttributeType::Integer32),
                         attr("text", AttributeType::String),
                         rel("parentLevel", "Item", "zqlines", true)});
    auto tag = EntityDescription::create("Tag");
    tag->setProperties({attr("label", AttributeType::String), rel("items", "Item", "tags", true)});
    auto detail = EntityDescription::create("Detail");
    detail->setProperties(
        {attr("note", AttributeType::String), rel("item", "Item", "detail", false)});
    auto parent = EntityDescription::create("Parent");
    parent->setProperties(
        {attr("code", AttributeType::String),
         rel("children", "Child", "parentLevel", true, DeleteRule::Cascade, true)});
    auto child = EntityDescription::create("Child");
    child->setProperties(
        {attr("name", AttributeType::String), rel("parentLevel", "Parent", "children", false)});

    auto model = ManagedObjectModel::create();
    model->setEntities({query, row, item, line, tag, detail, parent, child});
    return model;
}

std::string storeTypeName(const testing::TestParamInfo<StoreType>& info) {
    return info.param == StoreType::SQLite ? "SQLite" : "InMemory";
}

void ObjectStoreTest::SetUp() {
    model_ = makeTestModel();
    coordinator_ = PersistentStoreCoordinator::create(model_);
    auto added = coordinator_->addPersistentStore(GetParam(), "", (dir_ / "store.sqlite").string());
    ASSERT_FALSE(added.error) << added.error->description();
    store_ = added.store;
}

std::shared_ptr<ManagedObjectContext> ObjectStoreTest::newContext(
    ManagedObjectContext::ConcurrencyType type) {
    auto context = ManagedObjectContext::create(type);
    context->setPersistentStoreCoordinator(coordinator_);
    return context;
}

std::shared_ptr<ManagedObject> ObjectStoreTest::insert(ManagedObjectContext& context,
                                                       const std::string& entity,
                                                       const Dictionary& values) {
    auto object = context.insertNewObject(entity);
    EXPECT_TRUE(object) << entity;
    if (!object) return nullptr;
    auto error = object->setValuesForKeysWithDictionary(values);
    EXPECT_FALSE(error) << error->description();
    return object;
}

}  // namespace zqtest
