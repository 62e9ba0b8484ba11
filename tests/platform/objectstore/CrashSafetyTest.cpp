// A process killed in the middle of a save leaves the store file readable with all or none of
// that save. The test starts this very test binary as a child that saves batches in a loop and
// kills it at different moments.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

extern char** environ;

using namespace platform;

namespace {

constexpr int kSeedRows = 100;
constexpr int kBatchRows = 4000;
constexpr const char* kChildVariable = "ZQ_OBJECTSTORE_CRASH_CHILD_STORE";

std::shared_ptr<ManagedObjectContext> openContext(const std::string& path) {
    auto coordinator = PersistentStoreCoordinator::create(zqtest::makeTestModel());
    auto added = coordinator->addPersistentStore(PersistentStore::StoreType::SQLite, "", path);
    if (!added.store) return nullptr;
    auto context =
        ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(coordinator);
    return context;
}

bool insertRows(ManagedObjectContext& context, int count, int64_t firstKey) {
    for (int i = 0; i < count; ++i) {
        auto item = context.insertNewObject("Item");
        if (item->setValuesForKeysWithDictionary({{"key", firstKey + i},
                                                  {"name", "row " + std::to_string(firstKey + i)},
                                                  {"weight", 1.5 * i}})) {
            return false;
        }
    }
    return !context.save();
}

int readInt(const std::string& path) {
    std::ifstream in(path);
    int value = -1;
    in >> value;
    return in ? value : -1;
}

}  // namespace

// The child's part: saves batches until killed, reporting each finished save in a file.
TEST(ObjectStoreCrashChild, DISABLED_SavesUntilKilled) {
    const char* path = std::getenv(kChildVariable);
    ASSERT_TRUE(path);
    auto context = openContext(path);
    ASSERT_TRUE(context);
    for (int batch = 0;; ++batch) {
        ASSERT_TRUE(insertRows(*context, kBatchRows, kSeedRows + int64_t{batch} * kBatchRows));
        context->reset();  // keep the child's memory flat
        // Written aside and renamed, so that the parent never reads a half-written count.
        std::string progress = std::string(path) + ".progress";
        {
            std::ofstream out(progress + ".tmp", std::ios::trunc);
            out << batch + 1 << std::endl;
        }
        std::rename((progress + ".tmp").c_str(), progress.c_str());
    }
}

TEST(ObjectStoreCrashSafety, AKillDuringASaveLeavesAllOrNoneOfIt) {
    zqtest::TempDir dir;
    std::string path = (dir / "AppDB.sqlite").string();
    {
        auto context = openContext(path);
        ASSERT_TRUE(context);
        ASSERT_TRUE(insertRows(*context, kSeedRows, 0));
    }
    const int delaysMs[] = {0, 7, 23, 61};
    int64_t before = kSeedRows;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string progressFile = path + ".progress";
        std::remove(progressFile.c_str());
        std::string variable = std::string(kChildVariable) + "=" + path;
        std::vector<char*> env;
        for (char** e = environ; *e; ++e) env.push_back(*e);
        env.push_back(variable.data());
        env.push_back(nullptr);
        std::string self = "/proc/self/exe";
        std::string filter = "--gtest_filter=ObjectStoreCrashChild.DISABLED_SavesUntilKilled";
        std::string disabled = "--gtest_also_run_disabled_tests";
        char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
        // The child's own test report would mix with this one: it goes nowhere.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, env.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0);

        // Wait until the child has finished a first save, then kill it while it writes on.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (readInt(progressFile) < 1 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the child ended early";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delaysMs[attempt]));
        int reported = readInt(progressFile);
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_GE(reported, 1);

        // The file opens, passes SQLite's own check and holds whole batches only.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
        sqlite3_finalize(check);
        sqlite3_close(db);

        auto context = openContext(path);
        ASSERT_TRUE(context) << "attempt " << attempt;
        int64_t rows = context->countForFetchRequest(FetchRequest("Item")).count;
        EXPECT_EQ((rows - before) % kBatchRows, 0) << "attempt " << attempt << ": " << rows;
        EXPECT_GE(rows, before + int64_t{reported} * kBatchRows);
        before = rows;
        // The next batch continues after the largest row number without a clash.
        ASSERT_TRUE(insertRows(*context, 1, -1));
        FetchRequest last("Item");
        last.setPredicate(Predicate::equal("key", -1));
        ASSERT_EQ(context->countForFetchRequest(last).count, 1);
        context->deleteObject(context->executeFetchRequest(last).objects().at(0));
        ASSERT_FALSE(context->save());
    }
}
