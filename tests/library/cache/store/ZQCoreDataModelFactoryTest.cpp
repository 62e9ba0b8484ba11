// The cache schema made from application models: the sample application entity by entity; the
// naming and type rules, failures, configurations and duplicates on small models.
#include <gtest/gtest.h>

#include <sstream>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataAttributeTypeTable.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

using namespace platform;

namespace {

// One line per entity: name, class (without module and "ZQ"), properties in order. Attributes
// are name:type, relationships name->Destination.inverse (->> to-many); "!" marks required ones.
std::string describe(const EntityDescription& entity) {
    std::string text = entity.name() + " " + entity.managedObjectClassName().substr(20) + ":";
    for (const auto& property : entity.properties()) {
        text += (text.back() == ':' ? " " : ", ") + property->name();
        if (auto* a = dynamic_cast<const AttributeDescription*>(property.get())) {
            text += std::string(":") + attributeTypeName(a->attributeType());
        } else {
            auto* r = static_cast<const RelationshipDescription*>(property.get());
            text += (r->isToMany() ? "->>" : "->") + r->destinationEntityName() + "." +
                    r->inverseName() + (r->deleteRule() == DeleteRule::Cascade ? " cascade" : "") +
                    (r->isOrdered() ? " ordered" : "");
            EXPECT_EQ(r->minCount(), r->isToMany() ? 0 : 1) << text;
        }
        if (!property->isOptional()) text += "!";
    }
    for (const auto& index : entity.indexes()) {
        text += " #" + index.name() + "(";
        for (const auto& element : index.elements()) text += element.propertyName + ",";
        text.back() = ')';
    }
    return text;
}

// The golden schema with {Q} standing for the five attributes every query entity starts with.
std::vector<std::string> goldenLines(const std::string& golden) {
    const std::string q =
        "queryBaseUri:string!, queryParameters:string, timeStamp:date!, dataTimeStamp:date!, "
        "lastModified:date";
    std::vector<std::string> lines;
    std::istringstream in(golden);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (auto at = line.find("{Q}"); at != std::string::npos) line.replace(at, 3, q);
        lines.push_back(line);
    }
    return lines;
}

std::shared_ptr<const ZQApplicationModel> appModel(const std::string& components,
                                                   const std::string& workWiths) {
    auto result = ZQApplicationModelLoader::loadFromString(R"({"name": "T",
      "domains": [{"name": "Total", "type": "numeric", "length": 10},
                  {"name": "Price", "type": "numeric", "length": 8, "decimals": 2}],
      "structuredTypes": [{"name": "Point", "members": [{"name": "X", "domain": "Total"}]}],
      "attributes": [{"name": "Code", "type": "numeric", "length": 4},
                     {"name": "Price", "domain": "Price"}, {"name": "Name", "type": "varchar"}],
      "businessComponents": )" + components + R"(, "workWiths": )" +
                                                               workWiths + "}",
                                                           "test");
    EXPECT_EQ(result.error, nullptr) << result.error->description();
    return result.model;
}

// One Work With whose list holds collection providers (name, cached, elements[, more members]).
std::string listOf(const std::vector<std::vector<std::string>>& providers) {
    std::string data;
    for (const auto& p : providers)
        data += std::string(data.empty() ? "" : ",") + R"({"dataProvider": ")" + p[0] +
                R"(", "collection": true, "cache": {"enabled": )" + p[1] + R"(}, "elements": [)" +
                p[2] + "]" + (p.size() > 3 ? p[3] : "") + "}";
    return R"([{"name": "W", "levels": [{"name": "L", "list": {"data": [)" + data + "]}}]}]";
}

std::shared_ptr<ManagedObjectModel> build(const std::shared_ptr<const ZQApplicationModel>& model) {
    ErrorPtr error;
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(model, &error);
    EXPECT_EQ(error, nullptr);
    return schema;
}

std::vector<std::string> names(const std::vector<std::shared_ptr<EntityDescription>>& entities) {
    std::vector<std::string> out;
    for (const auto& entity : entities) out.push_back(entity->name());
    return out;
}

}  // namespace

TEST(ZQCoreDataModelFactory, SampleApplicationSchemaEntityByEntity) {
    auto schema = build(zqtest::loadSampleModel());
    ASSERT_NE(schema, nullptr);
    auto golden = goldenLines(R"(
sales__invoice CoreDataEntityDataBCRootLevel: line->>sales__invoiceline.parentLevel cascade, timeStamp:date!, zq_md5_hash:string, zqinvoiceid:integer32, zqinvoicedate:date, zqinvoiceduedatetime:date, zqcustomerid:integer32, zqcustomername:string, zqinvoicetotal:double, zqinvoicepaid:boolean
sales__invoiceline CoreDataEntityDataBCLevel: timeStamp:date!, zqinvoicelineid:integer16, zqproductname:string, zqlinequantity:integer16, zqlineprice:double, zqlineamount:double, parentLevel->sales__invoice.line
customer CoreDataEntityDataBCRootLevel: timeStamp:date!, zq_md5_hash:string, zqcustomerid:integer32, zqcustomername:string, zqcustomeremail:string, zqcustomerphoto:string, zqcustomeractive:boolean, zqcustomersince:date
_QuerySales__WorkWithInvoice__Invoice__List QueryCollectionManagedObject: {Q}, complete:boolean, queryEntities->>_QueryCollectionEntitySales__WorkWithInvoice__Invoice__List.query cascade #queryBaseUri_queryParameters(queryBaseUri,queryParameters)
_QueryCollectionEntitySales__WorkWithInvoice__Invoice__List QueryCollectionEntityCollectionManagedObject: rowId:integer32!, query->_QuerySales__WorkWithInvoice__Invoice__List.queryEntities, entityData->Sales__WorkWithInvoice__Invoice__List.entityQueries #rowId(rowId)
Sales__WorkWithInvoice__Invoice__List EntityCollectionManagedObject: zqinvoiceid:integer32, zqinvoicedate:date, zqcustomername:string, zqinvoicetotal:double, zqinvoicepaid:boolean, entityQueries->>_QueryCollectionEntitySales__WorkWithInvoice__Invoice__List.entityData cascade
_QuerySales__WorkWithInvoice__Invoice__Detail QuerySingleItemManagedObject: {Q}, entityData->Sales__WorkWithInvoice__Invoice__Detail.queries #queryBaseUri_queryParameters(queryBaseUri,queryParameters)
_SublevelSales__WorkWithInvoice__Invoice__Detail_Line CoreDataEntityData: zqinvoicelineid:integer16, zqproductname:string, zqlinequantity:integer16, zqlineprice:double, zqlineamount:double, parentLevel->>Sales__WorkWithInvoice__Invoice__Detail.zqline
Sales__WorkWithInvoice__Invoice__Detail EntitySingleItemManagedObject: zqinvoiceid:integer32, zqinvoicedate:date, zqinvoiceduedatetime:date, zqcustomerid:integer32, zqcustomername:string, zqinvoicetotal:double, zqinvoicepaid:boolean, zqshippingaddress:string, queries->>_QuerySales__WorkWithInvoice__Invoice__Detail.entityData cascade, zqline->>_SublevelSales__WorkWithInvoice__Invoice__Detail_Line.parentLevel ordered!
_QuerySales__WorkWithInvoice__Invoice__General QuerySingleItemManagedObject: {Q}, entityData->Sales__WorkWithInvoice__Invoice__General.queries #queryBaseUri_queryParameters(queryBaseUri,queryParameters)
Sales__WorkWithInvoice__Invoice__General EntitySingleItemManagedObject: zqinvoiceid:integer32, zqinvoicedate:date, zqcustomername:string, zqinvoicetotal:double, zqdaysoverdue:integer16, queries->>_QuerySales__WorkWithInvoice__Invoice__General.entityData cascade
_QueryWorkWithCustomer__Customer__Detail QuerySingleItemManagedObject: {Q}, entityData->WorkWithCustomer__Customer__Detail.queries #queryBaseUri_queryParameters(queryBaseUri,queryParameters)
_SublevelWorkWithCustomer__Customer__Detail_Invoices_Lines CoreDataEntityData: zqinvoicelineid:integer16, zqproductname:string, zqlineamount:double, parentLevel->>_SublevelWorkWithCustomer__Customer__Detail_Invoices.zqlines
_SublevelWorkWithCustomer__Customer__Detail_Invoices CoreDataEntityData: zqinvoiceid:integer32, zqinvoicedate:date, zqinvoicetotal:double, zqinvoicepaid:boolean, zqlines->>_SublevelWorkWithCustomer__Customer__Detail_Invoices_Lines.parentLevel ordered!, parentLevel->>WorkWithCustomer__Customer__Detail.zqinvoices
WorkWithCustomer__Customer__Detail EntitySingleItemManagedObject: zqcustomerid:integer32, zqcustomername:string, zqcustomeremail:string, zqcustomerphoto:string, zqcustomeractive:boolean, zqcustomersince:date, queries->>_QueryWorkWithCustomer__Customer__Detail.entityData cascade, zqinvoices->>_SublevelWorkWithCustomer__Customer__Detail_Invoices.parentLevel ordered!
_QuerySales__WorkWithInvoice__Invoice__Lines QueryCollectionManagedObject: {Q}, complete:boolean, queryEntities->>_QueryCollectionEntitySales__WorkWithInvoice__Invoice__Lines.query cascade #queryBaseUri_queryParameters(queryBaseUri,queryParameters)
_QueryCollectionEntitySales__WorkWithInvoice__Invoice__Lines QueryCollectionEntityCollectionManagedObject: rowId:integer32!, query->_QuerySales__WorkWithInvoice__Invoice__Lines.queryEntities, entityData->Sales__WorkWithInvoice__Invoice__Lines.entityQueries #rowId(rowId)
Sales__WorkWithInvoice__Invoice__Lines EntityCollectionManagedObject: zqinvoicelineid:integer16, zqproductname:string, zqlinequantity:integer16, zqlineamount:double, entityQueries->>_QueryCollectionEntitySales__WorkWithInvoice__Invoice__Lines.entityData cascade
_QueryWorkWithCustomer__Customer__List QueryCollectionManagedObject: {Q}, complete:boolean, queryEntities->>_QueryCollectionEntityWorkWithCustomer__Customer__List.query cascade #queryBaseUri_queryParameters(queryBaseUri,queryParameters)
_QueryCollectionEntityWorkWithCustomer__Customer__List QueryCollectionEntityCollectionManagedObject: rowId:integer32!, query->_QueryWorkWithCustomer__Customer__List.queryEntities, entityData->WorkWithCustomer__Customer__List.entityQueries #rowId(rowId)
WorkWithCustomer__Customer__List EntityCollectionManagedObject: zqcustomerid:integer32, zqcustomername:string, zqcustomeremail:string, zqcustomerphoto:string, zqcustomeractive:boolean, zqcustomersince:date, entityQueries->>_QueryCollectionEntityWorkWithCustomer__Customer__List.entityData cascade
)");
    ASSERT_EQ(schema->entities().size(), golden.size());
    for (size_t i = 0; i < golden.size(); ++i)
        EXPECT_EQ(describe(*schema->entities()[i]), golden[i]) << "entity " << i;
    // The two providers that do not cache (the last six entities) are kept in memory only.
    ASSERT_EQ(schema->configurations(), (std::vector<std::string>{"sql", "memory"}));
    auto all = names(schema->entities());
    EXPECT_EQ(names(schema->entitiesForConfiguration("sql")),
              std::vector<std::string>(all.begin(), all.end() - 6));
    EXPECT_EQ(names(schema->entitiesForConfiguration("memory")),
              std::vector<std::string>(all.end() - 6, all.end()));
    EXPECT_TRUE(*build(zqtest::loadSampleModel()) == *schema);  // the build is deterministic

    EXPECT_EQ(schema->freeze(), nullptr);  // every destination and inverse resolves
}

TEST(ZQCoreDataModelFactory, BusinessComponentLevelsAndTheirLinks) {
    auto schema = build(appModel(R"([
        {"name": "Single", "levels": [{"name": "Single", "attributes": [{"name": "Code"}]}]},
        {"name": "Sales.Order", "levels": [
          {"name": "Order", "attributes": [{"name": "OrderId", "type": "numeric", "length": 10}]},
          {"name": "Line", "levelName": "Lines", "parent": "Order", "attributes": [{"name": "Price"}]},
          {"name": "Tax", "parent": "Line", "attributes": []},
          {"name": "Note", "parent": "Order", "attributes": []}]}])",
                                 "[]"));
    ASSERT_NE(schema, nullptr);
    std::vector<std::string> actual;
    for (const auto& entity : schema->entities()) actual.push_back(describe(*entity));
    EXPECT_EQ(actual, goldenLines(R"(
single CoreDataEntityDataBCRootLevel: timeStamp:date!, zq_md5_hash:string, zqcode:integer16
sales__order CoreDataEntityDataBCRootLevel: lines->>sales__orderline.parentLevel cascade, note->>sales__ordernote.parentLevel cascade, timeStamp:date!, zq_md5_hash:string, zqorderid:integer64
sales__orderline CoreDataEntityDataBCLevel: tax->>sales__ordertax.parentLevel cascade, timeStamp:date!, zqprice:double, parentLevel->sales__order.lines
sales__ordertax CoreDataEntityDataBCLevel: timeStamp:date!, parentLevel->sales__orderline.tax
sales__ordernote CoreDataEntityDataBCLevel: timeStamp:date!, parentLevel->sales__order.note
)"));
    EXPECT_TRUE(schema->configurations().empty());  // everything is cached: one store
}

TEST(ZQCoreDataModelFactory, ElementNamesAndTypes) {
    auto schema = build(appModel("[]", listOf({{"P", "true", R"(
        {"name": "&Total", "domain": "Total"}, {"name": "Price"},
        {"name": "&Count", "attribute": "Code"},
        {"name": "&Ratio", "type": "numeric", "length": 7, "decimals": 2},
        {"name": "&When", "type": "datetime"}, {"name": "&Points", "sdt": "Point", "collection": true},
        {"name": "&Elsewhere", "sdt": "Missing"}, {"name": "&Id", "type": "guid"})"}})));
    ASSERT_NE(schema, nullptr);
    EXPECT_EQ(describe(*schema->entityNamed("P")),
              "P EntityCollectionManagedObject: zqtotal:integer64, zqprice:double, "
              "zqcount:integer16, zqratio:float, zqwhen:date, zqpoints:string, zqelsewhere:string, "
              "zqid:string, entityQueries->>_QueryCollectionEntityP.entityData cascade");
}

TEST(ZQCoreDataAttributeTypeTable, NumericRowsAtTheirBoundaries) {
    std::vector<std::tuple<uint32_t, uint32_t, AttributeType>> rows = {
        {4, 0, AttributeType::Integer16},  {5, 0, AttributeType::Integer32},
        {9, 0, AttributeType::Integer32},  {10, 0, AttributeType::Integer64},
        {18, 0, AttributeType::Integer64}, {19, 0, AttributeType::Decimal},
        {7, 2, AttributeType::Float},      {8, 2, AttributeType::Double},
        {16, 2, AttributeType::Double},    {17, 2, AttributeType::Decimal},
        {0, 2, AttributeType::Decimal}};
    for (auto [length, decimals, type] : rows)
        EXPECT_EQ(ZQCoreDataAttributeTypeTable::numericAttributeType(length, decimals), type)
            << length << "," << decimals;
}

TEST(ZQCoreDataModelFactory, FailuresKeepTheirCauseInTheFactory) {
    auto missing =
        appModel("[]", listOf({{"Ok", "true", R"({"name": "Code"})"},
                               {"Bad", "true", R"({"name": "Code"}, {"name": "Nowhere"})"}}));
    ErrorPtr error;
    EXPECT_EQ(ZQCoreDataModelFactory::coreDataModelForApplicationModel(missing, &error), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), "ZQDataLayerRemote.GetEntitiesError");
    EXPECT_EQ(error->code(), 0);

    ZQCoreDataModelFactory factory(missing);
    EXPECT_EQ(factory.coreDataModel(), nullptr);
    ASSERT_NE(factory.error(), nullptr);
    EXPECT_EQ(factory.error()->domain(), ZQModelErrorDomain);
    EXPECT_EQ(factory.error()->localizedDescription(),
              "The attribute Nowhere definition was not found");
    EXPECT_FALSE(factory.sqlEntities() || factory.memoryEntities());  // dropped, not emptied
    EXPECT_EQ(factory.coreDataModel(), nullptr);                      // and not tried again

    for (const char* element :
         {R"({"name": "&V", "domain": "None"})", R"({"name": "&V", "attribute": "None"})"}) {
        ZQCoreDataModelFactory generic(appModel("[]", listOf({{"P", "true", element}})));
        EXPECT_EQ(generic.coreDataModel(), nullptr) << element;
        ASSERT_NE(generic.error(), nullptr);
        EXPECT_EQ(generic.error()->code(), ZQErrorCodeUnknown);
    }
    EXPECT_EQ(ZQCoreDataModelFactory::coreDataModelForApplicationModel(nullptr, nullptr), nullptr);
}

TEST(ZQCoreDataModelFactory, SublevelsAreNamedAfterTheirProviderAndStoredWithIt) {
    auto schema =
        build(appModel("[]", listOf({{"A", "true", R"({"name": "Code"})"},
                                     {"Shop.Customers", "false", R"({"name": "Code"})", R"(,
          "sublevels": [{"level": "Orders", "elements": [{"name": "Name"}],
                         "sublevels": [{"level": "&Lines", "elements": [{"name": "Price"}]}]}])"}})));
    ASSERT_NE(schema, nullptr);
    EXPECT_EQ(names(schema->entitiesForConfiguration("sql")),
              (std::vector<std::string>{"_QueryA", "_QueryCollectionEntityA", "A"}));
    EXPECT_EQ(
        names(schema->entitiesForConfiguration("memory")),
        (std::vector<std::string>{"_QueryShop__Customers", "_QueryCollectionEntityShop__Customers",
                                  "_SublevelShop__Customers_Orders_&Lines",
                                  "_SublevelShop__Customers_Orders", "Shop__Customers"}));
    EXPECT_EQ(describe(*schema->entityNamed("_SublevelShop__Customers_Orders")),
              "_SublevelShop__Customers_Orders CoreDataEntityData: zqname:string, "
              "zqlines->>_SublevelShop__Customers_Orders_&Lines.parentLevel ordered!, "
              "parentLevel->>Shop__Customers.zqorders");
}

TEST(ZQCoreDataModelFactory, ProviderDefinedTwiceIsBuiltOnceFromItsFirstDefinition) {
    auto logger = ZQLog::loggerService();
    bool wasEnabled = logger->isLogEnabled();
    logger->setLogEnabled(true);
    logger->setConsoleOutputEnabled(false);
    // Built, the second definition would fail the build; A__B would give a second _QueryA__B.
    auto schema = build(appModel("[]", listOf({{"A.B", "true", R"({"name": "Code"})"},
                                               {"A.B", "false", R"({"name": "Nowhere"})"},
                                               {"A__B", "false", R"({"name": "Name"})"}})));
    logger->setLogEnabled(wasEnabled);
    logger->setConsoleOutputEnabled(true);
    ASSERT_NE(schema, nullptr);
    EXPECT_EQ(names(schema->entities()),
              (std::vector<std::string>{"_QueryA__B", "_QueryCollectionEntityA__B", "A__B"}));
    EXPECT_NE(schema->entityNamed("A__B")->attributeNamed("zqcode"), nullptr);
    EXPECT_TRUE(
        logger->hasRecordedMessageContaining("Data provider A.B is defined more than once"));
    EXPECT_TRUE(
        logger->hasRecordedMessageContaining("The cache entity _QueryA__B of data provider A__B"));
}
