// One conditional GET over real HTTP: If-Modified-Since out, 304 and Last-Modified back, the
// authorisation round trip with its single re-send, cancellation, and broken answers.
#include <gtest/gtest.h>

#include <atomic>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceLoader.hpp"
#include "tests/library/services/ServiceTestSupport.hpp"
#include "tests/support/LoopbackServer.hpp"

namespace {

using platform::Value;
using zqtest::LoopbackRequest;
using zqtest::LoopbackResponse;

const platform::Date kJan31Noon(1706702400);          // Wed, 31 Jan 2024 12:00:00 GMT
const platform::Date kFeb1HalfPastEight(1706776200);  // Thu, 01 Feb 2024 08:30:00 GMT

class ServiceLoader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { shared = std::make_unique<zqtest::LoopbackServer>(); }
    static void TearDownTestSuite() { shared.reset(); }

    void SetUp() override {
        server.clearRoutes();
        server.clearLog();
        security->reset();
        ZQAuthorizationSettings settings;
        settings.tokenURL = server.url("auth/token");
        settings.clientId = "zq-tests";
        security->setSettings(settings);
    }
    void TearDown() override {
        server.releaseStalls();
        security->reset();
        security->setSettings({});
    }

    // Starts a loader for the path; its delegate records the report.
    std::shared_ptr<ZQEntityDataServiceLoader> start(
        const std::string& path, std::optional<platform::Date> ifModifiedSince = std::nullopt,
        bool collection = true) {
        auto query =
            ZQEntityDataServiceQueryInfo::create(server.url(path), collection, ifModifiedSince);
        auto loader = ZQEntityDataServiceLoader::create(query, delegate);
        loader->start();
        return loader;
    }
    std::shared_ptr<ZQEntityDataServiceResult> loadOnce(const std::string& path,
                                                        bool collection = true) {
        delegate = std::make_shared<zqtest::RecordingServiceDelegate>();
        auto loader = start(path, std::nullopt, collection);
        EXPECT_TRUE(delegate->waitForCount(1));
        return delegate->onlyResult();
    }

    // /rest/orders answers 401 until a request carries the token the endpoint issued; the
    // endpoint stalls its answer for tokenStall seconds.
    void routeProtectedOrders(double tokenStall = 0) {
        server.route("POST", "/auth/token", [tokenStall](const LoopbackRequest&) {
            LoopbackResponse answer =
                LoopbackResponse::json(R"({"access_token":"tok-1","token_type":"Bearer"})");
            answer.stallSeconds = tokenStall;
            return answer;
        });
        server.route("GET", "/rest/orders", [](const LoopbackRequest& request) {
            if (request.header("Authorization") != "Bearer tok-1") {
                LoopbackResponse refused = LoopbackResponse::error(401, "401", "Sign in first");
                refused.body = R"([{"refused":true}])";  // must never be reported
                refused.headers.emplace_back("WWW-Authenticate", R"(Bearer realm="zq")");
                return refused;
            }
            return LoopbackResponse::json(R"([{"n":2}])");
        });
    }
    size_t ordersRequests() const { return server.requestsFor("GET", "/rest/orders").size(); }

    static inline std::unique_ptr<zqtest::LoopbackServer> shared;
    zqtest::LoopbackServer& server = *shared;
    std::shared_ptr<ZQSecurityService> security = ZQObjectsModelServices::securityService();
    std::shared_ptr<zqtest::RecordingServiceDelegate> delegate =
        std::make_shared<zqtest::RecordingServiceDelegate>();
};

TEST_F(ServiceLoader, ConditionalRequestSendsTheDateInGMTAndReadsLastModifiedBack) {
    server.route("GET", "/rest/orders", [](const LoopbackRequest&) {
        LoopbackResponse answer = LoopbackResponse::json(R"([{"id":1},{"id":2}])");
        answer.headers.emplace_back("Last-Modified", "Thu, 01 Feb 2024 08:30:00 GMT");
        return answer;
    });
    auto loader = start("rest/orders", kJan31Noon);
    ASSERT_TRUE(delegate->waitForCount(1));
    auto call = delegate->calls().at(0);
    EXPECT_EQ(call.sender, loader.get());
    EXPECT_EQ(call.query, loader->queryInfo());
    EXPECT_TRUE(call.result->isSuccessful());
    EXPECT_FALSE(call.result->isUpToDate());
    EXPECT_EQ(call.result->statusCode(), 200);
    EXPECT_EQ(call.result->data(), ZQJSON::parse(R"([{"id":1},{"id":2}])").value);
    EXPECT_EQ(call.result->lastModified(), kFeb1HalfPastEight);
    EXPECT_EQ(server.requests().at(0).header("If-Modified-Since"), "Wed, 31 Jan 2024 12:00:00 GMT");

    loadOnce("rest/orders");
    EXPECT_EQ(server.requests().at(1).header("If-Modified-Since"), std::nullopt);
}

TEST_F(ServiceLoader, NotModifiedFinishesAtOnceWithoutData) {
    LoopbackResponse notModified;
    notModified.status = 304;
    notModified.headers.emplace_back("Last-Modified", "Thu, 01 Feb 2024 08:30:00 GMT");
    server.route("GET", "/rest/dated", notModified);
    notModified.headers.clear();
    server.route("GET", "/rest/undated", notModified);
    LoopbackResponse badDate = LoopbackResponse::json(R"({"id":1})");
    badDate.headers.emplace_back("Last-Modified", "yesterday, around noon");
    server.route("GET", "/rest/baddate", badDate);

    auto dated = loadOnce("rest/dated");
    ASSERT_TRUE(dated);
    EXPECT_TRUE(dated->isSuccessful());
    EXPECT_TRUE(dated->isUpToDate());
    EXPECT_TRUE(dated->data().isAbsent());
    EXPECT_EQ(dated->lastModified(), kFeb1HalfPastEight);

    auto undated = loadOnce("rest/undated", false);
    ASSERT_TRUE(undated);
    EXPECT_TRUE(undated->isSuccessful() && undated->isUpToDate());
    EXPECT_EQ(undated->lastModified(), std::nullopt);

    auto unparseable = loadOnce("rest/baddate", false);
    ASSERT_TRUE(unparseable);
    EXPECT_TRUE(unparseable->isSuccessful());
    EXPECT_EQ(unparseable->data(), Value::dictionary({{"id", 1}}));
    EXPECT_EQ(unparseable->lastModified(), std::nullopt);
}

TEST_F(ServiceLoader, RefusedCredentialsAreAuthorizedAndOnlyTheSecondAnswerIsReported) {
    routeProtectedOrders();
    auto loader = start("rest/orders");
    ASSERT_TRUE(delegate->waitForCount(1));
    zqtest::runMainLoopFor(0.2);  // a second report would show up now
    auto result = delegate->onlyResult();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->isSuccessful());
    EXPECT_EQ(result->statusCode(), 200);
    EXPECT_EQ(result->data(), ZQJSON::parse(R"([{"n":2}])").value);
    EXPECT_EQ(ordersRequests(), 2u);
    EXPECT_EQ(security->tokenRequestCount(), 1u);
}

TEST_F(ServiceLoader, CancellingWhileAuthorizationIsPendingReportsNothing) {
    routeProtectedOrders(30);
    auto loader = start("rest/orders");
    ASSERT_TRUE(server.waitForRequestCount(2));  // the refused GET, then the token request
    loader->cancel();
    server.releaseStalls();
    zqtest::runMainLoopFor(0.3);
    EXPECT_EQ(delegate->count(), 0u);
    EXPECT_EQ(ordersRequests(), 1u);
    // The token request was abandoned with the authorisation, so its answer was never taken.
    EXPECT_EQ(security->accessToken(), std::nullopt);
}

TEST_F(ServiceLoader, SuccessfulAuthorizationAfterAnOperationWasCancelledStillAsksAgain) {
    routeProtectedOrders(30);
    auto loader = start("rest/orders");
    ASSERT_TRUE(server.waitForRequestCount(2));
    // Someone cancels the queue's operations while authorisation is pending; a success without
    // an answer would later empty the cached query.
    loader->opQueue()->cancelAllOperations();
    server.releaseStalls();
    ASSERT_TRUE(delegate->waitForCount(1));
    auto result = delegate->onlyResult();
    EXPECT_TRUE(result->isSuccessful());
    EXPECT_EQ(result->data(), ZQJSON::parse(R"([{"n":2}])").value);
    EXPECT_EQ(ordersRequests(), 2u);
}

TEST_F(ServiceLoader, RefusedAuthorizationReportsTheSecurityServicesError) {
    routeProtectedOrders();
    server.route("POST", "/auth/token",
                 LoopbackResponse::json(
                     R"({"error":"invalid_client","error_description":"Unknown app"})", 401));
    auto loader = start("rest/orders");
    ASSERT_TRUE(delegate->waitForCount(1));
    auto result = delegate->onlyResult();
    ASSERT_TRUE(result->error());
    EXPECT_EQ(result->error()->domain(), ZQServerErrorDomain);
    EXPECT_EQ(result->statusCode(), 401);
    EXPECT_TRUE(result->data().isAbsent());
    EXPECT_EQ(ordersRequests(), 1u);
}

TEST_F(ServiceLoader, BrokenAnswersBecomeErrorResults) {
    LoopbackResponse cut = LoopbackResponse::json(std::string(2000, ' ') + "[]");
    cut.closeAfterBytes = 100;
    server.route("GET", "/rest/cut", cut);
    server.route("GET", "/rest/malformed", LoopbackResponse::json(R"([{"id":1},)"));
    server.route("GET", "/rest/failing", LoopbackResponse::error(500, "17", "Database down"));
    server.route("GET", "/rest/empty", LoopbackResponse::json(""));
    struct Case {
        const char* path;
        const char* domain;
    };
    for (Case c :
         {Case{"rest/cut", platform::kURLErrorDomain}, Case{"rest/malformed", ZQJSONErrorDomain},
          Case{"rest/failing", ZQServerErrorDomain}, Case{"rest/empty", ZQHTTPStatusErrorDomain},
          Case{"rest/unrouted", ZQServerErrorDomain}}) {
        SCOPED_TRACE(c.path);
        auto result = loadOnce(c.path);
        ASSERT_TRUE(result);
        EXPECT_FALSE(result->isSuccessful());
        ASSERT_TRUE(result->error());
        EXPECT_EQ(result->error()->domain(), c.domain);
        EXPECT_TRUE(result->data().isAbsent());
    }
}

}  // namespace
