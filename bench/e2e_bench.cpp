// The road of one query, end to end: the entity data manager's load with a delegate, from the call
// until the answer reaches the delegate on the main thread, against plain code doing the same work
// in the same run, at 1,000 / 10,000 / 100,000 rows of the sample application's invoice list
// (five fields, cached in the SQLite store with a 10-minute window), served by the sample REST
// server on loopback from synthetic invoices:
//   FirstEmpty - a First query without page limit into an empty cache: cache check, GET, parse,
//                save, read-back. Plain, twice: a libcurl GET of the same URL, a YAJL tree parse
//                (FirstEmpty) or a simdjson DOM parse (FirstEmptySimdjson), an upsert of the rows
//                and of the query's row list in one transaction, a read-back of the rows into
//                plain structs (E2EPlainPipeline.hpp).
//   FirstFresh - the same query answered from the cache within its window (no request). Plain: a
//                SELECT of the query record and a joined SELECT of its rows into plain structs.
//   Joined100  - 100 equal First queries, one delegate each, loaded back to back into an empty
//                cache; the server must see exactly one request. Compared with FirstEmpty.
// FirstFresh and FirstEmpty (YAJL) also run paired: both sides alternate in the same run (blocks
// of calls for FirstFresh, one call each into a new store for FirstEmpty), the ratio being the
// median over the pairs.
// Each empty-cache iteration gets a new application root, model and manager, with the store
// already open, so opening the SQLite file is outside the timed part on both sides. The library
// runs on the worker pool and the main loop, so the figures are wall time and the process's CPU
// time (which includes the in-process server on both sides). At exit a table gives each pair's
// best iteration and their ratios; a second table splits the best empty-cache load at the
// server's answer and adds, outside the timed part, the first read of every field of the
// delivered rows (they arrive as faults) and the objects the main context holds once the answers
// are let go of; last, for each empty-cache side, the peak resident memory one more load at each
// size added (zqbench::ResidentPeak, the same way for every side), next to the answer's size in
// bytes and their ratio. That load runs untimed in a new process of this program (ZQ_E2E_PEAK),
// after a load of the first 1,000 rows has paid the one-time start-up costs (ICU's data, the
// pool's threads, the store's caches), and asks this process's server, as an application asks a
// server elsewhere: measured in this process, it reused the pages earlier loads had freed, and
// its figure depended on what ran before it and held the server's own copies of the answer.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithList.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "bench/BenchSupport.hpp"
#include "bench/E2EPlainPipeline.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "examples/sample-server/ZQSampleSyntheticInvoices.hpp"
#include "platform/MainLoop.hpp"

using namespace platform;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr const char* kListProvider = ZQSampleSyntheticInvoices::kListProvider;
constexpr const char* kListPath = "rest/Sales/WorkWithInvoice/Invoice/List";
constexpr uint64_t kZqid = 7;
constexpr int kJoinedQueries = 100;
// Only guards against a hang; never a measure.
constexpr double kWaitSeconds = 600;

std::filesystem::path benchFolder() {
    return zqbench::runFolder("zq-e2e-bench-");
}

// ---- timing and figures

using zqbench::peakResidentMB;

// The peak resident increase of one more empty-cache load of each side at one size, in MB.
struct Memory {
    double store = 0, yajl = 0, simdjson = 0;
    size_t answerBytes = 0;
    bool exact = true;  // every figure from the kernel's high-water mark
};
// Not part of the road but part of its cost to a real delegate: reading every field of every
// delivered row the first time (the rows arrive as faults of the main context), and how many
// objects the main context holds once the answers were delivered.
struct AfterDelivery {
    double firstFieldRead = 0;      // seconds, best iteration
    size_t mainContextObjects = 0;  // once the answers are let go of
    // Of the best FirstEmpty iteration: from load to the server's answer written, and from there
    // to the delivery (transfer, parse, save, merge, read-back, delivery).
    double toAnswer = 0, afterAnswer = 0, total = 0;
};
std::map<int, AfterDelivery>& afterDelivery() {
    static std::map<int, AfterDelivery> a;
    return a;
}

const char* const kFields[] = {"InvoiceId", "InvoiceDate", "CustomerName", "InvoiceTotal",
                               "InvoicePaid"};
std::map<int, Memory>& memory() {
    static std::map<int, Memory> m;
    return m;
}

// The peak resident increase of one more empty-cache load of `side` at `rows`, in a process of
// its own; kept in `peakMB`.
void peakInProcessOfItsOwn(const std::string& side, int rows, double& peakMB);

// The library runs on workers and the main loop, so the process's CPU time (which includes the
// in-process server on both sides) is the measure.
template <typename Work>
void timed(benchmark::State& state, const std::string& work, bool plain, Work&& body) {
    zqbench::timed(state, work, plain, zqbench::processCPU, std::forward<Work>(body));
}

// ---- the server and the application model

// When the server last finished writing an answer (steady clock ticks): splits the road into
// the part up to the server's answer and the part after it.
std::atomic<SteadyClock::rep>& lastAnswerWritten() {
    static std::atomic<SteadyClock::rep> at{0};
    return at;
}

struct World {
    // None in a peak child, which asks the parent's server (kPeakServerVariable).
    std::unique_ptr<ZQSampleServer> server;
    std::string baseURL;
    std::shared_ptr<const ZQApplicationModel> appModel;
    std::shared_ptr<ManagedObjectModel> schema;
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> invoices;
    size_t servedRows = 0;
    // The URL of the library's request, which the plain side fetches too.
    std::string requestURL;
};

// The sample model, pointed at the running server (whose base URL keeps the model's path).
std::string sampleModelText(const std::string& serverBaseURL) {
    std::ifstream in(ZQSampleServer::sampleApplicationDirectory() / "model.json");
    std::stringstream text;
    text << in.rdbuf();
    std::string model = text.str();
    const std::string placeholder = "http://127.0.0.1:8080/sample/";
    auto at = model.find(placeholder);
    if (at == std::string::npos) throw std::runtime_error("no server URL in the sample model");
    model.replace(at, placeholder.size(), serverBaseURL);
    return model;
}

// The list's URL without a query (the plain side's cache key), and the URL of a First query of
// its first `count` rows (0: every row), as the library asks for it.
std::string listURI(const std::string& baseURL) {
    return baseURL + kListPath;
}
std::string listRequestURL(const std::string& baseURL, uint64_t count) {
    return listURI(baseURL) + "?start=0&count=" + std::to_string(count) +
           "&zqid=" + std::to_string(kZqid);
}

// Set in a peak child (with ZQ_E2E_PEAK): the base URL of the parent's server.
constexpr const char* kPeakServerVariable = "ZQ_E2E_PEAK_SERVER";

World& world() {
    static World w = [] {
        World made;
        if (const char* parentServer = std::getenv(kPeakServerVariable)) {
            made.baseURL = parentServer;
        } else {
            ZQSampleServerOptions options;
            options.loadDataFiles = false;
            options.onRequest = [](const ZQSampleRequestRecord&) {
                lastAnswerWritten().store(SteadyClock::now().time_since_epoch().count());
            };
            auto created = ZQSampleServer::create(options);
            if (created.error) throw std::runtime_error(created.error->description());
            made.server = std::move(created.server);
            if (auto error = made.server->start()) throw std::runtime_error(error->description());
            made.baseURL = made.server->baseURL();
        }
        auto loaded = ZQApplicationModelLoader::loadFromString(sampleModelText(made.baseURL),
                                                               "e2e-bench-model");
        if (loaded.error) throw std::runtime_error(loaded.error->description());
        made.appModel = loaded.model;
        ErrorPtr error;
        made.schema =
            ZQCoreDataModelFactory::coreDataModelForApplicationModel(made.appModel, &error);
        if (!made.schema) throw std::runtime_error(error ? error->description() : "no schema");
        ZQCoreDataCacheClasses::registerClasses();
        auto level = made.appModel->workWithsByName().at("WorkWithInvoice")->levels().at(0);
        auto data = made.appModel->dataProviderNamed(kListProvider);
        made.invoices = ZQRemoteWorkWithCollectionDataSource::create(
            data->workWithModel(), data,
            level->list()->parameters().value_or(ZQWorkWithParameters{}));
        made.requestURL = listRequestURL(made.baseURL, 0);
        return made;
    }();
    return w;
}

void serveRows(size_t n) {
    World& w = world();
    if (w.servedRows == n) return;
    if (auto error = w.server->loadSyntheticInvoices(n, 0)) {
        throw std::runtime_error(error->description());
    }
    w.servedRows = n;
}

size_t listRequests() {
    return world().server->requestCountForProvider(kListProvider);
}

// ---- the library side

// Counts the answers of its query. The manager answers on the main thread, which is the
// benchmark's thread, so the result needs no lock; the count and the thread check are atomic so
// that a wrong-thread answer is reported rather than raced.
class CountingDelegate : public ZQEntityDataManagerDelegate {
  public:
    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>&, const std::shared_ptr<ZQEntityDataQueryInfo>&,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) override {
        if (!isMainThread()) {
            offMain_.store(true);
        } else {
            result_ = result;
        }
        count_.fetch_add(1);
    }
    int count() const { return count_.load(); }
    const std::shared_ptr<ZQEntityDataQueryResult>& result() const { return result_; }
    // The rows of the one answer; throws on an error, a wrong thread or a missing answer.
    size_t rows() const {
        if (offMain_.load()) throw std::runtime_error("answer off the main thread");
        if (count() != 1) throw std::runtime_error("expected exactly one answer");
        if (result_->error()) throw std::runtime_error(result_->error()->description());
        auto collection = std::dynamic_pointer_cast<ZQEntityDataQueryCollectionResult>(result_);
        if (!collection || !collection->resultData()) throw std::runtime_error("no rows");
        size_t rows = 0;
        for (const auto& section : *collection->resultData()) rows += section.size();
        return rows;
    }

  private:
    std::atomic<int> count_{0};
    std::atomic<bool> offMain_{false};
    std::shared_ptr<ZQEntityDataQueryResult> result_;
};

// One application run: its own root folder (so its own cache file), model and manager. The
// store is opened on construction, outside any timed part.
class App {
  public:
    App() : root_(benchFolder() / ("app-" + std::to_string(++counter_))) {
        std::filesystem::create_directories(root_);
        ZQApplicationStorageService::sharedInstance()->setApplicationRoot(root_);
        Dictionary objects;
        objects.set(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel,
                    Value::object(world().schema));
        model_ = ZQModel::create(world().appModel, objects);
        if (!ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
                model_, model_->modelObjects())) {
            throw std::runtime_error("cache initialisation");
        }
        ZQModel::setCurrentModel(model_);
        if (!ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model_)) {
            throw std::runtime_error("no cache store");
        }
        manager_ = ZQRemoteEntityDataManager::create();
    }
    ~App() {
        manager_->cancelAllOperations();
        waitUntilIdle();
        manager_.reset();
        ZQModel::setCurrentModel(nullptr);
        model_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // A First query of every row (pageSize 0) or of the first pageSize rows.
    static std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> firstQuery(uint64_t pageSize) {
        return ZQRemoteEntityDataQueryCollectionInfo::create(
            world().invoices, ZQRemoteEntityDataQueryType::First, std::nullopt, kZqid, false,
            pageSize, ZQNotFound, std::nullopt, ZQNotFound, std::nullopt);
    }

    // Loads a First query for every delegate and runs the main loop until all are answered.
    void loadAndWait(const std::vector<std::shared_ptr<CountingDelegate>>& delegates,
                     uint64_t pageSize = 0) {
        for (const auto& delegate : delegates) manager_->load(firstQuery(pageSize), delegate);
        bool answered = MainLoop::runUntil(
            [&] {
                for (const auto& delegate : delegates) {
                    if (delegate->count() == 0) return false;
                }
                return true;
            },
            kWaitSeconds);
        if (!answered) throw std::runtime_error("no answer in time");
    }

    void waitUntilIdle() {
        MainLoop::runUntil(
            [this] {
                return manager_->cacheOperationQueue()->operationCount() == 0 &&
                       manager_->serviceManager()->runningLoadCount() == 0;
            },
            kWaitSeconds);
    }

    size_t mainContextObjects() const {
        auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model_);
        return context ? context->registeredObjectCount() : 0;
    }

  private:
    static inline int counter_ = 0;
    std::filesystem::path root_;
    std::shared_ptr<ZQModel> model_;
    std::shared_ptr<ZQRemoteEntityDataManager> manager_;
};

void checkRows(size_t rows, int n) {
    if (rows != static_cast<size_t>(n)) {
        throw std::runtime_error("got " + std::to_string(rows) + " rows, expected " +
                                 std::to_string(n));
    }
}

// Reads every field of every row of the answer; returns the seconds it took.
double readAllFields(const ZQEntityDataQueryResult& result) {
    return zqbench::secondsOf([&] {
        const auto* collection = dynamic_cast<const ZQEntityDataQueryCollectionResult*>(&result);
        size_t present = 0;
        for (const auto& section : *collection->resultData()) {
            for (const auto& item : section) {
                for (const char* field : kFields) {
                    if (!item->valueForEntityDataFieldName(field).isAbsent()) ++present;
                }
            }
        }
        benchmark::DoNotOptimize(present);
    });
}

void rememberRequestURL() {
    auto log = world().server->requestLog();
    if (!log.empty()) world().requestURL = log.back().url;
}

void BM_FirstEmpty_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    for (auto _ : state) {
        App app;
        auto delegate = std::make_shared<CountingDelegate>();
        size_t requests = listRequests();
        auto start = SteadyClock::now();
        timed(state, "FirstEmpty", false, [&] { app.loadAndWait({delegate}); });
        auto end = SteadyClock::now();
        AfterDelivery& split = afterDelivery()[n];
        if (split.total == 0 || end - start < std::chrono::duration<double>(split.total)) {
            SteadyClock::time_point answered{SteadyClock::duration(lastAnswerWritten().load())};
            split.total = std::chrono::duration<double>(end - start).count();
            split.toAnswer = std::chrono::duration<double>(answered - start).count();
            split.afterAnswer = std::chrono::duration<double>(end - answered).count();
        }
        checkRows(delegate->rows(), n);
        if (listRequests() != requests + 1) throw std::runtime_error("expected one request");
        rememberRequestURL();
        double read = readAllFields(*delegate->result());
        double& best = afterDelivery()[n].firstFieldRead;
        if (best == 0 || read < best) best = read;
    }
    peakInProcessOfItsOwn("store", n, memory()[n].store);
}

void BM_FirstFresh_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    App app;
    auto first = std::make_shared<CountingDelegate>();
    app.loadAndWait({first});
    checkRows(first->rows(), n);
    app.waitUntilIdle();
    size_t requests = listRequests();
    for (auto _ : state) {
        auto delegate = std::make_shared<CountingDelegate>();
        timed(state, "FirstFresh", false, [&] { app.loadAndWait({delegate}); });
        checkRows(delegate->rows(), n);
    }
    if (listRequests() != requests) throw std::runtime_error("a fresh cache asked the server");
    // Once every answer is let go of, the main context should hold none of its rows.
    first.reset();
    app.waitUntilIdle();
    afterDelivery()[n].mainContextObjects = app.mainContextObjects();
}

void BM_Joined100_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    for (auto _ : state) {
        App app;
        std::vector<std::shared_ptr<CountingDelegate>> delegates;
        for (int i = 0; i < kJoinedQueries; ++i) {
            delegates.push_back(std::make_shared<CountingDelegate>());
        }
        size_t requests = listRequests();
        timed(state, "Joined100", false, [&] { app.loadAndWait(delegates); });
        for (const auto& delegate : delegates) checkRows(delegate->rows(), n);
        size_t seen = listRequests() - requests;
        state.counters["server_requests"] = static_cast<double>(seen);
        if (seen != 1) {
            throw std::runtime_error("server saw " + std::to_string(seen) + " requests");
        }
    }
}

// One empty-cache load of `side` ("store", "yajl" or "simdjson") at `rows` in a new process of
// this program (peakChild), so that no earlier load's freed pages are reused and the figure does
// not depend on what ran before it in this process. The child asks this process's server, which
// serves `rows` rows by now: the server's own work for the answer (the rows' texts, the joined
// answer, the socket's buffers) is not the application's memory.
void peakInProcessOfItsOwn(const std::string& side, int rows, double& peakMB) {
    const std::string command = "ZQ_E2E_PEAK='" + side + " " + std::to_string(rows) + " " +
                                world().requestURL + "' " + kPeakServerVariable + "='" +
                                world().baseURL + "' " +
                                std::filesystem::read_symlink("/proc/self/exe").string();
    FILE* child = popen(command.c_str(), "r");
    if (!child) throw std::runtime_error("cannot start the peak measurement");
    double mb = -1;
    int exact = 0;
    int matched = std::fscanf(child, "peak %lf exact %d", &mb, &exact);
    if (pclose(child) != 0 || matched != 2 || mb < 0)
        throw std::runtime_error("the peak measurement of " + side + " failed");
    peakMB = mb;
    if (!exact) memory()[rows].exact = false;
}

std::string plainFile(const char* name) {
    return (benchFolder() / name).string();
}

using e2eplain::PlainDb;
using e2eplain::Row;

// `parse` is the JSON half of the plain pipeline: e2eplain::plainFirstYajl or plainFirstSimdjson.
void firstEmptyPlain(benchmark::State& state, const char* work, double Memory::*peak,
                     std::vector<Row> (*pipeline)(PlainDb&, const std::string&,
                                                  const std::string&)) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    const std::string uri = listURI(world().baseURL);
    for (auto _ : state) {
        PlainDb db(plainFile("plain-first.sqlite"));
        std::vector<Row> rows;
        timed(state, work, true, [&] { rows = pipeline(db, world().requestURL, uri); });
        checkRows(rows.size(), n);
    }
    memory()[n].answerBytes = e2eplain::plainHttp().lastBodySize();
    peakInProcessOfItsOwn(pipeline == e2eplain::plainFirstYajl ? "yajl" : "simdjson", n,
                          memory()[n].*peak);
}

void BM_FirstEmpty_Plain(benchmark::State& state) {
    firstEmptyPlain(state, "FirstEmpty", &Memory::yajl, e2eplain::plainFirstYajl);
}

void BM_FirstEmptySimdjson_Plain(benchmark::State& state) {
    firstEmptyPlain(state, "FirstEmptySimdjson", &Memory::simdjson, e2eplain::plainFirstSimdjson);
}

void BM_FirstFresh_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    const std::string uri = listURI(world().baseURL);
    PlainDb db(plainFile("plain-fresh.sqlite"));
    checkRows(e2eplain::plainFirstYajl(db, world().requestURL, uri).size(), n);
    for (auto _ : state) {
        std::vector<Row> rows;
        timed(state, "FirstFresh", true, [&] { rows = e2eplain::plainReadBack(db, uri); });
        checkRows(rows.size(), n);
    }
}

// The paired figures by work ("FirstFresh", "FirstEmpty") and rows, printed at exit.
std::map<std::string, std::map<int, zqbench::PairedFigures>>& pairedFigures() {
    static std::map<std::string, std::map<int, zqbench::PairedFigures>> byWork;
    return byWork;
}

// FirstFresh again with both sides in alternating blocks: the separate runs above meet the
// machine seconds apart, and on a shared machine the drift between them is as large as the goal.
void BM_FirstFresh_Paired(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    const std::string uri = listURI(world().baseURL);
    PlainDb db(plainFile("plain-fresh-paired.sqlite"));
    checkRows(e2eplain::plainFirstYajl(db, world().requestURL, uri).size(), n);
    App app;
    auto first = std::make_shared<CountingDelegate>();
    app.loadAndWait({first});
    checkRows(first->rows(), n);
    app.waitUntilIdle();
    for (auto _ : state) {
        auto paired =
            zqbench::comparePaired([&] { checkRows(e2eplain::plainReadBack(db, uri).size(), n); },
                                   [&] {
                                       auto delegate = std::make_shared<CountingDelegate>();
                                       app.loadAndWait({delegate});
                                       checkRows(delegate->rows(), n);
                                   },
                                   10, std::chrono::milliseconds(n >= 100000 ? 400 : 100));
        state.counters["ratio"] = paired.ratio;
        pairedFigures()["FirstFresh"][n] = paired;
    }
}

// FirstEmpty with the YAJL pipeline, one call of each side after the other (each into a new
// store, made untimed), for the same reason.
void BM_FirstEmpty_Paired(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    const std::string uri = listURI(world().baseURL);
    for (auto _ : state) {
        auto paired = zqbench::comparePairedCalls(
            [&] {
                PlainDb db(plainFile("plain-empty-paired.sqlite"));
                std::vector<Row> rows;
                double seconds = zqbench::secondsOf(
                    [&] { rows = e2eplain::plainFirstYajl(db, world().requestURL, uri); });
                checkRows(rows.size(), n);
                return seconds;
            },
            [&] {
                App app;
                auto delegate = std::make_shared<CountingDelegate>();
                double seconds = zqbench::secondsOf([&] { app.loadAndWait({delegate}); });
                checkRows(delegate->rows(), n);
                return seconds;
            },
            n >= 100000 ? 7 : 15);
        state.counters["ratio"] = paired.ratio;
        pairedFigures()["FirstEmpty"][n] = paired;
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    zqbench::rowSizes(b, 3);
}

// The library's empty-cache load runs first, so that the plain side fetches the URL it sent.
BENCHMARK(BM_FirstEmpty_Store)->Apply(sizes);
BENCHMARK(BM_FirstEmpty_Plain)->Apply(sizes);
BENCHMARK(BM_FirstEmptySimdjson_Plain)->Apply(sizes);
BENCHMARK(BM_FirstFresh_Plain)->Apply(sizes);
BENCHMARK(BM_FirstFresh_Store)->Apply(sizes);
BENCHMARK(BM_FirstFresh_Paired)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(1);
BENCHMARK(BM_FirstEmpty_Paired)->Arg(10000)->Arg(100000)->Iterations(1);
BENCHMARK(BM_Joined100_Store)->Apply(sizes);

void printSummary() {
    // The simdjson pipeline is set against the same library figures as the YAJL one.
    for (auto& [key, best] : zqbench::bestTimes()) {
        if (key.first != "FirstEmptySimdjson") continue;
        auto ours = zqbench::bestTimes().find({"FirstEmpty", key.second});
        if (ours == zqbench::bestTimes().end()) continue;
        best.store = ours->second.store;
        best.storeCPU = ours->second.storeCPU;
    }
    zqbench::printRatios(
        "store",
        [](const std::string& work) {
            return work == "FirstEmpty" ? "1.8" : work == "FirstFresh" ? "1.5" : "-";
        },
        [](const std::string& work) { return work == "Joined100"; });
    std::printf("\n%-11s %8s %14s %14s %7s %14s %7s\n", "work", "rows", "one query ms",
                "100 joined ms", "ratio", "joined cpu ms", "ratio");
    for (const auto& [key, best] : zqbench::bestTimes()) {
        if (key.first != "Joined100" || best.store == 0) continue;
        auto one = zqbench::bestTimes().find({"FirstEmpty", key.second});
        double single = one == zqbench::bestTimes().end() ? 0 : one->second.store;
        double singleCPU = one == zqbench::bestTimes().end() ? 0 : one->second.storeCPU;
        std::printf("%-11s %8d %14.2f %14.2f %7.2f %14.2f %7.2f\n", "Joined100", key.second,
                    single * 1e3, best.store * 1e3, single > 0 ? best.store / single : 0,
                    best.storeCPU * 1e3, singleCPU > 0 ? best.storeCPU / singleCPU : 0);
    }
    for (const auto& [work, byRows] : pairedFigures()) {
        std::printf("\n%s, store / plain%s (paired; goal: within %sx)\n", work.c_str(),
                    work == "FirstEmpty" ? " YAJL" : "", work == "FirstEmpty" ? "1.8" : "1.5");
        for (const auto& [n, paired] : byRows) {
            std::printf("%8d rows: plain %9.3f ms, store %9.3f ms, ratio %.2f\n", n,
                        paired.plainSeconds * 1e3, paired.measuredSeconds * 1e3, paired.ratio);
        }
    }
    std::printf("\n%8s %14s %16s %20s %20s %21s\n", "rows", "FirstEmpty ms", "to answer ms",
                "answer to delegate", "first field read ms", "objects after release");
    for (const auto& [n, after] : afterDelivery()) {
        std::printf("%8d %14.2f %16.2f %20.2f %20.2f %21zu\n", n, after.total * 1e3,
                    after.toAnswer * 1e3, after.afterAnswer * 1e3, after.firstFieldRead * 1e3,
                    after.mainContextObjects);
    }
    std::printf("request: %s\n", world().requestURL.c_str());
    std::printf("\n%8s %13s %14s %7s %7s %14s %7s %14s %7s\n", "rows", "answer bytes",
                "store peak MB", "ratio", "goal", "yajl peak MB", "ratio", "simdjson MB", "ratio");
    for (const auto& [n, mem] : memory()) {
        const double answerMB = static_cast<double>(mem.answerBytes) / 1048576.0;
        auto ratio = [answerMB](double mb) { return answerMB > 0 ? mb / answerMB : 0; };
        std::printf("%8d %13zu %14.1f %7.1f %7s %14.1f %7.1f %14.1f %7.1f%s\n", n, mem.answerBytes,
                    mem.store, ratio(mem.store), "5", mem.yajl, ratio(mem.yajl), mem.simdjson,
                    ratio(mem.simdjson), mem.exact ? "" : " (sampled)");
    }
    std::printf("peak resident memory: %.1f MB\n", peakResidentMB());
}

// The child's side of peakInProcessOfItsOwn ("side rows requestURL", the parent's server at
// kPeakServerVariable): pays the one-time costs (ICU's data, the pool's threads, the store's
// caches, the plain side's connection) with a load of the first 1,000 rows, then measures one
// load of every row by `request`'s side and prints "peak <MB> exact <0|1>".
int peakChild(const std::string& request) {
    if (!std::getenv(kPeakServerVariable)) throw std::runtime_error("no server for the peak");
    std::istringstream in(request);
    std::string side;
    int rows = 0;
    in >> side >> rows >> world().requestURL;
    const std::string uri = listURI(world().baseURL);
    auto pipeline = side == "yajl" ? e2eplain::plainFirstYajl : e2eplain::plainFirstSimdjson;
    constexpr uint64_t kWarmUpRows = 1000;
    {
        App app;
        auto delegate = std::make_shared<CountingDelegate>();
        app.loadAndWait({delegate}, kWarmUpRows);
        checkRows(delegate->rows(), static_cast<int>(std::min<uint64_t>(kWarmUpRows, rows)));
        PlainDb db(plainFile("plain-warm.sqlite"));
        const std::string warmUpURL = listRequestURL(world().baseURL, kWarmUpRows);
        if (side != "store") pipeline(db, warmUpURL, uri);
    }
    double mb = 0;
    bool exact = true;
    auto measure = [&](auto&& body) {
        zqbench::ResidentPeak peak;
        body();
        mb = peak.increaseMB();
        exact = peak.exact();
    };
    if (side == "store") {
        App app;
        auto delegate = std::make_shared<CountingDelegate>();
        measure([&] { app.loadAndWait({delegate}); });
        checkRows(delegate->rows(), rows);
    } else {
        PlainDb db(plainFile("plain-first.sqlite"));
        std::vector<Row> read;
        measure([&] { read = pipeline(db, world().requestURL, uri); });
        checkRows(read.size(), rows);
    }
    std::printf("peak %.3f exact %d\n", mb, exact ? 1 : 0);
    zqbench::removeRunFolder(benchFolder());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    zqbench::steadyAllocator();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (const char* request = std::getenv("ZQ_E2E_PEAK")) return peakChild(request);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    world().server->stop();
    zqbench::removeRunFolder(benchFolder());
    return 0;
}
