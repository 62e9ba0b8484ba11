// Loading one business-component instance by key, end to end, for an invoice of 10, 100 and
// 1,000 lines served over loopback: the registered manager's load handler (GET, parse, cache
// write-through, merge into the main context, the object from the main context, the report on the
// main thread) against plain code doing the same work in the same run: a libcurl GET, a simdjson
// parse, an SQLite upsert of the root and its lines in one transaction (lines no longer sent are
// deleted) and a read-back of the root and its lines. The plain rows carry a time stamp set on
// every write, as the cache's rows do: without it the plain upsert of an unchanged instance writes
// nothing at all (SQLite leaves a cell that is rewritten with the same bytes alone, so its commit
// has no page to write), while the cache must stamp every row it writes. Both sides run in
// alternating blocks (paired) so that the machine's drift does not land on one side; the ratio is
// the goal's figure.
// Inserting the same invoice end to end (its JSON made from the instance and written with YAJL, the
// POST, the parse, the write-through, the report) is compared the same way with plain code that
// generates the JSON with YAJL, POSTs it with libcurl and does the same parse, upsert and
// read-back.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <simdjson.h>
#include <sqlite3.h>
#include <yajl/yajl_gen.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSimpleKey.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "bench/BenchSupport.hpp"
#include "platform/MainLoop.hpp"
#include "tests/support/LoopbackServer.hpp"

namespace {

constexpr double kWaitSeconds = 60;

std::string invoiceJSON(int lines) {
    std::string text = R"({"InvoiceId": 7, "InvoiceDate": "2024-03-05", "CustomerName": "Acme",)"
                       R"( "InvoiceTotal": 10.5, "InvoicePaid": false, "Line": [)";
    for (int i = 1; i <= lines; ++i) {
        if (i > 1) text += ",";
        text += R"({"InvoiceLineId": )" + std::to_string(i) + R"(, "ProductName": "Product )" +
                std::to_string(i) + R"(", "LineAmount": )" + std::to_string(i) + ".25}";
    }
    return text + "]}";
}

std::string modelJSON(const std::string& serverBaseURL) {
    return R"({"formatVersion": 1, "name": "BCBench", "appServerBaseUrl": ")" + serverBaseURL +
           R"(", "businessComponents": [
    {"name": "Sales.Invoice", "levels": [
      {"name": "Invoice", "attributes": [
        {"name": "InvoiceId", "type": "numeric", "length": 8, "key": true},
        {"name": "InvoiceDate", "type": "date"},
        {"name": "CustomerName", "type": "varchar", "length": 40},
        {"name": "InvoiceTotal", "type": "numeric", "length": 10, "decimals": 2},
        {"name": "InvoicePaid", "type": "boolean"}]},
      {"name": "Line", "parent": "Invoice", "attributes": [
        {"name": "InvoiceLineId", "type": "numeric", "length": 4, "key": true},
        {"name": "ProductName", "type": "varchar", "length": 40},
        {"name": "LineAmount", "type": "numeric", "length": 10, "decimals": 2}]}]}]})";
}

// One loopback server for the run; "/bc/rest/Sales/Invoice/7" answers the invoice of the size
// the running benchmark set.
struct World {
    World() : server(8, 5) {}
    void serve(int lines) {
        server.route("GET", "/bc/rest/Sales/Invoice/7",
                     zqtest::LoopbackResponse::json(invoiceJSON(lines)));
        server.route("POST", "/bc/rest/Sales/Invoice/7",
                     zqtest::LoopbackResponse::json(invoiceJSON(lines), 201));
    }
    std::string url() const { return server.baseURL() + "bc/rest/Sales/Invoice/7"; }
    zqtest::LoopbackServer server;
};

World& world() {
    static World instance;
    return instance;
}

// The library's side: a running model with its cache in a folder of its own, and the registered
// business-component manager.
class Library {
  public:
    explicit Library(const std::filesystem::path& root) {
        ZQApplicationStorageService::sharedInstance()->setApplicationRoot(root);
        ZQCoreDataCacheClasses::registerClasses();
        auto loaded = ZQApplicationModelLoader::loadFromString(
            modelJSON(world().server.baseURL() + "bc/"), "bc-bench");
        if (loaded.error) throw std::runtime_error(loaded.error->description());
        appModel_ = loaded.model;
        platform::ErrorPtr error;
        auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel_, &error);
        if (!schema) throw std::runtime_error("no cache schema");
        platform::Dictionary objects{{ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel,
                                      platform::Value::object(schema)}};
        model_ = ZQModel::create(appModel_, objects);
        if (!ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model_, objects))
            throw std::runtime_error("no cache");
        ZQModel::setCurrentModel(model_);
        invoice_ = appModel_->businessComponentNamed("Sales.Invoice");
        key_ = std::make_shared<ZQEntityDataSimpleKey>(
            std::make_shared<ZQBusinessComponentKeyDescriptor>(*invoice_->rootLevel()),
            platform::Dictionary{{"InvoiceId", 7}});
        manager_ = ZQBusinessComponentRESTManager::create();
    }
    ~Library() { ZQModel::setCurrentModel(nullptr); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // One load by key, waited for on the main loop; the lines are read from the object handed back.
    void load() {
        auto handler = manager_->newBusinessComponentLoadHandlerForModel(invoice_, key_);
        bool done = false;
        handler->setCompletion([&](const auto& entityData, const auto& error) {
            done = true;
            if (error || !entityData) {
                failed = true;
                return;
            }
            auto lines = entityData->entityChildLevelEntitiesForLevelName("Line");
            if (!lines || lines->empty()) failed = true;
            loaded_ = entityData;
            benchmark::DoNotOptimize(entityData->valueForEntityDataFieldName("CustomerName"));
        });
        handler->start();
        if (!platform::MainLoop::runUntil([&] { return done; }, kWaitSeconds)) failed = true;
    }
    // One insert of the instance the last load handed back (its JSON is made from it each time).
    void insert() {
        if (!loaded_) return load(), insert();
        auto handler = manager_->newBusinessComponentInsertHandlerForModel(invoice_, loaded_);
        bool done = false;
        handler->setCompletion([&](const auto& entityData, const auto& error) {
            done = true;
            if (error || !entityData) {
                if (error && !failed)
                    std::fprintf(stderr, "insert: %s\n", error->description().c_str());
                failed = true;
            }
        });
        handler->start();
        if (!platform::MainLoop::runUntil([&] { return done; }, kWaitSeconds)) failed = true;
    }
    bool failed = false;

  private:
    std::shared_ptr<ZQBusinessComponentLevelEntityData> loaded_;
    std::shared_ptr<const ZQApplicationModel> appModel_;
    std::shared_ptr<ZQModel> model_;
    std::shared_ptr<const ZQBusinessComponentModel> invoice_;
    std::shared_ptr<const ZQEntityDataKey> key_;
    std::shared_ptr<ZQBusinessComponentRESTManager> manager_;
};

// The plain side: the same request, parse, write and read-back written directly.
class Plain {
  public:
    explicit Plain(const std::filesystem::path& file) : easy_(curl_easy_init()) {
        std::string userAgent = std::string("User-Agent: ") + ZQApplicationHelper::kUserAgent;
        headers_ = curl_slist_append(nullptr, "Accept: application/json");
        headers_ = curl_slist_append(headers_, userAgent.c_str());
        // No "Expect: 100-continue" for larger bodies, as the request pipeline sends none.
        headers_ = curl_slist_append(headers_, "Expect:");
        // A JSON body, as the save handlers send it (libcurl would call it a form, which the
        // server takes only up to 8 KB).
        headers_ = curl_slist_append(headers_, "Content-Type: application/json");
        url_ = world().url();
        curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &collect);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("sqlite");
        exec(
            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
            "CREATE TABLE invoice (id INTEGER PRIMARY KEY, date TEXT, customer TEXT, total REAL,"
            " paid INTEGER, stamp REAL);"
            "CREATE TABLE line (invoice INTEGER, id INTEGER, product TEXT, amount REAL,"
            " stamp REAL, PRIMARY KEY (invoice, id));");
        upsertRoot_ = prepare(
            "INSERT INTO invoice VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(id) DO UPDATE SET "
            "date = ?2, customer = ?3, total = ?4, paid = ?5, stamp = ?6");
        upsertLine_ = prepare(
            "INSERT INTO line VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT(invoice, id) DO UPDATE SET "
            "product = ?3, amount = ?4, stamp = ?5");
        dropLines_ = prepare("DELETE FROM line WHERE invoice = ?1 AND id > ?2");
        readRoot_ = prepare("SELECT customer, total FROM invoice WHERE id = ?1");
        readLines_ = prepare("SELECT id, product, amount FROM line WHERE invoice = ?1");
    }
    ~Plain() {
        for (auto* statement : {upsertRoot_, upsertLine_, dropLines_, readRoot_, readLines_})
            sqlite3_finalize(statement);
        sqlite3_close(db_);
        curl_slist_free_all(headers_);
        curl_easy_cleanup(easy_);
    }
    Plain(const Plain&) = delete;
    Plain& operator=(const Plain&) = delete;

    // The same request as a POST of the invoice's JSON, generated with YAJL from the lines.
    void insert(int lines) {
        yajl_gen g = yajl_gen_alloc(nullptr);
        auto key = [g](const char* text) {
            yajl_gen_string(g, reinterpret_cast<const unsigned char*>(text), std::strlen(text));
        };
        yajl_gen_map_open(g);
        key("InvoiceId");
        yajl_gen_integer(g, 7);
        key("InvoiceDate");
        key("2024-03-05");
        key("CustomerName");
        key("Acme");
        key("InvoiceTotal");
        yajl_gen_double(g, 10.5);
        key("InvoicePaid");
        yajl_gen_bool(g, 0);
        key("Line");
        yajl_gen_array_open(g);
        for (int i = 1; i <= lines; ++i) {
            std::string product = "Product " + std::to_string(i);
            yajl_gen_map_open(g);
            key("InvoiceLineId");
            yajl_gen_integer(g, i);
            key("ProductName");
            key(product.c_str());
            key("LineAmount");
            yajl_gen_double(g, i + 0.25);
            yajl_gen_map_close(g);
        }
        yajl_gen_array_close(g);
        yajl_gen_map_close(g);
        const unsigned char* text = nullptr;
        size_t length = 0;
        yajl_gen_get_buf(g, &text, &length);
        std::string body(reinterpret_cast<const char*>(text), length);
        yajl_gen_free(g);
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        load();
        curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    }

    void load() {
        body_.clear();
        if (curl_easy_perform(easy_) != CURLE_OK) failed = true;
        simdjson::padded_string padded(body_);
        simdjson::dom::element root;
        if (parser_.parse(padded).get(root)) {
            failed = true;
            return;
        }
        const int64_t id = root["InvoiceId"].get_int64().value_unsafe();
        const double stamp =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        exec("BEGIN");
        sqlite3_bind_int64(upsertRoot_, 1, id);
        bindText(upsertRoot_, 2, root["InvoiceDate"]);
        bindText(upsertRoot_, 3, root["CustomerName"]);
        sqlite3_bind_double(upsertRoot_, 4, root["InvoiceTotal"].get_double().value_unsafe());
        sqlite3_bind_int(upsertRoot_, 5, root["InvoicePaid"].get_bool().value_unsafe() ? 1 : 0);
        sqlite3_bind_double(upsertRoot_, 6, stamp);
        step(upsertRoot_);
        int64_t last = 0;
        simdjson::dom::array lineArray;
        if (root["Line"].get_array().get(lineArray)) failed = true;
        for (simdjson::dom::element line : lineArray) {
            last = line["InvoiceLineId"].get_int64().value_unsafe();
            sqlite3_bind_int64(upsertLine_, 1, id);
            sqlite3_bind_int64(upsertLine_, 2, last);
            bindText(upsertLine_, 3, line["ProductName"]);
            sqlite3_bind_double(upsertLine_, 4, line["LineAmount"].get_double().value_unsafe());
            sqlite3_bind_double(upsertLine_, 5, stamp);
            step(upsertLine_);
        }
        sqlite3_bind_int64(dropLines_, 1, id);
        sqlite3_bind_int64(dropLines_, 2, last);
        step(dropLines_);
        exec("COMMIT");
        sqlite3_bind_int64(readRoot_, 1, id);
        if (sqlite3_step(readRoot_) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_text(readRoot_, 0));
        sqlite3_reset(readRoot_);
        sqlite3_bind_int64(readLines_, 1, id);
        int rows = 0;
        while (sqlite3_step(readLines_) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(readLines_, 1));
            ++rows;
        }
        sqlite3_reset(readLines_);
        if (rows == 0) failed = true;
    }
    bool failed = false;

  private:
    static size_t collect(char* data, size_t size, size_t count, void* out) {
        static_cast<std::string*>(out)->append(data, size * count);
        return size * count;
    }
    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) failed = true;
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        return statement;
    }
    void step(sqlite3_stmt* statement) {
        if (sqlite3_step(statement) != SQLITE_DONE) failed = true;
        sqlite3_reset(statement);
    }
    static void bindText(sqlite3_stmt* statement, int index, simdjson::dom::element value) {
        std::string_view text = value.get_string().value_unsafe();
        sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }

    CURL* easy_;
    curl_slist* headers_ = nullptr;
    std::string url_;
    std::string body_;
    simdjson::dom::parser parser_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* upsertRoot_ = nullptr;
    sqlite3_stmt* upsertLine_ = nullptr;
    sqlite3_stmt* dropLines_ = nullptr;
    sqlite3_stmt* readRoot_ = nullptr;
    sqlite3_stmt* readLines_ = nullptr;
};

std::map<int, zqbench::PairedFigures>& figures() {
    static std::map<int, zqbench::PairedFigures> byLines;
    return byLines;
}

void BM_LoadByKey_Paired(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    world().serve(lines);
    auto folder = zqbench::runFolder("zq-bc-bench") / std::to_string(lines);
    std::filesystem::create_directories(folder);
    Plain plain(folder / "plain.sqlite");
    Library ours(folder / "app");
    for (auto _ : state) {
        auto paired = zqbench::comparePaired([&] { plain.load(); }, [&] { ours.load(); }, 20,
                                             std::chrono::milliseconds(60));
        state.counters["plain_us"] = paired.plainSeconds * 1e6;
        state.counters["ours_us"] = paired.measuredSeconds * 1e6;
        state.counters["ratio"] = paired.ratio;
        figures()[lines] = paired;
    }
    if (plain.failed || ours.failed) state.SkipWithError("a load failed");
}

std::map<int, zqbench::PairedFigures>& insertFigures() {
    static std::map<int, zqbench::PairedFigures> byLines;
    return byLines;
}

void BM_Insert_Paired(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    world().serve(lines);
    auto folder = zqbench::runFolder("zq-bc-bench") / ("insert-" + std::to_string(lines));
    std::filesystem::create_directories(folder);
    Plain plain(folder / "plain.sqlite");
    Library ours(folder / "app");
    for (auto _ : state) {
        auto paired = zqbench::comparePaired([&] { plain.insert(lines); }, [&] { ours.insert(); },
                                             20, std::chrono::milliseconds(60));
        state.counters["plain_us"] = paired.plainSeconds * 1e6;
        state.counters["ours_us"] = paired.measuredSeconds * 1e6;
        state.counters["ratio"] = paired.ratio;
        insertFigures()[lines] = paired;
    }
    if (plain.failed || ours.failed)
        state.SkipWithError(plain.failed ? "a plain insert failed" : "an insert failed");
}

BENCHMARK(BM_Insert_Paired)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LoadByKey_Paired)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    zqbench::steadyAllocator();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    zqbench::removeRunFolder(zqbench::runFolder("zq-bc-bench"));
    std::printf("\nLoad by key, ours / plain (paired; goal: within 2x at every size)\n");
    for (const auto& [lines, f] : figures())
        std::printf("  %5d lines: plain %8.1f us, ours %8.1f us, ratio %.2f\n", lines,
                    f.plainSeconds * 1e6, f.measuredSeconds * 1e6, f.ratio);
    std::printf("Insert, ours / plain (paired; goal: within 2x at every size)\n");
    for (const auto& [lines, f] : insertFigures())
        std::printf("  %5d lines: plain %8.1f us, ours %8.1f us, ratio %.2f\n", lines,
                    f.plainSeconds * 1e6, f.measuredSeconds * 1e6, f.ratio);
    return 0;
}
