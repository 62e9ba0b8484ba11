// From a query to the request line the server sees: base URL, sorted parameter string, paging
// and zqid, sent over real HTTP; and the query and service keys built from the same pieces.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListFilterAdvancedValue.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteURLBuilder.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "platform/DateFormat.hpp"
#include "tests/library/services/ServiceTestSupport.hpp"
#include "tests/support/LoopbackServer.hpp"

namespace {

using platform::Value;
using Manager = ZQRemoteEntityDataManager;

class RemoteRequestURL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { shared = std::make_unique<zqtest::LoopbackServer>(); }
    static void TearDownTestSuite() { shared.reset(); }

    void SetUp() override {
        server.clearLog();
        server.route("GET", "/app/rest/Sales/Orders/List", zqtest::LoopbackResponse::json("[]"));
        server.route("GET", "/app/rest/Customers", zqtest::LoopbackResponse::json("[]"));
        server.route("GET", "/app/rest/Sales/Orders/Detail", zqtest::LoopbackResponse::json("{}"));
        ASSERT_TRUE(running.appModel);
        auto level = running.appModel->workWithsByName().at("Orders")->levels().at(0);
        auto orders = running.appModel->dataProviderNamed("Sales.Orders.List");
        ordersSource = ZQRemoteWorkWithCollectionDataSource::create(
            orders->workWithModel(), orders,
            level->list()->parameters().value_or(ZQWorkWithParameters{}));
        auto customers = running.appModel->dataProviderNamed("Customers");
        customersSource =
            ZQRemoteWorkWithCollectionDataSource::create(customers->workWithModel(), customers, {});
        auto detail = running.appModel->dataProviderNamed("Sales.Orders.Detail");
        detailSource = ZQRemoteWorkWithSingleItemDataSource::create(detail->workWithModel(), detail,
                                                                    level->detail()->parameters());
    }

    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> orders(
        uint64_t zqid, uint64_t orderIndex = ZQNotFound,
        std::optional<std::string> searchText = std::nullopt,
        uint64_t searchFieldIndex = ZQNotFound,
        std::optional<ZQEntityListFilterAdvancedFieldValues> filter = std::nullopt,
        std::optional<platform::Array> parameters = std::nullopt) {
        return ZQRemoteEntityDataQueryCollectionInfo::create(
            ordersSource, ZQRemoteEntityDataQueryType::First, std::move(parameters), zqid, false,
            20, orderIndex, std::move(searchText), searchFieldIndex, std::move(filter));
    }

    std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor> filterField(size_t index) {
        return ordersSource->entityDataSourceFilterAdvanced()->entityListFilterAdvancedFields().at(
            index);
    }

    // Sends the query's request for that page through the service manager and returns the
    // request line the server received.
    std::string requestLine(const ZQEntityDataQueryInfo& query, ZQRange page) {
        std::optional<platform::URL> base = Manager::baseURLForQueryInfo(query);
        if (!base) return "no base URL";
        bool collection = query.dataSource()->entityDataSourceIsCollection();
        platform::URL url = ZQRemoteURLBuilder::remoteURL(
            *base, Manager::queryParametersForQueryInfo(query), collection, page, query.zqid());
        auto delegate = std::make_shared<zqtest::RecordingServiceDelegate>();
        size_t before = server.requestCount();
        manager->serviceManager()->load(
            ZQEntityDataServiceQueryInfo::create(url, collection, std::nullopt), delegate);
        EXPECT_TRUE(delegate->waitForCount(1));
        EXPECT_TRUE(delegate->onlyResult() && delegate->onlyResult()->isSuccessful());
        std::vector<zqtest::LoopbackRequest> log = server.requests();
        if (log.size() != before + 1) return "expected one request";
        return log.back().method + " " + log.back().path + "?" + log.back().query;
    }

    static inline std::unique_ptr<zqtest::LoopbackServer> shared;
    zqtest::LoopbackServer& server = *shared;
    zqtest::RunningOrdersModel running{server.baseURL()};
    std::shared_ptr<Manager> manager = Manager::create();
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> ordersSource, customersSource;
    std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> detailSource;
};

TEST_F(RemoteRequestURL, RequestLinesOfCollectionQueries) {
    // Second page of 20, second order, zqid 7.
    EXPECT_EQ(requestLine(*orders(7, 1), {20, 20}),
              "GET /app/rest/Sales/Orders/List?Orderedby=1&start=20&count=20&zqid=7");
    // A provider name without dots; nothing but the page and zqid; a length of 0 asks for all.
    auto customers = ZQRemoteEntityDataQueryCollectionInfo::create(
        customersSource, ZQRemoteEntityDataQueryType::Refresh, std::nullopt, 3, false, 0,
        ZQNotFound, std::nullopt, ZQNotFound, std::nullopt);
    EXPECT_EQ(Manager::queryParametersForQueryInfo(*customers), "");
    EXPECT_EQ(requestLine(*customers, {0, 0}), "GET /app/rest/Customers?start=0&count=0&zqid=3");
    // Search text escaped; without a chosen field Searchfield is 0, field index 2 sends 3.
    EXPECT_EQ(requestLine(*orders(1, ZQNotFound, "Ann & Co"), {0, 20}),
              "GET /app/rest/Sales/Orders/List?Searchfield=0&Searchtext=Ann%20%26%20Co"
              "&start=0&count=20&zqid=1");
    EXPECT_EQ(requestLine(*orders(1, ZQNotFound, "x", 2), {0, 20}),
              "GET /app/rest/Sales/Orders/List?Searchfield=3&Searchtext=x&start=0&count=20&zqid=1");
    // A range with only a lower bound sends the upper one as the null value's text.
    ZQEntityListFilterAdvancedFieldValues lowerOnly = {
        std::make_shared<ZQEntityListFilterAdvancedValue>(
            filterField(0), Value(*platform::parseISO8601("2024-01-31")), Value())};
    EXPECT_EQ(requestLine(*orders(1, ZQNotFound, std::nullopt, ZQNotFound, lowerOnly), {0, 20}),
              "GET /app/rest/Sales/Orders/List?Corderdatefrom=2024-01-31&Corderdateto="
              "&start=0&count=20&zqid=1");
}

TEST_F(RemoteRequestURL, SingleItemRequestCarriesItsParametersAndZqidButNoPage) {
    auto detail = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        detailSource, ZQRemoteEntityDataQueryType::First, platform::Array{Value(42)}, 5);
    EXPECT_EQ(requestLine(*detail, {40, 20}),
              "GET /app/rest/Sales/Orders/Detail?OrderId=42&zqid=5");
    // Without parameters the host is given no dictionary: no parameter string at all.
    auto bare = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        detailSource, ZQRemoteEntityDataQueryType::First, platform::Array{}, 6);
    EXPECT_EQ(Manager::queryParametersForQueryInfo(*bare), std::nullopt);
    EXPECT_EQ(requestLine(*bare, {0, 20}), "GET /app/rest/Sales/Orders/Detail?zqid=6");
}

TEST_F(RemoteRequestURL, EqualQueriesGiveEqualSortedParameterStringsAndKeys) {
    auto both = [&](bool reversed) {
        ZQEntityListFilterAdvancedFieldValues values = {
            std::make_shared<ZQEntityListFilterAdvancedValue>(filterField(0), Value("2024-01-01"),
                                                              Value("2024-12-31")),
            std::make_shared<ZQEntityListFilterAdvancedValue>(filterField(1), Value("Ann"))};
        if (reversed) std::swap(values[0], values[1]);
        return orders(reversed ? 8 : 9, 0, "a b", 1, values, platform::Array{Value("north")});
    };
    auto first = both(false), second = both(true);
    std::optional<std::string> parameters = Manager::queryParametersForQueryInfo(*first);
    // Names in byte order; the filter follows the filter's own field order, not the values'.
    EXPECT_EQ(parameters,
              "Ccustomername=Ann&Corderdatefrom=2024-01-01&Corderdateto=2024-12-31&Orderedby=0"
              "&Region=north&Searchfield=2&Searchtext=a%20b");
    EXPECT_EQ(Manager::queryParametersForQueryInfo(*second), parameters);
    std::optional<platform::URL> base = Manager::baseURLForQueryInfo(*first);
    ASSERT_TRUE(base);
    EXPECT_EQ(base->absoluteString(), server.baseURL() + "app/rest/Sales/Orders/List");
    // zqid and paging stay out of the key, so both queries share it.
    EXPECT_EQ(Manager::keyForBaseURL(*base, parameters),
              Manager::keyForBaseURL(*Manager::baseURLForQueryInfo(*second),
                                     Manager::queryParametersForQueryInfo(*second)));
    EXPECT_EQ(Manager::keyForBaseURL(*base, parameters),
              base->absoluteString() + "?" + *parameters);
    EXPECT_EQ(Manager::keyForBaseURL(*base, std::nullopt), base->absoluteString());
    EXPECT_NE(Manager::queryParametersForQueryInfo(*orders(9, 0, "a c", 1)), parameters);
}

TEST_F(RemoteRequestURL, ServiceKeyAppendsTheDateDescriptionAndTheURLReplacesAnyBaseQuery) {
    platform::URL url = server.url("app/rest/Customers?start=0&count=20&zqid=1");
    auto plain = ZQEntityDataServiceQueryInfo::create(url, true, std::nullopt);
    auto conditional =
        ZQEntityDataServiceQueryInfo::create(url, true, platform::Date(1706702400));  // 12:00 UTC
    EXPECT_EQ(Manager::keyForServiceQueryInfo(*plain), url.absoluteString());
    EXPECT_EQ(Manager::keyForServiceQueryInfo(*conditional),
              url.absoluteString() + "2024-01-31 12:00:00 +0000");

    platform::URL withQuery = server.url("app/rest/Customers?old=1");
    EXPECT_EQ(ZQRemoteURLBuilder::remoteURL(withQuery, "a=1", true, {20, 10}, 4).absoluteString(),
              server.baseURL() + "app/rest/Customers?a=1&start=20&count=10&zqid=4");
    EXPECT_EQ(ZQRemoteURLBuilder::remoteURL(withQuery, "", false, {20, 10}, 0).absoluteString(),
              server.baseURL() + "app/rest/Customers?zqid=0");
}

}  // namespace
