// The sample server as the library meets it: requests built by the library's own URL pieces
// (base URL, sorted parameter string, page and zqid) and sent through the data-service manager,
// conditional requests answered up to date, and the host's token flow against a server that
// requires a bearer token.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListFilterAdvancedValue.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteURLBuilder.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "platform/DateFormat.hpp"
#include "tests/library/sample-server/SampleServerTestSupport.hpp"
#include "tests/library/services/ServiceTestSupport.hpp"

namespace {

using platform::Value;
using Ids = std::vector<int64_t>;
using Manager = ZQRemoteEntityDataManager;

class SampleServerThroughTheLibrary : public zqtest::SampleServerTest {
  protected:
    void SetUp() override {
        SampleServerTest::SetUp();
        previous = ZQModel::currentModel();
        runModelOfServer();
    }
    void TearDown() override {
        ZQModel::setCurrentModel(previous);
        // The token test configures the shared security service.
        security->reset();
        security->setSettings({});
    }

    // Runs the sample model, pointed at the test's server, and makes the data sources from it.
    void runModelOfServer() {
        std::ifstream in(ZQSampleServer::sampleApplicationDirectory() / "model.json");
        std::stringstream text;
        text << in.rdbuf();
        std::string json = text.str();
        const std::string written = "http://127.0.0.1:8080/sample/";
        for (size_t at = json.find(written); at != std::string::npos; at = json.find(written)) {
            json.replace(at, written.size(), server->baseURL());
        }
        ZQApplicationModelLoadResult loaded =
            ZQApplicationModelLoader::loadFromString(json, "sample");
        ASSERT_EQ(loaded.error, nullptr);
        appModel = loaded.model;
        ZQModel::setCurrentModel(ZQModel::create(appModel));

        auto level = appModel->workWithsByName().at("WorkWithInvoice")->levels().at(0);
        auto list = appModel->dataProviderNamed("Sales.WorkWithInvoice.Invoice.List");
        invoiceList = ZQRemoteWorkWithCollectionDataSource::create(list->workWithModel(), list, {});
        auto detail = appModel->dataProviderNamed("Sales.WorkWithInvoice.Invoice.Detail");
        invoiceDetail = ZQRemoteWorkWithSingleItemDataSource::create(
            detail->workWithModel(), detail, level->detail()->parameters());
        auto linesSection = level->detail()->sections()->sections().at(1);
        auto lines = appModel->dataProviderNamed("Sales.WorkWithInvoice.Invoice.Lines");
        invoiceLines = ZQRemoteWorkWithCollectionDataSource::create(
            lines->workWithModel(), lines, linesSection->parameters().value());
    }

    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> listQuery(
        uint64_t orderIndex, std::optional<std::string> searchText = std::nullopt,
        uint64_t searchFieldIndex = ZQNotFound,
        std::optional<ZQEntityListFilterAdvancedFieldValues> filter = std::nullopt) {
        return ZQRemoteEntityDataQueryCollectionInfo::create(
            invoiceList, ZQRemoteEntityDataQueryType::First, std::nullopt, 3, false, 20, orderIndex,
            std::move(searchText), searchFieldIndex, std::move(filter));
    }
    std::shared_ptr<ZQEntityDataServiceResult> load(
        const ZQEntityDataQueryInfo& query, ZQRange page,
        std::optional<platform::Date> ifModifiedSince = std::nullopt) {
        std::optional<platform::URL> base = Manager::baseURLForQueryInfo(query);
        EXPECT_TRUE(base);
        if (!base) return nullptr;
        bool collection = query.dataSource()->entityDataSourceIsCollection();
        platform::URL url = ZQRemoteURLBuilder::remoteURL(
            *base, Manager::queryParametersForQueryInfo(query), collection, page, query.zqid());
        auto delegate = std::make_shared<zqtest::RecordingServiceDelegate>();
        manager->serviceManager()->load(
            ZQEntityDataServiceQueryInfo::create(url, collection, ifModifiedSince), delegate);
        EXPECT_TRUE(delegate->waitForCount(1));
        return delegate->onlyResult();
    }
    Ids loadedInvoices(const ZQEntityDataQueryInfo& query, ZQRange page) {
        std::shared_ptr<ZQEntityDataServiceResult> result = load(query, page);
        if (!result || !result->isSuccessful()) return {-1};
        return column(result->data());
    }
    std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor> filterField(size_t index) {
        return invoiceList->entityDataSourceFilterAdvanced()->entityListFilterAdvancedFields().at(
            index);
    }

    std::shared_ptr<const ZQApplicationModel> appModel;
    std::shared_ptr<ZQModel> previous;
    std::shared_ptr<ZQSecurityService> security = ZQObjectsModelServices::securityService();
    std::shared_ptr<Manager> manager = Manager::create();
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> invoiceList, invoiceLines;
    std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> invoiceDetail;
};

TEST_F(SampleServerThroughTheLibrary, CollectionRequestsAsTheLibraryWritesThem) {
    EXPECT_EQ(loadedInvoices(*listQuery(ZQNotFound), {0, 0}), (Ids{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(loadedInvoices(*listQuery(1), {1, 3}), (Ids{1, 4, 2}));
    EXPECT_EQ(loadedInvoices(*listQuery(ZQNotFound, "\xC3\xA1lv"), {0, 20}), (Ids{2, 8}));
    EXPECT_EQ(loadedInvoices(*listQuery(ZQNotFound, "3", 1), {0, 20}), (Ids{3}));

    // February's unpaid invoices by customer: a date range, a boolean, an order.
    ZQEntityListFilterAdvancedFieldValues february = {
        std::make_shared<ZQEntityListFilterAdvancedValue>(
            filterField(0), Value(*platform::parseISO8601("2024-02-01")),
            Value(*platform::parseISO8601("2024-02-29"))),
        std::make_shared<ZQEntityListFilterAdvancedValue>(filterField(2), Value(false))};
    EXPECT_EQ(loadedInvoices(*listQuery(1, std::nullopt, ZQNotFound, february), {0, 20}),
              (Ids{6, 4}));
    // Only a lower bound: the upper one goes out as the null value's text.
    ZQEntityListFilterAdvancedFieldValues above300 = {
        std::make_shared<ZQEntityListFilterAdvancedValue>(filterField(1), Value(300.0), Value())};
    EXPECT_EQ(loadedInvoices(*listQuery(ZQNotFound, std::nullopt, ZQNotFound, above300), {0, 20}),
              (Ids{1, 4, 6}));
    EXPECT_EQ(server->requestLog().size(), 6u);
}

TEST_F(SampleServerThroughTheLibrary, ParametersOfSingleItemsAndSectionsAndTheConditionalAnswer) {
    auto detail = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        invoiceDetail, ZQRemoteEntityDataQueryType::First, platform::Array{Value(5)}, 9);
    std::shared_ptr<ZQEntityDataServiceResult> item = load(*detail, {0, 20});
    ASSERT_TRUE(item && item->isSuccessful());
    EXPECT_EQ(item->data()["CustomerName"], Value("bluebird Ltd"));
    EXPECT_EQ(item->data()["Line"].count(), 2u);
    ASSERT_TRUE(item->lastModified());

    auto lines = ZQRemoteEntityDataQueryCollectionInfo::create(
        invoiceLines, ZQRemoteEntityDataQueryType::First, platform::Array{Value(3)}, 9, false, 2, 0,
        std::nullopt, ZQNotFound, std::nullopt);
    std::shared_ptr<ZQEntityDataServiceResult> page = load(*lines, {1, 2});
    ASSERT_TRUE(page && page->isSuccessful());
    EXPECT_EQ(column(page->data(), "InvoiceLineId"), (Ids{2, 3}));

    // The cached Last-Modified makes the next request conditional: up to date, without data,
    // until the item's rows change.
    std::shared_ptr<ZQEntityDataServiceResult> again = load(*detail, {0, 20}, item->lastModified());
    ASSERT_TRUE(again && again->isSuccessful());
    EXPECT_TRUE(again->isUpToDate());
    EXPECT_TRUE(again->data().isAbsent());
    ASSERT_EQ(server->dataStore()
                  .patch("Sales.WorkWithInvoice.Invoice.Detail", {{"InvoiceId", Value(5)}},
                         {{"InvoicePaid", Value(false)}})
                  .rows,
              1u);
    std::shared_ptr<ZQEntityDataServiceResult> changed =
        load(*detail, {0, 20}, item->lastModified());
    ASSERT_TRUE(changed && changed->isSuccessful());
    EXPECT_FALSE(changed->isUpToDate());
    EXPECT_EQ(changed->data()["InvoicePaid"], Value(false));
    EXPECT_GT(*changed->lastModified(), *item->lastModified());
}

TEST_F(SampleServerThroughTheLibrary, TheHostsTokenFlowAuthorisesAndRecoversFromARevokedToken) {
    ZQSampleServerOptions options;
    options.requireToken = true;
    options.credentials = {"zq-app", "", "ann", "secret"};
    startServer(options);
    runModelOfServer();

    ZQAuthorizationSettings settings;
    settings.tokenURL = platform::URL::fromString(server->baseURL() + "auth/token");
    settings.serverURL = platform::URL::fromString(server->baseURL());
    settings.clientId = "zq-app";
    settings.username = "ann";
    settings.password = "secret";
    security->reset();
    security->setSettings(settings);

    EXPECT_EQ(loadedInvoices(*listQuery(ZQNotFound), {0, 2}), (Ids{1, 2}));
    server->tokens().revokeAll();
    EXPECT_EQ(loadedInvoices(*listQuery(ZQNotFound), {2, 2}), (Ids{3, 4}));

    std::vector<std::string> statuses;
    for (const ZQSampleRequestRecord& record : server->requestLog()) {
        statuses.push_back(record.method + " " + std::to_string(record.status));
    }
    // Refused, authorised, answered; then refused with the revoked token and round again.
    EXPECT_EQ(statuses, (std::vector<std::string>{"GET 401", "POST 200", "GET 200", "GET 401",
                                                  "POST 200", "GET 200"}));
    EXPECT_EQ(server->tokens().issuedCount(), 2u);
}

}  // namespace
