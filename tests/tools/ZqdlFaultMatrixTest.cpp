// Every kind of request the data layer sends (a data-service GET, business-component GET, POST,
// PUT and DELETE, default values, an upload, a combo, a hide-code look-up, a prompt rule), each
// against a server that breaks in one way per row. The built zqdl program sends them, as an app
// would, with a cache seeded by a healthy sample server at the same address. Each cell: one
// outcome that carries an error, in bounded time, no crash, the cache's rows unchanged, and
// nothing left behind in the program (threads, files, transfers) beyond what a healthy run of the
// same command leaves. The matrix is printed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "tests/support/FaultServer.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/support/TestImages.hpp"
#include "tests/tools/ZqdlProgramRun.hpp"

namespace {

using platform::Value;
using zqtest::FaultServer;
using zqtest::ProgramRun;
using zqtest::ServerFault;

struct Kind {
    const char* name;
    std::vector<std::string> arguments;  // files are named by the placeholders below
    std::string answer;                  // what a healthy server would answer ("~": a text)
    // A delete removes the cached copy whether or not the server deletes the instance, and
    // never reads the body of a successful answer.
    bool isDelete = false;
};

// What the program reported it left behind once the command ended. Idle workers are the pool's,
// not left behind: busy ones are.
struct Resources {
    size_t busyWorkers = 0, transfers = 0, files = 0;
    std::string fileNames;
    bool read = false;
};

Resources leftBehind(const std::string& errors) {
    static const std::regex line(
        "left behind: busy workers (\\d+), transfers (\\d+), threads \\d+, files (\\d+) "
        "\\((.*)\\)");
    std::smatch match;
    if (!std::regex_search(errors, match, line)) return {};
    return {std::stoul(match[1]), std::stoul(match[2]), std::stoul(match[3]), match[4], true};
}

// Every row of every table of the cache's store file, in a stable order.
std::string dumpStore(const std::filesystem::path& root) {
    std::filesystem::path file;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.path().filename() == "AppDB.sqlite") file = entry.path();
    if (file.empty()) return "no store file";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "store file cannot be opened";
    }
    std::vector<std::string> tables;
    auto collect = [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->push_back(values[0] ? values[0] : "");
        return 0;
    };
    sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name", collect,
                 &tables, nullptr);
    std::string dump;
    for (const std::string& table : tables) {
        std::vector<std::string> rows;
        auto row = [](void* out, int count, char** values, char**) {
            std::string text;
            for (int i = 0; i < count; ++i)
                text += std::string(values[i] ? values[i] : "NULL") + "|";
            static_cast<std::vector<std::string>*>(out)->push_back(text);
            return 0;
        };
        std::string select = "SELECT * FROM \"" + table + "\"";
        sqlite3_exec(db, select.c_str(), row, &rows, nullptr);
        std::sort(rows.begin(), rows.end());
        dump += table + ":\n";
        for (const std::string& text : rows) dump += "  " + text + "\n";
    }
    sqlite3_close(db);
    return dump;
}

// The lines of one dump that the other lacks, each way.
std::string difference(const std::string& before, const std::string& after) {
    auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        std::sort(out.begin(), out.end());
        return out;
    };
    std::vector<std::string> a = lines(before), b = lines(after), gone, added;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(gone));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(added));
    std::string text;
    for (const std::string& line : gone) text += "- " + line + "\n";
    for (const std::string& line : added) text += "+ " + line + "\n";
    return text;
}

// Rows only taken out (the store's save counter moves with any save).
bool onlyRemovesRows(const std::string& change) {
    std::istringstream in(change);
    bool removed = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("- ", 0) == 0)
            removed = true;
        else if (line.rfind("+   save_version|", 0) != 0)
            return false;
    }
    return removed;
}

class ZqdlFaultMatrix : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(zqtest::zqdlProgramPath()))
            GTEST_SKIP() << "build the zqdl target first: " << zqtest::zqdlProgramPath();
        ::setenv("ZQDL_RESOURCE_REPORT", "1", 1);
        std::ofstream(root_ / "photo.png", std::ios::binary) << zqtest::imageText(zqtest::kPNG);
        std::ofstream(root_ / "invoice.json")
            << R"({"InvoiceId": 1, "CustomerId": 1, "CustomerName": "Renamed"})";
        std::ofstream(root_ / "new-invoice.json")
            << R"({"InvoiceId": 950, "CustomerId": 1, "CustomerName": "New",)"
               R"( "Line": [{"InvoiceLineId": 1, "ProductName": "Nut", "LineQuantity": 2}]})";
        std::ofstream(root_ / "customer.json") << R"({"CustomerId": 1, "CustomerName": "Acme"})";
    }
    void TearDown() override { ::unsetenv("ZQDL_RESOURCE_REPORT"); }

    static std::unique_ptr<ZQSampleServer> startSampleServer(int port) {
        ZQSampleServerOptions options;
        options.keepAliveSeconds = 1;
        options.port = port;
        ZQSampleServerCreateResult created = ZQSampleServer::create(std::move(options));
        EXPECT_EQ(created.error, nullptr);
        if (!created.server || created.server->start()) return nullptr;
        return std::move(created.server);
    }

    std::vector<std::string> withFiles(std::vector<std::string> arguments) const {
        for (std::string& argument : arguments) {
            for (const char* name : {"invoice.json", "new-invoice.json", "customer.json"})
                if (argument == name) argument = (root_ / name).string();
            if (argument == "CustomerPhoto=photo.png")
                argument = "CustomerPhoto=" + (root_ / "photo.png").string();
        }
        return arguments;
    }

    ProgramRun zqdl(const std::string& serverURL, const Kind& kind) const {
        return zqtest::runZqdl(root_.path(),
                               {"--server", serverURL, "--timeout", "30", "--request-timeout", "1"},
                               withFiles(kind.arguments));
    }

    zqtest::TempDir root_;
};

// The outcome lines that carry an error, and those that do not.
std::pair<int, int> outcomes(const ProgramRun& run) {
    int failed = 0, succeeded = 0;
    for (const std::string& text : run.lines) {
        Value line = ZQJSON::parse(text).value;
        if (!line.isDictionary()) continue;
        if (line["error"].isDictionary())
            ++failed;
        else
            ++succeeded;
    }
    return {failed, succeeded};
}

TEST_F(ZqdlFaultMatrix, EveryRequestKindFailsOnceAndCleanlyAgainstEveryFault) {
    const std::vector<Kind> kinds = {
        {"data GET",
         {"query", "Sales.WorkWithInvoice.Invoice.List", "--force"},
         R"([{"InvoiceId":1,"InvoiceDate":"2024-01-08T00:00:00Z","CustomerName":"~"}])"},
        {"bc GET",
         {"bc", "load", "Sales.Invoice", "--key", "2"},
         R"({"InvoiceId":2,"CustomerName":"~"})"},
        {"bc POST",
         {"bc", "insert", "Sales.Invoice", "--json", "new-invoice.json"},
         R"({"InvoiceId":950,"CustomerName":"~"})"},
        {"bc PUT",
         {"bc", "update", "Sales.Invoice", "--json", "invoice.json"},
         R"({"InvoiceId":1,"CustomerName":"~"})"},
        {"bc DELETE",
         {"bc", "delete", "Sales.Invoice", "--key", "3"},
         R"({"InvoiceId":3,"CustomerName":"~"})",
         true},
        {"defaults", {"bc", "defaults", "Sales.Invoice"}, R"({"InvoiceId":0,"CustomerName":"~"})"},
        {"upload",
         {"bc", "update", "Customer", "--json", "customer.json", "--attach",
          "CustomerPhoto=photo.png"},
         R"({"object_id":"~"})"},
        {"combo",
         {"field", "combo", "Sales.Invoice", "CustomerId", "--set", "InvoiceDate=2019-01-01"},
         R"([{"code":1,"description":"~"}])"},
        {"hide-code",
         {"field", "code", "Sales.Invoice", "CustomerId", "--text", "acme corp"},
         R"([{"code":1,"description":"~"}])"},
        {"prompt-after",
         {"field", "prompt", "LineAmount", "--set", "LineQuantity=3", "--set", "LinePrice=2.5"},
         R"({"Amount":"~"})"},
    };
    const ServerFault faults[] = {
        ServerFault::ResetBeforeHeaders, ServerFault::CloseMidBody,
        ServerFault::StallForever,       ServerFault::Status500WithBody,
        ServerFault::Status500Empty,     ServerFault::Status503WithBody,
        ServerFault::Status503Empty,     ServerFault::Unauthorized,
        ServerFault::RedirectElsewhere,  ServerFault::LongerThanDeclared,
        ServerFault::EndlessBody,        ServerFault::InvalidUTF8,
    };

    // A healthy server at the address the faults will come from: each kind is run once against
    // it, so that its resources are known and the cache holds the invoice list, invoices 1, 2 and
    // 3 (loaded again below) and the customer.
    auto healthy = startSampleServer(0);
    ASSERT_TRUE(healthy);
    const std::string serverURL = healthy->baseURL();
    const int port = healthy->port();
    // Twice: the first pass meets an empty cache, and the second what the cells will meet. What
    // a healthy run leaves is the most of the two (the worker pool grows with the work it saw).
    std::map<std::string, Resources> baseline;
    for (int pass = 0; pass < 2; ++pass) {
        for (const Kind& kind : kinds) {
            ProgramRun run = zqdl(serverURL, kind);
            // The second insert and delete are refused (409, 404): they were done.
            if (pass == 0) {
                EXPECT_EQ(run.status, 0) << kind.name << ": " << run.errors;
            }
            Resources left = leftBehind(run.errors);
            EXPECT_TRUE(left.read) << kind.name << ": " << run.errors;
            Resources& most = baseline[kind.name];
            if (left.files >= most.files) most = left;
        }
    }
    // The baseline deleted invoice 3 on that server; a fresh one at the same address has it again
    // for the cache.
    healthy->stop();
    healthy = startSampleServer(port);
    ASSERT_TRUE(healthy);
    for (const char* key : {"2", "3"}) {
        ProgramRun load =
            zqdl(serverURL, {"seed", {"bc", "load", "Sales.Invoice", "--key", key}, ""});
        ASSERT_EQ(load.status, 0) << load.errors;
    }
    healthy->stop();
    healthy.reset();
    const std::string seeded = dumpStore(root_.path());
    ASSERT_NE(seeded.find("Acme"), std::string::npos) << seeded;

    // Another host (a name of the loopback interface other than the one written in the model),
    // with a healthy server behind it: a followed redirect would succeed there.
    auto elsewhere = startSampleServer(0);
    ASSERT_TRUE(elsewhere);
    const std::string elsewhereURL =
        "http://localhost:" + std::to_string(elsewhere->port()) + "/sample/";

    struct Cell {
        bool passed = false;
        double seconds = 0;
        std::string why;
    };
    std::map<std::pair<std::string, std::string>, Cell> cells;
    // The store's rows before the cell; a delete may take invoice 3 out, once, and nothing else.
    std::string expected = seeded;
    auto cacheChange = [&](const Kind& kind) -> std::string {
        std::string dump = dumpStore(root_.path());
        if (dump == expected) return {};
        std::string change = difference(expected, dump);
        if (kind.isDelete && onlyRemovesRows(change)) {
            expected = dump;
            return {};
        }
        return "the cache changed:\n" + change;
    };
    auto check = [&](const Kind& kind, ServerFault* fault, const ProgramRun& run, double seconds) {
        const std::string faultName =
            fault ? zqtest::serverFaultName(*fault) : "connection refused";
        // A 200 whose body is not what it declares is a successful delete: its body is not read.
        const bool succeeds =
            kind.isDelete && fault &&
            (*fault == ServerFault::LongerThanDeclared || *fault == ServerFault::InvalidUTF8);
        Cell cell;
        cell.seconds = seconds;
        auto [failed, succeeded] = outcomes(run);
        Resources left = leftBehind(run.errors);
        const Resources& healthyLeft = baseline[kind.name];
        std::string changed = cacheChange(kind);
        if (run.status != (succeeds ? 0 : 1))
            cell.why = "exit status " + std::to_string(run.status);
        else if (failed != (succeeds ? 0 : 1) || succeeded != (succeeds ? 1 : 0))
            cell.why =
                std::to_string(failed) + " errors, " + std::to_string(succeeded) + " successes";
        else if (seconds > 10)
            cell.why = "took " + std::to_string(seconds) + " s";
        else if (!changed.empty())
            cell.why = changed;
        else if (!left.read || left.busyWorkers != 0 || left.transfers != 0 ||
                 left.files > healthyLeft.files)
            cell.why = "left behind busy workers " + std::to_string(left.busyWorkers) +
                       ", transfers " + std::to_string(left.transfers) + ", files (" +
                       left.fileNames + ") where a healthy run leaves (" + healthyLeft.fileNames +
                       ")";
        cell.passed = cell.why.empty();
        EXPECT_TRUE(cell.passed) << kind.name << " / " << faultName << ": " << cell.why << "\n"
                                 << (run.lines.empty() ? "" : run.lines[0]) << "\n"
                                 << run.errors;
        cells[{kind.name, faultName}] = cell;
    };
    auto timed = [&](const std::string& url, const Kind& kind) {
        auto start = std::chrono::steady_clock::now();
        ProgramRun run = zqdl(url, kind);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return std::make_pair(run, seconds);
    };

    {
        FaultServer server(port);
        server.setRedirectTarget(elsewhereURL);
        for (ServerFault fault : faults) {
            for (const Kind& kind : kinds) {
                server.setFault(fault);
                server.setAnswerBody(kind.answer);
                auto [run, seconds] = timed(serverURL, kind);
                check(kind, &fault, run, seconds);
            }
        }
    }
    // The address now refuses connections.
    for (const Kind& kind : kinds) {
        auto [run, seconds] = timed(serverURL, kind);
        check(kind, nullptr, run, seconds);
    }

    std::ostringstream table;
    std::vector<std::string> columns = {"connection refused"};
    for (ServerFault fault : faults) columns.push_back(zqtest::serverFaultName(fault));
    table << "fault matrix (pass / FAIL, seconds):\n";
    size_t passed = 0;
    for (const std::string& column : columns) {
        table << "  " << column << ":";
        for (const Kind& kind : kinds) {
            const Cell& cell = cells[{kind.name, column}];
            passed += cell.passed;
            char text[64];
            std::snprintf(text, sizeof text, " %s %s %.1f;", kind.name,
                          cell.passed ? "pass" : "FAIL", cell.seconds);
            table << text;
        }
        table << "\n";
    }
    table << passed << " of " << cells.size() << " cells pass\n";
    std::printf("%s", table.str().c_str());
    EXPECT_EQ(passed, cells.size());
}

}  // namespace
