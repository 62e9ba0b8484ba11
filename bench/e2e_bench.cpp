// The road of one query, end to end: the entity data manager's load with a delegate, from the call
// until the answer reaches the delegate on the main thread, against plain code doing the same work
// in the same run, at 1,000 / 10,000 / 100,000 rows of the sample application's invoice list
// (five fields, cached in the SQLite store with a 10-minute window), served by the sample REST
// server on loopback from synthetic invoices:
//   FirstEmpty - a First query without page limit into an empty cache: cache check, GET, parse,
//                save, read-back. Plain: a libcurl GET of the same URL, a YAJL tree parse, an
//                upsert of the rows and of the query's row list in one transaction, a read-back
//                of the rows into plain structs.
//   FirstFresh - the same query answered from the cache within its window (no request). Plain: a
//                SELECT of the query record and a joined SELECT of its rows into plain structs.
//   Joined100  - 100 equal First queries, one delegate each, loaded back to back into an empty
//                cache; the server must see exactly one request. Compared with FirstEmpty.
// Each empty-cache iteration gets a new application root, model and manager, with the store
// already open, so opening the SQLite file is outside the timed part on both sides. The library
// runs on the worker pool and the main loop, so the figures are wall time and the process's CPU
// time (which includes the in-process server on both sides). At exit a table gives each pair's
// best iteration and their ratios; a second table splits the best empty-cache load at the
// server's answer and adds, outside the timed part, the first read of every field of the
// delivered rows (they arrive as faults) and the objects the main context then holds; last, the
// resident memory around each empty-cache load and the peak.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sqlite3.h>
#include <yajl/yajl_tree.h>

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
using zqbench::residentMB;

struct Memory {
    double before = 0, peakAfter = 0;
};
// Not part of the road but part of its cost to a real delegate: reading every field of every
// delivered row the first time (the rows arrive as faults of the main context), and how many
// objects the main context holds once the answers were delivered.
struct AfterDelivery {
    double firstFieldRead = 0;  // seconds, best iteration
    size_t mainContextObjects = 0;
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
    std::unique_ptr<ZQSampleServer> server;
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

World& world() {
    static World w = [] {
        World made;
        ZQSampleServerOptions options;
        options.loadDataFiles = false;
        options.onRequest = [](const ZQSampleRequestRecord&) {
            lastAnswerWritten().store(SteadyClock::now().time_since_epoch().count());
        };
        auto created = ZQSampleServer::create(options);
        if (created.error) throw std::runtime_error(created.error->description());
        made.server = std::move(created.server);
        if (auto error = made.server->start()) throw std::runtime_error(error->description());
        auto loaded = ZQApplicationModelLoader::loadFromString(
            sampleModelText(made.server->baseURL()), "e2e-bench-model");
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
        made.requestURL =
            made.server->baseURL() + kListPath + "?start=0&count=0&zqid=" + std::to_string(kZqid);
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

    static std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> firstQuery() {
        return ZQRemoteEntityDataQueryCollectionInfo::create(
            world().invoices, ZQRemoteEntityDataQueryType::First, std::nullopt, kZqid, false, 0,
            ZQNotFound, std::nullopt, ZQNotFound, std::nullopt);
    }

    // Loads a First query for every delegate and runs the main loop until all are answered.
    void loadAndWait(const std::vector<std::shared_ptr<CountingDelegate>>& delegates) {
        for (const auto& delegate : delegates) manager_->load(firstQuery(), delegate);
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
    auto start = SteadyClock::now();
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
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

void rememberRequestURL() {
    auto log = world().server->requestLog();
    if (!log.empty()) world().requestURL = log.back().url;
}

void BM_FirstEmpty_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    Memory& mem = memory()[n];
    mem.before = residentMB();
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
    mem.peakAfter = peakResidentMB();
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

// ---- plain code

struct Row {
    int64_t id = 0;
    double date = 0;
    std::string customer;
    double total = 0;
    bool paid = false;
};

// Seconds since 1970 of a "YYYY-MM-DD" day (days from the civil calendar).
double dayToSeconds(const char* text) {
    int y = 0, m = 0, d = 0;
    if (std::sscanf(text, "%d-%d-%d", &y, &m, &d) != 3) return 0;
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return (static_cast<double>(era) * 146097 + doe - 719468) * 86400.0;
}

class PlainDb {
  public:
    explicit PlainDb(const std::string& file) : file_(file) {
        for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file + s);
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open");
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec(
            "CREATE TABLE query (pk INTEGER PRIMARY KEY, uri TEXT UNIQUE, ts REAL, "
            "complete INTEGER)");
        exec(
            "CREATE TABLE invoice (id INTEGER PRIMARY KEY, date REAL, customer TEXT, "
            "total REAL, paid INTEGER)");
        exec(
            "CREATE TABLE row (query INTEGER, pos INTEGER, invoice INTEGER, "
            "PRIMARY KEY (query, pos))");
    }
    ~PlainDb() {
        for (auto& [sql, s] : statements_) sqlite3_finalize(s);
        sqlite3_close(db_);
        for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file_ + s);
    }
    PlainDb(const PlainDb&) = delete;
    PlainDb& operator=(const PlainDb&) = delete;

    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
    }
    sqlite3_stmt* statement(const char* sql) {
        auto& s = statements_[sql];
        if (!s && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr)) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
        return s;
    }
    void step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
        sqlite3_reset(s);
    }

  private:
    std::string file_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;
};

// One libcurl handle for the whole run, so the plain side reuses its connection as the
// library's transport does.
class PlainHttp {
  public:
    PlainHttp() : curl_(curl_easy_init()) {
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &PlainHttp::write);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body_);
    }
    ~PlainHttp() { curl_easy_cleanup(curl_); }
    PlainHttp(const PlainHttp&) = delete;
    PlainHttp& operator=(const PlainHttp&) = delete;

    const std::string& get(const std::string& url) {
        body_.clear();
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        if (CURLcode code = curl_easy_perform(curl_); code != CURLE_OK) {
            throw std::runtime_error(curl_easy_strerror(code));
        }
        long status = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) throw std::runtime_error("status " + std::to_string(status));
        return body_;
    }

  private:
    static size_t write(char* data, size_t size, size_t count, void* body) {
        static_cast<std::string*>(body)->append(data, size * count);
        return size * count;
    }
    CURL* curl_;
    std::string body_;
};

PlainHttp& plainHttp() {
    static PlainHttp http;
    return http;
}

struct YajlTree {
    explicit YajlTree(const std::string& text) {
        char error[256] = {0};
        root = yajl_tree_parse(text.c_str(), error, sizeof error);
        if (!root) throw std::runtime_error(std::string("parse: ") + error);
    }
    ~YajlTree() { yajl_tree_free(root); }
    YajlTree(const YajlTree&) = delete;
    YajlTree& operator=(const YajlTree&) = delete;
    yajl_val root;
};

Row rowOf(yajl_val object) {
    Row row;
    if (!YAJL_IS_OBJECT(object)) throw std::runtime_error("row is not an object");
    for (size_t k = 0; k < object->u.object.len; ++k) {
        const char* key = object->u.object.keys[k];
        yajl_val v = object->u.object.values[k];
        if (std::strcmp(key, "InvoiceId") == 0) {
            row.id = YAJL_GET_INTEGER(v);
        } else if (std::strcmp(key, "InvoiceDate") == 0 && YAJL_IS_STRING(v)) {
            row.date = dayToSeconds(YAJL_GET_STRING(v));
        } else if (std::strcmp(key, "CustomerName") == 0 && YAJL_IS_STRING(v)) {
            row.customer = YAJL_GET_STRING(v);
        } else if (std::strcmp(key, "InvoiceTotal") == 0 && YAJL_IS_NUMBER(v)) {
            row.total =
                YAJL_IS_DOUBLE(v) ? YAJL_GET_DOUBLE(v) : static_cast<double>(YAJL_GET_INTEGER(v));
        } else if (std::strcmp(key, "InvoicePaid") == 0) {
            row.paid = YAJL_IS_TRUE(v);
        }
    }
    return row;
}

// The rows of the query, in the server's order.
std::vector<Row> plainReadBack(PlainDb& db, const std::string& uri) {
    auto* record = db.statement("SELECT pk FROM query WHERE uri = ?");
    sqlite3_bind_text(record, 1, uri.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(record) != SQLITE_ROW) throw std::runtime_error("no query record");
    int64_t query = sqlite3_column_int64(record, 0);
    sqlite3_reset(record);
    auto* rows = db.statement(
        "SELECT i.id, i.date, i.customer, i.total, i.paid FROM row r JOIN invoice i "
        "ON i.id = r.invoice WHERE r.query = ? ORDER BY r.pos");
    sqlite3_bind_int64(rows, 1, query);
    std::vector<Row> read;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        Row row;
        row.id = sqlite3_column_int64(rows, 0);
        row.date = sqlite3_column_double(rows, 1);
        const auto* customer = sqlite3_column_text(rows, 2);
        if (customer) row.customer = reinterpret_cast<const char*>(customer);
        row.total = sqlite3_column_double(rows, 3);
        row.paid = sqlite3_column_int(rows, 4) != 0;
        read.push_back(std::move(row));
    }
    sqlite3_reset(rows);
    return read;
}

// GET, parse, upsert the rows and the query's row list in one transaction, read them back.
std::vector<Row> plainFirst(PlainDb& db, const std::string& uri) {
    const std::string& body = plainHttp().get(world().requestURL);
    YajlTree tree(body);
    if (!YAJL_IS_ARRAY(tree.root)) throw std::runtime_error("answer is not an array");
    auto* upsertQuery = db.statement(
        "INSERT INTO query (uri, ts, complete) VALUES (?, ?, 1) "
        "ON CONFLICT (uri) DO UPDATE SET ts = excluded.ts, complete = 1 RETURNING pk");
    auto* dropRows = db.statement("DELETE FROM row WHERE query = ?");
    auto* upsertInvoice = db.statement(
        "INSERT INTO invoice (id, date, customer, total, paid) VALUES (?, ?, ?, ?, ?) "
        "ON CONFLICT (id) DO UPDATE SET date = excluded.date, customer = excluded.customer, "
        "total = excluded.total, paid = excluded.paid");
    auto* insertRow = db.statement("INSERT INTO row (query, pos, invoice) VALUES (?, ?, ?)");
    db.exec("BEGIN IMMEDIATE");
    sqlite3_bind_text(upsertQuery, 1, uri.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_double(upsertQuery, 2, static_cast<double>(time(nullptr)));
    if (sqlite3_step(upsertQuery) != SQLITE_ROW) throw std::runtime_error("query record");
    int64_t query = sqlite3_column_int64(upsertQuery, 0);
    sqlite3_reset(upsertQuery);
    sqlite3_bind_int64(dropRows, 1, query);
    db.step(dropRows);
    const auto& items = tree.root->u.array;
    for (size_t i = 0; i < items.len; ++i) {
        Row row = rowOf(items.values[i]);
        sqlite3_bind_int64(upsertInvoice, 1, row.id);
        sqlite3_bind_double(upsertInvoice, 2, row.date);
        sqlite3_bind_text(upsertInvoice, 3, row.customer.data(),
                          static_cast<int>(row.customer.size()), SQLITE_STATIC);
        sqlite3_bind_double(upsertInvoice, 4, row.total);
        sqlite3_bind_int(upsertInvoice, 5, row.paid ? 1 : 0);
        db.step(upsertInvoice);
        sqlite3_bind_int64(insertRow, 1, query);
        sqlite3_bind_int64(insertRow, 2, static_cast<int64_t>(i));
        sqlite3_bind_int64(insertRow, 3, row.id);
        db.step(insertRow);
    }
    db.exec("COMMIT");
    return plainReadBack(db, uri);
}

std::string plainFile(const char* name) {
    return (benchFolder() / name).string();
}

void BM_FirstEmpty_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    const std::string uri = world().server->baseURL() + kListPath;
    for (auto _ : state) {
        PlainDb db(plainFile("plain-first.sqlite"));
        std::vector<Row> rows;
        timed(state, "FirstEmpty", true, [&] { rows = plainFirst(db, uri); });
        checkRows(rows.size(), n);
    }
}

void BM_FirstFresh_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    serveRows(static_cast<size_t>(n));
    const std::string uri = world().server->baseURL() + kListPath;
    PlainDb db(plainFile("plain-fresh.sqlite"));
    checkRows(plainFirst(db, uri).size(), n);
    for (auto _ : state) {
        std::vector<Row> rows;
        timed(state, "FirstFresh", true, [&] { rows = plainReadBack(db, uri); });
        checkRows(rows.size(), n);
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    zqbench::rowSizes(b, 3);
}

// The library's empty-cache load runs first, so that the plain side fetches the URL it sent.
BENCHMARK(BM_FirstEmpty_Store)->Apply(sizes);
BENCHMARK(BM_FirstEmpty_Plain)->Apply(sizes);
BENCHMARK(BM_FirstFresh_Plain)->Apply(sizes);
BENCHMARK(BM_FirstFresh_Store)->Apply(sizes);
BENCHMARK(BM_Joined100_Store)->Apply(sizes);

void printSummary() {
    zqbench::printRatios(
        "store", [](const std::string& work) { return work == "FirstEmpty" ? "2.5" : "2.0"; },
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
    std::printf("\n%8s %14s %16s %20s %20s %21s\n", "rows", "FirstEmpty ms", "to answer ms",
                "answer to delegate", "first field read ms", "main context objects");
    for (const auto& [n, after] : afterDelivery()) {
        std::printf("%8d %14.2f %16.2f %20.2f %20.2f %21zu\n", n, after.total * 1e3,
                    after.toAnswer * 1e3, after.afterAnswer * 1e3, after.firstFieldRead * 1e3,
                    after.mainContextObjects);
    }
    std::printf("request: %s\n", world().requestURL.c_str());
    for (const auto& [n, mem] : memory()) {
        std::printf(
            "FirstEmpty %d rows: resident before %.1f MB (server data made), peak after "
            "%.1f MB\n",
            n, mem.before, mem.peakAfter);
    }
    std::printf("peak resident memory: %.1f MB\n", peakResidentMB());
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
    world().server->stop();
    zqbench::removeRunFolder(benchFolder());
    return 0;
}
