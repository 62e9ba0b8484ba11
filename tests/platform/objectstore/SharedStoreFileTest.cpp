// A store file is not owned by one coordinator or one process: a second coordinator of this
// process and another process (started from this very test binary) open it while it is open,
// and both read and write it. A file that another connection keeps locked makes the open wait,
// and when the lock outlasts the wait the error says "cannot open", never "not a database".
// Readers keep their read transaction between fetches, but never past a commit of anyone, and
// not past a save of their own store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "platform/objectstore/SQLiteConnection.hpp"
#include "platform/objectstore/SQLiteStore.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

extern char** environ;

using namespace platform;
using Type = PersistentStore::StoreType;

namespace {

constexpr const char* kChildVariable = "ZQ_OBJECTSTORE_SHARED_CHILD_STORE";

struct Opened {
    std::shared_ptr<PersistentStoreCoordinator> coordinator;
    ErrorPtr error;
    std::shared_ptr<ManagedObjectContext> context() const {
        auto c = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
        c->setPersistentStoreCoordinator(coordinator);
        return c;
    }
};

Opened openStore(const std::string& path) {
    Opened opened{PersistentStoreCoordinator::create(zqtest::makeTestModel()), nullptr};
    opened.error = opened.coordinator->addPersistentStore(Type::SQLite, "", path).error;
    return opened;
}

ErrorPtr insertItem(ManagedObjectContext& context, int64_t key) {
    auto item = context.insertNewObject("Item");
    if (auto error = item->setValuesForKeysWithDictionary({{"key", key}, {"name", "shared"}})) {
        return error;
    }
    return context.save();
}

std::set<int64_t> keys(ManagedObjectContext& context) {
    FetchRequest request("Item");
    request.setResultType(FetchRequest::ResultType::Dictionary);
    request.setPropertiesToFetch({"key"});
    std::set<int64_t> out;
    for (const auto& row : context.executeFetchRequest(request).results) {
        out.insert(*row.dictionary()->get("key").integer());
    }
    return out;
}

std::set<int64_t> rowNumbers(ManagedObjectContext& context) {
    FetchRequest request("Item");
    request.setResultType(FetchRequest::ResultType::ManagedObjectID);
    std::set<int64_t> out;
    for (const auto& id : context.executeFetchRequest(request).results) {
        out.insert(objectIDFromValue(id)->number());
    }
    return out;
}

// Holds the whole file locked, as a process using exclusive locking would, until destroyed.
class FileLock {
  public:
    explicit FileLock(const std::string& path) {
        sqlite3_open(path.c_str(), &db_);
        sqlite3_exec(db_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;", nullptr,
                     nullptr, nullptr);
    }
    ~FileLock() { sqlite3_close(db_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    sqlite3* db_ = nullptr;
};

// A store that gives up on a locked file after 200 ms instead of 30 s.
class ImpatientStore : public SQLiteStore {
  public:
    explicit ImpatientStore(const std::string& path)
        : SQLiteStore(StoreType::SQLite, frozenModel(), "", path, path) {}
    ErrorPtr open() { return openFile(); }

  protected:
    void configure(SQLiteConnection& connection, bool writer) override {
        sqlite3_busy_timeout(connection.handle(), 200);
        SQLiteStore::configure(connection, writer);
    }

  private:
    static std::shared_ptr<ManagedObjectModel> frozenModel() {
        auto model = zqtest::makeTestModel();
        EXPECT_FALSE(model->freeze());
        return model;
    }
};

}  // namespace

TEST(SharedStoreFile, TwoCoordinatorsOfOneProcessWriteAndReadTheSameFile) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    auto first = openStore(path);
    ASSERT_FALSE(first.error) << first.error->description();
    auto second = openStore(path);
    ASSERT_FALSE(second.error) << second.error->description();

    auto a = first.context();
    auto b = second.context();
    ASSERT_NO_STORE_ERROR(insertItem(*a, 1));
    ASSERT_NO_STORE_ERROR(insertItem(*b, 2));
    ASSERT_NO_STORE_ERROR(insertItem(*a, 3));
    EXPECT_EQ(keys(*a), (std::set<int64_t>{1, 2, 3}));
    EXPECT_EQ(keys(*b), (std::set<int64_t>{1, 2, 3}));
    // Row numbers come from the file, so the two never hand out the same one.
    EXPECT_EQ(rowNumbers(*b).size(), 3u);
}

// The child's part: opens the file the parent holds open, checks the parent's row, adds its own.
TEST(SharedStoreFileChild, DISABLED_WritesToTheParentsStore) {
    const char* path = std::getenv(kChildVariable);
    ASSERT_TRUE(path);
    auto opened = openStore(path);
    ASSERT_FALSE(opened.error) << opened.error->description();
    auto context = opened.context();
    ASSERT_EQ(keys(*context), (std::set<int64_t>{1}));
    ASSERT_NO_STORE_ERROR(insertItem(*context, 2));
}

TEST(SharedStoreFile, AnotherProcessWritesWhileTheStoreIsOpen) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    auto opened = openStore(path);
    ASSERT_FALSE(opened.error) << opened.error->description();
    auto context = opened.context();
    ASSERT_NO_STORE_ERROR(insertItem(*context, 1));
    // Loaded before the child writes: the pooled reader connections stay open across its write.
    ASSERT_EQ(keys(*context), (std::set<int64_t>{1}));

    std::string variable = std::string(kChildVariable) + "=" + path;
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(variable.data());
    env.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=SharedStoreFileChild.DISABLED_WritesToTheParentsStore";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "the child process did not finish";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the child could not open, read or write the store";

    EXPECT_EQ(keys(*context), (std::set<int64_t>{1, 2}));
    ASSERT_NO_STORE_ERROR(insertItem(*context, 3));
    EXPECT_EQ(rowNumbers(*context).size(), 3u);
}

TEST(SharedStoreFile, AnOpenWaitsForALockedFile) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    ASSERT_FALSE(openStore(path).error);
    auto lock = std::make_unique<FileLock>(path);
    Opened opened;
    std::thread opener([&] { opened = openStore(path); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    lock.reset();
    opener.join();
    EXPECT_FALSE(opened.error) << opened.error->description();
}

TEST(SharedStoreFile, AFileLockedLongerThanTheWaitFailsAsUnopenableNotAsBroken) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    {
        auto opened = openStore(path);
        ASSERT_FALSE(opened.error);
        ASSERT_NO_STORE_ERROR(insertItem(*opened.context(), 1));
    }
    {
        FileLock lock(path);
        auto store = std::make_shared<ImpatientStore>(path);
        auto error = store->open();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), kErrorDomain);
        EXPECT_EQ(error->code(), errc::kStoreOpen);
    }
    // Nothing was lost: the file opens as before once the lock is gone.
    auto opened = openStore(path);
    ASSERT_FALSE(opened.error);
    EXPECT_EQ(keys(*opened.context()), (std::set<int64_t>{1}));
}

TEST(SharedStoreFile, FetchesSeeEveryCommitOfOtherConnectionsAtOnce) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    auto first = openStore(path);
    auto second = openStore(path);
    ASSERT_FALSE(first.error || second.error);
    auto reader = first.context();
    ASSERT_NO_STORE_ERROR(insertItem(*reader, 1));
    EXPECT_EQ(keys(*reader), (std::set<int64_t>{1}));
    EXPECT_EQ(keys(*reader), (std::set<int64_t>{1}));  // the reader keeps its transaction

    ASSERT_NO_STORE_ERROR(insertItem(*second.context(), 2));
    EXPECT_EQ(keys(*reader), (std::set<int64_t>{1, 2}));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO E_Item (Z_PK, Z_OPT, A_key) VALUES (1000, 1, 3)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(keys(*reader), (std::set<int64_t>{1, 2, 3}));
    // A fault loads the row as last committed too.
    auto fault = reader->objectWithID(first.coordinator->persistentStores()[0]->objectIDFor(
        *first.coordinator->managedObjectModel()->entityNamed("Item"), 1000));
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->valueForKey("key"), Value(3));
}

TEST(SharedStoreFile, ASaveLetsTheLogBeCheckpointedPastIdleReaders) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    auto opened = openStore(path);
    ASSERT_FALSE(opened.error);
    auto context = opened.context();
    ASSERT_NO_STORE_ERROR(insertItem(*context, 1));
    EXPECT_EQ(keys(*context).size(), 1u);  // a reader now idles in a read transaction
    ASSERT_NO_STORE_ERROR(insertItem(*context, 2));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* checkpoint = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA wal_checkpoint(PASSIVE)", -1, &checkpoint, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(checkpoint), SQLITE_ROW);
    int64_t frames = sqlite3_column_int64(checkpoint, 1);
    int64_t copied = sqlite3_column_int64(checkpoint, 2);
    sqlite3_finalize(checkpoint);
    sqlite3_close(db);
    EXPECT_GT(frames, 0);
    EXPECT_EQ(copied, frames) << "a reader still holds a snapshot from before the save";
}
