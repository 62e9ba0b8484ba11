// Request sharing over real HTTP: one loader per request key, one result object for every
// requester, cancellation only when the last requester withdraws, nothing for a destroyed manager.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManager.hpp"
#include "tests/library/services/ServiceTestSupport.hpp"
#include "tests/support/LoopbackServer.hpp"

namespace {

using zqtest::LoopbackResponse;
using zqtest::RecordingServiceDelegate;

class ServiceManager : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { shared = std::make_unique<zqtest::LoopbackServer>(); }
    static void TearDownTestSuite() { shared.reset(); }

    void SetUp() override {
        server.clearRoutes();
        server.clearLog();
        LoopbackResponse slow = LoopbackResponse::json(R"([{"id":1}])");
        slow.stallSeconds = 30;  // until releaseStalls()
        server.route("GET", "/rest/slow", slow);
        server.route("GET", "/rest/fast", LoopbackResponse::json(R"([{"id":2}])"));
    }
    void TearDown() override { server.releaseStalls(); }

    std::shared_ptr<ZQEntityDataServiceQueryInfo> query(
        const std::string& path, std::optional<platform::Date> since = std::nullopt) {
        return ZQEntityDataServiceQueryInfo::create(server.url(path), true, since);
    }
    std::shared_ptr<RecordingServiceDelegate> newDelegate() {
        return std::make_shared<RecordingServiceDelegate>();
    }
    size_t requestsFor(const std::string& path) const {
        return server.requestsFor("GET", path).size();
    }

    static inline std::unique_ptr<zqtest::LoopbackServer> shared;
    zqtest::LoopbackServer& server = *shared;
    std::shared_ptr<ZQEntityDataServiceManager> manager = ZQEntityDataServiceManager::create();
};

TEST_F(ServiceManager, TwoLoadsOfOneRequestShareOneHTTPRequestAndOneResult) {
    auto first = query("rest/slow"), second = query("rest/slow");
    auto a = newDelegate(), b = newDelegate();
    manager->load(first, a);
    manager->load(second, b);
    ASSERT_TRUE(server.waitForRequestCount(1));
    EXPECT_EQ(manager->runningLoadCount(), 1u);
    server.releaseStalls();
    ASSERT_TRUE(a->waitForCount(1));
    ASSERT_TRUE(b->waitForCount(1));
    auto callA = a->calls().at(0), callB = b->calls().at(0);
    EXPECT_EQ(callA.sender, manager.get());
    EXPECT_EQ(callA.query, first);  // each its own query info
    EXPECT_EQ(callB.query, second);
    EXPECT_EQ(callA.result, callB.result);  // one result object for both
    EXPECT_EQ(callA.result->data(), ZQJSON::parse(R"([{"id":1}])").value);
    EXPECT_EQ(requestsFor("/rest/slow"), 1u);
    EXPECT_EQ(manager->runningLoadCount(), 0u);
}

TEST_F(ServiceManager, CancellingOneOfTwoRequestersLeavesTheRequestRunning) {
    auto first = query("rest/slow"), second = query("rest/slow");
    auto a = newDelegate(), b = newDelegate();
    manager->load(first, a);
    manager->load(second, b);
    ASSERT_TRUE(server.waitForRequestCount(1));
    manager->cancelLoad(first, a);
    server.releaseStalls();
    ASSERT_TRUE(b->waitForCount(1));
    EXPECT_EQ(b->calls().at(0).query, second);
    EXPECT_EQ(a->count(), 0u);
}

TEST_F(ServiceManager, CancellingTheLastRequesterCancelsTheRequestAndTellsNobody) {
    auto first = query("rest/slow"), second = query("rest/slow");
    auto a = newDelegate(), b = newDelegate();
    manager->load(first, a);
    manager->load(second, b);
    ASSERT_TRUE(server.waitForRequestCount(1));
    manager->cancelLoad(second, b);
    manager->cancelLoad(first, a);
    EXPECT_EQ(manager->runningLoadCount(), 0u);
    server.releaseStalls();
    zqtest::runMainLoopFor(0.3);
    EXPECT_EQ(a->count() + b->count(), 0u);
    // The key is free again: the next load is a request of its own.
    manager->load(query("rest/slow"), a);
    ASSERT_TRUE(server.waitForRequestCount(2));
    server.releaseStalls();
    ASSERT_TRUE(a->waitForCount(1));
    EXPECT_TRUE(a->onlyResult()->isSuccessful());
}

TEST_F(ServiceManager, DifferentIfModifiedSinceDatesAreSeparateRequests) {
    auto plain = query("rest/fast"), older = query("rest/fast", platform::Date(1706702400)),
         newer = query("rest/fast", platform::Date(1706702401));
    auto a = newDelegate(), b = newDelegate(), c = newDelegate();
    manager->load(plain, a);
    manager->load(older, b);
    manager->load(newer, c);
    ASSERT_TRUE(a->waitForCount(1) && b->waitForCount(1) && c->waitForCount(1));
    EXPECT_EQ(requestsFor("/rest/fast"), 3u);
    EXPECT_NE(a->onlyResult(), b->onlyResult());
    EXPECT_NE(b->onlyResult(), c->onlyResult());
}

TEST_F(ServiceManager, ALoadAfterAFinishStartsANewRequest) {
    auto a = newDelegate();
    auto again = query("rest/fast");
    manager->load(again, a);
    ASSERT_TRUE(a->waitForCount(1));
    manager->load(again, a);
    ASSERT_TRUE(a->waitForCount(2));
    EXPECT_EQ(requestsFor("/rest/fast"), 2u);
    EXPECT_NE(a->calls().at(0).result, a->calls().at(1).result);
}

TEST_F(ServiceManager, ADelegateMayLoadAgainFromItsCallback) {
    auto a = newDelegate(), b = newDelegate();
    std::weak_ptr<ZQEntityDataServiceManager> weakManager = manager;
    a->onCall = [this, weakManager, b](const RecordingServiceDelegate::Call&) {
        if (auto m = weakManager.lock()) m->load(query("rest/fast"), b);
    };
    manager->load(query("rest/fast"), a);
    ASSERT_TRUE(b->waitForCount(1));
    EXPECT_EQ(requestsFor("/rest/fast"), 2u);
}

TEST_F(ServiceManager, NoReportReachesADestroyedManagersRequesters) {
    auto a = newDelegate();
    manager->load(query("rest/slow"), a);
    ASSERT_TRUE(server.waitForRequestCount(1));
    manager.reset();  // its loaders go with it
    server.releaseStalls();
    zqtest::runMainLoopFor(0.3);
    EXPECT_EQ(a->count(), 0u);
}

}  // namespace
