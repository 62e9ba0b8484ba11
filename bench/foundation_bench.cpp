// The host foundation's request pipeline and JSON reading, each against plain code doing the same
// work in the same run (only ratios hold across runs):
//  - a 1 KB JSON answer over loopback with a kept-alive connection, through the request operation
//    (and the parse operation) versus a plain libcurl easy-handle loop (and the same parse);
//  - JSON text of 1,000 / 10,000 / 100,000 rows of 10 members parsed into platform::Value versus
//    simdjson's own DOM parse of the same text.
// Each compared benchmark runs as several short repetitions, interleaved at random with those of
// the others, and a ratio compares medians: on a shared machine, speed drifts over seconds, which
// would otherwise favour whichever side ran at the better moment.
// Run with --benchmark_out=<file> --benchmark_out_format=json to keep the figures.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>
#include <malloc.h>
#include <simdjson.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/Mutex.hpp"
#include "platform/OperationQueue.hpp"

namespace {

// Rows of 10 members, as a data provider answers them.
std::string rowsJSON(size_t rows) {
    std::string text = "[";
    for (size_t i = 0; i < rows; ++i) {
        if (i) text += ',';
        std::string n = std::to_string(i);
        text += R"({"id":)" + n + R"(,"code":"C)" + n + R"(","name":"Customer number )" + n +
                R"(","email":"customer)" + n + R"(@example.com","balance":)" + n +
                R"(.25,"active":true,"created":"2024-01-31T12:00:00","quantity":)" +
                std::to_string(i % 97) + R"(,"rate":0.075,"notes":null})";
    }
    return text + "]";
}

// The loopback server, started once.
class Server {
  public:
    Server() {
        std::string body = rowsJSON(4);
        body.resize(1024 - 1, ' ');
        body += ' ';
        body_ = body;
        server_.new_task_queue = [] { return new httplib::ThreadPool(16); };  // owned by httplib
        server_.set_keep_alive_max_count(100000000);
        server_.set_tcp_nodelay(true);
        server_.Get("/item", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(body_, "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Server() {
        server_.stop();
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/item"; }

  private:
    httplib::Server server_;
    std::string body_;
    int port_ = 0;
    std::thread thread_;
};

Server& server() {
    static Server instance;
    return instance;
}

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void plainCurlLoop(benchmark::State& state, bool parse) {
    CURL* easy = curl_easy_init();
    std::string url = server().url();
    std::string body;
    // The same header fields as ZQApplicationHelper::requestWithURL, so that both sides send the
    // same request and the server does the same work for each.
    std::string userAgent = std::string("User-Agent: ") + ZQApplicationHelper::kUserAgent;
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    headers = curl_slist_append(headers, userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("request failed");
        if (parse) benchmark::DoNotOptimize(ZQJSON::parse(body));
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
    state.SetItemsProcessed(state.iterations());
}

// Waits for the end of chains, one wait() each; the delegate signals from a worker.
class Waiter : public ZQURLRequestOperationDelegate, public ZQParseJsonOperationDelegate {
  public:
    explicit Waiter(bool endsAfterRequest) : endsAfterRequest_(endsAfterRequest) {}
    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>&) override {
        if (endsAfterRequest_) signal();
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
    bool wait() {
        platform::MutexLock lock(mutex_);
        while (done_ == 0) cv_.wait(mutex_);
        --done_;
        return !failed_;
    }

  private:
    void signal() {
        {
            platform::MutexLock lock(mutex_);
            ++done_;
        }
        cv_.notifyOne();  // after unlocking, so the woken thread does not block on the mutex
    }
    const bool endsAfterRequest_;
    std::atomic<bool> failed_{false};
    platform::Mutex mutex_;
    platform::CondVar cv_;
    int done_ GUARDED_BY(mutex_) = 0;  // chains ended and not yet waited for
};

void pipeline(benchmark::State& state, bool parse) {
    auto queue = platform::OperationQueue::create("bench");
    auto waiter = std::make_shared<Waiter>(!parse);
    std::string url = server().url();
    for (auto _ : state) {
        auto request = ZQApplicationHelper::requestWithURL(url);
        if (parse) {
            addURLRequestAndParseJSONOperationsForRequest(queue, request, waiter);
        } else {
            queue->addOperation(ZQURLRequestOperation::create(request, waiter));
        }
        if (!waiter->wait()) state.SkipWithError("request failed");
    }
    queue->waitUntilAllOperationsAreFinished();
    state.SetItemsProcessed(state.iterations());
}

// Throughput with several requests in flight on kept-alive connections: items/s is requests/s.
void BM_Request_Pipeline_8InFlight(benchmark::State& state) {
    constexpr int kInFlight = 8;
    auto queue = platform::OperationQueue::create("bench");
    auto waiter = std::make_shared<Waiter>(true);
    std::string url = server().url();
    for (auto _ : state) {
        for (int i = 0; i < kInFlight; ++i) {
            queue->addOperation(
                ZQURLRequestOperation::create(ZQApplicationHelper::requestWithURL(url), waiter));
        }
        for (int i = 0; i < kInFlight; ++i) {
            if (!waiter->wait()) state.SkipWithError("request failed");
        }
    }
    queue->waitUntilAllOperationsAreFinished();
    state.SetItemsProcessed(state.iterations() * kInFlight);
}

void BM_Request_PlainCurlEasyLoop(benchmark::State& state) {
    plainCurlLoop(state, false);
}
void BM_Request_Pipeline(benchmark::State& state) {
    pipeline(state, false);
}
void BM_RequestAndParse_PlainCurlEasyLoop(benchmark::State& state) {
    plainCurlLoop(state, true);
}
void BM_RequestAndParse_Pipeline(benchmark::State& state) {
    pipeline(state, true);
}

constexpr int kRepetitions = 8;

BENCHMARK(BM_Request_PlainCurlEasyLoop)
    ->UseRealTime()
    ->MinTime(0.5)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_Request_Pipeline)
    ->UseRealTime()
    ->MinTime(0.5)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_RequestAndParse_PlainCurlEasyLoop)
    ->UseRealTime()
    ->MinTime(0.5)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_RequestAndParse_Pipeline)
    ->UseRealTime()
    ->MinTime(0.5)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_Request_Pipeline_8InFlight)->UseRealTime()->MinTime(2.0);

const std::string& rowsText(size_t rows) {
    static std::map<size_t, std::string> texts;
    auto& text = texts[rows];
    if (text.empty()) text = rowsJSON(rows);
    return text;
}

void parseCounters(benchmark::State& state, size_t rows, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    // Seconds per row, printed with an SI prefix ("92n" is 92 ns).
    state.counters["time_per_row"] =
        benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Parse_ZQJSONIntoValue(benchmark::State& state) {
    size_t rows = static_cast<size_t>(state.range(0));
    const std::string& text = rowsText(rows);
    // Both sides parse once untimed, so that the parser's buffers for a text of this size exist
    // (at 100,000 rows a single timed iteration would otherwise include all first-time setup).
    benchmark::DoNotOptimize(ZQJSON::parse(text).value);
    for (auto _ : state) {
        ZQJSONParseResult result = ZQJSON::parse(text);
        benchmark::DoNotOptimize(result.value);
    }
    parseCounters(state, rows, text.size());
}

void BM_Parse_SimdjsonDOM(benchmark::State& state) {
    size_t rows = static_cast<size_t>(state.range(0));
    const std::string& text = rowsText(rows);
    simdjson::dom::parser parser;
    simdjson::padded_string warmText(text);
    simdjson::dom::element warm;
    if (parser.parse(warmText).get(warm)) state.SkipWithError("parse failed");
    for (auto _ : state) {
        // The same input handling as ZQJSON: a padded copy of the text, then the DOM.
        simdjson::padded_string padded(text);
        simdjson::dom::element root;
        if (parser.parse(padded).get(root)) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(root);
    }
    parseCounters(state, rows, text.size());
}

BENCHMARK(BM_Parse_ZQJSONIntoValue)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_Parse_SimdjsonDOM)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly();

// Prints the ratios of each measured path to its plain counterpart after the usual report: of the
// medians of the repetitions, or of the single runs when there are none
// (--benchmark_repetitions=1).
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[name] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration) {
                singles_[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        ratio("request, per-request time", "BM_Request_Pipeline", "BM_Request_PlainCurlEasyLoop",
              1.3);
        ratio("request and parse, per-request time", "BM_RequestAndParse_Pipeline",
              "BM_RequestAndParse_PlainCurlEasyLoop", 1.3);
        for (const char* rows : {"1000", "10000", "100000"}) {
            ratio((std::string("parse into Value, ") + rows + " rows").c_str(),
                  std::string("BM_Parse_ZQJSONIntoValue/") + rows,
                  std::string("BM_Parse_SimdjsonDOM/") + rows, 3.0);
        }
    }

  private:
    std::optional<double> time(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        if (auto s = singles_.find(name); s != singles_.end()) return s->second;
        return std::nullopt;
    }
    void ratio(const char* what, const std::string& measured, const std::string& plain,
               double goal) {
        std::optional<double> m = time(measured);
        std::optional<double> p = time(plain);
        if (!m || !p || *p <= 0) return;
        double r = *m / *p;
        std::printf("ratio %-40s %.2fx (goal <= %.1fx) %s\n", what, r, goal,
                    r <= goal ? "met" : "NOT met");
    }
    std::map<std::string, double> medians_;
    std::map<std::string, double> singles_;
};

}  // namespace

int main(int argc, char** argv) {
    // One allocator setting for both sides of every comparison: no trimming, no mmap churn.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // Interleaved unless the command line says otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    bool given = false;
    for (int i = 1; i < argc; ++i) {
        given = given ||
                std::string_view(argv[i]).starts_with("--benchmark_enable_random_interleaving");
    }
    if (!given) args.insert(args.begin() + 1, interleave.data());
    argc = static_cast<int>(args.size());
    args.push_back(nullptr);
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
