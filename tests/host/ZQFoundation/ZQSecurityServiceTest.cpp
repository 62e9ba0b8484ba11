// The authorisation flow end to end: a refused request, a token from the server's token endpoint,
// the request sent again with the token.
#include <gtest/gtest.h>

#include <atomic>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/WorkerPool.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"

using platform::Value;
using zqtest::LoopbackRequest;
using zqtest::LoopbackResponse;
using zqtest::LoopbackServer;

namespace {

// What a completion was told, and on which kind of thread.
struct Outcome {
    platform::Mutex mutex;
    int calls GUARDED_BY(mutex) = 0;
    bool success GUARDED_BY(mutex) = false;
    platform::ErrorPtr error GUARDED_BY(mutex);
    bool onWorker GUARDED_BY(mutex) = false;

    ZQSecurityService::Completion completion() {
        return [this](bool ok, platform::ErrorPtr e) {
            platform::MutexLock lock(mutex);
            ++calls;
            success = ok;
            error = std::move(e);
            onWorker = platform::WorkerPool::isWorkerThread();
        };
    }
    int callCount() {
        platform::MutexLock lock(mutex);
        return calls;
    }
    bool wait() {
        return zqtest::runMainLoopUntil([this] { return callCount() > 0; });
    }
};

class AuthorizationFlowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { shared = std::make_unique<LoopbackServer>(); }
    static void TearDownTestSuite() { shared.reset(); }

    void SetUp() override {
        server.clearRoutes();
        server.clearLog();
        service->reset();
        ZQAuthorizationSettings settings;
        settings.tokenURL = server.url("auth/token");
        settings.clientId = "zq-app";
        settings.username = "ann";
        settings.password = "s3cret&more";
        service->setSettings(settings);

        server.route("POST", "/auth/token", [this](const LoopbackRequest& request) {
            if (request.body.find("password=s3cret%26more") == std::string::npos) {
                return LoopbackResponse::json(
                    R"({"error":"invalid_grant","error_description":"Wrong user or password"})",
                    400);
            }
            std::string token = "tok-" + std::to_string(++issued);
            if (acceptIssuedTokens) {
                platform::MutexLock lock(mutex);
                validToken = token;
            }
            LoopbackResponse answer = LoopbackResponse::json(
                R"({"access_token":")" + token + R"(","token_type":"Bearer","expires_in":3600})");
            answer.stallSeconds = tokenStall;
            return answer;
        });
        server.route("GET", "/rest/items", [this](const LoopbackRequest& request) {
            platform::MutexLock lock(mutex);
            if (request.header("Authorization") != "Bearer " + validToken) {
                LoopbackResponse refused = LoopbackResponse::error(401, "401", "Sign in first");
                refused.headers.emplace_back("WWW-Authenticate", R"(Bearer realm="zq-app")");
                return refused;
            }
            return LoopbackResponse::json(R"([{"id":1}])");
        });
    }
    void TearDown() override {
        server.releaseStalls();
        service->reset();
        service->setSettings({});
    }

    // Sends one request built by the host for the items URL and waits for its answer.
    std::shared_ptr<ZQURLRequestOperation> getItems() {
        auto operation = ZQURLRequestOperation::create(
            ZQApplicationHelper::requestWithURL(server.url("rest/items")));
        queue->addOperation(operation);
        EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return operation->isFinished(); }));
        return operation;
    }

    static inline std::unique_ptr<LoopbackServer> shared;
    LoopbackServer& server = *shared;
    std::shared_ptr<ZQSecurityService> service = ZQSecurityService::sharedInstance();
    std::shared_ptr<platform::OperationQueue> queue = platform::OperationQueue::create("auth");
    platform::Mutex mutex;
    std::string validToken GUARDED_BY(mutex) = "none yet";
    std::atomic<int> issued{0};
    std::atomic<bool> acceptIssuedTokens{true};
    double tokenStall = 0;
};

TEST_F(AuthorizationFlowTest, RefusedRequestIsAuthorizedAndSentAgainWithTheToken) {
    auto first = getItems();
    ASSERT_EQ(first->response()->statusCode(), 401);
    EXPECT_FALSE(server.requests().at(0).header("Authorization").has_value());

    platform::ErrorPtr error;
    Value options;
    EXPECT_TRUE(ZQSecurityHelper::handleSecurityErrorFromResponse(first->response(), first->data(),
                                                                  &error, &options));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), ZQSecurityErrorDomain);
    EXPECT_EQ(error->code(), 401);
    EXPECT_EQ(error->localizedDescription(), "Sign in first");
    ASSERT_TRUE(options.isDictionary());
    EXPECT_EQ(options[ZQAuthorizationRealmKey], Value("zq-app"));
    EXPECT_EQ(options[ZQAuthorizationFailedURLKey],
              Value(server.url("rest/items").absoluteString()));

    Outcome outcome;
    auto pending = service->requestAuthorizationWithOptions(options, outcome.completion());
    ASSERT_NE(pending, nullptr);
    ASSERT_TRUE(outcome.wait());
    {
        platform::MutexLock lock(outcome.mutex);
        EXPECT_TRUE(outcome.success);
        EXPECT_EQ(outcome.error, nullptr);
        EXPECT_TRUE(outcome.onWorker);
    }
    EXPECT_EQ(service->accessToken(), "tok-1");

    std::vector<LoopbackRequest> tokenRequests = server.requestsFor("POST", "/auth/token");
    ASSERT_EQ(tokenRequests.size(), 1u);
    EXPECT_EQ(tokenRequests[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(tokenRequests[0].body,
              "grant_type=password&username=ann&password=s3cret%26more&client_id=zq-app");

    auto second = getItems();
    EXPECT_EQ(second->response()->statusCode(), 200);
    EXPECT_EQ(server.requestsFor("GET", "/rest/items").back().header("Authorization"),
              "Bearer tok-1");
    EXPECT_FALSE(ZQSecurityHelper::handleSecurityErrorFromResponse(
        second->response(), second->data(), &error, &options));
    EXPECT_EQ(error, nullptr);
    EXPECT_TRUE(options.isAbsent());
}

TEST_F(AuthorizationFlowTest, WrongCredentialsFailWithTheServersError) {
    ZQAuthorizationSettings settings = service->settings();
    settings.password = "wrong";
    service->setSettings(settings);
    Outcome outcome;
    auto pending = service->requestAuthorizationWithOptions(Value(), outcome.completion());
    ASSERT_TRUE(outcome.wait());
    platform::MutexLock lock(outcome.mutex);
    EXPECT_FALSE(outcome.success);
    ASSERT_NE(outcome.error, nullptr);
    EXPECT_EQ(outcome.error->domain(), ZQServerErrorDomain);
    EXPECT_EQ(outcome.error->localizedDescription(), "Wrong user or password");
    EXPECT_EQ(outcome.error->userInfo().get(ZQServerErrorCodeErrorKey), Value("invalid_grant"));
    EXPECT_FALSE(service->accessToken().has_value());
}

TEST_F(AuthorizationFlowTest, ConcurrentRequestsShareOneTokenRequest) {
    tokenStall = 120;
    Outcome a;
    Outcome b;
    auto first = service->requestAuthorizationWithOptions(Value(), a.completion());
    auto second = service->requestAuthorizationWithOptions(Value(), b.completion());
    ASSERT_TRUE(server.waitForRequestCount(1));
    server.releaseStalls();
    ASSERT_TRUE(a.wait());
    ASSERT_TRUE(b.wait());
    EXPECT_EQ(service->tokenRequestCount(), 1u);
    EXPECT_EQ(server.requestsFor("POST", "/auth/token").size(), 1u);
    platform::MutexLock lockA(a.mutex);
    platform::MutexLock lockB(b.mutex);
    EXPECT_TRUE(a.success);
    EXPECT_TRUE(b.success);
}

TEST_F(AuthorizationFlowTest, CancelledRequestNeverCompletesAndItsTransferStops) {
    tokenStall = 120;
    size_t before = ZQURLTransport::shared().activeTransferCount();
    Outcome cancelled;
    Outcome kept;
    auto one = service->requestAuthorizationWithOptions(Value(), cancelled.completion());
    auto two = service->requestAuthorizationWithOptions(Value(), kept.completion());
    ASSERT_TRUE(server.waitForRequestCount(1));

    // Someone still waits: the token request goes on.
    service->cancelAutorizationRequest(one);
    zqtest::runMainLoopFor(0.05);
    EXPECT_EQ(ZQURLTransport::shared().activeTransferCount(), before + 1);

    // No one waits: the transfer is cancelled, and neither completion ever runs.
    service->cancelAutorizationRequest(two);
    EXPECT_TRUE(zqtest::runMainLoopUntil(
        [&] { return ZQURLTransport::shared().activeTransferCount() == before; }));
    server.releaseStalls();
    zqtest::runMainLoopFor(0.2);
    EXPECT_EQ(cancelled.callCount(), 0);
    EXPECT_EQ(kept.callCount(), 0);
    EXPECT_FALSE(service->accessToken().has_value());
}

TEST_F(AuthorizationFlowTest, TokenRenewedSinceTheRefusalSucceedsWithoutAskingTheServer) {
    service->setAccessToken("tok-new");
    Outcome outcome;
    auto pending = service->requestAuthorizationWithOptions(
        Value::dictionary({{ZQAuthorizationFailedCredentialKey, Value("Bearer tok-old")}}),
        outcome.completion());
    ASSERT_TRUE(outcome.wait());
    platform::MutexLock lock(outcome.mutex);
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(service->tokenRequestCount(), 0u);
}

// A server that refuses the very token it just issued must not send the caller round in circles.
TEST_F(AuthorizationFlowTest, AFreshTokenRefusedAtOnceEndsTheRecovery) {
    acceptIssuedTokens = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto refused = getItems();
        ASSERT_EQ(refused->response()->statusCode(), 401);
        platform::ErrorPtr error;
        Value options;
        ZQSecurityHelper::handleSecurityErrorFromResponse(refused->response(), refused->data(),
                                                          &error, &options);
        ASSERT_TRUE(options.isDictionary());
        Outcome outcome;
        auto pending = service->requestAuthorizationWithOptions(options, outcome.completion());
        ASSERT_TRUE(outcome.wait());
        platform::MutexLock lock(outcome.mutex);
        if (attempt == 0) {
            EXPECT_TRUE(outcome.success);
        } else {
            EXPECT_FALSE(outcome.success);
            ASSERT_NE(outcome.error, nullptr);
            EXPECT_EQ(outcome.error->code(), ZQSecurityErrorTokenRejected);
        }
    }
    EXPECT_EQ(service->tokenRequestCount(), 1u);
}

TEST_F(AuthorizationFlowTest, ForbiddenAndUnconfiguredGiveErrorsWithoutRecovery) {
    server.route("GET", "/rest/secret", LoopbackResponse::error(403, "403", "Not yours"));
    auto forbidden = ZQURLRequestOperation::create(
        ZQApplicationHelper::requestWithURL(server.url("rest/secret")));
    queue->addOperation(forbidden);
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return forbidden->isFinished(); }));
    platform::ErrorPtr error;
    Value options;
    EXPECT_TRUE(ZQSecurityHelper::handleSecurityErrorFromResponse(
        forbidden->response(), forbidden->data(), &error, &options));
    EXPECT_EQ(error->code(), ZQSecurityErrorForbidden);
    EXPECT_TRUE(options.isAbsent());

    service->setSettings({});
    auto refused = getItems();
    ZQSecurityHelper::handleSecurityErrorFromResponse(refused->response(), refused->data(), &error,
                                                      &options);
    EXPECT_EQ(error->code(), ZQSecurityErrorUnauthorized);
    EXPECT_TRUE(options.isAbsent());
    Outcome outcome;
    auto pending = service->requestAuthorizationWithOptions(Value(), outcome.completion());
    ASSERT_TRUE(outcome.wait());
    platform::MutexLock lock(outcome.mutex);
    EXPECT_EQ(outcome.error->code(), ZQSecurityErrorNotConfigured);
}

TEST_F(AuthorizationFlowTest, TheTokenGoesOnlyToItsOwnServer) {
    service->setAccessToken("tok-9");
    auto own = ZQApplicationHelper::requestWithURL(server.url("rest/items"));
    auto other = ZQApplicationHelper::requestWithURL("http://elsewhere.example/rest/items");
    EXPECT_EQ(own->valueForHTTPHeaderField("Authorization"), "Bearer tok-9");
    EXPECT_FALSE(other->valueForHTTPHeaderField("Authorization").has_value());
}

}  // namespace
