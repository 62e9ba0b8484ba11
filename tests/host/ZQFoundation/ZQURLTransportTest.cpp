// The transport keeps transfers off the worker pool: many slow requests in flight leave the pool
// free for other work, and a completion that takes its time does not hold up other transfers.
#include <gtest/gtest.h>

#include <atomic>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/WorkerPool.hpp"
#include "tests/support/FaultServer.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"

using zqtest::LoopbackResponse;
using zqtest::LoopbackServer;

namespace {

class CountingDelegate : public ZQURLRequestOperationDelegate {
  public:
    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override {
        if (operation->response()->statusCode() == 200) ok.fetch_add(1);
    }
    void urlRequestOperationDidFailLoading(const std::shared_ptr<ZQURLRequestOperation>&) override {
        failed.fetch_add(1);
    }
    std::atomic<int> ok{0};
    std::atomic<int> failed{0};
};

TEST(URLTransportTest, TwoHundredSlowRequestsInFlightLeaveTheWorkerPoolFree) {
    constexpr int kRequests = 200;
    LoopbackServer server(kRequests + 20);
    LoopbackResponse slow = LoopbackResponse::json(R"({"ok":true})");
    slow.stallSeconds = 300;  // until released below
    server.route("GET", "/rest/slow", slow);

    auto delegate = std::make_shared<CountingDelegate>();
    auto queue = platform::OperationQueue::create("slow requests");
    std::vector<std::shared_ptr<ZQURLRequestOperation>> operations;
    for (int i = 0; i < kRequests; ++i) {
        auto request =
            ZQApplicationHelper::requestWithURL(server.url("rest/slow?i=" + std::to_string(i)));
        operations.push_back(ZQURLRequestOperation::create(request, delegate));
        queue->addOperation(operations.back());
    }
    ASSERT_TRUE(server.waitForRequestCount(kRequests)) << server.requestCount() << " arrived";
    EXPECT_GE(ZQURLTransport::shared().activeTransferCount(), static_cast<size_t>(kRequests));

    // Every request is in flight, and other work still runs at once on the pool.
    zqtest::Event ran;
    platform::OperationQueue::create("other work")->addOperationWithBlock([&] { ran.signal(); });
    EXPECT_TRUE(ran.wait());
    EXPECT_LT(platform::WorkerPool::threadCount(), platform::WorkerPool::kMaxThreadCount);
    EXPECT_LE(platform::WorkerPool::threadCount(), platform::WorkerPool::baseThreadCount() + 4);
    EXPECT_EQ(delegate->ok.load() + delegate->failed.load(), 0);

    server.releaseStalls();
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(delegate->ok.load(), kRequests);
    EXPECT_EQ(delegate->failed.load(), 0);
}

TEST(URLTransportTest, CompletionRunsOnceOnAWorkerWithTheAnswer) {
    LoopbackServer server;
    server.route("POST", "/rest/echo", [](const zqtest::LoopbackRequest& request) {
        return LoopbackResponse::json(request.body, 201);
    });
    ZQURLRequest request(server.url("rest/echo"));
    request.setHTTPMethod("POST");
    request.setHTTPBody(std::string_view("[1,2]"));
    std::atomic<int> calls{0};
    std::atomic<bool> onWorker{false};
    ZQURLTransport::Result result;
    platform::Mutex mutex;
    auto transfer = ZQURLTransport::shared().start(request, [&](ZQURLTransport::Result r) {
        onWorker.store(platform::WorkerPool::isWorkerThread());
        platform::MutexLock lock(mutex);
        result = std::move(r);
        calls.fetch_add(1);
    });
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return calls.load() == 1; }));
    // A late cancel of a completed transfer changes nothing.
    ZQURLTransport::shared().cancel(transfer);
    zqtest::runMainLoopFor(0.05);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(onWorker.load());
    platform::MutexLock lock(mutex);
    ASSERT_NE(result.response, nullptr);
    EXPECT_EQ(result.response->statusCode(), 201);
    const auto* bytes = result.data.bytes();
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "[1,2]");
}

// While another transfer is in flight, a completion must not run on the driver: one that waits
// for that transfer would otherwise wait for ever.
TEST(URLTransportTest, ACompletionWaitingForAnotherTransferDoesNotStallTheTransport) {
    LoopbackServer server;
    server.route("GET", "/rest/fast", LoopbackResponse::json(R"({"n":1})"));
    LoopbackResponse later = LoopbackResponse::json(R"({"n":2})");
    later.stallSeconds = 0.3;
    server.route("GET", "/rest/later", later);

    zqtest::Event laterDone;
    zqtest::Event fastDone;
    std::atomic<bool> sawLaterFromFast{false};
    auto fastTransfer = ZQURLTransport::shared().start(
        ZQURLRequest(server.url("rest/fast")), [&](ZQURLTransport::Result) {
            sawLaterFromFast.store(laterDone.wait(10));
            fastDone.signal();
        });
    auto laterTransfer = ZQURLTransport::shared().start(
        ZQURLRequest(server.url("rest/later")), [&](ZQURLTransport::Result result) {
            if (result.response && result.response->statusCode() == 200) laterDone.signal();
        });
    ASSERT_TRUE(fastDone.wait(20));
    EXPECT_TRUE(sawLaterFromFast.load());
}

TEST(URLTransportTest, ATransferCancelledBeforeItBeginsIsNeverSent) {
    LoopbackServer server;
    server.route("GET", "/rest/item", LoopbackResponse::json(R"({"n":1})"));
    std::atomic<int> calls{0};
    std::atomic<int64_t> code{0};
    auto transfer = ZQURLTransport::shared().prepare(ZQURLRequest(server.url("rest/item")),
                                                     [&](ZQURLTransport::Result result) {
                                                         if (result.error)
                                                             code.store(result.error->code());
                                                         calls.fetch_add(1);
                                                     });
    ZQURLTransport::shared().cancel(transfer);
    ZQURLTransport::shared().begin(transfer, false);
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return calls.load() == 1; }));
    EXPECT_EQ(code.load(), ZQURLErrorCancelled);

    // A later request to the same server does arrive, so the first one would have too.
    std::atomic<bool> answered{false};
    auto next = ZQURLTransport::shared().start(
        ZQURLRequest(server.url("rest/item")),
        [&](ZQURLTransport::Result result) { answered.store(result.response != nullptr); });
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return answered.load(); }));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace

// What a server may not make the transport do: follow it to another server, or take in an answer
// without end. Each case ends in one result: the answer, or the error that says why not.
TEST(URLTransportTest, RedirectsStayOnTheServerAndAnswersHaveABound) {
    LoopbackServer other;
    other.route("GET", "/rest/x", LoopbackResponse::json(R"({"from":"other"})"));
    LoopbackServer server;
    server.route("GET", "/rest/x", LoopbackResponse::json(R"({"from":"server"})"));
    auto redirect = [](std::string location) {
        LoopbackResponse answer = LoopbackResponse::json("", 302);
        answer.headers.emplace_back("Location", std::move(location));
        return answer;
    };
    server.route("GET", "/rest/here", redirect("/rest/x"));
    server.route("GET", "/rest/elsewhere",
                 redirect("http://localhost:" + std::to_string(other.port()) + "/rest/x"));
    server.route("GET", "/rest/otherport",
                 redirect("http://127.0.0.1:" + std::to_string(other.port()) + "/rest/x"));
    zqtest::FaultServer faults;
    faults.setFault(zqtest::ServerFault::EndlessBody);
    LoopbackResponse declared = LoopbackResponse::json(std::string(3000, ' ') + "{}");
    server.route("GET", "/rest/declared", declared);

    struct Case {
        std::string url;
        size_t maximumBytes;  // 0: the default
        std::string body;     // the answer expected, or empty for an error
        std::string error;
    };
    const Case cases[] = {
        {server.baseURL() + "rest/here", 0, R"({"from":"server"})", ""},
        {server.baseURL() + "rest/elsewhere", 0, "",
         "The server redirected the request to another server."},
        {server.baseURL() + "rest/otherport", 0, "",
         "The server redirected the request to another server."},
        {faults.baseURL() + "rest/endless", 1 << 20, "", "The server's answer is too large."},
        {server.baseURL() + "rest/declared", 1000, "", "The server's answer is too large."},
    };
    for (const Case& c : cases) {
        ZQURLRequest request(*platform::URL::fromString(c.url));
        request.setMaximumResponseBytes(c.maximumBytes);
        std::atomic<int> calls{0};
        platform::Mutex mutex;
        ZQURLTransport::Result result;
        auto transfer = ZQURLTransport::shared().start(request, [&](ZQURLTransport::Result r) {
            platform::MutexLock lock(mutex);
            result = std::move(r);
            calls.fetch_add(1);
        });
        ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return calls.load() == 1; })) << c.url;
        zqtest::runMainLoopFor(0.02);
        EXPECT_EQ(calls.load(), 1) << c.url;
        platform::MutexLock lock(mutex);
        if (c.error.empty()) {
            ASSERT_NE(result.response, nullptr) << c.url;
            const auto* bytes = result.data.bytes();
            ASSERT_NE(bytes, nullptr);
            EXPECT_EQ(std::string(bytes->begin(), bytes->end()), c.body) << c.url;
        } else {
            EXPECT_EQ(result.response, nullptr) << c.url;
            ASSERT_NE(result.error, nullptr) << c.url;
            EXPECT_EQ(result.error->code(), ZQURLErrorBadServerResponse) << c.url;
            EXPECT_EQ(result.error->localizedDescription(), c.error) << c.url;
        }
    }
    EXPECT_TRUE(other.requests().empty());
    // The endless body stopped being read soon after the bound.
    EXPECT_LT(faults.endlessBytesSent(), size_t{64} << 20);
}
