// The load, default-load and delete handlers that the registered manager makes, over real HTTP
// on loopback and both store kinds: one report on the main thread for every outcome, the cache
// changed only by a good answer, what is sent (and that nothing is sent without a URL), warnings
// and cancelling.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "tests/library/business-components/BusinessComponentTestSupport.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {
namespace {

using platform::Value;

class HandlersTest : public BusinessComponentTest {
  protected:
    void SetUp() override {
        BusinessComponentTest::SetUp();
        manager_ = ZQBusinessComponentRESTManager::create();
        ZQFoundationServices::alertMessageService()->clearRecordedAlerts();
    }

    std::shared_ptr<HandlerReport> load(int64_t id, double settle = 0.2) {
        return run(manager_->newBusinessComponentLoadHandlerForModel(invoice(), invoiceKey(id)),
                   settle);
    }
    // Caches invoice 7 with the given lines through a load.
    void cacheInvoice7(std::vector<int64_t> lines) {
        server().route("GET", restPath("Sales/Invoice/7"),
                       LoopbackResponse::json(invoiceJSON(7, "Cached", std::move(lines))));
        auto report = load(7, 0);
        ASSERT_FALSE(report->error);
    }
    static Value field(const HandlerReport& report, const std::string& name) {
        return report.entityData ? report.entityData->valueForEntityDataFieldName(name) : Value();
    }
    static std::vector<std::string> alertTexts() {
        std::vector<std::string> texts;
        for (const auto& alert : ZQFoundationServices::alertMessageService()->recordedAlerts())
            texts.push_back(alert.message);
        return texts;
    }

    std::shared_ptr<ZQBusinessComponentRESTManager> manager_;
};

TEST_P(HandlersTest, LoadByKeyCachesTheInstanceAndHandsBackTheMainContextsObject) {
    server().route("GET", restPath("Sales/Invoice/7"),
                   LoopbackResponse::json(invoiceJSON(7, "Acme", std::vector<int64_t>{1, 2, 3})));
    auto report = load(7);
    ASSERT_EQ(report->count, 1);
    EXPECT_TRUE(report->onMainThread);
    ASSERT_FALSE(report->error) << report->error->description();
    EXPECT_EQ(field(*report, "CustomerName"), Value("Acme"));
    auto lines = report->entityData->entityChildLevelEntitiesForLevelName("Line");
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->size(), 3u);
    EXPECT_EQ(cachedCount("sales__invoice"), 1u);
    EXPECT_EQ(cachedCount("sales__invoiceline"), 3u);

    // Loaded again with other values and two lines: the same cached instance, updated in place.
    server().route("GET", restPath("Sales/Invoice/7"),
                   LoopbackResponse::json(invoiceJSON(7, "Acme Two", std::vector<int64_t>{2, 4})));
    auto again = load(7);
    ASSERT_FALSE(again->error);
    EXPECT_EQ(field(*again, "CustomerName"), Value("Acme Two"));
    EXPECT_EQ(cachedCount("sales__invoice"), 1u);
    EXPECT_EQ(cachedCount("sales__invoiceline"), 2u);
    EXPECT_EQ(cachedInvoiceValue(7, "zqcustomername"), Value("Acme Two"));
    EXPECT_EQ(server().requestsFor("GET", restPath("Sales/Invoice/7")).size(), 2u);
}

TEST_P(HandlersTest, EveryFailedLoadReportsOnceAndLeavesTheCachedInstanceAlone) {
    struct Case {
        const char* name;
        LoopbackResponse response;
        std::string domain;  // empty: any
        int64_t code;
    };
    LoopbackResponse cut = LoopbackResponse::json(invoiceJSON(7, "Cut", std::vector<int64_t>{1}));
    cut.closeAfterBytes = 10;
    const std::vector<Case> cases = {
        {"404 with the server's error", LoopbackResponse::error(404, "404", "No such invoice"), "",
         404},
        {"500 without a readable body", LoopbackResponse::json("<html>oops</html>", 500),
         ZQHTTPStatusErrorDomain, 500},
        {"an array instead of an instance",
         LoopbackResponse::json("[" + invoiceJSON(7, "A", {}) + "]"), "zq", 0},
        {"a root without its key", LoopbackResponse::json(R"({"CustomerName": "Keyless"})"), "zq",
         0},
        {"malformed JSON", LoopbackResponse::json(R"({"InvoiceId": 7, )"), "", -1},
        {"a body cut short", cut, "", -1},
    };
    cacheInvoice7({1, 2});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server().route("GET", restPath("Sales/Invoice/7"), c.response);
        auto report = load(7);
        EXPECT_EQ(report->count, 1);
        EXPECT_TRUE(report->onMainThread);
        ASSERT_TRUE(report->error);
        if (!c.domain.empty()) {
            EXPECT_EQ(report->error->domain(), c.domain);
        }
        if (c.code >= 0) {
            EXPECT_EQ(report->error->code(), c.code);
        }
        EXPECT_EQ(cachedCount("sales__invoice"), 1u);
        EXPECT_EQ(cachedCount("sales__invoiceline"), 2u);
        EXPECT_EQ(cachedInvoiceValue(7, "zqcustomername"), Value("Cached"));
    }
    // The server's own message reaches the caller.
    server().route("GET", restPath("Sales/Invoice/7"), cases[0].response);
    EXPECT_NE(load(7)->error->localizedDescription().find("No such invoice"), std::string::npos);
}

TEST_P(HandlersTest, AnyStatusOf2xxIsAnInstance) {
    server().route("GET", restPath("Sales/Invoice/8"),
                   LoopbackResponse::json(invoiceJSON(8, "Created", std::vector<int64_t>{}), 201));
    auto report = load(8);
    ASSERT_FALSE(report->error);
    EXPECT_EQ(field(*report, "CustomerName"), Value("Created"));
}

TEST_P(HandlersTest, HandlersWithoutAURLReportTheGenericErrorAndSendNothing) {
    auto line = invoice()->levelWithName("Line");
    // A line key without its invoice's key: the key chain is shorter than the level chain.
    auto orphan = std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*line),
        platform::Dictionary{{"InvoiceLineId", 3}});
    std::vector<std::pair<const char*, std::shared_ptr<ZQBusinessComponentHandler>>> handlers = {
        // An invoice's handler given a line's key: the key chain is longer than the level chain.
        {"load",
         manager_->newBusinessComponentLoadHandlerForModel(invoice(), lineKey(invoiceKey(7), 3))},
        {"delete", manager_->newBusinessComponentDeleteHandlerForLevel(line, orphan)},
        {"load without key", manager_->newBusinessComponentLoadHandlerForModel(invoice(), nullptr)},
    };
    for (const auto& [name, handler] : handlers) {
        SCOPED_TRACE(name);
        auto report = run(handler, 0.1);
        EXPECT_EQ(report->count, 1);
        ASSERT_TRUE(report->error);
        EXPECT_EQ(report->error->domain(), ZQErrorDomain);
        EXPECT_EQ(report->error->code(), ZQErrorCodeUnknown);
    }
    EXPECT_EQ(server().requestCount(), 0u);
}

TEST_P(HandlersTest, ACancelledHandlerReportsNothingAndChangesNothing) {
    LoopbackResponse slow = LoopbackResponse::json(invoiceJSON(7, "Late", std::vector<int64_t>{1}));
    slow.stallSeconds = 5;
    server().route("GET", restPath("Sales/Invoice/7"), slow);
    server().route("GET", restPath("Sales/Invoice/_default"), slow);
    std::vector<std::shared_ptr<ZQBusinessComponentHandler>> handlers = {
        manager_->newBusinessComponentLoadHandlerForModel(invoice(), invoiceKey(7)),
        manager_->newBusinessComponentDefaultLoadHandlerForModel(invoice(), std::nullopt),
    };
    for (const auto& handler : handlers) {
        auto report = observe(handler);
        const size_t before = server().requestCount();
        handler->start();
        ASSERT_TRUE(server().waitForRequestCount(before + 1));
        handler->cancel();
        server().releaseStalls();
        runMainLoopFor(0.3);
        EXPECT_EQ(report->count, 0);
        EXPECT_TRUE(handler->isEnded());
    }
    EXPECT_EQ(cachedCount("sales__invoice"), 0u);
}

TEST_P(HandlersTest, DefaultsTakeInferredValuesOverTheServersAndStoreCodeFieldsAsZqcode) {
    server().route("GET", restPath("Sales/Invoice/_default"),
                   LoopbackResponse::json(R"({"CustomerName": "From server", "InvoiceTotal": 3,
                                              "InvoicePaid": true, "Unknown": 1})"));
    auto report = run(manager_->newBusinessComponentDefaultLoadHandlerForModel(
        invoice(), platform::Dictionary{{"CustomerName", "Inferred"}}));
    ASSERT_EQ(report->count, 1);
    ASSERT_FALSE(report->error) << report->error->description();
    EXPECT_EQ(field(*report, "CustomerName"), Value("Inferred"));
    EXPECT_EQ(field(*report, "InvoicePaid"), Value(true));
    // A new instance only: nothing reached the cache.
    EXPECT_EQ(cachedCount("sales__invoice"), 0u);
    manager_->releaseBusinessComponentEntityDataWithDefaults(report->entityData, invoice());

    server().route("GET", restPath("Coded/_default"),
                   LoopbackResponse::json(R"({"&Code": "A-1", "CodedTitle": "T"})"));
    auto codedReport = run(manager_->newBusinessComponentDefaultLoadHandlerForModel(coded(), {}));
    ASSERT_FALSE(codedReport->error);
    auto object = std::dynamic_pointer_cast<platform::ManagedObject>(codedReport->entityData);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->valueForKey("zqcode"), Value("A-1"));

    server().route("GET", restPath("Coded/_default"), LoopbackResponse::json(R"([{"&Code": 1}])"));
    auto array = run(manager_->newBusinessComponentDefaultLoadHandlerForModel(coded(), {}));
    ASSERT_TRUE(array->error);
    EXPECT_EQ(array->error->code(), ZQErrorCodeUnknown);
}

TEST_P(HandlersTest, DeleteShowsOnlyUserWarningsAndRemovesTheCachedCopyWhateverTheServerSays) {
    cacheInvoice7({1, 2});
    LoopbackResponse ok = LoopbackResponse::json("{}");
    ok.headers = {{"Warning", R"(299 - "Invoice 7 was archived", 110 - "Response is stale")"}};
    server().route("DELETE", restPath("Sales/Invoice/7"), ok);
    auto report = run(
        manager_->newBusinessComponentDeleteHandlerForLevel(invoice()->rootLevel(), invoiceKey(7)));
    ASSERT_EQ(report->count, 1);
    EXPECT_FALSE(report->error);
    EXPECT_EQ(alertTexts(), std::vector<std::string>{"Invoice 7 was archived"});
    EXPECT_EQ(cachedCount("sales__invoice"), 0u);
    EXPECT_EQ(cachedCount("sales__invoiceline"), 0u);

    cacheInvoice7({1});
    server().route("DELETE", restPath("Sales/Invoice/7"),
                   LoopbackResponse::error(404, "404", "Gone already"));
    auto missing = run(
        manager_->newBusinessComponentDeleteHandlerForLevel(invoice()->rootLevel(), invoiceKey(7)));
    EXPECT_EQ(missing->count, 1);
    ASSERT_TRUE(missing->error);
    EXPECT_EQ(missing->error->code(), 404);
    EXPECT_EQ(cachedCount("sales__invoice"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Stores, HandlersTest,
                         ::testing::Values(BCStoreKind::SQLite, BCStoreKind::Memory),
                         [](const auto& info) {
                             return info.param == BCStoreKind::SQLite ? "SQLite" : "Memory";
                         });

}  // namespace
}  // namespace zqtest
