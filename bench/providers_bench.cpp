// The remote list provider's own cost: from its load() to the first rows shown (the cache, a Local
// query) and to the server's rows (the refresh query it sends next), for the sample invoice list
// of 10,000 rows with page size 50 whose first page a first load cached beforehand, against the
// entity data manager called directly for the same two queries (the Local query, then from its
// answer the refresh query). Both sides run in alternating blocks in the same stretch of seconds
// against the sample REST server on loopback and one SQLite cache; each call first steps a manual
// clock past the list's 10-minute caching window, so that the refresh query asks the server, and
// the page is either unchanged there (304) or has a row changed before each call (200). The ratio
// of each figure is the median over the pairs of adjacent blocks of ours / direct.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProviderDelegate.hpp"
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
#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "bench/BenchSupport.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "examples/sample-server/ZQSampleSyntheticInvoices.hpp"
#include "platform/Clock.hpp"
#include "platform/MainLoop.hpp"

using namespace platform;
using SteadyClock = std::chrono::steady_clock;
using QueryType = ZQRemoteEntityDataQueryType;
using Origin = ZQEntityDataProviderDataOrigin;

namespace {

constexpr const char* kListProvider = ZQSampleSyntheticInvoices::kListProvider;
constexpr size_t kServedRows = 10000;
constexpr uint64_t kPageSize = 50;
constexpr uint64_t kZqid = 7;
// Only guards against a hang; never a measure.
constexpr double kWaitSeconds = 60;

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

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

size_t rowsOf(const ZQEntityDataSections& sections) {
    size_t rows = 0;
    for (const auto& section : sections) rows += section.size();
    return rows;
}

// How long one load took to each of its two answers.
struct Split {
    double firstRows = 0, serverRows = 0;
};

// The server, the model, one cache and one manager for the whole run; the manual clock makes
// every call find the cached page outside its caching window.
class World {
  public:
    World() : clock_(std::make_shared<ManualClock>(Date(1709283600.0))), clockGuard_(clock_) {
        ZQSampleServerOptions options;
        options.loadDataFiles = false;
        auto created = ZQSampleServer::create(options);
        if (created.error) throw std::runtime_error(created.error->description());
        server_ = std::move(created.server);
        if (auto error = server_->start()) throw std::runtime_error(error->description());
        if (auto error = server_->loadSyntheticInvoices(kServedRows, 0)) {
            throw std::runtime_error(error->description());
        }
        auto loaded = ZQApplicationModelLoader::loadFromString(sampleModelText(server_->baseURL()),
                                                               "providers-bench-model");
        if (loaded.error) throw std::runtime_error(loaded.error->description());
        ErrorPtr error;
        auto schema =
            ZQCoreDataModelFactory::coreDataModelForApplicationModel(loaded.model, &error);
        if (!schema) throw std::runtime_error(error ? error->description() : "no schema");
        ZQCoreDataCacheClasses::registerClasses();
        // A cache of its own for each run of the benchmark.
        static int runs = 0;
        root_ = zqbench::runFolder("zq-providers-bench-") / ("app-" + std::to_string(++runs));
        std::filesystem::create_directories(root_);
        ZQApplicationStorageService::sharedInstance()->setApplicationRoot(root_);
        Dictionary objects;
        objects.set(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, Value::object(schema));
        model_ = ZQModel::create(loaded.model, objects);
        if (!ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
                model_, model_->modelObjects())) {
            throw std::runtime_error("cache initialisation");
        }
        ZQModel::setCurrentModel(model_);
        if (!ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model_)) {
            throw std::runtime_error("no cache store");
        }
        auto level = loaded.model->workWithsByName().at("WorkWithInvoice")->levels().at(0);
        auto data = loaded.model->dataProviderNamed(kListProvider);
        source_ = ZQRemoteWorkWithCollectionDataSource::create(
            data->workWithModel(), data,
            level->list()->parameters().value_or(ZQWorkWithParameters{}));
        manager_ = ZQRemoteEntityDataManager::create();
    }
    ~World() {
        manager_->cancelAllOperations();
        waitUntilIdle();
        manager_.reset();
        ZQModel::setCurrentModel(nullptr);
        model_.reset();
        server_->stop();
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> query(ZQEntityDataQueryType type) const {
        return ZQRemoteEntityDataQueryCollectionInfo::create(
            source_, type, std::nullopt, kZqid, false, kPageSize, ZQNotFound, std::nullopt,
            ZQNotFound, std::nullopt);
    }
    void waitUntilIdle() {
        MainLoop::runUntil(
            [this] {
                return manager_->cacheOperationQueue()->operationCount() == 0 &&
                       manager_->serviceManager()->runningLoadCount() == 0;
            },
            kWaitSeconds);
    }
    void leaveCachingWindow() { clock_->advance(11 * 60); }
    // Changes the first row's total, which moves the list's Last-Modified: the next refresh is
    // answered 200 with the page instead of 304.
    void changeFirstRow() {
        ++changes_;
        auto change = server_->dataStore().patch(
            kListProvider, Dictionary{{"InvoiceId", Value(1)}},
            Dictionary{{"InvoiceTotal", Value(static_cast<double>(changes_))}});
        if (change.error) throw std::runtime_error(change.error->description());
        if (change.rows != 1) throw std::runtime_error("the first row was not changed");
    }
    size_t listRequests() const { return server_->requestCountForProvider(kListProvider); }
    std::string lastRequestURL() const {
        auto log = server_->requestLog();
        return log.empty() ? std::string() : log.back().url;
    }
    int lastRequestStatus() const {
        auto log = server_->requestLog();
        return log.empty() ? 0 : log.back().status;
    }

    const std::shared_ptr<ZQRemoteEntityDataManager>& manager() const { return manager_; }
    const std::shared_ptr<ZQRemoteWorkWithCollectionDataSource>& source() const { return source_; }

  private:
    std::shared_ptr<ManualClock> clock_;
    ScopedClock clockGuard_;
    std::unique_ptr<ZQSampleServer> server_;
    std::filesystem::path root_;
    std::shared_ptr<ZQModel> model_;
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> source_;
    std::shared_ptr<ZQRemoteEntityDataManager> manager_;
    int changes_ = 0;
};

// ---- the manager called directly: the Local query, then from its answer the refresh query

class DirectDelegate : public ZQEntityDataManagerDelegate,
                       public std::enable_shared_from_this<DirectDelegate> {
  public:
    explicit DirectDelegate(World& world) : world_(world) {}
    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>&,
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) override {
        const auto now = SteadyClock::now();
        auto collection = std::dynamic_pointer_cast<ZQEntityDataQueryCollectionResult>(result);
        if (result->error() || !collection || !collection->resultData()) {
            failed = true;
        } else {
            rows.push_back(rowsOf(*collection->resultData()));
        }
        if (query->type() == QueryType::Local) {
            firstRowsAt = now;
            world_.manager()->load(world_.query(QueryType::First), shared_from_this());
        } else {
            serverRowsAt = now;
            done = true;
        }
    }

    SteadyClock::time_point firstRowsAt, serverRowsAt;
    std::vector<size_t> rows;
    bool done = false, failed = false;

  private:
    World& world_;
};

// ---- the provider

class ShownDelegate : public ZQEntityDataProviderDelegate {
  public:
    void entityDataProviderDidLoadData(ZQBaseEntityDataProvider& provider, Origin origin,
                                       bool) override {
        const auto now = SteadyClock::now();
        if (origin == Origin::cache && !sawCache) {
            sawCache = true;
            firstRowsAt = now;
        } else if (origin == Origin::server) {
            sawServer = true;
            serverRowsAt = now;
        }
        rows.push_back(
            rowsOf(dynamic_cast<ZQBaseListEntityDataProvider&>(provider).currentSections()));
    }
    void entityDataProviderDidChangeLoadingState(ZQBaseEntityDataProvider&) override {}
    void entityDataProviderDidFailLoading(ZQBaseEntityDataProvider&, const ErrorPtr&) override {
        failed = true;
    }
    void entityDataProviderDidChangeMorePages(ZQBaseEntityDataProvider&, bool) override {}

    SteadyClock::time_point firstRowsAt, serverRowsAt;
    std::vector<size_t> rows;
    bool sawCache = false, sawServer = false, failed = false;
};

// Both sides: each call is one load of the list, timed from the call to its two answers; what is
// made before the call (the provider, the delegate) and the settling after it are not timed.
class Sides {
  public:
    Sides(World& world, bool changedPage) : world_(world), changedPage_(changedPage) {}

    Split direct() {
        prepare();
        auto delegate = std::make_shared<DirectDelegate>(world_);
        const size_t requests = world_.listRequests();
        const auto start = SteadyClock::now();
        world_.manager()->load(world_.query(QueryType::Local), delegate);
        MainLoop::runUntil([&] { return delegate->done || delegate->failed; }, kWaitSeconds);
        world_.waitUntilIdle();
        check(delegate->failed, delegate->rows, requests, "direct");
        return {secondsBetween(start, delegate->firstRowsAt),
                secondsBetween(start, delegate->serverRowsAt)};
    }

    Split provider() {
        prepare();
        auto delegate = std::make_shared<ShownDelegate>();
        auto provider = ZQBaseRemoteListEntityDataProvider::create(world_.source());
        provider->setPageSize(kPageSize);
        provider->setZqid(kZqid);
        provider->setDelegate(delegate);
        provider->setEntityDataManager(world_.manager());
        const size_t requests = world_.listRequests();
        const auto start = SteadyClock::now();
        provider->load();
        MainLoop::runUntil([&] { return delegate->sawServer || delegate->failed; }, kWaitSeconds);
        MainLoop::runUntil([&] { return !provider->isLoading(); }, kWaitSeconds);
        world_.waitUntilIdle();
        check(delegate->failed || !delegate->sawCache || !delegate->sawServer, delegate->rows,
              requests, "provider");
        return {secondsBetween(start, delegate->firstRowsAt),
                secondsBetween(start, delegate->serverRowsAt)};
    }

  private:
    void prepare() {
        world_.leaveCachingWindow();
        if (changedPage_) world_.changeFirstRow();
    }
    // Two answers of one page each and exactly one request: anything else is a fault of the run.
    void check(bool failed, const std::vector<size_t>& rows, size_t requestsBefore,
               const char* side) const {
        if (failed) throw std::runtime_error(std::string(side) + ": a load failed");
        if (rows != std::vector<size_t>{kPageSize, kPageSize}) {
            throw std::runtime_error(std::string(side) + ": expected two answers of one page");
        }
        if (world_.listRequests() != requestsBefore + 1) {
            throw std::runtime_error(std::string(side) + ": expected one request");
        }
    }
    World& world_;
    const bool changedPage_;
};

struct SplitFigures {
    double directSeconds = 0, oursSeconds = 0, ratio = 0;
};
struct PairedSplits {
    SplitFigures firstRows, serverRows;
    int pairs = 0, directCalls = 0, oursCalls = 0;
    int serverStatus = 0;
};

// By the server's answer: "unchanged" (304) and "changed" (200).
std::map<std::string, PairedSplits>& figures() {
    static std::map<std::string, PairedSplits> f;
    return f;
}

// Alternating blocks as in zqbench::comparePaired, but each call yields two times (to the first
// rows and to the server's rows), so each figure gets its own pair ratios.
PairedSplits comparePairedSplits(Sides& sides, int pairs, std::chrono::duration<double> block) {
    auto callsPerBlock = [&](auto work) {
        work();
        int calls = 0;
        auto start = SteadyClock::now();
        do {
            work();
            ++calls;
        } while (secondsBetween(start, SteadyClock::now()) < block.count() / 4);
        return std::max(1, static_cast<int>(block.count() /
                                            (secondsBetween(start, SteadyClock::now()) / calls)));
    };
    auto timeBlock = [](auto work, int calls) {
        Split sum;
        for (int i = 0; i < calls; ++i) {
            Split one = work();
            sum.firstRows += one.firstRows;
            sum.serverRows += one.serverRows;
        }
        return Split{sum.firstRows / calls, sum.serverRows / calls};
    };
    auto direct = [&] { return sides.direct(); };
    auto ours = [&] { return sides.provider(); };
    PairedSplits out;
    out.pairs = pairs;
    out.directCalls = callsPerBlock(direct);
    out.oursCalls = callsPerBlock(ours);
    std::vector<double> directFirst, oursFirst, firstRatios, directServer, oursServer, serverRatios;
    for (int i = 0; i < pairs; ++i) {
        Split a, b;
        if (i % 2 == 0) {
            a = timeBlock(direct, out.directCalls);
            b = timeBlock(ours, out.oursCalls);
        } else {
            b = timeBlock(ours, out.oursCalls);
            a = timeBlock(direct, out.directCalls);
        }
        directFirst.push_back(a.firstRows);
        oursFirst.push_back(b.firstRows);
        firstRatios.push_back(b.firstRows / a.firstRows);
        directServer.push_back(a.serverRows);
        oursServer.push_back(b.serverRows);
        serverRatios.push_back(b.serverRows / a.serverRows);
    }
    out.firstRows = {zqbench::median(directFirst), zqbench::median(oursFirst),
                     zqbench::median(firstRatios)};
    out.serverRows = {zqbench::median(directServer), zqbench::median(oursServer),
                      zqbench::median(serverRatios)};
    return out;
}

void pairedListLoads(benchmark::State& state, bool changedPage) {
    World world;
    // The first page cached by a first load, as a screen that was opened before leaves it.
    {
        bool answered = false;
        struct Once : ZQEntityDataManagerDelegate {
            bool* answered;
            bool* failed;
            void entityDataManagerDidFinishLoadingQuery(
                const std::shared_ptr<ZQEntityDataManager>&,
                const std::shared_ptr<ZQEntityDataQueryInfo>&,
                const std::shared_ptr<ZQEntityDataQueryResult>& result) override {
                *failed = result->error() != nullptr;
                *answered = true;
            }
        };
        bool failed = false;
        auto once = std::make_shared<Once>();
        once->answered = &answered;
        once->failed = &failed;
        world.manager()->load(world.query(QueryType::First), once);
        MainLoop::runUntil([&] { return answered; }, kWaitSeconds);
        world.waitUntilIdle();
        if (!answered || failed) throw std::runtime_error("the first load failed");
    }
    Sides sides(world, changedPage);
    // Both sides must send the server the same request.
    sides.provider();
    const std::string oursURL = world.lastRequestURL();
    sides.direct();
    if (world.lastRequestURL() != oursURL) {
        throw std::runtime_error("the sides sent different requests: " + oursURL + " and " +
                                 world.lastRequestURL());
    }
    for (auto _ : state) {
        PairedSplits& f = figures()[changedPage ? "changed" : "unchanged"];
        f = comparePairedSplits(sides, 40, std::chrono::milliseconds(100));
        f.serverStatus = world.lastRequestStatus();
        state.counters["first_plain_us"] = f.firstRows.directSeconds * 1e6;
        state.counters["first_ours_us"] = f.firstRows.oursSeconds * 1e6;
        state.counters["first_ratio"] = f.firstRows.ratio;
        state.counters["server_plain_us"] = f.serverRows.directSeconds * 1e6;
        state.counters["server_ours_us"] = f.serverRows.oursSeconds * 1e6;
        state.counters["server_ratio"] = f.serverRows.ratio;
    }
    std::printf("request: %s\n", oursURL.c_str());
}

// The page unchanged on the server, which answers the cached Last-Modified with 304: the server's
// rows are the cached ones, read again.
void BM_ListLoad_Unchanged_Paired(benchmark::State& state) {
    pairedListLoads(state, false);
}
// A row of the page changed before every load: the answer is 200 with the page, parsed, saved
// and read back.
void BM_ListLoad_Changed_Paired(benchmark::State& state) {
    pairedListLoads(state, true);
}

BENCHMARK(BM_ListLoad_Unchanged_Paired)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListLoad_Changed_Paired)->Iterations(1)->Unit(benchmark::kMillisecond);

void printSummary() {
    if (figures().empty()) return;
    std::printf(
        "\n%zu rows served, page size %llu; plain: the manager called directly; "
        "goal: ratio <= 1.1\n",
        kServedRows, static_cast<unsigned long long>(kPageSize));
    std::printf("%-10s %6s %-12s %10s %10s %7s %14s\n", "server", "status", "work", "plain us",
                "ours us", "ratio", "pairs (calls)");
    for (const auto& [name, f] : figures()) {
        const std::string calls = std::to_string(f.pairs) + " (" + std::to_string(f.directCalls) +
                                  "/" + std::to_string(f.oursCalls) + ")";
        std::printf("%-10s %6d %-12s %10.1f %10.1f %7.3f %14s\n", name.c_str(), f.serverStatus,
                    "first rows", f.firstRows.directSeconds * 1e6, f.firstRows.oursSeconds * 1e6,
                    f.firstRows.ratio, calls.c_str());
        std::printf("%-10s %6d %-12s %10.1f %10.1f %7.3f %14s\n", name.c_str(), f.serverStatus,
                    "server rows", f.serverRows.directSeconds * 1e6, f.serverRows.oursSeconds * 1e6,
                    f.serverRows.ratio, calls.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    zqbench::steadyAllocator();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    zqbench::removeRunFolder(zqbench::runFolder("zq-providers-bench-"));
    return 0;
}
