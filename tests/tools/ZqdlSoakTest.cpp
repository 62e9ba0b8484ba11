// zqdl soak as a user runs it: a short mixed load against the embedded server answers every kind
// of operation without a problem, and a load against a server that is not there stops at once
// with its failures named.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "tests/support/FaultServer.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/tools/ZqdlProgramRun.hpp"

namespace zqdl {
namespace {

using platform::Value;

const char* const kKinds[] = {"query",
                              "withdrawnQuery",
                              "joinedQuery",
                              "itemQuery",
                              "businessComponentLoad",
                              "businessComponentSave",
                              "imageUpload",
                              "screen",
                              "combo",
                              "hideCode",
                              "prompt"};

class ZqdlSoak : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(zqtest::zqdlProgramPath()))
            GTEST_SKIP() << "build the zqdl target first: " << zqtest::zqdlProgramPath();
    }
    static Value summaryOf(const zqtest::ProgramRun& run) {
        return run.lines.empty() ? Value() : ZQJSON::parse(run.lines.back()).value;
    }
    zqtest::TempDir root_;
};

TEST_F(ZqdlSoak, AShortMixedLoadAnswersEveryKindOfOperation) {
    zqtest::ProgramRun run =
        zqtest::runZqdl(root_.path(), {}, {"soak", "--seconds", "3", "--report-every", "1"});
    ASSERT_EQ(run.status, 0) << run.errors << (run.lines.empty() ? "" : run.lines.back());
    Value summary = summaryOf(run);
    EXPECT_TRUE(summary["ok"].boolean().value_or(false));
    EXPECT_EQ(summary["problems"].array()->size(), 0u);
    for (const char* kind : kKinds) {
        Value tally = summary["operations"][kind];
        EXPECT_GT(tally["answered"].integer().value_or(0), 0) << kind;
        EXPECT_EQ(tally["failed"].integer().value_or(-1), 0) << kind;
    }
    // The reports before the summary: memory read, and the server's requests growing.
    ASSERT_GE(run.lines.size(), 3u);
    Value first = ZQJSON::parse(run.lines[0]).value;
    Value last = ZQJSON::parse(run.lines[run.lines.size() - 2]).value;
    EXPECT_GT(first["residentMB"].number().value_or(0), 0);
    EXPECT_GT(last["requests"].integer().value_or(0), first["requests"].integer().value_or(0));
}

TEST_F(ZqdlSoak, AServerThatIsNotThereStopsTheLoadWithItsFailures) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(zqtest::FaultServer::refusingPort()) + "/sample/";
    zqtest::ProgramRun run = zqtest::runZqdl(
        root_.path(), {"--server", url, "--request-timeout", "1"}, {"soak", "--seconds", "60"});
    EXPECT_EQ(run.status, 1) << run.errors;
    Value summary = summaryOf(run);
    EXPECT_FALSE(summary["ok"].boolean().value_or(true));
    EXPECT_LT(summary["seconds"].integer().value_or(60), 30);
    ASSERT_TRUE(summary["problems"].isArray());
    ASSERT_FALSE(summary["problems"].array()->empty());
    EXPECT_NE(summary["problems"].at(0).string().value_or("").find("failed"), std::string::npos)
        << summary["problems"].at(0).string().value_or("");
}

}  // namespace
}  // namespace zqdl
