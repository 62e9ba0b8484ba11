// The cache save operation against plain SQLite code doing the same rows in the same run, at
// 1,000 / 10,000 / 100,000 rows of a cached collection provider (ten fields, a sublevel of two
// lines per row, keys on both levels):
//   SaveFirstPage - a first page with clearPrevious into an empty cache;
//   SaveAgain     - the same page saved again over the cached rows: every order and line matched
//                   by key and updated, the lines relinked, the query's rows replaced.
// Both sides start from the same parsed JSON (platform values) and convert each field with the
// host's conversion; the plain side uses the same table layout as the object store (link table
// for the ordered lines, indexes on foreign keys, rowId and the query's key, none on the storage
// keys, which it reads into a hash map as the operation does). There is no running model, so the
// operation merges into no main context. At exit a table gives each pair's best time per
// iteration and their ratio, and the peak resident memory.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "bench/BenchSupport.hpp"
#include "platform/NamedLock.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

using namespace platform;

namespace {

// ---- shared data

std::filesystem::path benchFolder() {
    return zqbench::runFolder("zq-cache-save-bench-");
}

// The save runs on the calling thread (its write waits on the cache-save queue, which runs the
// block inline), so the thread's CPU time is all of it.
template <typename Work>
void timed(benchmark::State& state, const std::string& work, bool plain, Work&& body) {
    zqbench::timed(state, work, plain, zqbench::threadCPU, std::forward<Work>(body));
}

const char* kModel = R"({
  "name": "CacheSaveBench",
  "appServerBaseUrl": "http://127.0.0.1:9/app/",
  "attributes": [
    {"name": "OrderId", "type": "numeric", "length": 9},
    {"name": "OrderName", "type": "varchar", "length": 40},
    {"name": "Category", "type": "varchar", "length": 20},
    {"name": "Amount", "type": "numeric", "length": 12, "decimals": 2},
    {"name": "OrderDate", "type": "date"},
    {"name": "Paid", "type": "boolean"},
    {"name": "Quantity", "type": "numeric", "length": 4},
    {"name": "Notes", "type": "varchar", "length": 100},
    {"name": "Priority", "type": "numeric", "length": 2},
    {"name": "Region", "type": "varchar", "length": 20},
    {"name": "LineId", "type": "numeric", "length": 12},
    {"name": "ProductName", "type": "varchar", "length": 40},
    {"name": "LineQty", "type": "numeric", "length": 4}
  ],
  "workWiths": [{"name": "Shop", "levels": [{"name": "Order", "list": {"data": [
    {"dataProvider": "Shop.Orders", "collection": true, "cache": {"enabled": true},
     "elements": [{"name": "OrderId"}, {"name": "OrderName"}, {"name": "Category"},
                  {"name": "Amount"}, {"name": "OrderDate"}, {"name": "Paid"},
                  {"name": "Quantity"}, {"name": "Notes"}, {"name": "Priority"},
                  {"name": "Region"}],
     "key": ["OrderId"],
     "sublevels": [{"level": "Line", "key": ["LineId"],
                    "elements": [{"name": "LineId"}, {"name": "ProductName"},
                                 {"name": "LineQty"}]}]}]}}]}]
})";

const char* kFields[] = {"OrderId", "OrderName", "Category", "Amount",   "OrderDate",
                         "Paid",    "Quantity",  "Notes",    "Priority", "Region"};
const char* kLineFields[] = {"LineId", "ProductName", "LineQty"};

struct Application {
    std::shared_ptr<const ZQApplicationModel> appModel;
    std::shared_ptr<ManagedObjectModel> schema;
    std::shared_ptr<const ZQEntityDataSourceDescriptor> orders;
};

Application& application() {
    static Application app = [] {
        Application a;
        auto loaded = ZQApplicationModelLoader::loadFromString(kModel, "cache-save-bench");
        if (!loaded.model) throw std::runtime_error(loaded.error->description());
        a.appModel = loaded.model;
        ErrorPtr error;
        a.schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(a.appModel, &error);
        if (!a.schema) throw std::runtime_error("no schema");
        ZQCoreDataCacheClasses::registerClasses();
        auto data = a.appModel->dataProviderNamed("Shop.Orders");
        a.orders = ZQRemoteWorkWithCollectionDataSource::create(data->workWithModel(), data, {});
        return a;
    }();
    return app;
}

// The parsed answer of one page, built once per size outside the timed part.
const Value& page(int n) {
    static std::map<int, Value> built;
    auto& v = built[n];
    if (v.isAbsent()) {
        Array items;
        items.reserve(static_cast<size_t>(n));
        for (int64_t id = 1; id <= n; ++id) {
            Array lines;
            for (int line = 1; line <= 2; ++line) {
                lines.push_back(
                    Value::dictionary({{"LineId", id * 100 + line},
                                       {"ProductName", "Product " + std::to_string(line)},
                                       {"LineQty", line}}));
            }
            items.push_back(Value::dictionary({{"OrderId", id},
                                               {"OrderName", "Order name " + std::to_string(id)},
                                               {"Category", id % 2 ? "Odd" : "Even"},
                                               {"Amount", static_cast<double>(id) + 0.25},
                                               {"OrderDate", "2024-03-05"},
                                               {"Paid", id % 3 == 0},
                                               {"Quantity", id % 10},
                                               {"Notes", "a note a little longer than the rest"},
                                               {"Priority", id % 5},
                                               {"Region", id % 4 < 2 ? "North" : "South"},
                                               {"Line", Value(std::move(lines))}}));
        }
        v = Value(std::move(items));
    }
    return v;
}

const std::string kQueryURL = "http://127.0.0.1:9/app/rest/Shop/Orders";

// ---- the cache save operation

// What the entity data manager does for a save: one named lock per entity, nothing more.
class BenchDelegate : public ZQEntityDataCacheSaveOperationDelegate {
  public:
    std::shared_ptr<ZQEntityDataCacheSaveLock> entityDataCacheSaveOperationObtainLockForEntityName(
        const std::string& entityName) override {
        struct Lock : ZQEntityDataCacheSaveLock {
            explicit Lock(std::shared_ptr<NamedLock> named) : named(std::move(named)) {}
            void lock() override { named->lock(); }
            void unlock() override { named->unlock(); }
            std::shared_ptr<NamedLock> named;
        };
        return std::make_shared<Lock>(locks.obtain(entityName));
    }
    void entityDataCacheSaveOperationReleaseLock(
        const std::shared_ptr<ZQEntityDataCacheSaveLock>&) override {}
    void entityDataCacheSaveOperationDidFinishSaving(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>&) override {}
    void entityDataCacheSaveOperationDidFailSavingWithError(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>&, const ErrorPtr&) override {}
    CountedLockSet locks;
};

std::shared_ptr<PersistentStoreCoordinator> openStore(const std::string& file) {
    for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file + s);
    auto coordinator = PersistentStoreCoordinator::create(application().schema);
    auto added = coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", file);
    if (added.error) throw std::runtime_error(added.error->description());
    return coordinator;
}

void storeSave(const std::shared_ptr<PersistentStoreCoordinator>& coordinator, int n) {
    auto result = ZQEntityDataServiceResult::create(true, page(n), 200, Date(1.7e9), nullptr);
    auto operation = ZQEntityDataCacheSaveOperation::create(
        *URL::fromString(kQueryURL), std::string("zqid=1"), coordinator, application().orders, true,
        result, ZQRange{0, static_cast<uint64_t>(n)});
    static auto delegate = std::make_shared<BenchDelegate>();
    operation->setDelegate(delegate);
    operation->start();
    if (operation->error()) throw std::runtime_error(operation->error()->description());
}

void BM_SaveFirstPage_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto coordinator = openStore((benchFolder() / "first.sqlite").string());
        timed(state, "FirstPage", false, [&] { storeSave(coordinator, n); });
    }
}

void BM_SaveAgain_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    auto coordinator = openStore((benchFolder() / "again.sqlite").string());
    storeSave(coordinator, n);
    for (auto _ : state) {
        timed(state, "SaveAgain", false, [&] { storeSave(coordinator, n); });
    }
}

// ---- plain SQLite

struct Plain {
    sqlite3* db = nullptr;
    std::map<std::string, sqlite3_stmt*> statements;
    ~Plain() {
        for (auto& [sql, s] : statements) sqlite3_finalize(s);
        sqlite3_close(db);
    }
    void exec(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
    }
    sqlite3_stmt* statement(const std::string& sql) {
        auto& s = statements[sql];
        if (!s && sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr)) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
        return s;
    }
    void step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
        sqlite3_reset(s);
    }
};

std::unique_ptr<Plain> openPlain(const std::string& file) {
    for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file + s);
    auto p = std::make_unique<Plain>();
    sqlite3_open(file.c_str(), &p->db);
    p->exec("PRAGMA journal_mode=WAL");
    p->exec("PRAGMA synchronous=NORMAL");
    p->exec(
        "CREATE TABLE orders (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, orderid INTEGER, "
        "ordername TEXT, category TEXT, amount REAL, orderdate REAL, paid INTEGER, quantity "
        "INTEGER, notes TEXT, priority INTEGER, region TEXT)");
    p->exec(
        "CREATE TABLE lines (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, lineid INTEGER, "
        "productname TEXT, lineqty INTEGER)");
    p->exec(
        "CREATE TABLE link (owner INTEGER NOT NULL, member INTEGER NOT NULL, pos INTEGER NOT "
        "NULL)");
    p->exec("CREATE INDEX link_owner ON link (owner, pos)");
    p->exec("CREATE INDEX link_member ON link (member)");
    p->exec(
        "CREATE TABLE query (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, uri TEXT, params TEXT, "
        "ts REAL, dts REAL, lm REAL, complete INTEGER)");
    p->exec("CREATE INDEX query_key ON query (uri, params)");
    p->exec(
        "CREATE TABLE row (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, rowid_ INTEGER, query "
        "INTEGER, entity INTEGER)");
    p->exec("CREATE INDEX row_rowid ON row (rowid_)");
    p->exec("CREATE INDEX row_query ON row (query)");
    p->exec("CREATE INDEX row_entity ON row (entity)");
    return p;
}

void bindValue(sqlite3_stmt* s, int index, const Value& v) {
    if (auto date = v.date()) {
        sqlite3_bind_double(s, index, date->timeIntervalSince1970());
    } else if (std::optional<std::string_view> text = v.string()) {
        sqlite3_bind_text(s, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
    } else if (v.kind() == Value::Kind::Double) {
        sqlite3_bind_double(s, index, *v.number());
    } else if (v.kind() == Value::Kind::Bool) {
        sqlite3_bind_int(s, index, *v.boolean() ? 1 : 0);
    } else if (auto integer = v.integer()) {
        sqlite3_bind_int64(s, index, *integer);
    } else {
        sqlite3_bind_null(s, index);
    }
}

// Key column -> primary key, read whole (the storage keys have no index).
std::unordered_map<int64_t, int64_t> keyMap(Plain& p, const char* sql) {
    std::unordered_map<int64_t, int64_t> keys;
    auto* s = p.statement(sql);
    while (sqlite3_step(s) == SQLITE_ROW)
        keys[sqlite3_column_int64(s, 1)] = sqlite3_column_int64(s, 0);
    sqlite3_reset(s);
    return keys;
}

// Inserts or updates one object of ten (or three) converted fields; returns its primary key.
int64_t writeObject(Plain& p, const Dictionary& item, const char* const* fields, size_t count,
                    const ZQEntityDataFieldDescriptors& descriptors,
                    std::unordered_map<int64_t, int64_t>& keys, int64_t& nextPK,
                    sqlite3_stmt* insert, sqlite3_stmt* update) {
    std::vector<Value> converted(count);
    for (size_t i = 0; i < count; ++i) {
        converted[i] = ZQEntityHelper::coreDataFieldValue(descriptors[i], item.get(fields[i]));
    }
    int64_t key = converted[0].integer().value_or(0);
    auto it = keys.find(key);
    bool exists = it != keys.end();
    int64_t pk = exists ? it->second : ++nextPK;
    sqlite3_stmt* s = exists ? update : insert;
    for (size_t i = 0; i < count; ++i) bindValue(s, static_cast<int>(i + 1), converted[i]);
    sqlite3_bind_int64(s, static_cast<int>(count + 1), pk);
    p.step(s);
    if (!exists) keys.emplace(key, pk);
    return pk;
}

void plainSave(Plain& p, int n) {
    auto& app = application();
    const auto& orderFields =
        app.orders->entityDataSourceDataDescriptor()->entityDataFieldDescriptors();
    const auto& lineFields = app.orders->entityDataSourceSublevels()[0]
                                 ->entityDataSourceDataDescriptor()
                                 ->entityDataFieldDescriptors();
    auto* insertOrder = p.statement(
        "INSERT INTO orders (orderid, ordername, category, amount, orderdate, paid, quantity, "
        "notes, priority, region, pk, opt) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1)");
    auto* updateOrder = p.statement(
        "UPDATE orders SET orderid = ?, ordername = ?, category = ?, amount = ?, orderdate = ?, "
        "paid = ?, quantity = ?, notes = ?, priority = ?, region = ?, opt = opt + 1 WHERE pk = ?");
    auto* insertLine = p.statement(
        "INSERT INTO lines (lineid, productname, lineqty, pk, opt) VALUES (?, ?, ?, ?, 1)");
    auto* updateLine = p.statement(
        "UPDATE lines SET lineid = ?, productname = ?, lineqty = ?, opt = opt + 1 WHERE pk = ?");
    auto* unlink = p.statement("DELETE FROM link WHERE owner = ?");
    auto* link = p.statement("INSERT INTO link (owner, member, pos) VALUES (?, ?, ?)");
    auto* insertRow =
        p.statement("INSERT INTO row (rowid_, query, entity, opt) VALUES (?, ?, ?, 1)");
    p.exec("BEGIN IMMEDIATE");
    auto* findQuery = p.statement("SELECT pk FROM query WHERE uri = ? AND params = ?");
    sqlite3_bind_text(findQuery, 1, kQueryURL.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(findQuery, 2, "zqid=1", -1, SQLITE_STATIC);
    int64_t query = sqlite3_step(findQuery) == SQLITE_ROW ? sqlite3_column_int64(findQuery, 0) : 0;
    sqlite3_reset(findQuery);
    double now = static_cast<double>(time(nullptr));
    if (!query) {
        auto* insertQuery = p.statement(
            "INSERT INTO query (uri, params, ts, dts, lm, complete, opt) VALUES (?, ?, ?, ?, ?, "
            "?, 1)");
        sqlite3_bind_text(insertQuery, 1, kQueryURL.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insertQuery, 2, "zqid=1", -1, SQLITE_STATIC);
        for (int i = 3; i <= 5; ++i) sqlite3_bind_double(insertQuery, i, now);
        sqlite3_bind_int(insertQuery, 6, 0);
        p.step(insertQuery);
        query = sqlite3_last_insert_rowid(p.db);
    } else {
        auto* touch = p.statement(
            "UPDATE query SET ts = ?, dts = ?, lm = ?, complete = 0, opt = opt + 1 WHERE pk = ?");
        for (int i = 1; i <= 3; ++i) sqlite3_bind_double(touch, i, now);
        sqlite3_bind_int64(touch, 4, query);
        p.step(touch);
    }
    auto* dropRows = p.statement("DELETE FROM row WHERE query = ?");
    sqlite3_bind_int64(dropRows, 1, query);
    p.step(dropRows);
    auto orderKeys = keyMap(p, "SELECT pk, orderid FROM orders");
    auto lineKeys = keyMap(p, "SELECT pk, lineid FROM lines");
    int64_t nextOrder = 0, nextLine = 0;
    for (auto& [k, pk] : orderKeys) nextOrder = std::max(nextOrder, pk);
    for (auto& [k, pk] : lineKeys) nextLine = std::max(nextLine, pk);
    const Array& items = *page(n).array();
    for (size_t i = 0; i < items.size(); ++i) {
        const Dictionary& item = *items[i].dictionary();
        int64_t order = writeObject(p, item, kFields, 10, orderFields, orderKeys, nextOrder,
                                    insertOrder, updateOrder);
        sqlite3_bind_int64(unlink, 1, order);
        p.step(unlink);
        const Array& lines = *item.get("Line").array();
        for (size_t l = 0; l < lines.size(); ++l) {
            int64_t line = writeObject(p, *lines[l].dictionary(), kLineFields, 3, lineFields,
                                       lineKeys, nextLine, insertLine, updateLine);
            sqlite3_bind_int64(link, 1, order);
            sqlite3_bind_int64(link, 2, line);
            sqlite3_bind_int64(link, 3, static_cast<int64_t>(l));
            p.step(link);
        }
        sqlite3_bind_int64(insertRow, 1, static_cast<int64_t>(i + 1));
        sqlite3_bind_int64(insertRow, 2, query);
        sqlite3_bind_int64(insertRow, 3, order);
        p.step(insertRow);
    }
    p.exec("COMMIT");
}

void BM_SaveFirstPage_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto p = openPlain((benchFolder() / "plain-first.sqlite").string());
        timed(state, "FirstPage", true, [&] { plainSave(*p, n); });
    }
}

void BM_SaveAgain_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    auto p = openPlain((benchFolder() / "plain-again.sqlite").string());
    plainSave(*p, n);
    for (auto _ : state) {
        timed(state, "SaveAgain", true, [&] { plainSave(*p, n); });
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    zqbench::rowSizes(b, 3);
}

BENCHMARK(BM_SaveFirstPage_Plain)->Apply(sizes);
BENCHMARK(BM_SaveFirstPage_Store)->Apply(sizes);
BENCHMARK(BM_SaveAgain_Plain)->Apply(sizes);
BENCHMARK(BM_SaveAgain_Store)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
    zqbench::steadyAllocator();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    zqbench::printRatios("save", "2.5");
    std::printf("peak resident memory: %.1f MB\n", zqbench::peakResidentMB());
    zqbench::removeRunFolder(benchFolder());
    return 0;
}
