// The transport keeps transfers off the worker pool: many slow requests in flight leave the pool
// free for other work.
#include <gtest/gtest.h>

#include <atomic>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/WorkerPool.hpp"
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

}  // namespace
