#include "tools/zqdl/ZqdlCommandLine.hpp"

#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"

namespace zqdl {
namespace {

CommandLineResult parse(std::vector<std::string> arguments) {
    return ZqdlCommandLine::parse(arguments);
}

TEST(ZqdlCommandLine, QueryOptionsAreReadInAnyOrderAroundTheCommand) {
    CommandLineResult result = parse({"--verbose",
                                      "query",
                                      "Sales.List",
                                      "--type",
                                      "next",
                                      "--page-size=20",
                                      "--order",
                                      "1",
                                      "--search",
                                      "acme corp",
                                      "--search-field",
                                      "0",
                                      "--param",
                                      "7",
                                      "--param",
                                      "x",
                                      "--force",
                                      "--zqid",
                                      "42",
                                      "--concurrent",
                                      "5",
                                      "--all-loaded",
                                      "--model",
                                      "m.json",
                                      "--server",
                                      "http://h:1/a/",
                                      "--app-dir",
                                      "/tmp/a",
                                      "--timeout",
                                      "9"});
    ASSERT_TRUE(result.commandLine) << result.error;
    const CommandLine& line = *result.commandLine;
    EXPECT_EQ(line.command, Command::Query);
    EXPECT_EQ(line.query.provider, "Sales.List");
    EXPECT_EQ(line.query.type, 3);
    EXPECT_EQ(line.query.pageSize, 20u);
    EXPECT_EQ(line.query.orderIndex, 1u);
    EXPECT_EQ(line.query.searchText, "acme corp");
    EXPECT_EQ(line.query.searchFieldIndex, 0u);
    EXPECT_EQ(line.query.parameters, (std::vector<std::string>{"7", "x"}));
    EXPECT_TRUE(line.query.force);
    EXPECT_TRUE(line.query.allLoadedData);
    EXPECT_EQ(line.query.zqid, 42u);
    EXPECT_EQ(line.query.concurrent, 5u);
    EXPECT_TRUE(line.global.verbose);
    EXPECT_EQ(line.global.modelFile, "m.json");
    EXPECT_EQ(line.global.serverURL, "http://h:1/a/");
    EXPECT_EQ(line.global.appDir, "/tmp/a");
    EXPECT_EQ(line.global.timeoutSeconds, 9.0);
}

TEST(ZqdlCommandLine, DefaultsLeaveIndexesUnsetAndAskForTheFirstPageOfEverything) {
    CommandLineResult result = parse({"query", "P"});
    ASSERT_TRUE(result.commandLine);
    const QueryOptions& query = result.commandLine->query;
    EXPECT_EQ(query.type, 1);
    EXPECT_EQ(query.pageSize, 0u);
    EXPECT_EQ(query.orderIndex, ZQNotFound);
    EXPECT_EQ(query.searchFieldIndex, ZQNotFound);
    EXPECT_FALSE(query.searchText);
    EXPECT_EQ(query.concurrent, 1u);
    EXPECT_FALSE(result.commandLine->global.serverURL);
}

TEST(ZqdlCommandLine, CommandsWithoutOptions) {
    EXPECT_EQ(parse({"providers"}).commandLine->command, Command::Providers);
    EXPECT_EQ(parse({"cache", "ls"}).commandLine->command, Command::CacheList);
    EXPECT_EQ(parse({"cache", "clear"}).commandLine->command, Command::CacheClear);
    EXPECT_EQ(parse({"demo"}).commandLine->command, Command::Demo);
    EXPECT_EQ(parse({"--help"}).commandLine->command, Command::Help);
    CommandLineResult serve = parse({"serve", "--port", "0"});
    ASSERT_TRUE(serve.commandLine);
    EXPECT_EQ(serve.commandLine->serve.port, 0);
}

TEST(ZqdlCommandLine, UsageErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command"},
        {{"query"}, "needs a data provider"},
        {{"query", "P", "Q"}, "unexpected argument"},
        {{"cache"}, "ls or clear"},
        {{"cache", "drop"}, "ls or clear"},
        {{"query", "P", "--type", "latest"}, "--type must be"},
        {{"query", "P", "--page-size", "-1"}, "--page-size must be"},
        {{"query", "P", "--page-size", "12x"}, "--page-size must be"},
        {{"query", "P", "--concurrent", "0"}, "--concurrent must be"},
        {{"query", "P", "--order"}, "needs a value"},
        {{"query", "P", "--force=yes"}, "takes no value"},
        {{"query", "P", "--bogus"}, "unknown option"},
        {{"providers", "--page-size", "3"}, "does not apply"},
        {{"query", "P", "--port", "80"}, "does not apply"},
        {{"serve", "--port", "70000"}, "--port must be"},
        {{"demo", "--server", "localhost:8080"}, "http://"},
        {{"demo", "--timeout", "0"}, "--timeout must be"},
    };
    for (const Case& c : cases) {
        CommandLineResult result = parse(c.arguments);
        EXPECT_FALSE(result.commandLine);
        EXPECT_NE(result.error.find(c.message), std::string::npos)
            << "error \"" << result.error << "\" lacks \"" << c.message << "\"";
    }
}

}  // namespace
}  // namespace zqdl
