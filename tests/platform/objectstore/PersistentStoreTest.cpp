#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/objectstore/ManagedObjectContext.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;
using zqtest::TempDir;
using Type = PersistentStore::StoreType;

namespace {

std::set<std::string> sqliteNames(const std::string& path, const char* type) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = ?", -1, &s, nullptr);
    sqlite3_bind_text(s, 1, type, -1, SQLITE_STATIC);
    std::set<std::string> names;
    while (sqlite3_step(s) == SQLITE_ROW) {
        names.insert(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return names;
}

// The plan SQLite makes for `sql`, its details joined by "; ".
std::string queryPlan(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &s, nullptr);
    std::string plan;
    while (s && sqlite3_step(s) == SQLITE_ROW) {
        plan += reinterpret_cast<const char*>(sqlite3_column_text(s, 3));
        plan += "; ";
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return plan;
}

void execSQL(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

ErrorPtr open(std::shared_ptr<ManagedObjectModel> model, const std::string& path,
              const std::string& configuration = "") {
    auto coordinator = PersistentStoreCoordinator::create(std::move(model));
    return coordinator->addPersistentStore(Type::SQLite, configuration, path).error;
}

std::shared_ptr<ManagedObjectContext> contextOn(std::shared_ptr<PersistentStoreCoordinator> c) {
    auto context =
        ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(std::move(c));
    return context;
}

}  // namespace

TEST(SQLiteStore, CreatesATablePerEntityLinkTablesAndIndexes) {
    TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    ASSERT_FALSE(open(zqtest::makeTestModel(), path));
    auto tables = sqliteNames(path, "table");
    for (const char* t : {"E_Query", "E_Row", "E_Item", "E_Line", "E_Tag", "E_Detail", "E_Parent",
                          "E_Child", "L_Item_zqlines", "L_Parent_children", "zq_metadata"}) {
        EXPECT_TRUE(tables.count(t)) << t;
    }
    // One table for the unordered many-to-many pair, none for to-manys read through a key.
    EXPECT_EQ(tables.count("L_Item_tags") + tables.count("L_Tag_items"), 1u);
    EXPECT_FALSE(tables.count("L_Query_queryEntities"));
    auto indexes = sqliteNames(path, "index");
    EXPECT_TRUE(indexes.count("I_Query_queryBaseUri_queryParameters"));
    EXPECT_TRUE(indexes.count("I_Item_key"));
    EXPECT_TRUE(indexes.count("X_Row_query"));
    // The rows' position index is searched within one query only, and the relationship's index
    // carries it: no index of its own to keep up to date on every insert.
    EXPECT_FALSE(indexes.count("I_Row_rowId"));
    // A query's rows are read in position order straight from the relationship's index, and so
    // are one entity data's rows.
    for (const char* sql : {"SELECT Z_PK FROM E_Row WHERE R_query = 1 ORDER BY A_rowId ASC",
                            "SELECT Z_PK FROM E_Row WHERE R_entityData = 1 ORDER BY A_rowId"}) {
        std::string plan = queryPlan(path, sql);
        EXPECT_NE(plan.find("INDEX X_Row_"), std::string::npos) << plan;
        EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
    }
    // The write-ahead log is on: the file format bytes at offset 18 and 19 say so.
    std::ifstream in(path, std::ios::binary);
    char header[20] = {};
    in.read(header, sizeof header);
    EXPECT_EQ(header[18], 2);
    EXPECT_EQ(header[19], 2);
}

TEST(SQLiteStore, ReopeningKeepsRowsAndTheStoreIdentifier) {
    TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    std::string identifier;
    ManagedObjectIDPtr savedID;
    {
        auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
        auto added = coordinator->addPersistentStore(Type::SQLite, "", path);
        ASSERT_TRUE(added.store);
        identifier = added.store->identifier();
        auto context = contextOn(coordinator);
        auto item = context->insertNewObject("Item");
        ASSERT_FALSE(item->setValueForKey(Value("kept"), "name"));
        ASSERT_FALSE(context->save());
        savedID = item->objectID();
    }
    auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
    auto added = coordinator->addPersistentStore(Type::SQLite, "", path);
    ASSERT_TRUE(added.store);
    EXPECT_EQ(added.store->identifier(), identifier);
    auto context = contextOn(coordinator);
    // An identifier of the closed coordinator's store does not resolve here...
    EXPECT_FALSE(context->objectWithID(savedID));
    // ...but the row is there.
    FetchRequest request("Item");
    auto fetched = context->executeFetchRequest(request);
    ASSERT_EQ(fetched.results.size(), 1u);
    EXPECT_EQ(fetched.objects()[0]->valueForKey("name"), Value("kept"));
}

TEST(SQLiteStore, AFileOfAnotherModelVersionFailsWithTheVersionCode) {
    TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    ASSERT_FALSE(open(zqtest::makeTestModel(), path));
    auto changed = zqtest::makeTestModel();
    changed->entityNamed("Item")->addProperty(
        AttributeDescription::create("extra", AttributeType::String));
    auto error = open(changed, path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kErrorDomain);
    EXPECT_EQ(error->code(), errc::kIncompatibleVersion);
    // The caller deletes the files and starts afresh.
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    EXPECT_FALSE(open(changed, path));
}

TEST(SQLiteStore, TablesThatDoNotMatchFailWithTheSchemaCode) {
    TempDir dir;
    std::string foreign = (dir / "foreign.sqlite").string();
    execSQL(foreign, "CREATE TABLE something (a, b)");
    auto error = open(zqtest::makeTestModel(), foreign);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), errc::kIncompatibleSchema);

    std::string tampered = (dir / "tampered.sqlite").string();
    ASSERT_FALSE(open(zqtest::makeTestModel(), tampered));
    execSQL(tampered, "ALTER TABLE E_Item DROP COLUMN A_name");
    error = open(zqtest::makeTestModel(), tampered);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), errc::kIncompatibleSchema);
}

TEST(SQLiteStore, AFileThatIsNotADatabaseFailsClearly) {
    TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 4096; ++i) out << static_cast<char>('A' + i % 26);
    }
    auto error = open(zqtest::makeTestModel(), path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kErrorDomain);
    EXPECT_EQ(error->code(), errc::kInvalidFile);
    EXPECT_NE(error->localizedDescription().find("not a database"), std::string::npos);
    // A file in a folder that does not exist cannot be opened at all.
    auto missing = open(zqtest::makeTestModel(), (dir / "no/such/folder.sqlite").string());
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->code(), errc::kStoreOpen);
}

TEST(InMemoryStore, IsEmptyAfterEveryOpen) {
    auto model = zqtest::makeTestModel();
    for (int round = 0; round < 3; ++round) {
        auto coordinator = PersistentStoreCoordinator::create(model);
        auto added = coordinator->addPersistentStore(Type::InMemory, "", "");
        ASSERT_TRUE(added.store) << added.error->description();
        auto context = contextOn(coordinator);
        EXPECT_EQ(context->countForFetchRequest(FetchRequest("Item")).count, 0) << round;
        context->insertNewObject("Item");
        ASSERT_FALSE(context->save());
        EXPECT_EQ(context->countForFetchRequest(FetchRequest("Item")).count, 1);
        // Removing and adding again on the same coordinator also starts empty.
        ASSERT_FALSE(coordinator->removePersistentStore(added.store));
        auto again = coordinator->addPersistentStore(Type::InMemory, "", "");
        ASSERT_TRUE(again.store);
        EXPECT_EQ(contextOn(coordinator)->countForFetchRequest(FetchRequest("Item")).count, 0);
    }
}

std::filesystem::path memoryStoreFolder() {
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path(ec);
}

size_t memoryStoreFilesOf(long pid) {
    const std::string prefix = "zq-memory-store-" + std::to_string(pid) + "-";
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(memoryStoreFolder()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) ++count;
    return count;
}

// The body of the child process below: this test binary run again with only this test and the
// variable set. It exits while its store is still alive (as the current model's cache is).
TEST(InMemoryStore, ChildThatExitsWithItsStoreOpen) {
    if (!std::getenv("ZQ_MEMORY_STORE_CHILD"))
        GTEST_SKIP() << "runs only as the child of the test below";
    static std::shared_ptr<PersistentStoreCoordinator> kept =
        PersistentStoreCoordinator::create(zqtest::makeTestModel());
    auto added = kept->addPersistentStore(Type::InMemory, "", "");
    std::exit(added.store && memoryStoreFilesOf(::getpid()) > 0 ? 0 : 1);
}

TEST(InMemoryStore, FilesGoAtExitAndThoseOfEndedProcessesAtTheNextOpen) {
    // A new program, not a bare fork: the child of a process with threads may not run exit
    // handlers.
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("ZQ_MEMORY_STORE_CHILD", "1", 1);
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) ::dup2(quiet, STDOUT_FILENO);
        ::execl("/proc/self/exe", "platform_tests",
                "--gtest_filter=InMemoryStore.ChildThatExitsWithItsStoreOpen",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(memoryStoreFilesOf(child), 0u);

    // A process that was killed leaves its files; the next store opened anywhere removes them,
    // and only them.
    const auto folder = memoryStoreFolder();
    const std::string dead = "zq-memory-store-" + std::to_string(child) + "-7.sqlite";
    const std::string live = "zq-memory-store-" + std::to_string(::getpid()) + "-999999.sqlite";
    for (const auto& name : {dead, dead + "-wal", live}) std::ofstream(folder / name) << "x";
    auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
    ASSERT_TRUE(coordinator->addPersistentStore(Type::InMemory, "", "").store);
    EXPECT_FALSE(std::filesystem::exists(folder / dead));
    EXPECT_FALSE(std::filesystem::exists(folder / (dead + "-wal")));
    EXPECT_TRUE(std::filesystem::exists(folder / live));
    std::filesystem::remove(folder / live);
}

TEST(PersistentStoreCoordinator, ConfigurationsSplitEntitiesBetweenStores) {
    TempDir dir;
    auto model = zqtest::makeTestModel();
    std::vector<std::shared_ptr<EntityDescription>> sql, memory;
    for (const auto& e : model->entities()) {
        (e->name() == "Parent" || e->name() == "Child" ? memory : sql).push_back(e);
    }
    model->setEntitiesForConfiguration(sql, "sql");
    model->setEntitiesForConfiguration(memory, "memory");
    auto coordinator = PersistentStoreCoordinator::create(model);
    auto file = coordinator->addPersistentStore(Type::SQLite, "sql", (dir / "a.sqlite").string());
    auto memoryStore = coordinator->addPersistentStore(Type::InMemory, "memory", "");
    ASSERT_TRUE(file.store && memoryStore.store);
    EXPECT_TRUE(coordinator->addPersistentStore(Type::InMemory, "nonsense", "").error);
    EXPECT_EQ(coordinator->persistentStores().size(), 2u);
    EXPECT_FALSE(sqliteNames((dir / "a.sqlite").string(), "table").count("E_Parent"));

    auto context = contextOn(coordinator);
    auto parent = context->insertNewObject("Parent");
    auto item = context->insertNewObject("Item");
    ASSERT_FALSE(context->save());
    EXPECT_EQ(parent->objectID()->persistentStore(), memoryStore.store);
    EXPECT_EQ(item->objectID()->persistentStore(), file.store);
}

TEST(PersistentStoreCoordinator, IdentifiersOfARemovedStoreResolveToNothing) {
    TempDir dir;
    auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
    auto added = coordinator->addPersistentStore(Type::SQLite, "", (dir / "a.sqlite").string());
    auto writer = contextOn(coordinator);
    auto item = writer->insertNewObject("Item");
    ASSERT_FALSE(writer->save());
    auto id = item->objectID();
    auto reader = contextOn(coordinator);
    auto fault = reader->objectWithID(id);
    ASSERT_TRUE(fault);

    ASSERT_FALSE(coordinator->removePersistentStore(added.store));
    EXPECT_TRUE(coordinator->removePersistentStore(added.store));  // not there any more
    EXPECT_TRUE(coordinator->persistentStores().empty());
    EXPECT_FALSE(contextOn(coordinator)->objectWithID(id));
    EXPECT_TRUE(fault->valueForKey("name").isAbsent());  // the fault cannot load: reads empty
    EXPECT_TRUE(reader->existingObjectWithID(id).error);
    auto fetched = contextOn(coordinator)->executeFetchRequest(FetchRequest("Item"));
    EXPECT_FALSE(fetched.error);
    EXPECT_TRUE(fetched.results.empty());
}
