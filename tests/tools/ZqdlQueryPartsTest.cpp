// The pure parts between the command line and the library: query infos built against the sample
// model's providers, and the JSON line written for a result.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryInfo.hpp"
#include "platform/Error.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlProviderCatalog.hpp"
#include "tools/zqdl/ZqdlQueryBuilder.hpp"
#include "tools/zqdl/ZqdlResultPrinter.hpp"

namespace zqdl {
namespace {

constexpr const char* kInvoices = "Sales.WorkWithInvoice.Invoice.List";
constexpr const char* kCustomer = "WorkWithCustomer.Customer.Detail";

class ZqdlQueryParts : public ::testing::Test {
  protected:
    std::shared_ptr<ZQEntityDataQueryInfo> build(const char* provider, QueryOptions options,
                                                 std::string* error) {
        const ZqdlProvider* found = catalog_.find(provider);
        EXPECT_TRUE(found) << provider;
        if (!found) return nullptr;
        options.provider = provider;
        return ZqdlQueryBuilder::make(*found, ZqdlProviderCatalog::dataSource(*found), options,
                                      error);
    }

    std::shared_ptr<const ZQApplicationModel> model_ = zqtest::loadSampleModel();
    ZqdlProviderCatalog catalog_{*model_};
};

TEST_F(ZqdlQueryParts, CatalogFindsListDetailAndSectionProvidersWithTheirScreensParameters) {
    const ZqdlProvider* lines = catalog_.find("Sales.WorkWithInvoice.Invoice.Lines");
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->parameters.size(), 1u);
    EXPECT_EQ(lines->parameters[0]->name(), "&InvoiceId");  // the section's own
    const ZqdlProvider* general = catalog_.find("Sales.WorkWithInvoice.Invoice.General");
    ASSERT_TRUE(general);
    ASSERT_EQ(general->parameters.size(), 1u);
    EXPECT_EQ(general->parameters[0]->name(), "InvoiceId");  // taken from its detail
    EXPECT_TRUE(catalog_.find(kInvoices)->parameters.empty());
    EXPECT_FALSE(catalog_.find("Nope"));

    auto described = ZQJSON::parse(ZqdlProviderCatalog::describe(*catalog_.find(kInvoices)));
    ASSERT_FALSE(described.error);
    EXPECT_EQ(described.value["frequencyType"], platform::Value("afterElapsedTime"));
    EXPECT_EQ(described.value["frequencyMinutes"], platform::Value(10));
    EXPECT_EQ(described.value["orders"].count(), 2u);
    EXPECT_EQ(described.value["orders"].at(1)["name"], platform::Value("ByCustomer"));
}

TEST_F(ZqdlQueryParts, CollectionQueryCarriesEveryOption) {
    QueryOptions options;
    options.type = 3;
    options.pageSize = 20;
    options.orderIndex = 1;
    options.searchText = "acme";
    options.searchFieldIndex = 0;
    options.force = true;
    options.zqid = 9;
    std::string error;
    auto query = std::dynamic_pointer_cast<ZQEntityDataQueryCollectionInfo>(
        build(kInvoices, options, &error));
    ASSERT_TRUE(query) << error;
    EXPECT_EQ(query->type(), 3);
    EXPECT_EQ(query->pageSize(), 20u);
    EXPECT_EQ(query->orderIndex(), 1u);
    EXPECT_EQ(query->searchText(), "acme");
    EXPECT_EQ(query->zqid(), 9u);
    EXPECT_FALSE(query->parameters());
    EXPECT_TRUE(dynamic_cast<ZQRemoteEntityDataQueryInfo&>(*query).force());
}

TEST_F(ZqdlQueryParts, ParametersAreCountedAndTypedAsTheProviderDeclaresThem) {
    QueryOptions options;
    options.parameters = {"3"};
    std::string error;
    auto query = build(kCustomer, options, &error);
    ASSERT_TRUE(query) << error;
    ASSERT_TRUE(query->parameters());
    EXPECT_EQ(query->parameters()->at(0).kind(), platform::Value::Kind::Integer);

    options.parameters = {"three"};
    EXPECT_FALSE(build(kCustomer, options, &error));
    EXPECT_NE(error.find("whole number"), std::string::npos) << error;
    options.parameters = {};
    EXPECT_FALSE(build(kCustomer, options, &error));
    EXPECT_NE(error.find("takes 1 parameter(s) (CustomerId), given 0"), std::string::npos) << error;
    options.parameters = {"1"};
    EXPECT_FALSE(build(kInvoices, options, &error));
}

TEST_F(ZqdlQueryParts, OptionsThatDoNotFitTheProviderAreRefused) {
    std::string error;
    QueryOptions order;
    order.orderIndex = 2;  // two orders: 0 and 1
    EXPECT_FALSE(build(kInvoices, order, &error));
    EXPECT_NE(error.find("has 2 orders"), std::string::npos) << error;
    QueryOptions field;
    field.searchFieldIndex = 2;
    EXPECT_FALSE(build(kInvoices, field, &error));
    QueryOptions paged;
    paged.parameters = {"1"};
    paged.pageSize = 5;
    EXPECT_FALSE(build(kCustomer, paged, &error));
    EXPECT_NE(error.find("single item"), std::string::npos) << error;
}

TEST_F(ZqdlQueryParts, ResultLineHasEveryFieldInOrderWithItemsByFieldName) {
    const ZqdlProvider* provider = catalog_.find(kInvoices);
    auto source = ZqdlProviderCatalog::dataSource(*provider);
    platform::Dictionary row{{"InvoiceId", platform::Value(4)},
                             {"CustomerName", platform::Value("Acme")},
                             {"InvoicePaid", platform::Value(true)}};
    ZQEntityDataSections sections{{std::make_shared<ZQDictionaryEntityData>(row)}};
    auto result = ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithResultData(
        sections, platform::Date(1709283600.0), 1, true, std::vector<std::string>{"A"},
        ZQAlphaIndexRangesByTitle{{"A", ZQRange{0, 1}}}, std::nullopt, std::nullopt, 1);
    std::string text = ZqdlResultPrinter::line(2, *result, *source);

    size_t at = 0;
    for (const char* key :
         {"delegate", "source", "upToDate", "complete", "count", "timeStamp", "dataTimeStamp",
          "lastModified", "error", "sections", "alphaIndexTitles", "alphaIndexRanges"}) {
        size_t found = text.find(std::string("\"") + key + "\":", at);
        ASSERT_NE(found, std::string::npos) << key << " missing or out of order in " << text;
        at = found;
    }
    auto parsed = ZQJSON::parse(text);
    ASSERT_FALSE(parsed.error) << text;
    EXPECT_EQ(parsed.value["source"], platform::Value("remote"));
    EXPECT_EQ(parsed.value["error"], platform::Value::null());
    EXPECT_EQ(parsed.value["timeStamp"], platform::Value("2024-03-01T09:00:00Z"));
    platform::Value item = parsed.value["sections"].at(0).at(0);
    EXPECT_EQ(item["InvoiceId"], platform::Value(4));
    EXPECT_EQ(item["InvoicePaid"], platform::Value(true));
    EXPECT_EQ(item["InvoiceDate"], platform::Value::null());  // a field the item lacks
    EXPECT_EQ(parsed.value["alphaIndexRanges"]["A"], platform::Value::array({0, 1}));
}

TEST_F(ZqdlQueryParts, ErrorResultLineCarriesDomainCodeAndDescription) {
    auto source = ZqdlProviderCatalog::dataSource(*catalog_.find(kInvoices));
    auto error = std::make_shared<const platform::Error>("ZQTestDomain", 7, "it broke");
    auto result = ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithError(error, 1);
    auto parsed = ZQJSON::parse(ZqdlResultPrinter::line(1, *result, *source));
    ASSERT_FALSE(parsed.error);
    EXPECT_EQ(parsed.value["error"]["domain"], platform::Value("ZQTestDomain"));
    EXPECT_EQ(parsed.value["error"]["code"], platform::Value(7));
    EXPECT_EQ(parsed.value["sections"], platform::Value::null());
    EXPECT_EQ(parsed.value["complete"], platform::Value(false));
}

}  // namespace
}  // namespace zqdl
