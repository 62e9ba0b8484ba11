// The data-service layer over loopback, each against plain code doing the same work in the same
// run (only ratios hold across runs):
//  - 100 identical loads issued at once through the service manager: one HTTP request, 100
//    delegates told; time from the first load to the last delegate, against one request through
//    the plain request pipeline held at the same gate;
//  - 1,000 distinct small requests (8 in flight) through the service manager against the plain
//    request pipeline (request and JSON parse operations on a queue).
// Run with --benchmark_out=<file> --benchmark_out_format=json to keep the figures.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManager.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"
#include "platform/Mutex.hpp"
#include "platform/OperationQueue.hpp"
#include "tests/support/LoopbackServer.hpp"

namespace {

constexpr int kIdenticalLoads = 100;
constexpr int kDistinctRequests = 1000;
constexpr int kInFlight = 8;

// Holds the server's answers until opened, so that every load is issued before any answer.
class Gate {
  public:
    void close() EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        open_ = false;
    }
    void open() EXCLUDES(mutex_) {
        {
            platform::MutexLock lock(mutex_);
            open_ = true;
        }
        cv_.notifyAll();
    }
    void waitOpen() EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        while (!open_) cv_.wait(mutex_);
    }

  private:
    platform::Mutex mutex_;
    platform::CondVar cv_;
    bool open_ GUARDED_BY(mutex_) = true;
};

struct Fixture {
    Fixture() : server(16, 5) {
        server.route("GET", "/rest/item", [this](const zqtest::LoopbackRequest&) {
            gate.waitOpen();
            return zqtest::LoopbackResponse::json(R"([{"id":1,"name":"Customer one"}])");
        });
    }
    Gate gate;
    zqtest::LoopbackServer server;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

// Counts reports from either path and lets the bench wait for a number of them.
class Counter : public ZQEntityDataServiceManagerDelegate,
                public ZQURLRequestOperationDelegate,
                public ZQParseJsonOperationDelegate {
  public:
    void entityDataServiceManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceManager>&,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>&,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) override {
        if (!result->isSuccessful()) failed_ = true;
        signal();
    }
    void urlRequestOperationDidFailLoading(const std::shared_ptr<ZQURLRequestOperation>&) override {
        failed_ = true;
        signal();
    }
    void parseJsonOperationDidFinishParsing(const std::shared_ptr<ZQParseJsonOperation>&) override {
        signal();
    }
    void parseJsonOperationDidFailParsing(const std::shared_ptr<ZQParseJsonOperation>&) override {
        failed_ = true;
        signal();
    }
    // Waits until n more reports came; false when one of them was a failure.
    bool wait(int n) EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        while (done_ < n) cv_.wait(mutex_);
        done_ -= n;
        return !failed_;
    }

  private:
    void signal() EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        ++done_;
        cv_.notifyAll();
    }
    std::atomic<bool> failed_{false};
    platform::Mutex mutex_;
    platform::CondVar cv_;
    int done_ GUARDED_BY(mutex_) = 0;
};

std::shared_ptr<ZQEntityDataServiceQueryInfo> itemQuery(uint64_t n) {
    return ZQEntityDataServiceQueryInfo::create(
        fixture().server.url("rest/item?start=0&count=20&zqid=" + std::to_string(n)), true,
        std::nullopt);
}

void BM_IdenticalLoads_ServiceManager(benchmark::State& state) {
    Fixture& f = fixture();
    auto manager = ZQEntityDataServiceManager::create();
    auto counter = std::make_shared<Counter>();
    uint64_t n = 0;
    size_t requests = 0;
    for (auto _ : state) {
        f.server.clearLog();
        f.gate.close();
        ++n;
        for (int i = 0; i < kIdenticalLoads; ++i) manager->load(itemQuery(n), counter);
        f.gate.open();
        if (!counter->wait(kIdenticalLoads)) state.SkipWithError("a load failed");
        requests += f.server.requestCount();
    }
    if (requests != static_cast<size_t>(state.iterations()))
        state.SkipWithError("not exactly one request per round");
    state.counters["requests_per_round"] =
        static_cast<double>(requests) / static_cast<double>(state.iterations());
    state.counters["delegates_per_round"] = kIdenticalLoads;
}

void BM_IdenticalLoads_PlainPipelineOneRequest(benchmark::State& state) {
    Fixture& f = fixture();
    auto queue = platform::OperationQueue::create("bench");
    auto counter = std::make_shared<Counter>();
    uint64_t n = 0;
    for (auto _ : state) {
        f.gate.close();
        auto request = ZQApplicationHelper::requestWithURL(itemQuery(++n)->url());
        addURLRequestAndParseJSONOperationsForRequest(queue, request, counter);
        f.gate.open();
        if (!counter->wait(1)) state.SkipWithError("the request failed");
    }
    queue->waitUntilAllOperationsAreFinished();
}

void BM_DistinctRequests_ServiceManager(benchmark::State& state) {
    auto manager = ZQEntityDataServiceManager::create();
    auto counter = std::make_shared<Counter>();
    uint64_t n = 1u << 30;
    for (auto _ : state) {
        fixture().server.clearLog();
        for (int sent = 0; sent < kDistinctRequests; sent += kInFlight) {
            for (int i = 0; i < kInFlight; ++i) manager->load(itemQuery(++n), counter);
            if (!counter->wait(kInFlight)) state.SkipWithError("a load failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kDistinctRequests);
}

void BM_DistinctRequests_PlainPipeline(benchmark::State& state) {
    auto queue = platform::OperationQueue::create("bench");
    auto counter = std::make_shared<Counter>();
    uint64_t n = 2u << 30;
    for (auto _ : state) {
        fixture().server.clearLog();
        for (int sent = 0; sent < kDistinctRequests; sent += kInFlight) {
            for (int i = 0; i < kInFlight; ++i) {
                auto request = ZQApplicationHelper::requestWithURL(itemQuery(++n)->url());
                addURLRequestAndParseJSONOperationsForRequest(queue, request, counter);
            }
            if (!counter->wait(kInFlight)) state.SkipWithError("a request failed");
        }
    }
    queue->waitUntilAllOperationsAreFinished();
    state.SetItemsProcessed(state.iterations() * kDistinctRequests);
}

BENCHMARK(BM_IdenticalLoads_ServiceManager)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_IdenticalLoads_PlainPipelineOneRequest)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DistinctRequests_ServiceManager)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DistinctRequests_PlainPipeline)->UseRealTime()->MinTime(3.0);

// Prints each measured path's time against its plain counterpart after the usual report.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        ratio("100 shared loads vs one plain request",
              "BM_IdenticalLoads_ServiceManager/min_time:2.000/real_time",
              "BM_IdenticalLoads_PlainPipelineOneRequest/min_time:2.000/real_time");
        ratio("1,000 distinct requests, manager vs plain",
              "BM_DistinctRequests_ServiceManager/min_time:3.000/real_time",
              "BM_DistinctRequests_PlainPipeline/min_time:3.000/real_time");
    }

  private:
    void ratio(const char* what, const std::string& measured, const std::string& plain) {
        auto m = times_.find(measured);
        auto p = times_.find(plain);
        if (m == times_.end() || p == times_.end() || p->second <= 0) return;
        std::printf("ratio %-45s %.2fx\n", what, m->second / p->second);
    }
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    // One allocator setting for both sides of every comparison: no trimming, no mmap churn.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
