// The sample server's business components: loaded, defaulted and deleted through the library's
// REST handlers (the cache in a temporary root), written over plain HTTP, and seen by the lists
// that show them. The model is the sample application's with one more component, keyed by text,
// so that keys holding "/", "," and non-ASCII letters travel through the URL.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSimpleKey.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "tests/library/sample-server/SampleServerTestSupport.hpp"
#include "tests/support/MainLoopHelpers.hpp"
#include "tests/support/TempDir.hpp"

namespace {

using platform::Value;

// The sample model with a product catalogue keyed by a text code and listed by one provider.
std::string modelJSON(const std::string& serverBaseURL) {
    std::ifstream in(ZQSampleServer::sampleApplicationDirectory() / "model.json");
    std::stringstream text;
    text << in.rdbuf();
    platform::Dictionary model = *ZQJSON::parse(text.str()).value.dictionary();
    model.set("appServerBaseUrl", Value(serverBaseURL));
    platform::Array components = *model.get("businessComponents").array();
    components.push_back(ZQJSON::parse(R"({"name": "Catalog.Product", "levels": [
        {"name": "Product", "attributes": [
          {"name": "ProductCode", "type": "varchar", "length": 40, "key": true},
          {"name": "ProductTitle", "type": "varchar", "length": 60},
          {"name": "ProductPrice", "type": "numeric", "length": 8, "decimals": 2}]}]})")
                             .value);
    model.set("businessComponents", Value(std::move(components)));
    platform::Array workWiths = *model.get("workWiths").array();
    workWiths.push_back(ZQJSON::parse(R"({"name": "WorkWithProduct",
        "businessComponent": "Catalog.Product", "levels": [{"name": "Product", "list": {"data": [
          {"dataProvider": "WorkWithProduct.Product.List", "collection": true,
           "elements": [{"name": "ProductCode"}, {"name": "ProductTitle"}],
           "key": ["ProductCode"]}]}}]})")
                            .value);
    model.set("workWiths", Value(std::move(workWiths)));
    return ZQJSON::write(Value(std::move(model))).text;
}

struct Report {
    int count = 0;
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData;
    platform::ErrorPtr error;
};

class SampleServerBusinessComponents : public zqtest::SampleServerTest {
  protected:
    void SetUp() override {
        auto forServer =
            ZQApplicationModelLoader::loadFromString(modelJSON("http://x/sample/"), "s");
        ASSERT_EQ(forServer.error, nullptr);
        ZQSampleServerOptions options;
        options.model = forServer.model;
        startServer(options);

        auto storage = ZQApplicationStorageService::sharedInstance();
        previousRoot_ = storage->applicationRoot();
        storage->setApplicationRoot(root_.path());
        previousModel_ = ZQModel::currentModel();
        ZQCoreDataCacheClasses::registerClasses();
        auto loaded = ZQApplicationModelLoader::loadFromString(modelJSON(server->baseURL()), "c");
        ASSERT_EQ(loaded.error, nullptr);
        appModel_ = loaded.model;
        platform::ErrorPtr error;
        auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel_, &error);
        ASSERT_TRUE(schema);
        platform::Dictionary objects{
            {ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, Value::object(schema)}};
        model_ = ZQModel::create(appModel_, objects);
        ASSERT_TRUE(
            ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model_, objects));
        ZQModel::setCurrentModel(model_);
        manager_ = ZQBusinessComponentRESTManager::create();
        ZQFoundationServices::alertMessageService()->clearRecordedAlerts();
    }
    void TearDown() override {
        zqtest::runMainLoopFor(0.05);
        ZQModel::setCurrentModel(previousModel_);
        ZQApplicationStorageService::sharedInstance()->setApplicationRoot(previousRoot_);
    }

    std::shared_ptr<const ZQBusinessComponentModel> component(const std::string& name) const {
        return appModel_->businessComponentNamed(name);
    }
    std::shared_ptr<const ZQEntityDataKey> key(const std::string& name, Value value) const {
        auto root = component(name)->rootLevel();
        return std::make_shared<ZQEntityDataSimpleKey>(
            std::make_shared<ZQBusinessComponentKeyDescriptor>(*root),
            platform::Dictionary{{root->keyAttributes().at(0)->name(), std::move(value)}});
    }
    Report run(const std::shared_ptr<ZQBusinessComponentHandler>& handler) {
        auto report = std::make_shared<Report>();
        handler->setCompletion([report](const auto& entityData, const auto& error) {
            ++report->count;
            report->entityData = entityData;
            report->error = error;
        });
        handler->start();
        EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return report->count > 0; }));
        return *report;
    }
    Report load(const std::string& name, Value keyValue) {
        return run(manager_->newBusinessComponentLoadHandlerForModel(component(name),
                                                                     key(name, keyValue)));
    }
    Report remove(const std::string& name, Value keyValue) {
        return run(manager_->newBusinessComponentDeleteHandlerForLevel(component(name)->rootLevel(),
                                                                       key(name, keyValue)));
    }

    zqtest::TempDir root_;
    std::shared_ptr<const ZQApplicationModel> appModel_;
    std::shared_ptr<ZQModel> model_;
    std::shared_ptr<ZQBusinessComponentRESTManager> manager_;

  private:
    std::shared_ptr<ZQModel> previousModel_;
    std::filesystem::path previousRoot_;
};

TEST_F(SampleServerBusinessComponents, LoadsByKeyThroughTheLibrary) {
    struct Case {
        const char* component;
        Value key;
        const char* field;
        Value expected;  // absent: the load fails with the server's 404
        size_t lines;
    };
    const Case cases[] = {
        {"Sales.Invoice", Value(1), "CustomerName", Value("Acme Corp"), 2},
        {"Sales.Invoice", Value(3), "InvoiceDueDateTime", Value(), 3},
        {"Customer", Value(2), "CustomerName", Value("\xc3\x81lvarez Hnos."), 0},
        {"Sales.Invoice", Value(99), "CustomerName", Value(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.component) + " " + c.key.description());
        Report report = load(c.component, c.key);
        if (c.key == Value(99)) {
            ASSERT_TRUE(report.error);
            EXPECT_EQ(report.error->code(), 404);
            continue;
        }
        ASSERT_EQ(report.error, nullptr) << report.error->description();
        ASSERT_TRUE(report.entityData);
        Value value = report.entityData->valueForEntityDataFieldName(c.field);
        if (c.expected.isAbsent()) {
            EXPECT_TRUE(value.date()) << value.description();  // the detail's date-time
        } else {
            EXPECT_EQ(value, c.expected);
        }
        auto lines = report.entityData->entityChildLevelEntitiesForLevelName("Line");
        EXPECT_EQ(lines ? lines->size() : 0u, c.lines);
    }
}

TEST_F(SampleServerBusinessComponents, DefaultValuesTakeTheInferredValueAndTheNextFreeKey) {
    Report report = run(manager_->newBusinessComponentDefaultLoadHandlerForModel(
        component("Sales.Invoice"), platform::Dictionary{{"CustomerName", Value("Inferred")}}));
    ASSERT_EQ(report.error, nullptr) << report.error->description();
    EXPECT_EQ(report.entityData->valueForEntityDataFieldName("CustomerName"), Value("Inferred"));
    EXPECT_EQ(report.entityData->valueForEntityDataFieldName("InvoiceId"), Value(9));
    EXPECT_EQ(report.entityData->valueForEntityDataFieldName("InvoicePaid"), Value(false));
    manager_->releaseBusinessComponentEntityDataWithDefaults(report.entityData,
                                                             component("Sales.Invoice"));

    struct Case {
        const char* query;
        long status;
        const char* member;
        Value expected;
    };
    const Case cases[] = {
        {"?CustomerId=3&InvoicePaid=true", 200, "CustomerId", Value(3)},
        {"?CustomerId=3&InvoicePaid=true", 200, "InvoicePaid", Value(true)},
        {"?CustomerName=A%2FB", 200, "CustomerName", Value("A/B")},
        {"?CustomerId=three", 400, nullptr, Value()},
        {"?NoSuchField=1", 400, nullptr, Value()},
    };
    for (const Case& c : cases) {
        zqtest::HTTPReply reply = get(std::string("rest/Sales/Invoice/_default") + c.query);
        EXPECT_EQ(reply.status, c.status) << c.query << ": " << reply.body;
        if (c.member) {
            EXPECT_EQ(reply.json()[c.member], c.expected) << c.query;
        }
    }
    EXPECT_EQ(send("POST", "rest/Sales/Invoice/_default", "{}").status, 405);
}

TEST_F(SampleServerBusinessComponents, DeleteThroughTheLibraryRemovesTheInstanceFromEveryView) {
    Report removed = remove("Sales.Invoice", Value(2));
    EXPECT_EQ(removed.error, nullptr);
    EXPECT_EQ(get("rest/Sales/Invoice/2").status, 404);
    EXPECT_EQ(column(get("rest/Sales/WorkWithInvoice/Invoice/List").json()),
              (std::vector<int64_t>{1, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(get("rest/Sales/WorkWithInvoice/Invoice/Detail?InvoiceId=2").status, 404);
    EXPECT_EQ(get("rest/Sales/WorkWithInvoice/Invoice/Lines?InvoiceId=2").body, "[]");

    Report again = remove("Sales.Invoice", Value(2));
    ASSERT_TRUE(again.error);
    EXPECT_EQ(again.error->code(), 404);
}

TEST_F(SampleServerBusinessComponents, WritesOverHTTPAnswerTheStoredInstance) {
    struct Step {
        const char* method;
        const char* path;
        const char* body;
        long status;
        const char* member;  // checked in the answer
        Value expected;
    };
    const Step steps[] = {
        {"POST", "rest/Sales/Invoice/20",
         R"({"CustomerName": "New", "Line": [{"InvoiceLineId": 1, "LineAmount": 5}]})", 201,
         "CustomerName", Value("New")},
        {"GET", "rest/Sales/Invoice/20", "", 200, "InvoicePaid", Value(false)},  // a default
        {"POST", "rest/Sales/Invoice/20", R"({"CustomerName": "Again"})", 409, nullptr, Value()},
        {"POST", "rest/Sales/Invoice/20?insertorupdate=true", R"({"CustomerName": "Again"})", 200,
         "CustomerName", Value("Again")},
        {"POST", "rest/Sales/Invoice/21?insertorupdate=true", R"({"CustomerName": "Fresh"})", 201,
         "InvoiceId", Value(21)},
        {"POST", "rest/Sales/Invoice", R"({"InvoiceId": 22, "InvoiceTotal": 1.5})", 201,
         "InvoiceTotal", Value(1.5)},
        {"PUT", "rest/Sales/Invoice/1", R"({"InvoicePaid": false})", 200, "CustomerName",
         Value("Acme Corp")},
        {"PUT", "rest/Sales/Invoice/77", R"({"InvoicePaid": false})", 404, nullptr, Value()},
        {"PUT", "rest/Sales/Invoice/1", R"({"InvoiceId": 2})", 400, nullptr, Value()},
        {"PUT", "rest/Sales/Invoice/1", R"({"InvoiceTotal": "many"})", 400, nullptr, Value()},
        {"PUT", "rest/Sales/Invoice/1", R"({"Line": [{"ProductName": "no key"}]})", 400, nullptr,
         Value()},
        {"PUT", "rest/Sales/Invoice/1", "[1, 2]", 400, nullptr, Value()},
        {"PUT", "rest/Sales/Invoice/1", "{oops", 400, nullptr, Value()},
        {"POST", "rest/Sales/Invoice", R"({"CustomerName": "no key"})", 400, nullptr, Value()},
        {"POST", "rest/Sales/Invoice/23?insertorupdate=yes", "{}", 400, nullptr, Value()},
        {"GET", "rest/Sales/Invoice/1,2", "", 400, nullptr, Value()},
        {"GET", "rest/Sales/Invoice/1/Line/1", "", 404, nullptr, Value()},
        {"PATCH", "rest/Sales/Invoice/1", "{}", 405, nullptr, Value()},
        {"DELETE", "rest/Sales/Invoice/20", "", 200, "CustomerName", Value("Again")},
        {"DELETE", "rest/Sales/Invoice/20", "", 404, nullptr, Value()},
    };
    for (const Step& step : steps) {
        zqtest::HTTPReply reply = send(step.method, step.path, step.body);
        std::string what = std::string(step.method) + " " + step.path + " " + step.body;
        EXPECT_EQ(reply.status, step.status) << what << ": " << reply.body;
        if (step.member) {
            EXPECT_EQ(reply.json()[step.member], step.expected) << what << ": " << reply.body;
        } else {
            EXPECT_TRUE(reply.json()["error"]["message"].isString()) << what << ": " << reply.body;
        }
    }
}

TEST_F(SampleServerBusinessComponents, AChangeGivesTheListsThatShowItANewLastModified) {
    const std::string list = "rest/Sales/WorkWithInvoice/Invoice/List";
    const std::string lines = "rest/Sales/WorkWithInvoice/Invoice/Lines?InvoiceId=3";
    const std::string customers = "rest/WorkWithCustomer/Customer/List";
    zqtest::HTTPReply before = get(list), beforeLines = get(lines), otherBefore = get(customers);
    const std::string since = "If-Modified-Since: " + before.header("last-modified");
    const std::string linesSince = "If-Modified-Since: " + beforeLines.header("last-modified");
    ASSERT_EQ(get(list, {since}).status, 304);

    zqtest::HTTPReply put = send("PUT", "rest/Sales/Invoice/3",
                                 R"({"CustomerName": "Renamed", "Line": [{"InvoiceLineId": 2}]})");
    ASSERT_EQ(put.status, 200) << put.body;

    zqtest::HTTPReply after = get(list, {since});
    EXPECT_EQ(after.status, 200);
    EXPECT_NE(after.header("last-modified"), before.header("last-modified"));
    EXPECT_EQ(after.json().at(2)["CustomerName"], Value("Renamed"));
    zqtest::HTTPReply afterLines = get(lines, {linesSince});
    EXPECT_EQ(afterLines.status, 200);
    ASSERT_EQ(afterLines.json().count(), 1u);
    // The line kept its other values: only the key was given.
    EXPECT_EQ(afterLines.json().at(0)["ProductName"], Value("Descaler 1 l"));
    // Providers of another component are not touched.
    EXPECT_EQ(get(customers).header("last-modified"), otherBefore.header("last-modified"));
}

TEST_F(SampleServerBusinessComponents, TextKeysWithSeparatorsAndNonASCIILettersResolve) {
    const std::string tricky = "a/b,\xc3\xa7 1";  // "a/b,ç 1"
    for (const std::string& code : {std::string("a"), std::string("b"), tricky}) {
        std::string body = ZQJSON::write(Value::dictionary({{"ProductCode", Value(code)},
                                                            {"ProductTitle", Value("T " + code)}}))
                               .text;
        ASSERT_EQ(send("POST", "rest/Catalog/Product", body).status, 201) << code;
    }
    Report loaded = load("Catalog.Product", Value(tricky));
    ASSERT_EQ(loaded.error, nullptr) << loaded.error->description();
    EXPECT_EQ(loaded.entityData->valueForEntityDataFieldName("ProductTitle"), Value("T " + tricky));

    server->setBusinessComponentWarning(std::string("Removed from the \"catalog\""));
    Report removed = remove("Catalog.Product", Value(tricky));
    EXPECT_EQ(removed.error, nullptr);
    auto alerts = ZQFoundationServices::alertMessageService()->recordedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].message, "Removed from the \"catalog\"");
    zqtest::HTTPReply listed = get("rest/WorkWithProduct/Product/List");
    ASSERT_EQ(listed.json().count(), 2u) << listed.body;
    EXPECT_EQ(listed.json().at(0)["ProductCode"], Value("a"));
    EXPECT_EQ(listed.json().at(1)["ProductCode"], Value("b"));
}

TEST_F(SampleServerBusinessComponents, WarningParameterAndTokenGuard) {
    zqtest::HTTPReply warned = get("rest/Customer/1?zqwarning=Look%20here");
    EXPECT_EQ(warned.status, 200);
    EXPECT_EQ(warned.header("warning"), "299 sample-server \"Look here\"");
    EXPECT_EQ(get("rest/Customer/1").header("warning"), "");
    server->setRequireToken(true);
    EXPECT_EQ(get("rest/Customer/1").status, 401);
}

TEST_F(SampleServerBusinessComponents, ConcurrentInsertsOfOneKeyCreateItOnce) {
    std::atomic<int> created{0}, conflicts{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&] {
            long status = send("POST", "rest/Customer/40", R"({"CustomerName": "Once"})").status;
            (status == 201 ? created : conflicts) += status == 201 || status == 409 ? 1 : 100;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(created.load(), 1);
    EXPECT_EQ(conflicts.load(), 5);
    EXPECT_EQ(get("rest/WorkWithCustomer/Customer/List").json().count(), 7u);
}

}  // namespace
