// The cache load operation reading a cached collection query back (result type rows, an order
// with the alphabetic index on the customer name) against plain SQLite code reading the same rows
// of the same file in the same run, at 1,000 / 10,000 / 100,000 rows of a provider with ten
// fields and a sublevel of two lines per row:
//   Store - a ZQEntityDataCacheLoadOperation run on the benchmark thread: working context, record
//           fetch, rows fetch through the row entity in rowId order, sections and index titles;
//   Plain - one prepared SELECT for the record and one joined SELECT of the rows in rowId order,
//           cut into sections by the names' first ASCII letter, into plain vectors.
// The names are ASCII, in the server's order, starting with a run of names that begin with a digit
// (titled "#"), so both sides produce the same sections and titles; the run checks that they do.
// At exit a table gives each pair's best wall and thread-CPU time per iteration and their ratios.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithList.hpp"
#include "bench/BenchSupport.hpp"

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kModel = R"({
  "name": "LoadBench",
  "attributes": [
    {"name": "CustomerId", "type": "numeric", "length": 9},
    {"name": "CustomerName", "type": "varchar"},
    {"name": "City", "type": "varchar"},
    {"name": "Country", "type": "varchar"},
    {"name": "Phone", "type": "varchar"},
    {"name": "Email", "type": "varchar"},
    {"name": "Balance", "type": "numeric", "length": 12, "decimals": 2},
    {"name": "Since", "type": "date"},
    {"name": "Active", "type": "boolean"},
    {"name": "Notes", "type": "varchar"},
    {"name": "LineId", "type": "numeric", "length": 4},
    {"name": "Product", "type": "varchar"}
  ],
  "workWiths": [{"name": "Customers", "levels": [{"name": "Customer", "list": {"data": [{
    "dataProvider": "Bench.Customers", "collection": true, "cache": {"enabled": true},
    "elements": [{"name": "CustomerId"}, {"name": "CustomerName"}, {"name": "City"},
                 {"name": "Country"}, {"name": "Phone"}, {"name": "Email"}, {"name": "Balance"},
                 {"name": "Since"}, {"name": "Active"}, {"name": "Notes"}],
    "key": ["CustomerId"],
    "sublevels": [{"level": "Lines", "elements": [{"name": "LineId"}, {"name": "Product"}],
                   "key": ["LineId"]}],
    "orders": [{"name": "ByName", "fields": ["CustomerName"], "alphaIndex": true}]
  }]}}]}]
})";

constexpr const char* kBaseURI = "http://127.0.0.1/rest/Bench/Customers";

std::filesystem::path benchFolder() {
    return zqbench::runFolder("zq-cache-load-bench-");
}

// Sorted as a server would send them for the name order: first 1% start with a digit, the rest
// run through the alphabet.
std::string nameOf(int64_t i, int64_t n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(i));
    if (i < n / 100) return std::string("1") + digits + " Holdings";
    char letter = static_cast<char>('A' + (i * 26) / n);
    return std::string(1, letter) + "customer " + digits;
}

struct Fixture {
    std::shared_ptr<const ZQApplicationModel> appModel;
    std::shared_ptr<ZQWorkWithCollectionDataSource> dataSource;
};

const Fixture& fixture() {
    static Fixture f = [] {
        ZQCoreDataCacheClasses::registerClasses();
        auto loaded = ZQApplicationModelLoader::loadFromString(kModel, "bench");
        if (loaded.error) throw std::runtime_error(loaded.error->description());
        auto workWith = loaded.model->workWithsByName().at("Customers");
        auto data = workWith->levels().at(0)->list()->data().at(0);
        return Fixture{loaded.model, ZQWorkWithCollectionDataSource::create(workWith, data, {})};
    }();
    return f;
}

struct Cache {
    std::string file;
    std::shared_ptr<PersistentStoreCoordinator> coordinator;
};

// A cache file holding one query of n rows, written through the object store.
Cache& populatedCache(int n) {
    static std::map<int, Cache> caches;
    if (auto it = caches.find(n); it != caches.end()) return it->second;
    ErrorPtr error;
    auto schema =
        ZQCoreDataModelFactory::coreDataModelForApplicationModel(fixture().appModel, &error);
    if (!schema) throw std::runtime_error("schema");
    Cache cache{(benchFolder() / ("cache-" + std::to_string(n) + ".sqlite")).string(),
                PersistentStoreCoordinator::create(schema)};
    auto added =
        cache.coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", cache.file);
    if (added.error) throw std::runtime_error(added.error->description());
    auto context =
        ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(cache.coordinator);
    auto query = context->insertNewObject("_QueryBench__Customers");
    Date now = Date::now();
    (void)query->setValuesForKeysWithDictionary({{"queryBaseUri", kBaseURI},
                                                 {"timeStamp", Value(now)},
                                                 {"dataTimeStamp", Value(now)},
                                                 {"complete", true}});
    for (int64_t i = 0; i < n; ++i) {
        Array lines;
        for (int line = 1; line <= 2; ++line) {
            auto object = context->insertNewObject("_SublevelBench__Customers_Lines");
            (void)object->setValuesForKeysWithDictionary(
                {{"zqlineid", line}, {"zqproduct", "product " + std::to_string(i % 50)}});
            lines.push_back(Value::object(object));
        }
        auto customer = context->insertNewObject("Bench__Customers");
        if (auto failed = customer->setValuesForKeysWithDictionary(
                {{"zqcustomerid", i + 1},
                 {"zqcustomername", nameOf(i, n)},
                 {"zqcity", "city " + std::to_string(i % 300)},
                 {"zqcountry", "country " + std::to_string(i % 40)},
                 {"zqphone", "+1 555 " + std::to_string(1000000 + i)},
                 {"zqemail", "customer" + std::to_string(i) + "@example.com"},
                 {"zqbalance", static_cast<double>(i) * 1.25},
                 {"zqsince", Value(Date(1.6e9 + static_cast<double>(i) * 60))},
                 {"zqactive", i % 3 != 0},
                 {"zqnotes", "a note that is a little longer than the other strings"},
                 {"zqlines", Value(std::move(lines))}})) {
            throw std::runtime_error(failed->description());
        }
        auto row = context->insertNewObject("_QueryCollectionEntityBench__Customers");
        (void)row->setValuesForKeysWithDictionary({{"rowId", static_cast<int>(i + 1)},
                                                   {"query", Value::object(query)},
                                                   {"entityData", Value::object(customer)}});
    }
    if (auto failed = context->save()) throw std::runtime_error(failed->description());
    return caches.emplace(n, std::move(cache)).first->second;
}

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Both sides run entirely on the benchmark thread, so its CPU time is the whole work.
using zqbench::threadCPU;
void recordBest(int n, bool plain, double s, double cpu) {
    zqbench::recordBest("RowsReadBack", n, plain, s, cpu);
}

// What both sides must agree on: sections, titles in order, rows.
struct Shape {
    size_t rows = 0, sections = 0, titles = 0;
    bool operator==(const Shape&) const = default;
};
std::map<int, Shape>& shapes(bool plain) {
    static std::map<int, Shape> store, plainShapes;
    return plain ? plainShapes : store;
}
void checkShape(int n, bool plain, Shape shape) {
    auto& mine = shapes(plain);
    mine[n] = shape;
    auto& other = shapes(!plain);
    if (shape.rows != static_cast<size_t>(n)) throw std::runtime_error("row count");
    if (other.count(n) && !(other[n] == shape)) throw std::runtime_error("shapes differ");
}

void BM_RowsReadBack_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Cache& cache = populatedCache(n);
    for (auto _ : state) {
        auto start = Clock::now();
        double cpu = threadCPU();
        auto operation = ZQEntityDataCacheLoadOperation::create(
            URL::fromString(kBaseURI).value(), std::nullopt, cache.coordinator,
            fixture().dataSource, ZQEntityDataCacheLoadResultType::rows, 0, false, true);
        operation->start();
        Value sections = operation->loadedEntities();
        cpu = threadCPU() - cpu;
        double s = seconds(start);
        state.SetIterationTime(s);
        recordBest(n, false, s, cpu);
        if (operation->error()) throw std::runtime_error(operation->error()->description());
        Shape shape{operation->count(), sections.count(),
                    operation->loadedAlphaIndexTitles().count()};
        checkShape(n, false, shape);
    }
}

struct Plain {
    sqlite3* db = nullptr;
    sqlite3_stmt* record = nullptr;
    sqlite3_stmt* rows = nullptr;
    ~Plain() {
        sqlite3_finalize(record);
        sqlite3_finalize(rows);
        sqlite3_close(db);
    }
};

Plain& plainFor(int n) {
    static std::map<int, std::unique_ptr<Plain>> opened;
    auto& p = opened[n];
    if (p) return *p;
    p = std::make_unique<Plain>();
    if (sqlite3_open_v2(populatedCache(n).file.c_str(), &p->db, SQLITE_OPEN_READONLY, nullptr) ||
        sqlite3_prepare_v3(p->db,
                           "SELECT \"Z_PK\" FROM \"E__QueryBench__Customers\" WHERE "
                           "\"A_queryBaseUri\" = ? AND \"A_queryParameters\" IS NULL LIMIT 1",
                           -1, SQLITE_PREPARE_PERSISTENT, &p->record, nullptr) ||
        sqlite3_prepare_v3(
            p->db,
            "SELECT r.\"R_entityData\", e.\"A_zqcustomername\" FROM "
            "\"E__QueryCollectionEntityBench__Customers\" r LEFT JOIN \"E_Bench__Customers\" e "
            "ON e.\"Z_PK\" = r.\"R_entityData\" WHERE r.\"R_query\" = ? ORDER BY r.\"A_rowId\"",
            -1, SQLITE_PREPARE_PERSISTENT, &p->rows, nullptr)) {
        throw std::runtime_error(sqlite3_errmsg(p->db));
    }
    return *p;
}

void BM_RowsReadBack_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Plain& p = plainFor(n);
    for (auto _ : state) {
        auto start = Clock::now();
        double cpu = threadCPU();
        sqlite3_bind_text(p.record, 1, kBaseURI, -1, SQLITE_STATIC);
        if (sqlite3_step(p.record) != SQLITE_ROW) throw std::runtime_error("no record");
        int64_t record = sqlite3_column_int64(p.record, 0);
        sqlite3_reset(p.record);
        std::vector<std::vector<int64_t>> sections;
        std::vector<std::string> titles;
        std::unordered_map<std::string, std::pair<size_t, size_t>> ranges;
        size_t rows = 0;
        sqlite3_bind_int64(p.rows, 1, record);
        while (sqlite3_step(p.rows) == SQLITE_ROW) {
            ++rows;
            const auto* name = sqlite3_column_text(p.rows, 1);
            char first = name ? static_cast<char>(name[0]) : 0;
            std::string title =
                std::isalpha(static_cast<unsigned char>(first))
                    ? std::string(
                          1, static_cast<char>(std::toupper(static_cast<unsigned char>(first))))
                    : "#";
            if (titles.empty() || titles.back() != title) {
                titles.push_back(title);
                sections.emplace_back();
                ranges[title] = {sections.size() - 1, 1};
            }
            sections.back().push_back(sqlite3_column_int64(p.rows, 0));
        }
        sqlite3_reset(p.rows);
        cpu = threadCPU() - cpu;
        double s = seconds(start);
        state.SetIterationTime(s);
        recordBest(n, true, s, cpu);
        checkShape(n, true, Shape{rows, sections.size(), titles.size()});
        benchmark::DoNotOptimize(ranges);
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    zqbench::rowSizes(b, 5);
}

BENCHMARK(BM_RowsReadBack_Plain)->Apply(sizes);
BENCHMARK(BM_RowsReadBack_Store)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
    zqbench::steadyAllocator();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    zqbench::printRatios("store", "2.0");
    zqbench::removeRunFolder(benchFolder());
    return 0;
}
