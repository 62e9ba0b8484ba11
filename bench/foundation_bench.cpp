// The host foundation's request pipeline and JSON reading, each against plain code doing the same
// work in the same run (only ratios hold across runs):
//  - a 1 KB JSON answer over loopback with a kept-alive connection, through the request operation
//    (and the parse operation) versus a plain libcurl easy-handle loop (and the same parse);
//  - JSON text of 1,000 / 10,000 / 100,000 rows of 10 members parsed into platform::Value versus
//    simdjson's own DOM parse of the same text.
// The goal's ratios come from paired benchmarks, which run both sides in alternating blocks of
// 20-25 ms and take the median over the pairs of their ratio: on a shared machine, speed drifts by
// tens of percent over seconds, which would otherwise favour whichever side ran at the better
// moment. The separate benchmarks give each side's own figures (requests/s, MB/s); they run as
// short repetitions interleaved at random, and their ratio of medians is printed too.
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
#include "bench/BenchSupport.hpp"
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

// One easy handle, reused: the plain side of the request comparisons.
class PlainClient {
  public:
    PlainClient() : easy_(curl_easy_init()), url_(server().url()) {
        // The same header fields as ZQApplicationHelper::requestWithURL, so that both sides send
        // the same request and the server does the same work for each.
        std::string userAgent = std::string("User-Agent: ") + ZQApplicationHelper::kUserAgent;
        headers_ = curl_slist_append(nullptr, "Accept: application/json");
        headers_ = curl_slist_append(headers_, userAgent.c_str());
        curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &collect);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
    }
    ~PlainClient() {
        curl_slist_free_all(headers_);
        curl_easy_cleanup(easy_);
    }
    PlainClient(const PlainClient&) = delete;
    PlainClient& operator=(const PlainClient&) = delete;

    void get(bool parse) {
        body_.clear();
        if (curl_easy_perform(easy_) != CURLE_OK) failed = true;
        if (parse) benchmark::DoNotOptimize(ZQJSON::parse(body_));
    }
    bool failed = false;

  private:
    CURL* easy_;
    curl_slist* headers_ = nullptr;
    std::string url_;
    std::string body_;
};

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

// The request operation (and the parse operation) on an operation queue, one request at a time:
// the measured side.
class PipelineClient {
  public:
    explicit PipelineClient(bool parse)
        : parse_(parse),
          queue_(platform::OperationQueue::create("bench")),
          waiter_(std::make_shared<Waiter>(!parse)),
          url_(server().url()) {}
    ~PipelineClient() { queue_->waitUntilAllOperationsAreFinished(); }
    PipelineClient(const PipelineClient&) = delete;
    PipelineClient& operator=(const PipelineClient&) = delete;

    void get() {
        auto request = ZQApplicationHelper::requestWithURL(url_);
        if (parse_) {
            addURLRequestAndParseJSONOperationsForRequest(queue_, request, waiter_);
        } else {
            queue_->addOperation(ZQURLRequestOperation::create(request, waiter_));
        }
        if (!waiter_->wait()) failed = true;
    }
    bool failed = false;

  private:
    const bool parse_;
    std::shared_ptr<platform::OperationQueue> queue_;
    std::shared_ptr<Waiter> waiter_;
    std::string url_;
};

void plainCurlLoop(benchmark::State& state, bool parse) {
    PlainClient client;
    for (auto _ : state) client.get(parse);
    if (client.failed) state.SkipWithError("request failed");
    state.SetItemsProcessed(state.iterations());
}

void pipeline(benchmark::State& state, bool parse) {
    PipelineClient client(parse);
    for (auto _ : state) client.get();
    if (client.failed) state.SkipWithError("request failed");
    state.SetItemsProcessed(state.iterations());
}

// The counters of a paired comparison: each side's time per call and the ratio.
void pairedCounters(benchmark::State& state, const zqbench::PairedFigures& figures) {
    state.counters["plain_us"] = figures.plainSeconds * 1e6;
    state.counters["ours_us"] = figures.measuredSeconds * 1e6;
    state.counters["ratio"] = figures.ratio;
}

// Both sides in alternating blocks of requests, in the same stretch of seconds.
void pairedRequests(benchmark::State& state, bool parse) {
    PlainClient plain;
    PipelineClient ours(parse);
    for (auto _ : state) {
        pairedCounters(state, zqbench::comparePaired([&] { plain.get(parse); }, [&] { ours.get(); },
                                                     40, std::chrono::milliseconds(25)));
    }
    if (plain.failed || ours.failed) state.SkipWithError("request failed");
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
void BM_Request_Paired(benchmark::State& state) {
    pairedRequests(state, false);
}
void BM_RequestAndParse_Paired(benchmark::State& state) {
    pairedRequests(state, true);
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
BENCHMARK(BM_Request_Paired)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RequestAndParse_Paired)->Iterations(1)->Unit(benchmark::kMillisecond);

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

// One parse of each side, shared by the separate and the paired benchmarks.
void parseIntoValue(const std::string& text) {
    ZQJSONParseResult result = ZQJSON::parse(text);
    benchmark::DoNotOptimize(result.value);
}
// The same input handling as ZQJSON: a padded copy of the text, then the DOM. False on failure.
bool parseSimdjsonDOM(simdjson::dom::parser& parser, const std::string& text) {
    simdjson::padded_string padded(text);
    simdjson::dom::element root;
    if (parser.parse(padded).get(root)) return false;
    benchmark::DoNotOptimize(root);
    return true;
}

void BM_Parse_ZQJSONIntoValue(benchmark::State& state) {
    size_t rows = static_cast<size_t>(state.range(0));
    const std::string& text = rowsText(rows);
    // Both sides parse once untimed, so that the parser's buffers for a text of this size exist
    // (at 100,000 rows a single timed iteration would otherwise include all first-time setup).
    parseIntoValue(text);
    for (auto _ : state) parseIntoValue(text);
    parseCounters(state, rows, text.size());
}

void BM_Parse_SimdjsonDOM(benchmark::State& state) {
    size_t rows = static_cast<size_t>(state.range(0));
    const std::string& text = rowsText(rows);
    simdjson::dom::parser parser;
    bool parsed = parseSimdjsonDOM(parser, text);
    for (auto _ : state) parsed = parseSimdjsonDOM(parser, text) && parsed;
    if (!parsed) state.SkipWithError("parse failed");
    parseCounters(state, rows, text.size());
}

// Both parses in alternating blocks, in the same stretch of seconds.
void BM_Parse_Paired(benchmark::State& state) {
    const std::string& text = rowsText(static_cast<size_t>(state.range(0)));
    simdjson::dom::parser parser;
    bool parsed = true;
    auto plain = [&] { parsed = parseSimdjsonDOM(parser, text) && parsed; };
    auto ours = [&] { parseIntoValue(text); };
    for (auto _ : state) {
        pairedCounters(state,
                       zqbench::comparePaired(plain, ours, 30, std::chrono::milliseconds(20)));
    }
    if (!parsed) state.SkipWithError("parse failed");
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
BENCHMARK(BM_Parse_Paired)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Prints, after the usual report, the ratio of each measured path to its plain counterpart: from
// the paired comparison (the goal's figure), and from the separate benchmarks, whose medians of
// repetitions (or single runs, with --benchmark_repetitions=1) were taken seconds apart.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            if (auto ratio = run.counters.find("ratio"); ratio != run.counters.end()) {
                paired_[name] = ratio->second.value;
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[name] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration) {
                singles_[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        compare("request, per-request time", "BM_Request_Paired", "BM_Request_Pipeline",
                "BM_Request_PlainCurlEasyLoop", 1.3);
        compare("request and parse, per-request time", "BM_RequestAndParse_Paired",
                "BM_RequestAndParse_Pipeline", "BM_RequestAndParse_PlainCurlEasyLoop", 1.3);
        for (std::string rows : {"1000", "10000", "100000"}) {
            compare("parse into Value, " + rows + " rows", "BM_Parse_Paired/" + rows,
                    "BM_Parse_ZQJSONIntoValue/" + rows, "BM_Parse_SimdjsonDOM/" + rows, 3.0);
        }
    }

  private:
    std::optional<double> time(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        if (auto s = singles_.find(name); s != singles_.end()) return s->second;
        return std::nullopt;
    }
    void compare(const std::string& what, const std::string& paired, const std::string& measured,
                 const std::string& plain, double goal) {
        if (auto r = paired_.find(paired); r != paired_.end()) {
            std::printf("ratio %-40s %.2fx (goal <= %.1fx) %s\n", what.c_str(), r->second, goal,
                        r->second <= goal ? "met" : "NOT met");
        }
        std::optional<double> m = time(measured);
        std::optional<double> p = time(plain);
        if (m && p && *p > 0) {
            std::printf("      %-40s %.2fx from the separate benchmarks\n", what.c_str(), *m / *p);
        }
    }
    std::map<std::string, double> paired_;
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
