// The dynamic combo, hide-code and prompt-after providers against a loopback server that answers
// what each test routes, and against the sample server with the sample application.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldDynamicComboRESTProvider.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldHideCodeRESTProvider.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityRulePromptAfterServiceRESTProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "platform/DateFormat.hpp"
#include "platform/URL.hpp"
#include "tests/library/field-services/FieldServiceTestSupport.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {
namespace {

using platform::Value;

const char* const kModel = R"({"formatVersion": 1, "name": "FieldTests",
  "attributes": [
    {"name": "CustomerId", "type": "numeric", "length": 6},
    {"name": "Since", "type": "date"},
    {"name": "Qty", "type": "numeric", "length": 4},
    {"name": "Amount", "type": "numeric", "length": 10, "decimals": 2},
    {"name": "Note", "type": "varchar", "length": 40}],
  "businessComponents": [{"name": "Order", "levels": [{"name": "Order", "attributes": [
    {"name": "CustomerId", "key": true}, {"name": "Since"}, {"name": "Qty"}, {"name": "Amount"},
    {"name": "Note"}]}]}],
  "dataServices": [
    {"name": "Combo", "url": "svc/combo?", "parameters": [{"name": "a", "value": 1}]},
    {"name": "ById", "url": "svc/byid?", "parameters": [{"name": "Id", "field": "CustomerId"}]},
    {"name": "Code", "url": "svc/code?", "parameters": [{"name": "Text"}]},
    {"name": "CodeSince", "url": "svc/codesince?",
     "parameters": [{"name": "Name"}, {"name": "Since", "field": "Since"}]},
    {"name": "NoParameters", "url": "svc/none"}],
  "promptRules": [
    {"name": "Totals", "businessComponent": "Order", "field": "Qty",
     "service": "Sales.ComputeTotals", "inputs": [{"name": "Qty", "field": "Qty"}],
     "outputs": [{"name": "Amount", "field": "Amount"}, {"name": "Remark", "field": "Note"}]},
    {"name": "NoInputs", "businessComponent": "Order", "field": "Qty",
     "service": "Sales.Constants", "outputs": [{"name": "Amount", "field": "Amount"}]},
    {"name": "NoService", "businessComponent": "Order", "field": "Qty",
     "outputs": [{"name": "Amount", "field": "Amount"}]}]})";

class FieldServiceLoopbackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<LoopbackServer>(8, 1); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        server_->clearRoutes();
        server_->clearLog();
        model_ = modelFromJSON(kModel);
        ASSERT_TRUE(model_);
        runModel(model_, server_->baseURL());
        recorder_ = std::make_shared<FieldRecorder>();
    }
    void TearDown() override {
        runMainLoopFor(0.05);
        ZQModel::setCurrentModel(nullptr);
    }

    std::shared_ptr<const ZQDynamicDataService> service(const std::string& name) const {
        return model_->dataServiceNamed(name);
    }
    std::shared_ptr<ZQEntityDataFieldDynamicComboRESTProvider> combo(
        const std::string& serviceName, platform::Dictionary values = {{"CustomerId", Value(4)}}) {
        auto provider = ZQEntityDataFieldDynamicComboRESTProvider::create(
            entity(std::move(values)), nullptr, std::nullopt, service(serviceName));
        provider->setDelegate(recorder_);
        return provider;
    }
    std::shared_ptr<ZQEntityDataFieldHideCodeRESTProvider> hideCode(
        const std::string& code, const std::string& suggest, const std::string& reverse,
        platform::Dictionary values = {}) {
        auto named = [&](const std::string& name) {
            return name.empty() ? nullptr : service(name);
        };
        auto provider = ZQEntityDataFieldHideCodeRESTProvider::create(
            entity(std::move(values)), nullptr, named(code), named(suggest), named(reverse));
        provider->setDelegate(recorder_);
        return provider;
    }
    std::shared_ptr<ZQEntityRulePromptAfterServiceRESTProvider> prompt(
        const std::string& rule, std::shared_ptr<ZQEntityData> entityData) {
        auto provider = ZQEntityRulePromptAfterServiceRESTProvider::create(
            std::move(entityData), model_->promptRuleNamed(rule), {});
        provider->setDelegate(recorder_);
        return provider;
    }
    // Runs the main loop a little: long enough for a request that was going to be sent.
    static void settle() { runMainLoopFor(0.3); }

    static std::unique_ptr<LoopbackServer> server_;
    std::shared_ptr<const ZQApplicationModel> model_;
    std::shared_ptr<FieldRecorder> recorder_;
};

std::unique_ptr<LoopbackServer> FieldServiceLoopbackTest::server_;

TEST_F(FieldServiceLoopbackTest, ComboAppendsTheParameterStringToTheServiceURL) {
    server_->route("GET", "/svc/combo",
                   LoopbackResponse::json(R"([{"code": 1, "description": "One"}, [2, "Two"],
                                              "Three", {"value": 4, "text": "Four"}])"));
    auto provider = combo("Combo");
    ASSERT_TRUE(provider->load());
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"choices 1:One,2:Two,Three:Three,4:Four"}));
    auto requests = server_->requestsFor("GET", "/svc/combo");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "a=1");
    EXPECT_FALSE(recorder_->offMainThread());
}

TEST_F(FieldServiceLoopbackTest, ComboFailuresReachTheFieldOnceAndWithoutChoices) {
    struct Case {
        const char* name;
        LoopbackResponse response;
        std::string expected;
    } cases[] = {
        {"server error body", LoopbackResponse::error(500, "17", "the combo broke"),
         "error ZQServerErrorDomain 17 the combo broke"},
        {"an object, not choices", LoopbackResponse::json(R"({"code": 1})"), "error ZQErrorDomain"},
        {"a choice without a code", LoopbackResponse::json(R"([{"description": "x"}])"),
         "error ZQErrorDomain"},
        {"not JSON", LoopbackResponse::json("[1,"), "error "},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder_ = std::make_shared<FieldRecorder>();
        server_->route("GET", "/svc/combo", c.response);
        auto provider = combo("Combo");
        ASSERT_TRUE(provider->load());
        auto heard = recorder_->waitForReport();
        settle();
        ASSERT_EQ(recorder_->heard().size(), 1u);
        EXPECT_EQ(heard[0].rfind(c.expected, 0), 0u) << heard[0];
    }
}

TEST_F(FieldServiceLoopbackTest, OnlyTheNewestOfOverlappingLoadsSends) {
    server_->route("GET", "/svc/byid", LoopbackResponse::json(R"([[4, "Four"]])"));
    for (std::vector<size_t> order : {std::vector<size_t>{0, 1}, {1, 0}}) {
        server_->clearLog();
        recorder_ = std::make_shared<FieldRecorder>();
        HeldParameterStrings held;
        auto provider = combo("ById");
        ASSERT_TRUE(provider->load());
        ASSERT_TRUE(provider->load());
        ASSERT_EQ(held.held(), 2u);
        held.release(order);
        EXPECT_EQ(recorder_->waitForReport(), (Heard{"choices 4:Four"}));
        settle();
        EXPECT_EQ(server_->requestsFor("GET", "/svc/byid").size(), 1u);
        EXPECT_EQ(recorder_->heard().size(), 1u);
    }
}

TEST_F(FieldServiceLoopbackTest, LateParameterStringsSendNothing) {
    server_->route("GET", "/svc/byid", LoopbackResponse::json("[]"));
    HeldParameterStrings held;
    // Cancelled before its parameter string arrives.
    auto cancelled = combo("ById");
    ASSERT_TRUE(cancelled->load());
    cancelled->cancel();
    // Destroyed before its parameter string arrives (on another thread).
    auto destroyed = prompt("Totals", entity({{"Qty", Value(3)}}));
    ASSERT_TRUE(destroyed->load());
    destroyed.reset();
    auto lookup = hideCode("Code", "", "");
    lookup->loadHideCodeForText("x");
    lookup.reset();
    held.release({0, 1, 2});
    settle();
    EXPECT_EQ(server_->requestCount(), 0u);
    EXPECT_TRUE(recorder_->heard().empty());
}

TEST_F(FieldServiceLoopbackTest, ComboCannotLoadWithoutEntityOrWithAServiceOfAnotherKind) {
    auto provider = ZQEntityDataFieldDynamicComboRESTProvider::create(
        nullptr, nullptr, std::nullopt, service("Combo"));
    EXPECT_FALSE(provider->load());

    ZQUtilities::clearRecordedFatalErrors();
    EXPECT_EQ(ZQEntityDataFieldDynamicComboRESTProvider::create(
                  entity({}), nullptr, std::nullopt, std::make_shared<ZQDynamicDataService>("x")),
              nullptr);
    auto reports = ZQUtilities::recordedFatalErrors();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].message,
              "ZQEntityDataFieldDynamicComboRESTProvider must be created with a service of type "
              "ZQRemoteDynamicDataService");
    settle();
    EXPECT_EQ(server_->requestCount(), 0u);
}

TEST_F(FieldServiceLoopbackTest, TypedTextReachesTheServerIntact) {
    server_->route("GET", "/svc/code",
                   LoopbackResponse::json(R"([{"code": 7, "description": "Z"}])"));
    server_->route("GET", "/svc/codesince", LoopbackResponse::json("[]"));
    const std::string typed = "Ann & Bob = #1 Müller ñ";
    auto provider = hideCode("Code", "", "");
    provider->loadHideCodeForText(typed);
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"code 7 (Z)"}));
    auto requests = server_->requestsFor("GET", "/svc/code");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "Text=" + ZQEntityHelper::urlSimpleEscapeString(typed));
    ASSERT_EQ(requests[0].query.rfind("Text=", 0), 0u);
    EXPECT_EQ(platform::percentUnescape(requests[0].query.substr(5)), typed);

    // The other parameters come first, the typed text last; an empty reply knows no code.
    recorder_ = std::make_shared<FieldRecorder>();
    auto withSince = hideCode("CodeSince", "", "", {{"Since", Value(platform::Date(1706659200))}});
    withSince->setDelegate(recorder_);
    withSince->loadHideCodeForText("Acme");
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"code none ()"}));
    EXPECT_EQ(server_->requestsFor("GET", "/svc/codesince").at(0).query,
              "Since=2024-01-31&Name=Acme");
}

TEST_F(FieldServiceLoopbackTest, HideCodeErrorsComeOnTheMainThread) {
    server_->route("GET", "/svc/byid", LoopbackResponse::json("", 404));
    auto provider = hideCode("", "", "ById", {{"CustomerId", Value(9)}});
    provider->loadTextForHideCode();
    auto expected = errorForHTTPURLResponseStatusCode(404);
    EXPECT_EQ(recorder_->waitForReport(),
              (Heard{"error " + expected->domain() + " " + std::to_string(expected->code()) + " " +
                     expected->localizedDescription()}));
    EXPECT_FALSE(recorder_->offMainThread());
    EXPECT_EQ(server_->requestsFor("GET", "/svc/byid").at(0).query, "Id=9");
}

TEST_F(FieldServiceLoopbackTest, LookUpsWithoutAServiceOrParameterSendNothing) {
    auto provider = hideCode("NoParameters", "", "");
    provider->loadTextForHideCode();            // no reverse service
    provider->loadSuggestDelayedWithText("a");  // no suggestion service
    provider->loadHideCodeForText("a");         // a service with no parameter for the text
    settle();
    EXPECT_EQ(server_->requestCount(), 0u);
    EXPECT_TRUE(recorder_->heard().empty());
}

TEST_F(FieldServiceLoopbackTest, QuickTypingSendsOneSuggestionRequestAfterTheLastText) {
    server_->route("GET", "/svc/code", LoopbackResponse::json(R"(["abc", "abcd"])"));
    auto provider = hideCode("", "Code", "");
    for (const char* text : {"a", "ab", "abc"}) {
        provider->loadSuggestWithText(text);
        runMainLoopFor(0.1);
    }
    // Well inside the delay after the last text: nothing yet.
    EXPECT_EQ(server_->requestCount(), 0u);
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"suggestions abc:abc,abcd:abcd"}));
    settle();
    auto requests = server_->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "Text=abc");
}

TEST_F(FieldServiceLoopbackTest, PromptPairsOutputsWithReplyElementsByPosition) {
    server_->route("GET", "/rest/Sales/ComputeTotals",
                   LoopbackResponse::json(R"([7.5, "seven and a half", "ignored"])"));
    auto provider = prompt("Totals", entity({{"Qty", Value(3)}}));
    ASSERT_TRUE(provider->load());
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"values Amount=7.5 Note=seven and a half"}));
    EXPECT_EQ(server_->requestsFor("GET", "/rest/Sales/ComputeTotals").at(0).query, "Qty=3");

    // A shorter reply leaves the later outputs out; a null removes its field.
    recorder_ = std::make_shared<FieldRecorder>();
    server_->route("GET", "/rest/Sales/ComputeTotals", LoopbackResponse::json("[null]"));
    provider->setDelegate(recorder_);
    ASSERT_TRUE(provider->load());
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"values"}));
}

TEST_F(FieldServiceLoopbackTest, PromptFailuresAreReportedOnce) {
    struct Case {
        const char* name;
        const char* rule;
        LoopbackResponse response;
        std::string expected;
    } cases[] = {
        {"an object", "Totals", LoopbackResponse::json(R"({"Amount": 1})"),
         "error ZQErrorDomain 0 "},
        // The error body is JSON too: it must not be parsed and reported a second time.
        {"server error", "Totals", LoopbackResponse::error(500, "3", "no totals today"),
         "error ZQServerErrorDomain 3 no totals today"},
        {"no service", "NoService", LoopbackResponse::json("[1]"), "error ZQErrorDomain"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder_ = std::make_shared<FieldRecorder>();
        server_->route("GET", "/rest/Sales/ComputeTotals", c.response);
        auto provider = prompt(c.rule, entity({{"Qty", Value(3)}}));
        ASSERT_TRUE(provider->load());
        auto heard = recorder_->waitForReport();
        settle();
        ASSERT_EQ(recorder_->heard().size(), 1u);
        EXPECT_EQ(heard[0].rfind(c.expected, 0), 0u) << heard[0];
    }
}

TEST_F(FieldServiceLoopbackTest, PromptInputsNeedAnEntityAndNoInputsMakeNoQuery) {
    EXPECT_FALSE(prompt("Totals", nullptr)->load());

    server_->route("GET", "/rest/Sales/Constants", LoopbackResponse::json("[2]"));
    auto noInputs = prompt("NoInputs", nullptr);
    ASSERT_TRUE(noInputs->load());
    EXPECT_EQ(recorder_->waitForReport(), (Heard{"values Amount=2"}));
    auto requests = server_->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/rest/Sales/Constants");
    EXPECT_EQ(requests[0].query, "");
}

// The sample application's services, answered by the sample server from its customers.
class FieldServiceSampleServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ZQSampleServerOptions options;
        options.keepAliveSeconds = 1;
        auto created = ZQSampleServer::create(std::move(options));
        ASSERT_EQ(created.error, nullptr);
        server_ = std::move(created.server);
        ASSERT_EQ(server_->start(), nullptr);
        auto loaded = ZQApplicationModelLoader::loadFromFile(
            ZQSampleServer::sampleApplicationDirectory() / "model.json");
        ASSERT_EQ(loaded.error, nullptr);
        model_ = loaded.model;
        runModel(model_, server_->baseURL());
    }
    void TearDown() override {
        runMainLoopFor(0.05);
        ZQModel::setCurrentModel(nullptr);
    }

    std::unique_ptr<ZQSampleServer> server_;
    std::shared_ptr<const ZQApplicationModel> model_;
};

TEST_F(FieldServiceSampleServerTest, SampleServicesAnswerFromTheCustomers) {
    const auto* services = model_->fieldServicesFor("Sales.Invoice", "CustomerId");
    ASSERT_NE(services, nullptr);
    auto recorder = std::make_shared<FieldRecorder>();

    auto invoice = entity({{"InvoiceDate", Value(*platform::parseISO8601("2019-01-01T00:00:00Z"))},
                           {"CustomerId", Value(3)}});
    auto combo = ZQEntityDataFieldDynamicComboRESTProvider::create(invoice, nullptr, std::nullopt,
                                                                   services->dynamicCombo);
    combo->setDelegate(recorder);
    ASSERT_TRUE(combo->load());
    EXPECT_EQ(recorder->waitForReport(), (Heard{"choices 3:bluebird Ltd,6:Delta Foods"}));

    auto lookups = ZQEntityDataFieldHideCodeRESTProvider::create(
        invoice, nullptr, services->hideCode, services->suggest, services->hideCodeRev);
    for (auto [start, expected] : std::vector<std::pair<std::function<void()>, std::string>>{
             {[&] { lookups->loadHideCodeForText("ACME corp"); }, "code 1 (Acme Corp)"},
             {[&] { lookups->loadTextForHideCode(); }, "text bluebird Ltd"},
             {[&] { lookups->loadSuggestDelayedWithText("c"); }, "suggestions 4:Cobalt Systems"}}) {
        recorder = std::make_shared<FieldRecorder>();
        lookups->setDelegate(recorder);
        start();
        EXPECT_EQ(recorder->waitForReport(), (Heard{expected}));
    }

    auto rule = ZQEntityRulePromptAfterServiceRESTProvider::create(
        entity({{"LineQuantity", Value(3)}, {"LinePrice", Value(2.5)}}),
        model_->promptRuleNamed("LineAmount"), {});
    recorder = std::make_shared<FieldRecorder>();
    rule->setDelegate(recorder);
    ASSERT_TRUE(rule->load());
    EXPECT_EQ(recorder->waitForReport(), (Heard{"values LineAmount=7.5"}));
}

}  // namespace
}  // namespace zqtest
