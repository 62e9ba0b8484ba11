// The request pipeline against a real HTTP server on the loopback interface.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/MainLoop.hpp"
#include "platform/OperationQueue.hpp"
#include "tests/host/ZQFoundation/RecordingDelegate.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"

using platform::Value;
using zqtest::LoopbackRequest;
using zqtest::LoopbackResponse;
using zqtest::LoopbackServer;
using zqtest::RecordingDelegate;

namespace {

class RequestPipelineTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { shared = std::make_unique<LoopbackServer>(); }
    static void TearDownTestSuite() { shared.reset(); }
    void SetUp() override {
        server.clearRoutes();
        server.clearLog();
    }
    void TearDown() override { server.releaseStalls(); }

    struct Run {
        std::shared_ptr<ZQURLRequestOperation> request;
        std::shared_ptr<ZQParseJsonOperation> parse;
        std::shared_ptr<RecordingDelegate> delegate;
    };

    // Sends the request through the queue the way callers do (suspended while adding) and waits
    // until the chain has reported.
    Run send(const std::shared_ptr<ZQURLRequest>& request) {
        Run run;
        run.delegate = std::make_shared<RecordingDelegate>();
        queue->setSuspended(true);
        run.parse = addURLRequestAndParseJSONOperationsForRequest(queue, request, run.delegate);
        run.request = run.parse->source();
        queue->setSuspended(false);
        EXPECT_TRUE(run.delegate->done.wait());
        EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return run.parse->isFinished(); }));
        return run;
    }

    static std::string text(const Value& data) {
        const Value::Bytes* bytes = data.bytes();
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
    }

    static inline std::unique_ptr<LoopbackServer> shared;
    LoopbackServer& server = *shared;
    std::shared_ptr<platform::OperationQueue> queue = platform::OperationQueue::create("test");
};

TEST_F(RequestPipelineTest, EachMethodCarriesHeadersAndBodyBothWays) {
    auto echo = [](const LoopbackRequest& request) {
        LoopbackResponse response =
            LoopbackResponse::json(R"({"method":")" + request.method + R"(","length":)" +
                                   std::to_string(request.body.size()) + "}");
        response.headers.emplace_back("X-Reply", "to-" + request.method);
        return response;
    };
    for (const char* method : {"GET", "POST", "PUT", "PATCH", "DELETE"}) {
        server.route(method, "/rest/echo", echo);
    }
    // Each method also follows others with and without a body: the transport reuses one libcurl
    // handle for these one-after-another requests, so no setting may carry over to the next.
    for (std::string method :
         {"GET", "POST", "GET", "PUT", "DELETE", "PATCH", "GET", "DELETE", "POST"}) {
        SCOPED_TRACE(method);
        server.clearLog();
        auto request = ZQApplicationHelper::requestWithURL(server.url("rest/echo?a=1&b=x%20y"));
        request->setHTTPMethod(method);
        request->setValue("abc", "X-Custom");
        bool withBody = method == "POST" || method == "PUT" || method == "PATCH";
        if (withBody) {
            request->setHTTPBody(R"({"name":"Ann"})");
            request->setValue("application/json", "Content-Type");
        }
        Run run = send(request);

        EXPECT_EQ(run.delegate->names(),
                  (std::vector<std::string>{"didFinishLoading", "didFinishParsing"}));
        for (const auto& call : run.delegate->calls()) {
            EXPECT_NE(call.thread, std::this_thread::get_id()) << "callbacks run on workers";
        }
        ASSERT_NE(run.request->response(), nullptr);
        EXPECT_EQ(run.request->response()->statusCode(), 200);
        EXPECT_EQ(run.request->response()->allHeaderFields().get("x-reply"), Value("to-" + method));
        EXPECT_EQ(run.request->response()->allHeaderFields().get("X-Reply"), Value("to-" + method));
        EXPECT_EQ(run.parse->parsedData()["method"], Value(method));

        std::vector<LoopbackRequest> log = server.requests();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].method, method);
        EXPECT_EQ(log[0].path, "/rest/echo");
        EXPECT_EQ(log[0].query, "a=1&b=x%20y");
        EXPECT_EQ(log[0].header("x-custom"), "abc");
        EXPECT_EQ(log[0].header("Accept"), "application/json");
        EXPECT_EQ(log[0].header("User-Agent"), ZQApplicationHelper::kUserAgent);
        EXPECT_EQ(log[0].body, withBody ? R"({"name":"Ann"})" : "");
    }
}

TEST_F(RequestPipelineTest, EveryRequestIsLoggedAsMethodAndURLWhileLoggingIsEnabled) {
    server.route("PUT", "/rest/items", LoopbackResponse::json("{}"));
    auto logger = ZQLog::loggerService();
    const bool wasEnabled = logger->isLogEnabled();
    std::mutex mutex;
    std::vector<std::string> seen;
    logger->setObserver([&](const ZQLogRecord& record) {
        std::lock_guard<std::mutex> hold(mutex);
        if (record.type == ZQLogTypeNetwork) seen.push_back(record.message);
    });
    auto request = ZQApplicationHelper::requestWithURL(server.url("rest/items?a=1"));
    request->setHTTPMethod("PUT");
    logger->setLogEnabled(false);
    send(request);
    logger->setLogEnabled(true);
    send(request);
    logger->setObserver(nullptr);
    send(request);  // nobody observes any more
    logger->setLogEnabled(wasEnabled);
    std::lock_guard<std::mutex> hold(mutex);
    EXPECT_EQ(seen,
              std::vector<std::string>{"PUT " + server.url("rest/items?a=1").absoluteString()});
}

TEST_F(RequestPipelineTest, HeadAnswersWithoutBody) {
    server.route("GET", "/rest/items", LoopbackResponse::json(R"([1,2,3])"));
    auto request = ZQApplicationHelper::requestWithURL(server.url("rest/items"));
    request->setHTTPMethod("HEAD");
    Run run = send(request);
    EXPECT_EQ(run.request->response()->statusCode(), 200);
    EXPECT_EQ(run.request->response()->expectedContentLength(), 7);
    EXPECT_EQ(text(run.request->data()), "");
    EXPECT_TRUE(run.parse->parsedData().isAbsent());
    EXPECT_EQ(server.requests().at(0).method, "HEAD");

    // The next request on the same handle is a whole GET again.
    Run next = send(ZQApplicationHelper::requestWithURL(server.url("rest/items")));
    EXPECT_EQ(text(next.request->data()), "[1,2,3]");
    EXPECT_EQ(server.requests().at(1).method, "GET");
}

TEST_F(RequestPipelineTest, NotModifiedHasNoBodyAndParsesToNothing) {
    LoopbackResponse notModified;
    notModified.status = 304;
    notModified.headers.emplace_back("Last-Modified", "Wed, 31 Jan 2024 12:00:00 GMT");
    server.route("GET", "/rest/items", notModified);
    auto request = ZQApplicationHelper::requestWithURL(server.url("rest/items"));
    request->setValue("Wed, 31 Jan 2024 11:00:00 GMT", "If-Modified-Since");
    Run run = send(request);

    EXPECT_EQ(run.request->response()->statusCode(), 304);
    ASSERT_NE(run.request->data().bytes(), nullptr);
    EXPECT_TRUE(run.request->data().bytes()->empty());
    EXPECT_EQ(run.request->response()->valueForHTTPHeaderField("last-modified"),
              "Wed, 31 Jan 2024 12:00:00 GMT");
    EXPECT_EQ(run.delegate->names(),
              (std::vector<std::string>{"didFinishLoading", "didFinishParsing"}));
    EXPECT_TRUE(run.parse->parsedData().isAbsent());
    EXPECT_EQ(run.parse->error(), nullptr);
    EXPECT_EQ(server.requests().at(0).header("If-Modified-Since"), "Wed, 31 Jan 2024 11:00:00 GMT");
}

// A caller that ends the load in the request callback (a 304, or an answer without a body)
// cancels the queue there; the parse step must then stay silent.
TEST_F(RequestPipelineTest, CancellingTheQueueInTheRequestCallbackSilencesTheParseStep) {
    struct Finisher : RecordingDelegate {
        std::shared_ptr<platform::OperationQueue> queue;
        void urlRequestOperationDidFinishLoading(
            const std::shared_ptr<ZQURLRequestOperation>& operation) override {
            queue->cancelAllOperations();
            RecordingDelegate::urlRequestOperationDidFinishLoading(operation);
        }
    };
    LoopbackResponse notModified;
    notModified.status = 304;
    server.route("GET", "/rest/items", notModified);
    auto delegate = std::make_shared<Finisher>();
    delegate->queue = queue;
    delegate->finishAfterLoading = true;
    queue->setSuspended(true);
    auto parse = addURLRequestAndParseJSONOperationsForRequest(
        queue, ZQApplicationHelper::requestWithURL(server.url("rest/items")), delegate);
    queue->setSuspended(false);
    ASSERT_TRUE(delegate->done.wait());
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return parse->isFinished(); }));
    EXPECT_TRUE(parse->isCancelled());
    EXPECT_EQ(delegate->names(), std::vector<std::string>{"didFinishLoading"});
}

TEST_F(RequestPipelineTest, ServerErrorIsAnAnswerWithTheServersErrorBody) {
    server.route("GET", "/rest/items", LoopbackResponse::error(500, "101", "Database is down"));
    Run run = send(ZQApplicationHelper::requestWithURL(server.url("rest/items")));
    EXPECT_EQ(run.delegate->names(),
              (std::vector<std::string>{"didFinishLoading", "didFinishParsing"}));
    EXPECT_EQ(run.request->response()->statusCode(), 500);
    EXPECT_EQ(run.request->error(), nullptr);
    platform::ErrorPtr error = ZQUtilities::errorFromResponseData(run.request->data());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), ZQServerErrorDomain);
    EXPECT_EQ(error->code(), 101);
    EXPECT_EQ(error->localizedDescription(), "Database is down");
}

TEST_F(RequestPipelineTest, RefusedConnectionFailsTheRequestAndTheParse) {
    platform::URL url = [] {
        LoopbackServer closed;
        return closed.url("rest/items");
    }();
    Run run = send(ZQApplicationHelper::requestWithURL(url));
    EXPECT_EQ(run.delegate->names(),
              (std::vector<std::string>{"didFailLoading", "didFailParsing"}));
    ASSERT_NE(run.request->error(), nullptr);
    EXPECT_EQ(run.request->error()->domain(), platform::kURLErrorDomain);
    EXPECT_EQ(run.request->error()->code(), ZQURLErrorCannotConnectToHost);
    EXPECT_EQ(run.request->response(), nullptr);
    EXPECT_TRUE(run.request->data().isAbsent());
    EXPECT_EQ(run.parse->error()->code(), ZQErrorCodeNoData);
}

TEST_F(RequestPipelineTest, StalledServerTimesOut) {
    LoopbackResponse slow = LoopbackResponse::json("{}");
    slow.stallSeconds = 120;
    server.route("GET", "/rest/slow", slow);
    auto request = ZQApplicationHelper::requestWithURL(server.url("rest/slow"));
    request->setTimeoutInterval(0.3);
    Run run = send(request);
    ASSERT_NE(run.request->error(), nullptr);
    EXPECT_EQ(run.request->error()->code(), ZQURLErrorTimedOut);
    EXPECT_EQ(run.delegate->names().front(), "didFailLoading");
    server.releaseStalls();
}

TEST_F(RequestPipelineTest, ConnectionClosedMidBodyIsALostConnection) {
    LoopbackResponse cut = LoopbackResponse::json(std::string(5000, ' ') + "{}");
    cut.closeAfterBytes = 100;
    server.route("GET", "/rest/cut", cut);
    Run run = send(ZQApplicationHelper::requestWithURL(server.url("rest/cut")));
    ASSERT_NE(run.request->error(), nullptr);
    EXPECT_EQ(run.request->error()->code(), ZQURLErrorNetworkConnectionLost);
}

TEST_F(RequestPipelineTest, CancellingMidTransferStopsAtOnceWithoutCallbacks) {
    LoopbackResponse trickle = LoopbackResponse::json("[" + std::string(100000, ' ') + "]");
    trickle.stallAfterBytes = 10;
    trickle.stallMidBodySeconds = 120;
    server.route("GET", "/rest/trickle", trickle);
    auto delegate = std::make_shared<RecordingDelegate>();
    size_t before = ZQURLTransport::shared().activeTransferCount();
    auto parse = addURLRequestAndParseJSONOperationsForRequest(
        queue, ZQApplicationHelper::requestWithURL(server.url("rest/trickle")), delegate);
    auto request = parse->source();
    ASSERT_TRUE(server.waitForRequestCount(1));
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return request->isExecuting(); }));

    queue->cancelAllOperations();
    // Far less than the server's stall: the transfer was removed, not waited for.
    EXPECT_TRUE(
        zqtest::runMainLoopUntil([&] { return request->isFinished() && parse->isFinished(); }, 30));
    EXPECT_TRUE(zqtest::runMainLoopUntil(
        [&] { return ZQURLTransport::shared().activeTransferCount() == before; }, 30));
    zqtest::runMainLoopFor(0.1);
    EXPECT_TRUE(delegate->calls().empty()) << delegate->names().front();
    server.releaseStalls();
}

TEST_F(RequestPipelineTest, MalformedJSONFailsTheParseWithItsPlace) {
    server.route("GET", "/rest/bad", LoopbackResponse::json("{\"a\": [1, 2,\n  }"));
    Run run = send(ZQApplicationHelper::requestWithURL(server.url("rest/bad")));
    EXPECT_EQ(run.delegate->names(),
              (std::vector<std::string>{"didFinishLoading", "didFailParsing"}));
    ASSERT_NE(run.parse->error(), nullptr);
    EXPECT_EQ(run.parse->error()->domain(), ZQJSONErrorDomain);
    EXPECT_NE(run.parse->error()->localizedDescription().find("line 2"), std::string::npos)
        << run.parse->error()->localizedDescription();
    EXPECT_TRUE(run.parse->parsedData().isAbsent());
}

TEST_F(RequestPipelineTest, TenMegabyteBodyArrivesWholeAndParses) {
    std::string body = "[";
    size_t rows = 0;
    while (body.size() < 10u << 20) {
        if (rows) body += ',';
        body += R"({"id":)" + std::to_string(rows) + R"(,"name":"Customer )" +
                std::to_string(rows) + R"(","balance":1234.5,"active":true,"notes":null})";
        ++rows;
    }
    body += "]";
    server.route("GET", "/rest/big", LoopbackResponse::json(body));
    Run run = send(ZQApplicationHelper::requestWithURL(server.url("rest/big")));
    ASSERT_EQ(run.request->data().bytes()->size(), body.size());
    Value parsed = run.parse->parsedData();
    ASSERT_EQ(parsed.count(), rows);
    EXPECT_EQ(parsed.at(rows - 1)["id"], Value(static_cast<int64_t>(rows - 1)));
    EXPECT_EQ(parsed.at(7)["name"], Value("Customer 7"));
    EXPECT_TRUE(parsed.at(7)["notes"].isNull());
}

TEST_F(RequestPipelineTest, SequentialRequestsReuseOneConnection) {
    server.route("GET", "/rest/items", LoopbackResponse::json("[]"));
    for (int i = 0; i < 5; ++i) send(ZQApplicationHelper::requestWithURL(server.url("rest/items")));
    std::vector<LoopbackRequest> log = server.requests();
    ASSERT_EQ(log.size(), 5u);
    for (const LoopbackRequest& request : log) EXPECT_EQ(request.remotePort, log[0].remotePort);
}

TEST_F(RequestPipelineTest, ADelegateThatIsGoneHearsNothingAndTheChainStillFinishes) {
    server.route("GET", "/rest/items", LoopbackResponse::json("[1]"));
    auto delegate = std::make_shared<RecordingDelegate>();
    queue->setSuspended(true);
    auto parse = addURLRequestAndParseJSONOperationsForRequest(
        queue, ZQApplicationHelper::requestWithURL(server.url("rest/items")), delegate);
    std::weak_ptr<RecordingDelegate> weak = delegate;
    delegate.reset();
    queue->setSuspended(false);
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return parse->isFinished(); }));
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(parse->parsedData(), Value::array({1}));
}

}  // namespace
