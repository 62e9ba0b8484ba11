// The cache survives a process killed in the middle of a save. zqdl saves a large answer (a
// 20,000-row list, an invoice with 3,000 lines) from a loopback server whose every answer carries
// a new generation mark, and is killed (SIGKILL) at a random moment; after each kill the store
// file passes SQLite's integrity check, the data layer opens it again without error, and the rows
// of each saved answer are all of one generation: the last one saved whole, or the new one, never
// a mix. ZQ_CRASH_LOOPS sets the kills per answer (a few by default; make soak runs 100).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "tests/support/LoopbackServer.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/tools/ZqdlProgramRun.hpp"

extern char** environ;

namespace {

using zqtest::LoopbackResponse;
using zqtest::LoopbackServer;
using Clock = std::chrono::steady_clock;

int crashLoops() {
    const char* text = std::getenv("ZQ_CRASH_LOOPS");
    int loops = text ? std::atoi(text) : 0;
    return loops > 0 ? loops : 4;
}

// Starts zqdl with the arguments, its output thrown away; the child's pid.
pid_t spawnZqdl(const std::vector<std::string>& arguments) {
    std::string program = zqtest::zqdlProgramPath().string();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct StoreCheck {
    std::string integrity;      // "ok" when sound
    std::set<int> generations;  // of the marks found in the rows
};

// Every text of every table of the store, searched for the answer's marks ("<tag><n>x").
StoreCheck checkStore(const std::filesystem::path& root, char tag) {
    StoreCheck check;
    std::filesystem::path file;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.path().filename() == "AppDB.sqlite") file = entry.path();
    if (file.empty()) {
        check.integrity = "ok";  // nothing saved yet
        return check;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        check.integrity = "cannot open";
        sqlite3_close(db);
        return check;
    }
    auto first = [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "";
        return 0;
    };
    sqlite3_exec(db, "PRAGMA integrity_check", first, &check.integrity, nullptr);
    std::vector<std::string> tables;
    auto collect = [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->push_back(values[0] ? values[0] : "");
        return 0;
    };
    sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type='table'", collect, &tables,
                 nullptr);
    struct Scan {
        std::regex mark;
        std::set<int>* generations;
    } scan{std::regex(std::string(1, tag) + "(\\d+)x"), &check.generations};
    for (const std::string& table : tables) {
        std::string select = "SELECT * FROM \"" + table + "\"";
        sqlite3_exec(
            db, select.c_str(),
            [](void* out, int count, char** values, char**) {
                auto* s = static_cast<Scan*>(out);
                for (int i = 0; i < count; ++i) {
                    std::cmatch match;
                    if (values[i] && std::regex_search(values[i], match, s->mark))
                        s->generations->insert(std::stoi(match[1]));
                }
                return 0;
            },
            &scan, nullptr);
    }
    sqlite3_close(db);
    return check;
}

class ZqdlCrashLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(zqtest::zqdlProgramPath()))
            GTEST_SKIP() << "build the zqdl target first: " << zqtest::zqdlProgramPath();
        server_.route("GET", "/sample/rest/Sales/WorkWithInvoice/Invoice/List",
                      [this](const zqtest::LoopbackRequest&) { return listAnswer(); });
        server_.route("GET", "/sample/rest/Sales/Invoice/1",
                      [this](const zqtest::LoopbackRequest&) { return invoiceAnswer(); });
    }

    // A new generation for every answer, so that no two saves write the same texts.
    LoopbackResponse listAnswer() {
        int g = ++generation_;
        std::string body = "[";
        for (int id = 1; id <= 20000; ++id) {
            if (id > 1) body += ",";
            body += R"({"InvoiceId":)" + std::to_string(id) +
                    R"(,"InvoiceDate":"2024-01-08T00:00:00Z","CustomerName":"L)" +
                    std::to_string(g) + "x" + std::to_string(id) + R"(","InvoiceTotal":)" +
                    std::to_string(id % 977) + R"(,"InvoicePaid":false})";
        }
        return answer(body + "]");
    }
    LoopbackResponse invoiceAnswer() {
        int g = ++generation_;
        std::string body = R"({"InvoiceId":1,"InvoiceDate":"2024-01-08","CustomerId":1,)"
                           R"("CustomerName":"B)" +
                           std::to_string(g) + R"(x","InvoiceTotal":1,"Line":[)";
        for (int line = 1; line <= 3000; ++line) {
            if (line > 1) body += ",";
            body += R"({"InvoiceLineId":)" + std::to_string(line) + R"(,"ProductName":"B)" +
                    std::to_string(g) + "x" + std::to_string(line) +
                    R"(","LineQuantity":1,"LinePrice":2,"LineAmount":2})";
        }
        return answer(body + "]}");
    }
    LoopbackResponse answer(std::string body) {
        LoopbackResponse response = LoopbackResponse::json(std::move(body));
        // A later time for each generation: never "not modified".
        response.headers.emplace_back(
            "Last-Modified", "Mon, 01 Jan 2024 00:" + std::to_string(10 + generation_ % 50) + ":" +
                                 std::to_string(10 + generation_ / 50 % 50) + " GMT");
        return response;
    }

    std::vector<std::string> zqdlArguments(const std::vector<std::string>& command) const {
        std::vector<std::string> arguments = {"--app-dir", root_.path().string(), "--server",
                                              server_.baseURL() + "sample/"};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return arguments;
    }

    // Kills the command at random moments of its run, and checks the store after each kill.
    void killRepeatedly(const std::vector<std::string>& command, char tag) {
        // Two runs to the end: the store holds a whole generation, and the length of a run that
        // replaces a saved answer (the kind killed below) is known.
        double seconds = 0;
        for (int run = 0; run < 2; ++run) {
            Clock::time_point start = Clock::now();
            pid_t pid = spawnZqdl(zqdlArguments(command));
            ASSERT_GT(pid, 0);
            int status = 0;
            waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
        StoreCheck saved = checkStore(root_.path(), tag);
        ASSERT_EQ(saved.generations.size(), 1u);
        int lastWhole = *saved.generations.begin();
        pid_t pid = -1;
        int status = 0;

        std::mt19937 random(static_cast<unsigned>(std::random_device{}()));
        std::uniform_real_distribution<double> at(0.2 * seconds, 1.1 * seconds);
        int killedMidRun = 0, savedBeforeKill = 0;
        for (int i = 0; i < crashLoops(); ++i) {
            SCOPED_TRACE("kill " + std::to_string(i));
            pid = spawnZqdl(zqdlArguments(command));
            ASSERT_GT(pid, 0);
            std::this_thread::sleep_for(std::chrono::duration<double>(at(random)));
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            if (WIFSIGNALED(status)) ++killedMidRun;
            const int newest = generation_.load();

            StoreCheck check = checkStore(root_.path(), tag);
            EXPECT_EQ(check.integrity, "ok");
            ASSERT_EQ(check.generations.size(), 1u) << "rows of more than one save (or none)";
            int found = *check.generations.begin();
            EXPECT_TRUE(found == lastWhole || found == newest)
                << found << " is neither the last whole save " << lastWhole << " nor " << newest;
            if (found == newest && WIFSIGNALED(status)) ++savedBeforeKill;
            lastWhole = found;

            // The data layer opens the store as it is, and lists what it holds.
            zqtest::ProgramRun listed = zqtest::runZqdl(root_.path(), {}, {"cache", "ls"});
            EXPECT_EQ(listed.status, 0) << listed.errors;
            EXPECT_FALSE(listed.lines.empty());
        }
        std::printf(
            "%s: %d of %d runs killed before they ended, %d of those after their save (a whole run "
            "takes %.2f s)\n",
            command[0].c_str(), killedMidRun, crashLoops(), savedBeforeKill, seconds);
    }

    zqtest::TempDir root_;
    LoopbackServer server_;
    std::atomic<int> generation_{0};
};

TEST_F(ZqdlCrashLoop, AListSaveKilledAtRandomLeavesTheOldRowsOrTheNew) {
    killRepeatedly({"query", "Sales.WorkWithInvoice.Invoice.List", "--force"}, 'L');
    // Read back through the library: every row of the one generation.
    zqtest::ProgramRun local =
        zqtest::runZqdl(root_.path(), {"--server", server_.baseURL() + "sample/"},
                        {"query", "Sales.WorkWithInvoice.Invoice.List", "--type", "local"});
    ASSERT_EQ(local.status, 0) << local.errors;
    ASSERT_FALSE(local.lines.empty());
    EXPECT_NE(local.lines[0].find("\"count\":20000"), std::string::npos)
        << local.lines[0].substr(0, 300);
}

TEST_F(ZqdlCrashLoop, ABusinessComponentWriteThroughKilledAtRandomLeavesOneWholeInstance) {
    killRepeatedly({"bc", "load", "Sales.Invoice", "--key", "1"}, 'B');
}

}  // namespace
