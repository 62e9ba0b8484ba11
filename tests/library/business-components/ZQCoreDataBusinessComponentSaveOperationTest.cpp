// The cache write-through of one instance, on both store kinds: found by key and updated in
// place, lines matched, replaced and deleted, untouched levels, and every way the write fails
// without changing the cache.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/library/business-components/BusinessComponentTestSupport.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {
namespace {

using platform::Value;

class SaveDelegate : public ZQCoreDataBusinessComponentSaveOperationDelegate {
  public:
    void businessComponentSaveOperationDidSave(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation) override {
        saved = true;
        id = operation->businessComponentObjectID();
        auto model = ZQModel::currentModel();
        // The merge came first: the main context already knows the object.
        platform::dispatchSyncOnMain([&] {
            auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model);
            auto object = context->objectWithID(id);
            mergedBeforeDelegate = object && !object->valueForKey("zqinvoiceid").isAbsent();
        });
    }
    void businessComponentSaveOperationDidFailWithError(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>&,
        const platform::ErrorPtr& e) override {
        error = e;
    }
    std::atomic<bool> saved{false};
    bool mergedBeforeDelegate = false;
    platform::ManagedObjectIDPtr id;
    platform::ErrorPtr error;
};

class WriteThroughTest : public BusinessComponentTest {
  protected:
    // Writes the reply text as the instance of `component` and waits for the outcome.
    std::shared_ptr<SaveDelegate> write(
        const std::string& reply,
        std::shared_ptr<const ZQBusinessComponentModel> component = nullptr,
        std::shared_ptr<platform::PersistentStoreCoordinator> coordinator = nullptr) {
        auto delegate = std::make_shared<SaveDelegate>();
        auto operation = ZQCoreDataBusinessComponentSaveOperation::create();
        operation->setBusinessComponentModel(component ? component : invoice());
        operation->setPersistentStoreCoordinator(
            coordinator ? coordinator
                        : ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model_));
        operation->setDelegate(delegate);
        EXPECT_TRUE(
            operation->setValueForKey(ZQJSON::parse(reply).value, "parsedBusinessComponentData"));
        auto queue = platform::OperationQueue::create("write-through-tests");
        queue->addOperation(operation);
        EXPECT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); }));
        EXPECT_EQ(operation->valueForKey("businessComponentObjectID").isAbsent(), !delegate->saved);
        return delegate;
    }

    // InvoiceLineId -> ProductName of the cached lines of the invoice, through its relationship.
    std::map<int64_t, std::string> cachedLines(int64_t id) {
        platform::FetchRequest request("sales__invoice");
        request.setPredicate(platform::Predicate::equal("zqinvoiceid", Value(id)));
        auto context = newContext();
        auto objects = context->executeFetchRequest(request).objects();
        std::map<int64_t, std::string> lines;
        if (objects.empty()) return lines;
        auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
            objects.front()->valueForKey("line").object());
        if (!set) return lines;
        for (const auto& line : set->objects())
            lines[line->valueForKey("zqinvoicelineid").integer().value_or(-1)] =
                std::string(line->valueForKey("zqproductname").string().value_or(""));
        return lines;
    }
};

TEST_P(WriteThroughTest, AnInstanceIsCachedTypedAndMergedBeforeTheDelegateHears) {
    auto delegate = write(invoiceJSON(7, "Acme", std::vector<int64_t>{1, 2}));
    ASSERT_TRUE(delegate->saved) << (delegate->error ? delegate->error->description() : "");
    EXPECT_TRUE(delegate->mergedBeforeDelegate);
    EXPECT_EQ(cachedCount("sales__invoice"), 1u);
    EXPECT_EQ(cachedInvoiceValue(7, "zqcustomername"), Value("Acme"));
    EXPECT_EQ(cachedInvoiceValue(7, "zqinvoicepaid"), Value(false));
    EXPECT_EQ(cachedInvoiceValue(7, "zqinvoicedate").kind(), Value::Kind::Date);
    EXPECT_FALSE(cachedInvoiceValue(7, "timeStamp").isAbsent());
    EXPECT_EQ(cachedLines(7), (std::map<int64_t, std::string>{{1, "P1"}, {2, "P2"}}));
}

TEST_P(WriteThroughTest, ASecondReplyUpdatesInPlaceAndReplacesTheLines) {
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::vector<int64_t>{1, 2, 3}))->saved);
    auto first = write(invoiceJSON(8, "Other", std::vector<int64_t>{1}));
    ASSERT_TRUE(first->saved);
    // Two lines where the cache held three: one kept (updated), one new; the third is deleted,
    // not left in the store unreachable.
    std::string reply = R"({"InvoiceId": 7, "CustomerName": "Acme Ltd", "zq_md5_hash": "abc",
        "Line": [{"InvoiceLineId": 2, "ProductName": "changed"},
                 {"InvoiceLineId": 4, "ProductName": "new"}]})";
    auto second = write(reply);
    ASSERT_TRUE(second->saved);
    EXPECT_EQ(cachedCount("sales__invoice"), 2u);
    EXPECT_EQ(cachedInvoiceValue(7, "zqcustomername"), Value("Acme Ltd"));
    EXPECT_EQ(cachedInvoiceValue(7, "zq_md5_hash"), Value("abc"));
    // Attributes the reply leaves out keep their values.
    EXPECT_EQ(cachedInvoiceValue(7, "zqinvoicepaid"), Value(false));
    EXPECT_EQ(cachedLines(7), (std::map<int64_t, std::string>{{2, "changed"}, {4, "new"}}));
    EXPECT_EQ(cachedLines(8), (std::map<int64_t, std::string>{{1, "P1"}}));
    EXPECT_EQ(cachedCount("sales__invoiceline"), 3u);
}

// A screen holding the main context's instance keeps the lines it read: the next write updates
// them in place (the same objects, new values); one that changes the lines reads them again.
TEST_P(WriteThroughTest, TheLinesOfAHeldInstanceAreUpdatedInPlace) {
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::vector<int64_t>{1, 2}))->saved);
    auto mainContext = ZQModel_ZQCoreDataCache::managedObjectContext(model_);
    platform::FetchRequest request("sales__invoice");
    request.setPredicate(platform::Predicate::equal("zqinvoiceid", Value(7)));
    auto invoice = mainContext->executeFetchRequest(request).objects().at(0);
    auto lines = [&] {
        auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
            invoice->valueForKey("line").object());
        std::map<int64_t, std::shared_ptr<platform::ManagedObject>> byKey;
        if (set)
            for (const auto& line : set->objects())
                byKey[line->valueForKey("zqinvoicelineid").integer().value_or(-1)] = line;
        return byKey;
    };
    auto name = [](const auto& line) {
        return std::string(line->valueForKey("zqproductname").string().value_or(""));
    };
    std::weak_ptr<platform::ManagedObject> first = lines().at(1), second = lines().at(2);
    ASSERT_FALSE(first.expired());

    ASSERT_TRUE(write(R"({"InvoiceId": 7, "Line": [{"InvoiceLineId": 1, "ProductName": "new"},
        {"InvoiceLineId": 2, "ProductName": "P2"}]})")
                    ->saved);
    auto read = lines();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read.at(1), first.lock());
    EXPECT_EQ(name(read.at(1)), "new");
    read.clear();

    ASSERT_TRUE(write(R"({"InvoiceId": 7, "Line": [{"InvoiceLineId": 2, "ProductName": "P2"},
        {"InvoiceLineId": 3, "ProductName": "P3"}]})")
                    ->saved);
    read = lines();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(name(read.at(3)), "P3");
    EXPECT_EQ(name(read.at(2)), "P2");
    // The lines read before went with the list they were kept for.
    EXPECT_TRUE(first.expired() && second.expired());
}

TEST_P(WriteThroughTest, AMissingChildMemberLeavesTheLinesAndAnEmptyOneClearsThem) {
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::vector<int64_t>{1, 2}))->saved);
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::nullopt))->saved);
    EXPECT_EQ(cachedLines(7).size(), 2u);
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::vector<int64_t>{}))->saved);
    EXPECT_TRUE(cachedLines(7).empty());
    EXPECT_EQ(cachedCount("sales__invoiceline"), 0u);
}

TEST_P(WriteThroughTest, LinesAreMatchedByTheValueOfTheirKeysWhateverTheNumberForm) {
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::vector<int64_t>{1, 2, 3, 10}))->saved);
    // 2.0, 3e0 and 1e1 name lines 2, 3 and 10: updated in place, not added beside them. A key
    // the reply gives twice names one line, which takes the later values.
    std::string reply = R"({"InvoiceId": 7, "CustomerName": "Acme",
        "Line": [{"InvoiceLineId": 2.0, "ProductName": "two"},
                 {"InvoiceLineId": 3e0, "ProductName": "three"},
                 {"InvoiceLineId": 1e1, "ProductName": "ten"},
                 {"InvoiceLineId": 3, "ProductName": "three again"}]})";
    ASSERT_TRUE(write(reply)->saved);
    EXPECT_EQ(cachedLines(7),
              (std::map<int64_t, std::string>{{2, "two"}, {3, "three again"}, {10, "ten"}}));
    EXPECT_EQ(cachedCount("sales__invoiceline"), 3u);
}

TEST_P(WriteThroughTest, FailuresReportCodeZeroAndChangeNothing) {
    ASSERT_TRUE(write(invoiceJSON(7, "Acme", std::vector<int64_t>{1}))->saved);
    auto ghost = std::make_shared<ZQBusinessComponentModel>("Ghost");
    auto ghostLevel = std::make_shared<ZQBusinessComponentLevel>("Ghost", "Ghost");
    ghostLevel->setBusinessComponent(ghost);
    ghostLevel->addAttribute(std::make_shared<ZQBusinessComponentAttribute>("GhostId", true));
    ghost->addLevel(ghostLevel);
    struct Case {
        const char* what;
        std::string reply;
        std::shared_ptr<const ZQBusinessComponentModel> component;
    };
    const Case cases[] = {
        {"component missing from the cache model", R"({"GhostId": 1})", ghost},
        {"an array reply", "[" + invoiceJSON(7, "Array", std::nullopt) + "]", nullptr},
        // Without its key the reply would update whichever invoice the store returns first.
        {"a root without its key", R"({"CustomerName": "Nobody"})", nullptr},
        {"a root whose key is null", R"({"InvoiceId": null, "CustomerName": "Nobody"})", nullptr},
        {"a line that is not an object", R"({"InvoiceId": 7, "CustomerName": "Bad",
            "Line": [{"InvoiceLineId": 5}, 3]})",
         nullptr},
    };
    for (const auto& c : cases) {
        auto delegate = write(c.reply, c.component);
        EXPECT_FALSE(delegate->saved) << c.what;
        ASSERT_TRUE(delegate->error) << c.what;
        EXPECT_EQ(delegate->error->domain(), "zq") << c.what;
        EXPECT_EQ(delegate->error->code(), 0) << c.what;
    }
    EXPECT_EQ(cachedCount("sales__invoice"), 1u);
    EXPECT_EQ(cachedInvoiceValue(7, "zqcustomername"), Value("Acme"));
    EXPECT_EQ(cachedLines(7).size(), 1u);
}

TEST_P(WriteThroughTest, AFailedSaveIsAFailure) {
    // A coordinator on the schema without stores: the objects are made, the save cannot put them
    // anywhere.
    auto schema = ZQModel_ZQCoreDataCache::managedObjectModel(model_);
    auto delegate = write(invoiceJSON(9, "Nowhere", std::vector<int64_t>{1}), nullptr,
                          platform::PersistentStoreCoordinator::create(schema));
    EXPECT_FALSE(delegate->saved);
    ASSERT_TRUE(delegate->error);
    EXPECT_EQ(delegate->error->domain(), "zq");
    EXPECT_EQ(cachedCount("sales__invoice"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Stores, WriteThroughTest,
                         ::testing::Values(BCStoreKind::SQLite, BCStoreKind::Memory),
                         [](const auto& info) {
                             return info.param == BCStoreKind::SQLite ? "SQLite" : "Memory";
                         });

}  // namespace
}  // namespace zqtest
