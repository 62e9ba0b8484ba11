#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataElementVariable.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"
#include "tests/support/TempDir.hpp"

namespace {

TEST(ZQApplicationModelLoaderSample, BusinessComponentsHaveLevelsKeysAndTypes) {
    auto model = zqtest::loadSampleModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->name(), "SampleSales");
    ASSERT_TRUE(model->appServerBaseUrl());
    EXPECT_EQ(model->appServerBaseUrl()->absoluteString(), "http://127.0.0.1:8080/sample/");

    auto invoice = model->businessComponentNamed("Sales.Invoice");
    ASSERT_TRUE(invoice);
    ASSERT_EQ(invoice->allLevels().size(), 2u);
    auto root = invoice->rootLevel();
    auto line = invoice->allLevels()[1];
    EXPECT_EQ(root->parentLevel(), nullptr);
    EXPECT_EQ(line->parentLevel(), root);
    ASSERT_EQ(root->childLevels().size(), 1u);
    EXPECT_EQ(root->childLevels()[0], line);
    EXPECT_EQ(line->businessComponent(), invoice);
    EXPECT_EQ(line->levelName(), "Line");
    ASSERT_EQ(root->keyAttributes().size(), 1u);
    EXPECT_EQ(root->keyAttributes()[0]->name(), "InvoiceId");

    auto customer = model->businessComponentNamed("Customer");
    ASSERT_TRUE(customer);
    EXPECT_EQ(customer->allLevels().size(), 1u);

    // Attributes defined inline, through a domain, and shared between components.
    auto total = model->attributeInfoNamed("INVOICETOTAL");
    ASSERT_TRUE(total);
    EXPECT_EQ(total->basedOnType(), ZQTypedObjectBasedOnDomain);
    EXPECT_TRUE(total->ensureBasedOnInfoIsLoaded());
    EXPECT_EQ(total->dataType(), ZQDataTypeNumeric);
    EXPECT_EQ(total->length(), 12u);
    EXPECT_EQ(total->decimals(), 2u);
    EXPECT_EQ(model->attributeInfoNamed("InvoiceDate")->dataType(), ZQDataTypeDate);
    EXPECT_EQ(model->attributeInfoNamed("InvoiceDueDateTime")->dataType(), ZQDataTypeDateTime);
    EXPECT_EQ(model->attributeInfoNamed("InvoicePaid")->dataType(), ZQDataTypeBoolean);
    EXPECT_EQ(model->attributeInfoNamed("CustomerPhoto")->dataType(), ZQDataTypeImage);
    EXPECT_EQ(model->attributeInfoByName().count("customername"), 1u);

    auto address = model->sdtInfoNamed("address");
    ASSERT_TRUE(address);
    ASSERT_EQ(address->members().size(), 4u);
    EXPECT_EQ(address->memberNamed("Country")->dataType(), ZQDataTypeVarChar);
}

TEST(ZQApplicationModelLoaderSample, FieldServicesAndPromptRulesAreBound) {
    auto model = zqtest::loadSampleModel();
    ASSERT_TRUE(model);
    const auto* services = model->fieldServicesFor("Sales.Invoice", "customerid");
    ASSERT_NE(services, nullptr);
    auto combo =
        std::dynamic_pointer_cast<const ZQRemoteDynamicDataService>(services->dynamicCombo);
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->dynamicDataServiceUrlString(), "rest/Sales/CustomerChoices?");
    ASSERT_EQ(combo->dynamicDataServiceParameters().size(), 1u);
    const auto& since = *combo->dynamicDataServiceParameters()[0];
    EXPECT_EQ(since.actionParameterCalledTargetParameterName(), "Since");
    EXPECT_EQ(since.actionParameterFieldName(), "InvoiceDate");
    // The type comes from the bound attribute.
    ASSERT_TRUE(since.actionParameterFieldInfo());
    EXPECT_EQ(since.actionParameterFieldInfo()->entityDataFieldInfoDataType(), ZQDataTypeDate);
    EXPECT_TRUE(services->hideCode && services->hideCodeRev && services->suggest);

    auto rule = model->promptRuleNamed("LineAmount");
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->entityRulePromptAfterServiceURI(), "Sales.ComputeLineAmount");
    ASSERT_TRUE(rule->entityRulePromptAfterServiceInputParameters());
    EXPECT_EQ(
        rule->entityRulePromptAfterServiceInputParameters()->actionParametersDescriptors().size(),
        2u);
    ASSERT_TRUE(rule->entityRulePromptAfterServiceOutputParameters());
    EXPECT_EQ(model->promptRuleNamed("Other"), nullptr);
}

TEST(ZQApplicationModelLoaderSample, WorkWithsHaveProvidersSectionsAndSublevels) {
    auto model = zqtest::loadSampleModel();
    ASSERT_TRUE(model);
    auto invoices = model->workWithsByName().at("WorkWithInvoice");
    ASSERT_EQ(invoices->levels().size(), 1u);
    auto level = invoices->levels()[0];
    EXPECT_EQ(level->workWithModel(), invoices);
    EXPECT_EQ(level->list()->workWithModel(), invoices);
    EXPECT_EQ(level->detail()->workWithModel(), invoices);

    auto list = level->list()->data().at(0);
    EXPECT_TRUE(list->isCollection());
    EXPECT_EQ(list->workWithModel(), invoices);
    ASSERT_TRUE(list->cacheProperties());
    EXPECT_EQ(list->cacheProperties()->frequencyType(), ZQWorkWithCacheFrequencyAfterElapsedTime);
    EXPECT_EQ(list->cacheProperties()->afterElapsedMinutes(), 10u);
    ASSERT_EQ(list->orders().size(), 2u);
    EXPECT_TRUE(list->orders()[0]->groupBy());
    EXPECT_EQ(list->orders()[0]->groupByUpToFieldIndex(), 0u);
    EXPECT_EQ(list->orders()[1]->groupByUpToFieldIndex(), ZQNotFound);
    EXPECT_TRUE(list->orders()[1]->alphaIndexer());
    ASSERT_TRUE(list->breakBy());
    EXPECT_EQ(list->filterSearch()->breakByBehavior(), 1);
    const auto& fields = list->filterAdvanced()->fields();
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].type, ZQWorkWithDataFilterAdvancedFieldRange);
    EXPECT_EQ(fields[2].type, ZQWorkWithDataFilterAdvancedFieldSingle);
    ASSERT_TRUE(fields[2].info);
    EXPECT_EQ(fields[2].info->dataType(), ZQDataTypeBoolean);

    auto detail = level->detail();
    auto item =
        ZQWorkWithData::workWithDataForDataProviderName(detail->dataProviderName(), detail->data());
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->isCollection());
    auto shipping = std::dynamic_pointer_cast<const ZQWorkWithDataElementVariable>(
        item->elementNamed("&ShippingAddress"));
    ASSERT_TRUE(shipping);
    EXPECT_EQ(shipping->typedObjectInfo()->basedOnType(), ZQTypedObjectBasedOnSDT);
    EXPECT_EQ(shipping->typedObjectInfo()->dataType(), ZQDataTypeSDT);
    ASSERT_EQ(detail->parameters().size(), 1u);
    EXPECT_EQ(detail->parameters()[0]->dataType(), ZQDataTypeNumeric);

    const auto& sections = detail->sections()->sections();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0]->workWithDetail(), detail);
    EXPECT_FALSE(sections[0]->parameters());  // uses the detail's
    ASSERT_TRUE(sections[1]->parameters());
    EXPECT_EQ(sections[1]->data().at(0)->cacheProperties(), nullptr);  // the uncached list

    // Customer detail: Invoices inside the customer, Lines inside each invoice.
    auto customerDetail = model->dataProviderNamed("WorkWithCustomer.Customer.Detail");
    ASSERT_TRUE(customerDetail);
    auto invoicesLevel = customerDetail->sublevels().at(0);
    auto linesLevel = invoicesLevel->sublevels().at(0);
    EXPECT_EQ(linesLevel->level(), "Lines");
    EXPECT_EQ(linesLevel->parentLevel(), invoicesLevel);
    EXPECT_EQ(linesLevel->rootLevel(), customerDetail);
    EXPECT_EQ(invoicesLevel->parentLevel(), customerDetail);
    EXPECT_EQ(linesLevel->storageKey(), std::vector<std::string>{"InvoiceLineId"});
    ASSERT_TRUE(model->dataProviderNamed("WorkWithCustomer.Customer.List")->cacheProperties());
    EXPECT_FALSE(
        model->dataProviderNamed("WorkWithCustomer.Customer.List")->cacheProperties()->enabled());
}

// Every broken model gives ZQModelErrorDomain code 0 naming the source and the place.
struct BrokenModel {
    const char* what;
    std::string text;
    std::string expectedPath;     // empty for syntax errors
    std::string expectedMessage;  // a part of the description
};

std::string withBusinessComponents(const std::string& components) {
    return R"({"name": "Broken", "businessComponents": )" + components + "}";
}

const std::string kInvoiceLevels = R"([{"name": "Invoice", "levels": [
  {"name": "Invoice", "attributes": [{"name": "InvoiceId", "type": "numeric", "length": 6, "key": true}]},
  {"name": "Line", "parent": "Invoice", "attributes": [
     {"name": "LineId", "type": "numeric", "length": 4, "key": true},
     {"name": "Product", "type": "varchar", "length": 40},
     {"name": "Amount", "type": )";

// A component C with one attribute X and a data service S, open for the field-service members.
const std::string kFieldModel =
    R"({"name": "B", "businessComponents": [{"name": "C", "levels": [{"name": "C", "attributes": [{"name": "X", "type": "varchar", "length": 5}]}]}], "dataServices": [{"name": "S", "url": "s?"}], )";

// The numbers are the server protocol's (the uploader's content type branches on 9, 12 and 13);
// "sdt" is only ever a reference, never a type of its own.
TEST(ZQApplicationModelLoaderTypes, EachTypeNameLoadsAsItsProtocolNumber) {
    const struct {
        const char* name;
        int32_t number;
    } types[] = {{"numeric", 0}, {"character", 1},   {"date", 2},    {"datetime", 3},
                 {"varchar", 4}, {"longvarchar", 5}, {"boolean", 6}, {"guid", 7},
                 {"blob", 8},    {"image", 9},       {"audio", 12},  {"video", 13}};
    for (const auto& type : types) {
        std::string text = withBusinessComponents(
            R"([{"name": "C", "levels": [{"name": "C", "attributes": [{"name": "K", "type": "numeric", "length": 4, "key": true}, {"name": "F", "type": ")" +
            std::string(type.name) + R"(", "length": 10}]}]}])");
        ZQApplicationModelLoadResult loaded = ZQApplicationModelLoader::loadFromString(text, "t");
        ASSERT_EQ(loaded.error, nullptr) << type.name << ": " << loaded.error->description();
        auto info = loaded.model->businessComponentNamed("C")->rootLevel()->attributeNamed("F");
        ASSERT_TRUE(info && info->fieldInfo()) << type.name;
        EXPECT_EQ(info->fieldInfo()->entityDataFieldInfoDataType(), type.number) << type.name;
        EXPECT_STREQ(ZQDataTypeName(static_cast<ZQDataType>(type.number)), type.name);
    }
    EXPECT_FALSE(ZQDataTypeFromName("sdt"));
    EXPECT_FALSE(ZQDataTypeFromName("Image"));
    EXPECT_STREQ(ZQDataTypeName(static_cast<ZQDataType>(11)), "unknown");
}

TEST(ZQApplicationModelLoaderErrors, NameTheFileAndThePlace) {
    const std::vector<BrokenModel> cases = {
        {"wrong type at a path", withBusinessComponents(kInvoiceLevels + "5}]}]}]"),
         "businessComponents[0].levels[1].attributes[2].type", "expected a string, found a number"},
        {"unknown data type", withBusinessComponents(kInvoiceLevels + R"("numerc"}]}]}])"),
         "businessComponents[0].levels[1].attributes[2].type", "unknown data type \"numerc\""},
        {"missing required member",
         R"({"name": "Broken", "workWiths": [{"name": "W", "levels": [{"name": "L", "list": {"data": [{"collection": true, "elements": []}]}}]}]})",
         "workWiths[0].levels[0].list.data[0].dataProvider", "missing required member"},
        {"missing model name", R"({"domains": []})", "name", "missing required member"},
        {"unknown member", R"({"name": "Broken", "domain": []})", "domain", "unknown member"},
        {"top level not an object", R"([1, 2])", "", "expected an object, found an array"},
        {"numeric without length",
         R"({"name": "B", "domains": [{"name": "D", "type": "numeric"}]})", "domains[0].length",
         "missing required member"},
        {"parent that comes later",
         withBusinessComponents(
             R"([{"name": "C", "levels": [{"name": "A", "attributes": []}, {"name": "B", "parent": "X", "attributes": []}]}])"),
         "businessComponents[0].levels[1].parent", "no earlier level named \"X\""},
        {"business-component attribute without a definition",
         withBusinessComponents(
             R"([{"name": "C", "levels": [{"name": "A", "attributes": [{"name": "Ghost"}]}]}])"),
         "businessComponents[0].levels[0].attributes[0].name",
         "attribute \"Ghost\" is not defined"},
        {"attribute defined twice",
         R"({"name": "B", "attributes": [{"name": "A", "type": "date"}, {"name": "a", "type": "boolean"}]})",
         "attributes[1]", "already defined at attributes[0]"},
        {"orders on a single-item provider",
         R"({"name": "B", "workWiths": [{"name": "W", "levels": [{"name": "L", "detail": {"data": [{"dataProvider": "P", "elements": [], "orders": []}]}}]}]})",
         "workWiths[0].levels[0].detail.data[0].orders",
         "only allowed on a collection data provider"},
        {"attribute element with a type",
         R"({"name": "B", "workWiths": [{"name": "W", "levels": [{"name": "L", "list": {"data": [{"dataProvider": "P", "elements": [{"name": "X", "type": "date"}]}]}}]}]})",
         "workWiths[0].levels[0].list.data[0].elements[0].type",
         "takes its type from the attribute"},
        {"minutes without a window",
         R"({"name": "B", "workWiths": [{"name": "W", "levels": [{"name": "L", "list": {"data": [{"dataProvider": "P", "cache": {"minutes": 5}, "elements": []}]}}]}]})",
         "workWiths[0].levels[0].list.data[0].cache.minutes", "only allowed with"},
        {"root level with a parent",
         withBusinessComponents(
             R"([{"name": "C", "levels": [{"name": "A", "parent": "A", "attributes": []}]}])"),
         "businessComponents[0].levels[0].parent", "the first level is the root level"},
        {"decimals that do not fit",
         R"({"name": "B", "domains": [{"name": "D", "type": "numeric", "length": 3, "decimals": 2}]})",
         "domains[0].decimals", "decimals need a numeric type"},
        {"two type specifications",
         R"({"name": "B", "domains": [{"name": "E", "type": "date"}], "attributes": [{"name": "A", "type": "date", "domain": "E"}]})",
         "attributes[0].domain", "give only one of"},
        {"collection without a structured type",
         R"({"name": "B", "structuredTypes": [{"name": "S", "members": [{"name": "M", "type": "date", "collection": true}]}]})",
         "structuredTypes[0].members[0].collection", "only allowed with \"sdt\""},
        {"structured-type member with a missing reference",
         R"({"name": "B", "structuredTypes": [{"name": "S", "members": [{"name": "M", "sdt": "Nowhere"}]}]})",
         "structuredTypes[0].members[0]", "no definition named \"Nowhere\""},
        {"structured type that contains itself",
         R"({"name": "B", "structuredTypes": [{"name": "S", "members": [{"name": "M", "sdt": "s", "collection": true}]}]})",
         "structuredTypes[0].members[0]", "structured type \"S\" contains itself"},
        {"structured types that contain each other",
         R"({"name": "B", "structuredTypes": [{"name": "S", "members": [{"name": "M", "sdt": "T"}]}, {"name": "T", "members": [{"name": "N", "sdt": "S"}]}]})",
         "structuredTypes[1].members[0]", "structured type \"S\" contains itself"},
        {"sublevel named like an element",
         R"({"name": "B", "workWiths": [{"name": "W", "levels": [{"name": "L", "detail": {"data": [{"dataProvider": "P", "elements": [{"name": "&X", "type": "date"}], "sublevels": [{"level": "&X", "elements": []}]}]}}]}]})",
         "workWiths[0].levels[0].detail.data[0].sublevels[0].level", "already an element name"},
        {"field service with an unknown data service",
         kFieldModel +
             R"("fieldServices": [{"businessComponent": "C", "field": "x", "dynamicCombo": "T"}]})",
         "fieldServices[0].dynamicCombo", "no data service named \"T\""},
        {"field service for an attribute the component lacks",
         kFieldModel +
             R"("fieldServices": [{"businessComponent": "C", "field": "Y", "dynamicCombo": "S"}]})",
         "fieldServices[0].field", "has no attribute \"Y\""},
        {"hide-code services with a misspelt member",
         kFieldModel +
             R"("fieldServices": [{"businessComponent": "C", "field": "X", "hideCode": {"decription": "S"}}]})",
         "fieldServices[0].hideCode.decription", "unknown member"},
        {"parameter with a field and a value",
         R"({"name": "B", "dataServices": [{"name": "S", "url": "s?", "parameters": [{"name": "P", "field": "X", "value": 1}]}]})",
         "dataServices[0].parameters[0].value", "a field or a value, not both"},
        {"data service given twice",
         R"({"name": "B", "dataServices": [{"name": "S", "url": "a"}, {"name": "S", "url": "b"}]})",
         "dataServices[1].name", "duplicate data service"},
        {"prompt rule of an unknown component",
         R"({"name": "B", "promptRules": [{"name": "R", "businessComponent": "Nope", "field": "X"}]})",
         "promptRules[0].businessComponent", "no business component named \"Nope\""},
        {"detail naming a provider it does not have",
         R"({"name": "B", "workWiths": [{"name": "W", "levels": [{"name": "L", "detail": {"dataProvider": "Q", "data": []}}]}]})",
         "workWiths[0].levels[0].detail.dataProvider", "no data provider \"Q\""},
    };
    for (const auto& broken : cases) {
        SCOPED_TRACE(broken.what);
        auto result = ZQApplicationModelLoader::loadFromString(broken.text, "broken.json");
        EXPECT_EQ(result.model, nullptr);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->domain(), ZQModelErrorDomain);
        EXPECT_EQ(result.error->code(), 0);
        const auto& description = result.error->localizedDescription();
        EXPECT_EQ(description.rfind("broken.json: ", 0), 0u) << description;
        EXPECT_NE(description.find(broken.expectedMessage), std::string::npos) << description;
        EXPECT_EQ(result.error->userInfo().get(ZQModelErrorPathKey),
                  platform::Value(broken.expectedPath));
        if (!broken.expectedPath.empty()) {
            EXPECT_NE(description.find(broken.expectedPath + ": "), std::string::npos)
                << description;
        }
    }
}

TEST(ZQApplicationModelLoaderErrors, SyntaxErrorNamesLineAndColumn) {
    zqtest::TempDir dir;
    auto path = dir / "model.json";
    std::ofstream(path) << "{\n  \"name\": \"Broken\",\n  \"domains\": [ {\"name\": \"A\" "
                           "\"type\": \"date\"} ]\n}\n";
    auto result = ZQApplicationModelLoader::loadFromFile(path);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain(), ZQModelErrorDomain);
    EXPECT_EQ(result.error->code(), 0);
    EXPECT_EQ(result.error->userInfo().get(ZQModelErrorLineKey), platform::Value(3));
    const auto& description = result.error->localizedDescription();
    EXPECT_EQ(description.rfind(path.string() + ": line 3, column ", 0), 0u) << description;
    EXPECT_EQ(result.error->userInfo().get(ZQModelErrorFileKey), platform::Value(path.string()));
}

TEST(ZQApplicationModelLoaderErrors, MissingFileAndEmptyText) {
    zqtest::TempDir dir;
    auto missing = ZQApplicationModelLoader::loadFromFile(dir / "absent.json");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->domain(), ZQModelErrorDomain);
    EXPECT_NE(missing.error->localizedDescription().find((dir / "absent.json").string()),
              std::string::npos);

    auto empty = ZQApplicationModelLoader::loadFromString("", "empty.json");
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->localizedDescription().rfind("empty.json: ", 0), 0u);
}

TEST(ZQApplicationModelLoaderReferences, WorkWithReferencesToMissingDefinitionsAreLeftUnresolved) {
    // The data layer reports these when it builds the cache schema; loading accepts them.
    auto result = ZQApplicationModelLoader::loadFromString(
        R"({"name": "R", "workWiths": [{"name": "W", "levels": [
        {"name": "L", "list": {"data": [{"dataProvider": "P", "collection": true, "elements": [
            {"name": "Unknown"}, {"name": "&V", "attribute": "AlsoUnknown"}]}]}}]}]})",
        "refs.json");
    ASSERT_FALSE(result.error) << result.error->description();
    auto data = result.model->dataProviderNamed("P");
    EXPECT_EQ(data->elementNamed("Unknown")->fieldInfo(), nullptr);
    auto variable = data->elementNamed("&V")->fieldInfo();
    ASSERT_TRUE(variable);
    EXPECT_FALSE(variable->ensureBasedOnInfoIsLoaded());
}

TEST(ZQApplicationModelLoaderReferences, VariablesTakeTheTypeAtTheEndOfTheirReferences) {
    auto result = ZQApplicationModelLoader::loadFromString(R"({"name": "R",
        "domains": [{"name": "Money", "type": "numeric", "length": 10, "decimals": 3}],
        "structuredTypes": [{"name": "Point", "members": [{"name": "X", "domain": "Money"}]}],
        "attributes": [{"name": "Price", "domain": "Money"}],
        "workWiths": [{"name": "W", "levels": [{"name": "L", "list": {"data": [{"dataProvider": "P", "collection": true,
            "elements": [{"name": "&Cost", "attribute": "price"}, {"name": "&Points", "sdt": "Point", "collection": true},
                         {"name": "Named", "kind": "variable", "type": "guid"}, {"name": "&A", "kind": "attribute"}]}]}}]}]})",
                                                           "refs.json");
    ASSERT_FALSE(result.error) << result.error->description();
    auto data = result.model->dataProviderNamed("P");
    auto cost = data->elementNamed("&Cost");
    EXPECT_EQ(cost->type(), ZQWorkWithDataElementTypeVariable);
    ASSERT_TRUE(cost->fieldInfo()->ensureBasedOnInfoIsLoaded());
    EXPECT_EQ(cost->fieldInfo()->dataType(), ZQDataTypeNumeric);
    EXPECT_EQ(cost->fieldInfo()->length(), 10u);
    EXPECT_EQ(cost->fieldInfo()->decimals(), 3u);
    EXPECT_EQ(cost->fieldInfo()->basedOnInfo(), result.model->attributeInfoNamed("Price"));
    auto points = data->elementNamed("&Points")->fieldInfo();
    EXPECT_TRUE(points->isCollection());
    EXPECT_EQ(points->dataType(), ZQDataTypeSDT);
    EXPECT_EQ(result.model->sdtInfoNamed("point")->memberNamed("X")->decimals(), 3u);
    // kind overrides the "&" convention both ways.
    EXPECT_EQ(data->elementNamed("Named")->type(), ZQWorkWithDataElementTypeVariable);
    EXPECT_EQ(data->elementNamed("&A")->type(), ZQWorkWithDataElementTypeAttribute);
}

TEST(ZQApplicationModelLoaderReferences, SectionsWithEmptyOrNoParameters) {
    auto result = ZQApplicationModelLoader::loadFromString(
        R"({"name": "S", "workWiths": [{"name": "W", "levels": [
        {"name": "L", "detail": {"parameters": [{"name": "&Id", "type": "numeric", "length": 4}],
                                 "sections": [{"name": "Own", "parameters": []}, {"name": "Inherited"}]}}]}]})",
        "sections.json");
    ASSERT_FALSE(result.error) << result.error->description();
    const auto& sections =
        result.model->workWiths()[0]->levels()[0]->detail()->sections()->sections();
    ASSERT_TRUE(sections[0]->parameters());
    EXPECT_TRUE(sections[0]->parameters()->empty());
    EXPECT_FALSE(sections[1]->parameters());
}

}  // namespace
