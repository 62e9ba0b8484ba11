// zqdl's field commands, the built program run against the embedded sample server: the look-ups of
// the sample application's customer field and its prompt rule, the one debounced suggestion
// request, and the usage errors.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/tools/ZqdlProgramRun.hpp"

namespace zqdl {
namespace {

TEST(ZqdlFieldCommand, LooksUpTheSampleCustomerFieldAndRule) {
    zqtest::TempDir root;
    struct Case {
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {{"field", "combo", "Sales.Invoice", "CustomerId", "--set", "InvoiceDate=2019-01-01"},
         R"({"ok":true,"choices":[{"code":3,"description":"bluebird Ltd"},)"
         R"({"code":6,"description":"Delta Foods"}],"error":null})"},
        {{"field", "code", "Sales.Invoice", "CustomerId", "--text", "ACME CORP"},
         R"({"ok":true,"code":1,"description":"Acme Corp","error":null})"},
        {{"field", "text", "Sales.Invoice", "CustomerId", "--set", "CustomerId=4"},
         R"({"ok":true,"text":"Cobalt Systems","error":null})"},
        {{"field", "prompt", "LineAmount", "--set", "LineQuantity=3", "--set", "LinePrice=2.5"},
         R"({"ok":true,"values":{"LineAmount":7.5},"error":null})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        auto run = zqtest::runZqdl(root.path(), {}, c.arguments);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.lines, std::vector<std::string>{c.line});
    }
}

TEST(ZqdlFieldCommand, QuickTypingSendsOneSuggestionRequestAfterTheDelay) {
    zqtest::TempDir root;
    auto run = zqtest::runZqdl(root.path(), {},
                               {"field", "suggest", "Sales.Invoice", "CustomerId", "--type", "d",
                                "--type", "de", "--type", "del", "--gap-ms", "100"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 1u);
    auto outcome = ZQJSON::parse(run.lines[0]).value;
    EXPECT_EQ(outcome["requests"].integer(), 1);
    EXPECT_GE(*outcome["answeredAfterMs"].integer(), 490);
    EXPECT_NE(run.lines[0].find(R"("suggestions":[{"code":6,"description":"Delta Foods"}])"),
              std::string::npos);
}

TEST(ZqdlFieldCommand, BadUsageExitsWithTwo) {
    zqtest::TempDir root;
    const std::vector<std::string> cases[] = {
        {"field"},
        {"field", "combo", "Sales.Invoice"},
        {"field", "code", "Sales.Invoice", "CustomerId"},
        {"field", "suggest", "Sales.Invoice", "CustomerId", "--gap-ms", "soon"},
        {"field", "combo", "Sales.Invoice", "InvoiceTotal"},
        {"field", "prompt", "NoSuchRule"},
        {"field", "prompt", "LineAmount", "--set", "LineQuantity=many"},
    };
    for (const auto& arguments : cases) {
        auto run = zqtest::runZqdl(root.path(), {}, arguments);
        EXPECT_EQ(run.status, 2) << arguments.back() << ": " << run.errors;
        EXPECT_TRUE(run.lines.empty());
    }
}

}  // namespace
}  // namespace zqdl
