// The object store against plain SQLite code doing the same work in the same run (prepared
// statements, one transaction, the same table layout and indexes), at 1,000 / 10,000 / 100,000
// objects of an entity with ten attributes:
//   Insert  - insert objects and save;
//   Update  - find existing objects by an indexed key and change two attributes, then save;
//   RowsFetch - read all rows of one cached query ordered by position, as dictionaries of three
//             properties (the item's identifier and two of its attributes, through the row);
//   LinkFetch - read the members of an ordered to-many relationship (a link table) in order, in a
//             fresh context, as dictionaries of three properties (identifier and two attributes);
//   Merge   - merge a did-save notification that updated every object into a main-queue context
//             that holds them (plain: re-read the changed rows into the held copies).
// At exit a table gives each pair's best time per iteration, their ratio and the peak resident
// memory of the process.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "bench/BenchSupport.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

using namespace platform;

namespace {

// ---- shared data

std::filesystem::path benchFolder() {
    return zqbench::runFolder("zq-objectstore-bench-");
}

std::string nameOf(int64_t i) {
    return "customer name " + std::to_string(i);
}
double amountOf(int64_t i, int round) {
    return static_cast<double>(i) * 1.25 + round;
}

std::shared_ptr<ManagedObjectModel> benchModel() {
    static auto model = [] {
        auto record = EntityDescription::create("Record");
        auto a = [](const char* name, AttributeType type) {
            return AttributeDescription::create(name, type);
        };
        auto entityQueries =
            RelationshipDescription::create("entityQueries", "Row", true, DeleteRule::Cascade);
        entityQueries->setInverseName("entityData");
        auto parentLevel = RelationshipDescription::create("parentLevel", "Parent", true);
        parentLevel->setInverseName("zqrecords");
        record->setProperties({a("key", AttributeType::Integer64), a("name", AttributeType::String),
                               a("code", AttributeType::String), a("amount", AttributeType::Double),
                               a("qty", AttributeType::Integer32),
                               a("price", AttributeType::Decimal),
                               a("active", AttributeType::Boolean),
                               a("created", AttributeType::Date), a("note", AttributeType::String),
                               a("flags", AttributeType::Integer16), entityQueries, parentLevel});
        record->setIndexes({FetchIndexDescription("key", {{"key", true, {}}})});
        auto query = EntityDescription::create("Query");
        auto rows =
            RelationshipDescription::create("queryEntities", "Row", true, DeleteRule::Cascade);
        rows->setInverseName("query");
        query->setProperties({a("queryBaseUri", AttributeType::String), rows});
        auto row = EntityDescription::create("Row");
        auto toQuery = RelationshipDescription::create("query", "Query", false);
        toQuery->setInverseName("queryEntities");
        auto toRecord = RelationshipDescription::create("entityData", "Record", false);
        toRecord->setInverseName("entityQueries");
        row->setProperties({a("rowId", AttributeType::Integer32), toQuery, toRecord});
        row->setIndexes({FetchIndexDescription("rowId", {{"rowId", true, {}}})});
        auto parent = EntityDescription::create("Parent");
        auto records = RelationshipDescription::create("zqrecords", "Record", true);
        records->setInverseName("parentLevel");
        records->setOrdered(true);
        parent->setProperties({a("code", AttributeType::String), records});
        auto m = ManagedObjectModel::create();
        m->setEntities({record, query, row, parent});
        return m;
    }();
    return model;
}

Dictionary recordValues(int64_t i) {
    static const Decimal price = *Decimal::fromString("19.99");
    return Dictionary{{"key", i},
                      {"name", nameOf(i)},
                      {"code", "C" + std::to_string(i % 977)},
                      {"amount", amountOf(i, 0)},
                      {"qty", static_cast<int>(i % 1000)},
                      {"price", Value(price)},
                      {"active", i % 2 == 0},
                      {"created", Value(Date(1.7e9 + static_cast<double>(i)))},
                      {"note", "a note that is a little longer than the other strings"},
                      {"flags", static_cast<int>(i % 7)}};
}

// The input of the insert benchmarks, built once per size outside the timed part: both sides
// start from the same dictionaries of values.
const std::vector<Dictionary>& inputs(int n) {
    static std::map<int, std::vector<Dictionary>> built;
    auto& v = built[n];
    if (v.empty()) {
        for (int64_t i = 0; i < n; ++i) v.push_back(recordValues(i));
    }
    return v;
}

// ---- the object store

struct Store {
    std::shared_ptr<PersistentStoreCoordinator> coordinator;
    std::shared_ptr<ManagedObjectContext> context(
        ManagedObjectContext::ConcurrencyType type =
            ManagedObjectContext::ConcurrencyType::PrivateQueue) {
        auto c = ManagedObjectContext::create(type);
        c->setPersistentStoreCoordinator(coordinator);
        return c;
    }
};

Store openStore(const std::string& file) {
    for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file + s);
    Store store{PersistentStoreCoordinator::create(benchModel())};
    auto added =
        store.coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", file);
    if (added.error) throw std::runtime_error(added.error->description());
    return store;
}

void storeInsert(Store& store, int n) {
    auto context = store.context();
    const auto& values = inputs(n);
    for (int64_t i = 0; i < n; ++i) {
        auto object = context->insertNewObject("Record");
        if (object->setValuesForKeysWithDictionary(values[static_cast<size_t>(i)]))
            throw std::runtime_error("set");
    }
    if (auto error = context->save()) throw std::runtime_error(error->description());
}

// A store with n records, one query and a row per record pointing at it, and one parent whose
// ordered relationship holds every record, the last first.
Store& populatedStore(int n) {
    static std::map<int, Store> stores;
    auto it = stores.find(n);
    if (it != stores.end()) return it->second;
    Store store = openStore((benchFolder() / ("store-" + std::to_string(n) + ".sqlite")).string());
    auto context = store.context();
    auto query = context->insertNewObject("Query");
    (void)query->setValueForKey(Value("http://host/rest/Records"), "queryBaseUri");
    Array members;
    for (int64_t i = 0; i < n; ++i) {
        auto object = context->insertNewObject("Record");
        (void)object->setValuesForKeysWithDictionary(recordValues(i));
        auto row = context->insertNewObject("Row");
        (void)row->setValuesForKeysWithDictionary({{"rowId", static_cast<int>(n - i)},
                                                   {"query", Value::object(query)},
                                                   {"entityData", Value::object(object)}});
        members.push_back(Value::object(object));
    }
    std::reverse(members.begin(), members.end());
    auto parent = context->insertNewObject("Parent");
    if (parent->setValueForKey(Value(std::move(members)), "zqrecords")) {
        throw std::runtime_error("set members");
    }
    if (auto error = context->save()) throw std::runtime_error(error->description());
    return stores.emplace(n, std::move(store)).first->second;
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
};

std::unique_ptr<Plain> openPlain(const std::string& file) {
    for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file + s);
    auto p = std::make_unique<Plain>();
    sqlite3_open(file.c_str(), &p->db);
    p->exec("PRAGMA journal_mode=WAL");
    p->exec("PRAGMA synchronous=NORMAL");
    p->exec(
        "CREATE TABLE rec (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, key INTEGER, name TEXT, "
        "code TEXT, amount REAL, qty INTEGER, price TEXT, active INTEGER, created REAL, note "
        "TEXT, flags INTEGER)");
    p->exec("CREATE INDEX rec_key ON rec (key)");
    p->exec("CREATE TABLE query (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, uri TEXT)");
    p->exec(
        "CREATE TABLE row (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, rowId INTEGER, query "
        "INTEGER, entityData INTEGER)");
    p->exec("CREATE INDEX row_rowId ON row (rowId)");
    p->exec("CREATE INDEX row_query ON row (query)");
    p->exec("CREATE INDEX row_entityData ON row (entityData)");
    p->exec("CREATE TABLE parent (pk INTEGER PRIMARY KEY, opt INTEGER NOT NULL, code TEXT)");
    p->exec(
        "CREATE TABLE link (owner INTEGER NOT NULL, member INTEGER NOT NULL, pos INTEGER NOT "
        "NULL)");
    p->exec("CREATE INDEX link_owner ON link (owner, pos)");
    p->exec("CREATE INDEX link_member ON link (member)");
    return p;
}

void bindValue(sqlite3_stmt* s, int index, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Integer:
            sqlite3_bind_int64(s, index, *v.integer());
            break;
        case Value::Kind::Bool:
            sqlite3_bind_int64(s, index, *v.boolean() ? 1 : 0);
            break;
        case Value::Kind::Double:
            sqlite3_bind_double(s, index, *v.number());
            break;
        case Value::Kind::Date:
            sqlite3_bind_double(s, index, v.date()->timeIntervalSince1970());
            break;
        case Value::Kind::Decimal:
            sqlite3_bind_text(s, index, v.decimal()->text().c_str(), -1, SQLITE_TRANSIENT);
            break;
        case Value::Kind::String:
            sqlite3_bind_text(s, index, v.string()->data(), static_cast<int>(v.string()->size()),
                              SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_null(s, index);
    }
}

void plainInsert(Plain& p, int n, bool withRows) {
    static const char* columns[] = {"key",   "name",   "code",    "amount", "qty",
                                    "price", "active", "created", "note",   "flags"};
    p.exec("BEGIN IMMEDIATE");
    auto* insert = p.statement("INSERT INTO rec VALUES (?, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    auto* insertRow = p.statement("INSERT INTO row VALUES (?, 1, ?, 1, ?)");
    auto* insertLink = p.statement("INSERT INTO link VALUES (1, ?, ?)");
    if (withRows) {
        p.exec("INSERT INTO query VALUES (1, 1, 'http://host/rest/Records')");
        p.exec("INSERT INTO parent VALUES (1, 1, NULL)");
    }
    const auto& values = inputs(n);
    for (int64_t i = 0; i < n; ++i) {
        const Dictionary& row = values[static_cast<size_t>(i)];
        sqlite3_bind_int64(insert, 1, i + 1);
        for (int c = 0; c < 10; ++c) bindValue(insert, c + 2, row.get(columns[c]));
        sqlite3_step(insert);
        sqlite3_reset(insert);
        if (withRows) {
            sqlite3_bind_int64(insertRow, 1, i + 1);
            sqlite3_bind_int64(insertRow, 2, n - i);
            sqlite3_bind_int64(insertRow, 3, i + 1);
            sqlite3_step(insertRow);
            sqlite3_reset(insertRow);
            sqlite3_bind_int64(insertLink, 1, i + 1);
            sqlite3_bind_int64(insertLink, 2, n - 1 - i);
            sqlite3_step(insertLink);
            sqlite3_reset(insertLink);
        }
    }
    p.exec("COMMIT");
}

Plain& populatedPlain(int n) {
    static std::map<int, std::unique_ptr<Plain>> plains;
    auto& p = plains[n];
    if (!p) {
        p = openPlain((benchFolder() / ("plain-" + std::to_string(n) + ".sqlite")).string());
        plainInsert(*p, n, true);
    }
    return *p;
}

// Both sides run on the benchmark thread, so its CPU time is the whole work.
template <typename F>
void timed(benchmark::State& state, const char* work, bool plain, F&& body) {
    zqbench::timed(state, work, plain, zqbench::threadCPU, std::forward<F>(body));
}

// ---- benchmarks

void BM_Insert_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    std::string file = (benchFolder() / "insert-store.sqlite").string();
    for (auto _ : state) {
        Store store = openStore(file);
        timed(state, "Insert", false, [&] { storeInsert(store, n); });
    }
}

void BM_Insert_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    std::string file = (benchFolder() / "insert-plain.sqlite").string();
    for (auto _ : state) {
        auto plain = openPlain(file);
        timed(state, "Insert", true, [&] { plainInsert(*plain, n, false); });
    }
}

void BM_Update_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Store& store = populatedStore(n);
    static int round = 0;  // never repeats, so that every round changes every row
    for (auto _ : state) {
        ++round;
        timed(state, "Update", false, [&] {
            auto context = store.context();
            FetchRequest request("Record");
            request.setFetchLimit(1);
            for (int64_t i = 0; i < n; ++i) {
                request.setPredicate(Predicate::equal("key", i));
                auto found = context->executeFetchRequest(request);
                auto object =
                    std::dynamic_pointer_cast<ManagedObject>(found.results.at(0).object());
                (void)object->setValueForKey(Value(amountOf(i, round)), "amount");
                (void)object->setValueForKey(Value(nameOf(i + round)), "name");
            }
            if (auto error = context->save()) throw std::runtime_error(error->description());
        });
    }
}

void BM_Update_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Plain& p = populatedPlain(n);
    static int round = 0;
    for (auto _ : state) {
        ++round;
        timed(state, "Update", true, [&] {
            auto* find = p.statement(
                "SELECT pk, opt, key, name, code, amount, qty, price, active, "
                "created, note, flags FROM rec WHERE key = ? LIMIT 1");
            auto* update =
                p.statement("UPDATE rec SET opt = opt + 1, amount = ?, name = ? WHERE pk = ?");
            p.exec("BEGIN IMMEDIATE");
            for (int64_t i = 0; i < n; ++i) {
                sqlite3_bind_int64(find, 1, i);
                if (sqlite3_step(find) != SQLITE_ROW) throw std::runtime_error("missing");
                int64_t pk = sqlite3_column_int64(find, 0);
                sqlite3_reset(find);
                std::string name = nameOf(i + round);
                sqlite3_bind_double(update, 1, amountOf(i, round));
                sqlite3_bind_text(update, 2, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_int64(update, 3, pk);
                sqlite3_step(update);
                sqlite3_reset(update);
            }
            p.exec("COMMIT");
        });
    }
}

void BM_RowsFetch_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Store& store = populatedStore(n);
    auto context = store.context();
    FetchRequest queryRequest("Query");
    queryRequest.setResultType(FetchRequest::ResultType::ManagedObjectID);
    auto queryID = context->executeFetchRequest(queryRequest).results.at(0);
    FetchRequest request("Row");
    request.setPredicate(Predicate::equal("query", queryID));
    request.setSortDescriptors({{"rowId", true}});
    request.setResultType(FetchRequest::ResultType::Dictionary);
    request.setPropertiesToFetch(
        {ExpressionDescription("objectID", Expression::expressionForKeyPath("entityData"),
                               AttributeType::ObjectID),
         ExpressionDescription("zqname", Expression::expressionForKeyPath("entityData.name"),
                               AttributeType::String),
         ExpressionDescription("zqamount", Expression::expressionForKeyPath("entityData.amount"),
                               AttributeType::Double)});
    for (auto _ : state) {
        timed(state, "RowsFetch", false, [&] {
            auto rows = context->executeFetchRequest(request);
            if (rows.results.size() != static_cast<size_t>(n)) throw std::runtime_error("rows");
            benchmark::DoNotOptimize(rows);
        });
    }
}

void BM_RowsFetch_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Plain& p = populatedPlain(n);
    for (auto _ : state) {
        timed(state, "RowsFetch", true, [&] {
            auto* s = p.statement(
                "SELECT r.entityData, e.name, e.amount FROM row r LEFT JOIN rec e ON e.pk = "
                "r.entityData WHERE r.query = ? ORDER BY r.rowId ASC");
            sqlite3_bind_int64(s, 1, 1);
            Array rows;
            while (sqlite3_step(s) == SQLITE_ROW) {
                const char* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
                rows.push_back(Value(Dictionary::fromEntries(
                    {{"objectID", Value(static_cast<long long>(sqlite3_column_int64(s, 0)))},
                     {"zqname", Value(std::string(name, sqlite3_column_bytes(s, 1)))},
                     {"zqamount", Value(sqlite3_column_double(s, 2))}})));
            }
            sqlite3_reset(s);
            if (rows.size() != static_cast<size_t>(n)) throw std::runtime_error("rows");
            benchmark::DoNotOptimize(rows);
        });
    }
}

void BM_LinkFetch_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Store& store = populatedStore(n);
    FetchRequest parents("Parent");
    parents.setResultType(FetchRequest::ResultType::ManagedObjectID);
    auto parentID = objectIDFromValue(store.context()->executeFetchRequest(parents).results.at(0));
    for (auto _ : state) {
        timed(state, "LinkFetch", false, [&] {
            auto context = store.context();
            auto members = context->objectWithID(parentID)->valueForKey("zqrecords");
            auto set = std::dynamic_pointer_cast<ManagedObjectSet>(members.object());
            Array rows;
            rows.reserve(set->count());
            for (const auto& object : set->objects()) {
                rows.push_back(Value(
                    Dictionary::fromEntries({{"objectID", Value::objectID(object->objectID())},
                                             {"zqname", object->valueForKey("name")},
                                             {"zqamount", object->valueForKey("amount")}})));
            }
            if (rows.size() != static_cast<size_t>(n)) throw std::runtime_error("members");
            benchmark::DoNotOptimize(rows);
        });
    }
}

void BM_LinkFetch_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Plain& p = populatedPlain(n);
    for (auto _ : state) {
        timed(state, "LinkFetch", true, [&] {
            auto* s = p.statement(
                "SELECT l.member, e.name, e.amount FROM link l JOIN rec e ON e.pk = l.member "
                "WHERE l.owner = ? ORDER BY l.pos");
            sqlite3_bind_int64(s, 1, 1);
            Array rows;
            while (sqlite3_step(s) == SQLITE_ROW) {
                const char* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
                rows.push_back(Value(Dictionary::fromEntries(
                    {{"objectID", Value(static_cast<long long>(sqlite3_column_int64(s, 0)))},
                     {"zqname", Value(std::string(name, sqlite3_column_bytes(s, 1)))},
                     {"zqamount", Value(sqlite3_column_double(s, 2))}})));
            }
            sqlite3_reset(s);
            if (rows.size() != static_cast<size_t>(n)) throw std::runtime_error("members");
            benchmark::DoNotOptimize(rows);
        });
    }
}

void BM_Merge_Store(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Store& store = populatedStore(n);
    auto main = store.context(ManagedObjectContext::ConcurrencyType::MainQueue);
    auto held = main->executeFetchRequest(FetchRequest("Record"));
    static int round = 100;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        auto writer = store.context();
        std::shared_ptr<ContextDidSaveNotification> saved;
        auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& note) {
            saved = std::make_shared<ContextDidSaveNotification>(note);
        });
        for (const auto& object : writer->executeFetchRequest(FetchRequest("Record")).objects()) {
            (void)object->setValueForKey(Value(amountOf(0, round)), "amount");
        }
        if (writer->save()) throw std::runtime_error("save");
        state.ResumeTiming();
        timed(state, "Merge", false,
              [&] { main->mergeChangesFromContextDidSaveNotification(*saved); });
    }
    if (*held.objects().at(0)->valueForKey("amount").number() != amountOf(0, round)) {
        state.SkipWithError("the merge did not bring the new values in");
    }
}

void BM_Merge_Plain(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    Plain& p = populatedPlain(n);
    // The held copies: each row's ten values.
    std::vector<std::vector<Value>> held(static_cast<size_t>(n), std::vector<Value>(10));
    for (auto _ : state) {
        state.PauseTiming();
        p.exec("UPDATE rec SET opt = opt + 1, amount = amount + 1");
        p.exec("PRAGMA wal_checkpoint(PASSIVE)");
        state.ResumeTiming();
        timed(state, "Merge", true, [&] {
            auto* s = p.statement(
                "SELECT opt, key, name, code, amount, qty, price, active, "
                "created, note, flags FROM rec WHERE pk = ?");
            for (int64_t i = 0; i < n; ++i) {
                sqlite3_bind_int64(s, 1, i + 1);
                if (sqlite3_step(s) != SQLITE_ROW) throw std::runtime_error("missing");
                auto& row = held[static_cast<size_t>(i)];
                row[0] = Value(static_cast<long long>(sqlite3_column_int64(s, 1)));
                row[1] = Value(reinterpret_cast<const char*>(sqlite3_column_text(s, 2)));
                row[2] = Value(reinterpret_cast<const char*>(sqlite3_column_text(s, 3)));
                row[3] = Value(sqlite3_column_double(s, 4));
                row[4] = Value(static_cast<long long>(sqlite3_column_int64(s, 5)));
                row[5] = Value(
                    *Decimal::fromString(reinterpret_cast<const char*>(sqlite3_column_text(s, 6))));
                row[6] = Value(sqlite3_column_int64(s, 7) != 0);
                row[7] = Value(Date(sqlite3_column_double(s, 8)));
                row[8] = Value(reinterpret_cast<const char*>(sqlite3_column_text(s, 9)));
                row[9] = Value(static_cast<long long>(sqlite3_column_int64(s, 10)));
                sqlite3_reset(s);
            }
        });
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    zqbench::rowSizes(b, 3);
}

BENCHMARK(BM_Insert_Plain)->Apply(sizes);
BENCHMARK(BM_Insert_Store)->Apply(sizes);
BENCHMARK(BM_Update_Plain)->Apply(sizes);
BENCHMARK(BM_Update_Store)->Apply(sizes);
BENCHMARK(BM_RowsFetch_Plain)->Apply(sizes);
BENCHMARK(BM_RowsFetch_Store)->Apply(sizes);
BENCHMARK(BM_LinkFetch_Plain)->Apply(sizes);
BENCHMARK(BM_LinkFetch_Store)->Apply(sizes);
BENCHMARK(BM_Merge_Plain)->Apply(sizes);
BENCHMARK(BM_Merge_Store)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
    zqbench::steadyAllocator();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    zqbench::printRatios("store", "-");
    std::printf("peak resident memory: %.1f MB\n", zqbench::peakResidentMB());
    zqbench::removeRunFolder(benchFolder());
    return 0;
}
