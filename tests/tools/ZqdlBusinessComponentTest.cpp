// zqdl's business-component commands: the command line and the key and inferred values read
// against the sample model (usage errors, status 2), and the built program run against a sample
// server in this process that sends a user warning with every business-component answer: one
// JSON line per outcome, the warnings the handler showed, and the instances the cache then lists.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/support/TestImages.hpp"
#include "tests/tools/ZqdlProgramRun.hpp"
#include "tools/zqdl/ZqdlBusinessComponentCommand.hpp"

namespace zqdl {
namespace {

using platform::Value;

TEST(ZqdlBusinessComponentCommandLine, ReadsTheSubcommandNameAndTheirOptions) {
    struct Case {
        std::vector<std::string> arguments;
        std::string error;  // empty: parses
    };
    const Case cases[] = {
        {{"bc", "load", "Sales.Invoice", "--key", "1", "--key=a,b"}, ""},
        {{"bc", "defaults", "Sales.Invoice", "--set", "CustomerName=A=B", "--set", "X="}, ""},
        {{"bc", "upsert", "Sales.Invoice", "--json", "-"}, ""},
        {{"bc"}, "bc needs load, defaults, delete, insert, update or upsert"},
        {{"bc", "save", "Sales.Invoice"},
         "bc needs load, defaults, delete, insert, update or upsert"},
        {{"bc", "load", "A", "--json", "f"}, "--json does not apply to this command"},
        {{"bc", "delete"}, "bc delete needs a business component name"},
        {{"bc", "load", "A", "B"}, "unexpected argument \"B\""},
        {{"bc", "defaults", "A", "--key", "1"}, "--key does not apply to this command"},
        {{"bc", "load", "A", "--set", "X=1"}, "--set does not apply to this command"},
        {{"bc", "defaults", "A", "--set", "=1"}, "--set needs FIELD=VALUE, not \"=1\""},
        {{"bc", "load", "A", "--key", ""}, "--key needs a value"},
        {{"query", "P", "--key", "1"}, "--key does not apply to this command"},
    };
    for (const Case& c : cases) {
        CommandLineResult result = ZqdlCommandLine::parse(c.arguments);
        EXPECT_EQ(result.error, c.error) << c.arguments.at(0);
        EXPECT_EQ(result.commandLine.has_value(), c.error.empty());
    }
    auto load = ZqdlCommandLine::parse(cases[0].arguments).commandLine;
    EXPECT_EQ(load->command, Command::BusinessComponentLoad);
    EXPECT_EQ(load->businessComponent.keys, (std::vector<std::string>{"1", "a,b"}));
    auto defaults = ZqdlCommandLine::parse(cases[1].arguments).commandLine;
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(defaults->businessComponent.inferred, (Pairs{{"CustomerName", "A=B"}, {"X", ""}}));
}

TEST(ZqdlBusinessComponentCommandLine, KeysAndInferredValuesAreCheckedAgainstTheModel) {
    ZqdlFailure failure;
    auto model = ZqdlEnvironment::loadAppModel(ZqdlEnvironment::modelPath({}), &failure);
    ASSERT_TRUE(model) << failure.message;
    struct KeyCase {
        std::string component;
        std::vector<std::string> keys;
        Value expected;  // absent: a usage error
    };
    const KeyCase keyCases[] = {
        {"Sales.Invoice", {"7"}, Value(7)},    {"Customer", {"2"}, Value(2)},
        {"Sales.Invoice", {}, Value()},        {"Sales.Invoice", {"1", "2"}, Value()},
        {"Sales.Invoice", {"seven"}, Value()}, {"No.Such", {"1"}, Value()},
    };
    for (const KeyCase& c : keyCases) {
        ZqdlFailure failed;
        BusinessComponentOptions options{c.component, c.keys, {}, {}, {}};
        auto key = ZqdlBusinessComponentCommand::keyFor(*model, options, &failed);
        if (c.expected.isAbsent()) {
            EXPECT_FALSE(key) << c.component;
            EXPECT_EQ(failed.exitStatus, 2) << c.component;
            EXPECT_FALSE(failed.message.empty());
            continue;
        }
        ASSERT_TRUE(key) << failed.message;
        auto field = model->businessComponentNamed(c.component)->rootLevel()->keyAttributes()[0];
        EXPECT_EQ(key->valueForEntityDataKeyFieldName(field->name()), c.expected);
    }
    struct SetCase {
        std::pair<std::string, std::string> set;
        bool accepted;
    };
    const SetCase setCases[] = {
        {{"CustomerName", "Zed"}, true},       {{"InvoicePaid", "true"}, true},
        {{"InvoiceTotal", "12.5"}, true},      {{"InvoiceTotal", "lots"}, false},
        {{"InvoiceDate", "yesterday"}, false}, {{"NoSuchField", "1"}, false},
    };
    for (const SetCase& c : setCases) {
        ZqdlFailure failed;
        BusinessComponentOptions options{"Sales.Invoice", {}, {c.set}, {}, {}};
        auto values = ZqdlBusinessComponentCommand::inferredValuesFor(*model, options, &failed);
        EXPECT_EQ(values.has_value(), c.accepted) << c.set.first << "=" << c.set.second;
        if (!c.accepted) {
            EXPECT_EQ(failed.exitStatus, 2);
        }
    }
}

using zqtest::ProgramRun;

class ZqdlBusinessComponentProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(zqtest::zqdlProgramPath()))
            GTEST_SKIP() << "build the zqdl target first: " << zqtest::zqdlProgramPath();
        ZQSampleServerOptions options;
        options.keepAliveSeconds = 1;
        options.businessComponentWarning = "Checked by the sample server";
        ZQSampleServerCreateResult created = ZQSampleServer::create(std::move(options));
        ASSERT_EQ(created.error, nullptr);
        server_ = std::move(created.server);
        ASSERT_EQ(server_->start(), nullptr);
    }

    ProgramRun zqdl(const std::vector<std::string>& arguments) {
        return zqtest::runZqdl(root_.path(), {"--server", server_->baseURL()}, arguments);
    }
    // The one line the run printed, parsed.
    static Value only(const ProgramRun& run) {
        EXPECT_EQ(run.lines.size(), 1u) << run.errors;
        return run.lines.empty() ? Value() : ZQJSON::parse(run.lines[0]).value;
    }

    zqtest::TempDir root_;
    std::unique_ptr<ZQSampleServer> server_;
};

TEST_F(ZqdlBusinessComponentProgram, EachOutcomeIsOneJSONLineAndTheCacheListsWhatWasLoaded) {
    const Value warned = Value::array({Value("Checked by the sample server")});
    struct Step {
        std::vector<std::string> arguments;
        int status;
        const char* field;  // of the instance; none: no instance
        Value expected;
        Value warnings;
    };
    const Step steps[] = {
        {{"bc", "load", "Sales.Invoice", "--key", "3"},
         0,
         "CustomerName",
         Value("Cobalt Systems"),
         Value::array({})},  // loads show no warnings
        {{"bc", "load", "Customer", "--key", "1"},
         0,
         "CustomerEmail",
         Value("orders@acme.example"),
         Value::array({})},
        {{"bc", "defaults", "Sales.Invoice", "--set", "CustomerName=Zed"},
         0,
         "CustomerName",
         Value("Zed"),
         Value::array({})},
        {{"bc", "delete", "Customer", "--key", "1"}, 0, nullptr, Value(), warned},
        {{"bc", "load", "Sales.Invoice", "--key", "404"}, 1, nullptr, Value(), Value::array({})},
    };
    for (const Step& step : steps) {
        ProgramRun run = zqdl(step.arguments);
        SCOPED_TRACE(step.arguments[1] + " " + step.arguments[2]);
        EXPECT_EQ(run.status, step.status) << run.errors;
        Value line = only(run);
        EXPECT_EQ(line["ok"], Value(step.status == 0));
        EXPECT_EQ(line["warnings"], step.warnings);
        if (step.field) {
            EXPECT_EQ(line["instance"][step.field], step.expected);
            EXPECT_EQ(line["error"], Value::null());
        } else {
            EXPECT_EQ(line["instance"], Value::null());
        }
        if (step.status != 0) {
            EXPECT_EQ(line["error"]["code"], Value(404));
        }
    }
    // The invoice's lines print in key order, as arrays under the level name.
    Value invoice = only(zqdl({"bc", "load", "Sales.Invoice", "--key", "3"}))["instance"];
    ASSERT_EQ(invoice["Line"].count(), 3u);
    EXPECT_EQ(invoice["Line"].at(2)["InvoiceLineId"], Value(3));

    ProgramRun listed = zqdl({"cache", "ls"});
    ASSERT_EQ(listed.status, 0) << listed.errors;
    ASSERT_EQ(listed.lines.size(), 1u) << listed.errors;  // the deleted customer is gone
    Value record = ZQJSON::parse(listed.lines[0]).value;
    EXPECT_EQ(record["component"], Value("Sales.Invoice"));
    EXPECT_EQ(record["key"], Value::dictionary({{"InvoiceId", Value(3)}}));
    EXPECT_EQ(record["lines"], Value(3));
    EXPECT_TRUE(record["timeStamp"].isString());
}

TEST_F(ZqdlBusinessComponentProgram, SavesSendTheFileAndPrintTheSavedInstance) {
    auto file = [this](const std::string& name, const std::string& text) {
        std::ofstream(root_ / name) << text;
        return (root_ / name).string();
    };
    const std::string invoice = file(
        "invoice.json",
        R"({"InvoiceId": 900, "CustomerId": 1, "CustomerName": "Shell", "InvoiceDate": "2024-05-01",)"
        R"( "Line": [{"InvoiceLineId": 1, "ProductName": "Nut", "LineQuantity": 2}]})");
    const std::string renamed =
        file("renamed.json", R"({"InvoiceId": 900, "CustomerId": 1, "CustomerName": "Shell Two"})");
    struct Step {
        std::vector<std::string> arguments;
        int status;
        Value customer;  // of the printed instance; absent: none printed
        int64_t code;    // of the error, 0 for none
    };
    const Step steps[] = {
        {{"bc", "insert", "Sales.Invoice", "--json", invoice}, 0, Value("Shell"), 0},
        {{"bc", "insert", "Sales.Invoice", "--json", invoice}, 1, Value(), 409},
        {{"bc", "update", "Sales.Invoice", "--json", renamed}, 0, Value("Shell Two"), 0},
        {{"bc", "upsert", "Sales.Invoice", "--json", invoice}, 0, Value("Shell"), 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.arguments[1]);
        ProgramRun run = zqdl(step.arguments);
        EXPECT_EQ(run.status, step.status) << run.errors;
        Value line = only(run);
        if (step.code) {
            EXPECT_EQ(line["error"]["code"], Value(step.code));
        } else {
            EXPECT_EQ(line["instance"]["CustomerName"], step.customer);
            EXPECT_EQ(line["warnings"], Value::array({Value("Checked by the sample server")}));
        }
    }
    // An attached file is uploaded first and the saved instance holds its identifier.
    const std::string customer =
        file("customer.json", R"({"CustomerId": 1, "CustomerName": "Acme"})");
    std::ofstream(root_ / "photo one.png", std::ios::binary) << zqtest::imageText(zqtest::kPNG);
    ProgramRun attached = zqdl({"bc", "update", "Customer", "--json", customer, "--attach",
                                "CustomerPhoto=" + (root_ / "photo one.png").string()});
    EXPECT_EQ(attached.status, 0) << attached.errors;
    // Standard error is a file here: no progress line.
    EXPECT_EQ(attached.errors.find("upload:"), std::string::npos) << attached.errors;
    EXPECT_EQ(attached.errors.find('\r'), std::string::npos) << attached.errors;
    Value photo = only(attached)["instance"]["CustomerPhoto"];
    ASSERT_TRUE(photo.isString());
    EXPECT_EQ(photo.string()->rfind("obj-", 0), 0u) << photo.description();

    // The server keeps what was saved: the lines of the insert, the name of the update.
    Value loaded = only(zqdl({"bc", "load", "Sales.Invoice", "--key", "900"}))["instance"];
    EXPECT_EQ(loaded["CustomerName"], Value("Shell"));
    EXPECT_EQ(loaded["Line"].count(), 1u);
}

// On a terminal the upload shows its progress on one line, rewritten in place, that ends at the
// file's size and is closed before the saved instance is printed.
TEST_F(ZqdlBusinessComponentProgram, OnATerminalAnUploadShowsItsProgressOnOneLine) {
    const std::string picture = zqtest::imageText(zqtest::kPNG) + std::string(6u << 20, '\x42');
    std::ofstream(root_ / "big photo.png", std::ios::binary) << picture;
    std::ofstream(root_ / "customer.json") << R"({"CustomerId": 2, "CustomerName": "Bolt"})";
    ProgramRun run = zqtest::runZqdlOnTerminal(
        root_.path(), {"--server", server_->baseURL()},
        {"bc", "update", "Customer", "--json", (root_ / "customer.json").string(), "--attach",
         "CustomerPhoto=" + (root_ / "big photo.png").string()});
    if (run.status == -1) GTEST_SKIP() << "util-linux script is not installed";
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::string size = std::to_string(picture.size());
    const std::string last = "\rupload: big photo.png " + size + " of " + size + " bytes";
    size_t end = run.errors.find(last);
    ASSERT_NE(end, std::string::npos) << run.errors;
    // Every figure before the last one is a rewrite of the same line, not a line of its own.
    std::string before = run.errors.substr(0, end);
    EXPECT_EQ(before.find('\n'), std::string::npos) << before;
    EXPECT_EQ(before.rfind("\rupload: big photo.png ", 0), 0u) << before;
    // Then the line ends and the saved instance follows.
    std::string after = run.errors.substr(end + last.size());
    EXPECT_EQ(after.find("\x1b[K\r\n{\"ok\":true"), 0u) << after;
}

TEST_F(ZqdlBusinessComponentProgram, UsageErrorsEndWithStatusTwoBeforeAnyRequest) {
    std::ofstream(root_ / "bad.json") << R"({"InvoiceId": 1, "Nope": 2})";
    std::ofstream(root_ / "keyless.json") << R"({"CustomerName": "A"})";
    std::ofstream(root_ / "broken.json") << R"({"InvoiceId": )";
    std::ofstream(root_ / "lines.json") << R"({"InvoiceId": 1, "Line": {"InvoiceLineId": 1}})";
    const std::vector<std::vector<std::string>> cases = {
        {"bc", "load", "Sales.Invoice"},
        {"bc", "delete", "Sales.Invoice", "--key", "1", "--key", "2"},
        {"bc", "load", "No.Such", "--key", "1"},
        {"bc", "defaults", "Sales.Invoice", "--set", "Nope=1"},
        {"bc", "insert", "Sales.Invoice"},
        {"bc", "insert", "Sales.Invoice", "--json", (root_ / "missing.json").string()},
        {"bc", "update", "Sales.Invoice", "--json", (root_ / "bad.json").string()},
        {"bc", "update", "Sales.Invoice", "--json", (root_ / "keyless.json").string()},
        {"bc", "upsert", "Sales.Invoice", "--json", (root_ / "broken.json").string()},
        {"bc", "insert", "Sales.Invoice", "--json", (root_ / "lines.json").string()},
        {"bc", "update", "Customer", "--json", (root_ / "bad.json").string(), "--attach", "X"},
        {"bc", "insert", "Sales.Invoice", "--json", (root_ / "keyless.json").string(), "--attach",
         "Nope=" + (root_ / "bad.json").string()},
    };
    for (const auto& arguments : cases) {
        ProgramRun run = zqdl(arguments);
        EXPECT_EQ(run.status, 2) << arguments[1] << ": " << run.errors;
        EXPECT_TRUE(run.lines.empty());
    }
    EXPECT_EQ(server_->totalRequestCount(), 0u);
}

}  // namespace
}  // namespace zqdl
