// The insert, update and insert-or-update handlers over loopback, on both store kinds: the method,
// URL and JSON body sent, the reply cached and handed back, the delegates told once, server errors
// leaving the cache alone, and user warnings shown.
#include <gtest/gtest.h>

#include <fstream>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTInsertOrUpdateHandler.hpp"
#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"
#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTUpdateHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompositeBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDataLayerServices.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQImageUploadHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderService.hpp"
#include "platform/objectstore/ManagedObject.hpp"
#include "tests/library/business-components/BusinessComponentTestSupport.hpp"
#include "tests/support/MainLoopHelpers.hpp"
#include "tests/support/TestImages.hpp"

namespace zqtest {
namespace {

using platform::Value;

struct DelegateCalls : ZQBusinessComponentInsertHandlerDelegate,
                       ZQBusinessComponentUpdateHandlerDelegate {
    void businessComponentInsertHandlerDidInsert(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>&,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>&) override {
        calls.push_back("inserted");
    }
    void businessComponentInsertHandlerDidFailInsertingWithError(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>&,
        const platform::ErrorPtr& error) override {
        calls.push_back("insert failed: " + error->localizedDescription());
    }
    void businessComponentUpdateHandlerDidUpdate(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>&,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>&) override {
        calls.push_back("updated");
    }
    void businessComponentUpdateHandlerDidFailUpdatingWithError(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>&,
        const platform::ErrorPtr& error) override {
        calls.push_back("update failed: " + error->localizedDescription());
    }
    std::vector<std::string> calls;
};

class SaveHandlersTest : public BusinessComponentTest {
  protected:
    void SetUp() override {
        BusinessComponentTest::SetUp();
        manager_ = ZQBusinessComponentRESTManager::create();
        ZQFoundationServices::alertMessageService()->clearRecordedAlerts();
    }

    // A new invoice 7 made by the default load, with the customer given.
    std::shared_ptr<ZQBusinessComponentLevelEntityData> newInvoice(const std::string& customer) {
        server().route("GET", restPath("Sales/Invoice/_default"),
                       LoopbackResponse::json(R"({"InvoiceDate": "2024-03-05"})"));
        auto report =
            run(manager_->newBusinessComponentDefaultLoadHandlerForModel(
                    invoice(), platform::Dictionary{{"InvoiceId", 7}, {"CustomerName", customer}}),
                0);
        EXPECT_FALSE(report->error);
        return report->entityData;
    }

    std::shared_ptr<ZQBusinessComponentRESTManager> manager_;
};

TEST_P(SaveHandlersTest, EachSaveSendsItsMethodAndURLWithTheInstanceAndCachesTheReply) {
    struct Case {
        const char* name;
        std::string method;
        std::string query;
        std::string delegateCall;
    };
    const std::vector<Case> cases = {
        {"insert", "POST", "", "inserted"},
        {"update", "PUT", "", "updated"},
        {"insert or update", "POST", "insertorupdate=true", "inserted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server().clearLog();
        server().route(c.method, restPath("Sales/Invoice/7"),
                       LoopbackResponse::json(invoiceJSON(7, std::string("Saved by ") + c.name,
                                                          std::vector<int64_t>{1, 2})));
        auto entityData = newInvoice("Acme");
        ASSERT_TRUE(entityData);
        auto delegate = std::make_shared<DelegateCalls>();
        std::shared_ptr<ZQBusinessComponentHandler> handler;
        if (c.name == std::string("update")) {
            auto update = std::static_pointer_cast<ZQBusinessComponentRESTUpdateHandler>(
                manager_->newBusinessComponentUpdateHandlerForLevel(invoice()->rootLevel(),
                                                                    entityData));
            update->setUpdateDelegate(delegate);
            handler = update;
        } else {
            auto insert = std::static_pointer_cast<ZQBusinessComponentRESTInsertHandler>(
                c.query.empty()
                    ? manager_->newBusinessComponentInsertHandlerForModel(invoice(), entityData)
                    : manager_->newBusinessComponentInsertOrUpdateHandlerForModel(invoice(),
                                                                                  entityData));
            insert->setInsertDelegate(delegate);
            handler = insert;
        }
        auto report = run(handler);
        ASSERT_EQ(report->count, 1);
        ASSERT_FALSE(report->error) << report->error->description();
        EXPECT_EQ(report->entityData->valueForEntityDataFieldName("CustomerName"),
                  Value(std::string("Saved by ") + c.name));
        EXPECT_EQ(delegate->calls, std::vector<std::string>{c.delegateCall});
        EXPECT_EQ(cachedCount("sales__invoice"), 1u);
        EXPECT_EQ(cachedCount("sales__invoiceline"), 2u);

        auto sent = server().requestsFor(c.method, restPath("Sales/Invoice/7"));
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].query, c.query);
        auto body = ZQJSON::parse(sent[0].body).value;
        ASSERT_TRUE(body.isDictionary()) << sent[0].body;
        EXPECT_EQ(body.dictionary()->get("InvoiceId"), Value(7));
        EXPECT_EQ(body.dictionary()->get("CustomerName"), Value("Acme"));
        EXPECT_EQ(body.dictionary()->get("InvoiceDate"), Value("2024-03-05"));
        EXPECT_TRUE(body.dictionary()->get("Line").isArray());
        // Nothing to upload: no upload request.
        EXPECT_TRUE(server().requestsFor("POST", restPath("Sales/Invoice/zqobject")).empty());
        manager_->releaseBusinessComponentEntityDataWithDefaults(entityData, invoice());
    }
}

TEST_P(SaveHandlersTest, AServerErrorReachesTheDelegateAndCachesNothing) {
    server().route("POST", restPath("Sales/Invoice/7"),
                   LoopbackResponse::error(409, "409", "Invoice 7 exists already"));
    auto delegate = std::make_shared<DelegateCalls>();
    auto insert = std::static_pointer_cast<ZQBusinessComponentRESTInsertHandler>(
        manager_->newBusinessComponentInsertHandlerForModel(invoice(), newInvoice("Acme")));
    insert->setInsertDelegate(delegate);
    auto report = run(insert);
    EXPECT_EQ(report->count, 1);
    ASSERT_TRUE(report->error);
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"insert failed: Invoice 7 exists already"});
    EXPECT_EQ(cachedCount("sales__invoice"), 0u);
}

TEST_P(SaveHandlersTest, AUserWarningOfASuccessfulSaveIsShown) {
    LoopbackResponse ok = LoopbackResponse::json(invoiceJSON(7, "Warned", std::vector<int64_t>{}));
    ok.headers = {{"Warning", R"(199 - "Credit limit nearly reached")"}};
    server().route("PUT", restPath("Sales/Invoice/7"), ok);
    auto report = run(manager_->newBusinessComponentUpdateHandlerForLevel(invoice()->rootLevel(),
                                                                          newInvoice("A")));
    ASSERT_FALSE(report->error);
    auto alerts = ZQFoundationServices::alertMessageService()->recordedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].message, "Credit limit nearly reached");
}

TEST_P(SaveHandlersTest, BinaryValuesAreUploadedFirstAndTheirIdentifiersSent) {
    // The service the library registers at start-up.
    ZQDataLayerServices::registerObjectUploaderService(
        std::make_shared<ZQObjectRESTUploaderService>());
    server().route("POST", restPath("Sales/Invoice/zqobject"),
                   LoopbackResponse::json(R"({"object_id": "K-1"})"));
    server().route("POST", restPath("Sales/Invoice/7"),
                   LoopbackResponse::json(invoiceJSON(7, "Saved", std::vector<int64_t>{})));
    auto entityData = newInvoice("Acme");
    auto object = std::dynamic_pointer_cast<platform::ManagedObject>(entityData);
    ASSERT_TRUE(object);
    // A new image is a file the screen picked; the cache keeps image fields as text.
    const auto scan = root_->path() / "scan one.png";
    std::ofstream(scan, std::ios::binary) << zqtest::imageText(zqtest::kPNG);
    ASSERT_FALSE(object->setValueForKey(Value("file://" + scan.string()), "zqinvoicescan"));
    auto report =
        run(manager_->newBusinessComponentInsertHandlerForModel(invoice(), entityData), 0.1);
    ASSERT_FALSE(report->error) << report->error->description();
    auto uploads = server().requestsFor("POST", restPath("Sales/Invoice/zqobject"));
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].body, zqtest::imageText(zqtest::kPNG));
    auto sent = server().requestsFor("POST", restPath("Sales/Invoice/7"));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(ZQJSON::parse(sent[0].body).value["InvoiceScan"], Value("K-1"));
    manager_->releaseBusinessComponentEntityDataWithDefaults(entityData, invoice());
}

// A file that is no image, picked for an image field: the save fails with the upload's error and
// neither the file nor the instance reaches the server.
TEST_P(SaveHandlersTest, ATextFileForAnImageFieldFailsTheSaveBeforeAnythingIsSent) {
    ZQDataLayerServices::registerObjectUploaderService(
        std::make_shared<ZQObjectRESTUploaderService>());
    server().route("POST", restPath("Sales/Invoice/zqobject"),
                   LoopbackResponse::json(R"({"object_id": "K-1"})"));
    server().route("POST", restPath("Sales/Invoice/7"),
                   LoopbackResponse::json(invoiceJSON(7, "Saved", std::vector<int64_t>{})));
    auto entityData = newInvoice("Acme");
    auto object = std::dynamic_pointer_cast<platform::ManagedObject>(entityData);
    ASSERT_TRUE(object);
    const auto scan = root_->path() / "scan.png";
    std::ofstream(scan, std::ios::binary) << "Scanned on Monday";
    ASSERT_FALSE(object->setValueForKey(Value("file://" + scan.string()), "zqinvoicescan"));
    auto report =
        run(manager_->newBusinessComponentInsertHandlerForModel(invoice(), entityData), 0.1);
    ASSERT_TRUE(report->error);
    EXPECT_EQ(report->error->domain(), ZQImageUploadErrorDomain);
    EXPECT_NE(report->error->localizedDescription().find("scan.png is not an image"),
              std::string::npos)
        << report->error->localizedDescription();
    EXPECT_TRUE(server().requestsFor("POST", restPath("Sales/Invoice/zqobject")).empty());
    EXPECT_TRUE(server().requestsFor("POST", restPath("Sales/Invoice/7")).empty());
    manager_->releaseBusinessComponentEntityDataWithDefaults(entityData, invoice());
}

TEST_P(SaveHandlersTest, UploadedIdentifiersArePatchedIntoFieldsAndLinesOrFailClearly) {
    auto uploaded = [](const char* id) {
        auto reference = ZQSingleBinaryDataFieldReference::createWithData(Value::bytes({'x'}));
        if (id) reference->setUploadedObjectId(std::string(id));
        return reference;
    };
    auto lines = [&](std::vector<ZQBinaryDataFieldReferenceMember> members) {
        return ZQBinaryDataFieldReferenceMember{
            "Line", std::nullopt, ZQCompositeBinaryDataFieldReference::create("Line", members)};
    };
    using Error = ZQBusinessComponentRESTSaveHandler::JsonLevelUpdateError;
    struct Case {
        const char* name;
        std::vector<ZQBinaryDataFieldReferenceMember> members;
        int64_t code;  // 0: patched
    };
    const std::vector<Case> cases = {
        {"root field and a line's field",
         {{"InvoiceScan", std::nullopt, uploaded("K-1")},
          lines({{"LinePhoto", 1, uploaded("K-2")}, {"LinePhoto", 0, uploaded(nullptr)}})},
         0},
        {"no such field",
         {{"Nope", std::nullopt, uploaded("K")}},
         static_cast<int64_t>(Error::wrongAttributeName)},
        {"no such line",
         {lines({{"LinePhoto", 5, uploaded("K")}})},
         static_cast<int64_t>(Error::bcLevelNotFound)},
        {"no such level",
         {{"Nope", std::nullopt, ZQCompositeBinaryDataFieldReference::create("Nope", {})}},
         static_cast<int64_t>(Error::bcLevelNotFound)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto json = ZQJSON::parse(invoiceJSON(7, "A", std::vector<int64_t>{1, 2})).value;
        platform::Dictionary patched = *json.dictionary();
        patched.set("InvoiceScan", Value::null());
        auto error = ZQBusinessComponentRESTSaveHandler::applyReferences(
            *ZQCompositeBinaryDataFieldReference::create({}, c.members), *invoice()->rootLevel(),
            patched);
        if (c.code == 0) {
            ASSERT_FALSE(error) << error->description();
            EXPECT_EQ(patched.get("InvoiceScan"), Value("K-1"));
            Value patchedLines = patched.get("Line");
            EXPECT_EQ(patchedLines.at(1)["LinePhoto"], Value("K-2"));
            // A reference that was not uploaded takes its field out of the line.
            EXPECT_FALSE(patchedLines.at(0).dictionary()->contains("LinePhoto"));
        } else {
            ASSERT_TRUE(error);
            EXPECT_EQ(error->code(), c.code);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, SaveHandlersTest,
                         ::testing::Values(BCStoreKind::SQLite, BCStoreKind::Memory),
                         [](const auto& info) {
                             return info.param == BCStoreKind::SQLite ? "SQLite" : "Memory";
                         });

}  // namespace
}  // namespace zqtest
