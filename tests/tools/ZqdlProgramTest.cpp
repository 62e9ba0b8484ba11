// The built zqdl program run as a user runs it, against its embedded sample server on loopback:
// one JSON line per delivered result, the shared request of concurrent queries, the cache
// records it leaves, and the exit status of bad input. The program is found beside this test
// binary in the build tree (tools/zqdl/zqdl).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/tools/ZqdlProgramRun.hpp"

namespace {

using zqtest::ProgramRun;

class ZqdlProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(zqtest::zqdlProgramPath()))
            GTEST_SKIP() << "build the zqdl target first: " << zqtest::zqdlProgramPath();
    }

    // Runs zqdl with the test's application root and a generous timeout.
    ProgramRun zqdl(const std::vector<std::string>& arguments) {
        return zqtest::runZqdl(root_.path(), {}, arguments);
    }

    static platform::Value json(const std::string& line) {
        auto parsed = ZQJSON::parse(line);
        EXPECT_FALSE(parsed.error) << line;
        return parsed.value;
    }

    static size_t countLinesStartingWith(const std::string& text, const std::string& prefix) {
        size_t count = 0;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0;
        return count;
    }

    zqtest::TempDir root_;
};

constexpr const char* kInvoices = "Sales.WorkWithInvoice.Invoice.List";

TEST_F(ZqdlProgram, ConcurrentQueriesShareOneRequestAndTheCacheAnswersTheNextRun) {
    ProgramRun first =
        zqdl({"--verbose", "query", kInvoices, "--page-size", "3", "--concurrent", "3"});
    ASSERT_EQ(first.status, 0) << first.errors;
    ASSERT_EQ(first.lines.size(), 3u) << first.errors;
    std::vector<int64_t> delegates;
    for (const std::string& line : first.lines) {
        platform::Value result = json(line);
        delegates.push_back(result["delegate"].integer().value_or(0));
        EXPECT_EQ(result["source"], platform::Value("remote"));
        EXPECT_EQ(result["count"], platform::Value(3));
        EXPECT_EQ(result["error"], platform::Value::null());
        EXPECT_EQ(result["sections"].at(0).at(0)["InvoiceId"], platform::Value(1));
    }
    std::sort(delegates.begin(), delegates.end());
    EXPECT_EQ(delegates, (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(countLinesStartingWith(first.errors, "server: GET http://127.0.0.1:"), 1u)
        << first.errors;
    // The client side's own line for the one request it sent, and its cache decision.
    EXPECT_EQ(countLinesStartingWith(first.errors, "GET http://127.0.0.1:"), 1u) << first.errors;
    EXPECT_EQ(countLinesStartingWith(first.errors, "cache http://127.0.0.1:"), 1u) << first.errors;

    // A second process reads what the first saved: the server comes back on the same port, so
    // the query keeps its key.
    ProgramRun local = zqdl({"--verbose", "query", kInvoices, "--type", "local"});
    ASSERT_EQ(local.status, 0) << local.errors;
    ASSERT_EQ(local.lines.size(), 1u);
    EXPECT_EQ(json(local.lines[0])["source"], platform::Value("cache"));
    EXPECT_EQ(json(local.lines[0])["count"], platform::Value(3));
    EXPECT_EQ(countLinesStartingWith(local.errors, "server: GET "), 0u) << local.errors;

    ProgramRun listed = zqdl({"cache", "ls"});
    ASSERT_EQ(listed.status, 0) << listed.errors;
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(json(listed.lines[0])["provider"], platform::Value(kInvoices));
    EXPECT_EQ(json(listed.lines[0])["rows"], platform::Value(3));

    ASSERT_EQ(zqdl({"cache", "clear"}).status, 0);
    EXPECT_TRUE(zqdl({"cache", "ls"}).lines.empty());
}

TEST_F(ZqdlProgram, SingleItemQueryPrintsTheItemWithItsSublevels) {
    ProgramRun run = zqdl({"query", "Sales.WorkWithInvoice.Invoice.Detail", "--param", "1"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 1u);
    platform::Value item = json(run.lines[0])["item"];
    EXPECT_EQ(item["InvoiceId"], platform::Value(1));
    EXPECT_TRUE(item["Line"].isArray()) << run.lines[0];
    EXPECT_GT(item["Line"].count(), 0u);
}

TEST_F(ZqdlProgram, OrderAndSearchReachTheServer) {
    // Order 1 sorts by customer name (root collation) and breaks by it into sections; the search
    // keeps the rows whose customer name or id holds "o".
    ProgramRun run =
        zqdl({"query", kInvoices, "--order", "1", "--search", "o", "--search-field", "0"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 1u);
    std::vector<std::string> sections;
    const platform::Value result = json(run.lines[0]);
    ASSERT_TRUE(result["sections"].isArray()) << run.lines[0];
    for (const platform::Value& section : *result["sections"].array()) {
        std::string name(*section.at(0)["CustomerName"].string());
        for (const platform::Value& item : *section.array())
            EXPECT_EQ(*item["CustomerName"].string(), name);
        sections.push_back(name);
    }
    EXPECT_EQ(sections, (std::vector<std::string>{"Acme Corp", "\xc3\x81lvarez Hnos.",
                                                  "Cobalt Systems", "Delta Foods"}));
}

TEST_F(ZqdlProgram, BadInputEndsWithAMessageAndTheRightStatus) {
    ProgramRun unknownOption = zqdl({"query", kInvoices, "--pagesize", "3"});
    EXPECT_EQ(unknownOption.status, 2);
    EXPECT_NE(unknownOption.errors.find("usage:"), std::string::npos);

    ProgramRun unknownProvider = zqdl({"query", "No.Such.Provider"});
    EXPECT_EQ(unknownProvider.status, 2);
    EXPECT_NE(unknownProvider.errors.find("unknown data provider"), std::string::npos);

    ProgramRun missingParameter = zqdl({"query", "WorkWithCustomer.Customer.Detail"});
    EXPECT_EQ(missingParameter.status, 2);

    ProgramRun badModel = zqdl({"--model", (root_ / "missing.json").string(), "providers"});
    EXPECT_EQ(badModel.status, 1);
    EXPECT_NE(badModel.errors.find("cannot load the model"), std::string::npos);

    // Nothing listens on port 1: the result carries the transport error.
    ProgramRun serverDown = zqdl({"--server", "http://127.0.0.1:1/sample/", "query", kInvoices});
    EXPECT_EQ(serverDown.status, 1) << serverDown.errors;
    ASSERT_EQ(serverDown.lines.size(), 1u);
    EXPECT_TRUE(json(serverDown.lines[0])["error"].isDictionary());
}

TEST_F(ZqdlProgram, ProvidersListsEveryProviderOfTheModel) {
    ProgramRun run = zqdl({"providers"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 6u);
    EXPECT_EQ(json(run.lines[0])["name"], platform::Value(kInvoices));
}

TEST_F(ZqdlProgram, DemoEndsByItselfWithEveryStepAsExpected) {
    ProgramRun run = zqdl({"demo"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), "every step went as expected");
}

}  // namespace
