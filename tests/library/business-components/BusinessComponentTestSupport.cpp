#include "tests/library/business-components/BusinessComponentTestSupport.hpp"

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {

std::unique_ptr<LoopbackServer> BusinessComponentTest::sharedServer_;

std::string businessComponentTestModelJSON(const std::string& serverBaseURL) {
    return R"({"formatVersion": 1, "name": "BCTests", "appServerBaseUrl": ")" + serverBaseURL +
           R"(",
  "businessComponents": [
    {"name": "Sales.Invoice", "levels": [
      {"name": "Invoice", "attributes": [
        {"name": "InvoiceId", "type": "numeric", "length": 8, "key": true},
        {"name": "InvoiceDate", "type": "date"},
        {"name": "CustomerName", "type": "varchar", "length": 40},
        {"name": "InvoiceTotal", "type": "numeric", "length": 10, "decimals": 2},
        {"name": "InvoicePaid", "type": "boolean"},
        {"name": "InvoiceScan", "type": "image"}]},
      {"name": "Line", "parent": "Invoice", "attributes": [
        {"name": "InvoiceLineId", "type": "numeric", "length": 4, "key": true},
        {"name": "ProductName", "type": "varchar", "length": 40},
        {"name": "LineAmount", "type": "numeric", "length": 10, "decimals": 2},
        {"name": "LinePhoto", "type": "image"}]}]},
    {"name": "Coded", "levels": [
      {"name": "Coded", "attributes": [
        {"name": "&Code", "type": "varchar", "length": 20, "key": true},
        {"name": "CodedTitle", "type": "varchar", "length": 40},
        {"name": "CodedCount", "type": "numeric", "length": 4}]}]}]})";
}

void BusinessComponentTest::SetUpTestSuite() {
    sharedServer_ = std::make_unique<LoopbackServer>(16);
}

void BusinessComponentTest::TearDownTestSuite() {
    sharedServer_.reset();
}

void BusinessComponentTest::SetUp() {
    server().clearRoutes();
    server().clearLog();
    root_ = std::make_unique<TempDir>();
    auto storage = ZQApplicationStorageService::sharedInstance();
    previousRoot_ = storage->applicationRoot();
    storage->setApplicationRoot(root_->path());
    previousModel_ = ZQModel::currentModel();
    ZQCoreDataCacheClasses::registerClasses();
    auto loaded = ZQApplicationModelLoader::loadFromString(
        businessComponentTestModelJSON(server().baseURL() + "bc/"), "bc-tests");
    ASSERT_FALSE(loaded.error) << loaded.error->description();
    appModel_ = loaded.model;
    platform::ErrorPtr error;
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel_, &error);
    ASSERT_TRUE(schema) << (error ? error->description() : "no schema");
    if (GetParam() == BCStoreKind::Memory) {
        // Every level entity moves to the memory store.
        schema->setEntitiesForConfiguration({}, "sql");
        schema->setEntitiesForConfiguration(schema->entities(), "memory");
    }
    platform::Dictionary objects{
        {ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, platform::Value::object(schema)}};
    model_ = ZQModel::create(appModel_, objects);
    if (!ZQModel_ZQCoreDataCache::coreDataCacheModel(model_)) {
        ASSERT_TRUE(
            ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model_, objects));
    }
    ZQModel::setCurrentModel(model_);
    ASSERT_TRUE(ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model_));
    ASSERT_EQ(ZQModel_ZQCoreDataCache::storesError(model_), nullptr);
}

void BusinessComponentTest::TearDown() {
    // Late main-queue work of a test must not reach the next one's model.
    runMainLoopFor(0.05);
    ZQModel::setCurrentModel(previousModel_);
    ZQApplicationStorageService::sharedInstance()->setApplicationRoot(previousRoot_);
}

std::shared_ptr<const ZQBusinessComponentModel> BusinessComponentTest::invoice() const {
    return appModel_->businessComponentNamed("Sales.Invoice");
}

std::shared_ptr<const ZQBusinessComponentModel> BusinessComponentTest::coded() const {
    return appModel_->businessComponentNamed("Coded");
}

std::shared_ptr<const ZQEntityDataKey> BusinessComponentTest::invoiceKey(platform::Value id) const {
    auto root = invoice()->rootLevel();
    return std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*root),
        platform::Dictionary{{"InvoiceId", std::move(id)}});
}

std::shared_ptr<const ZQEntityDataKey> BusinessComponentTest::lineKey(
    std::shared_ptr<const ZQEntityDataKey> parent, platform::Value lineId) const {
    auto line = invoice()->levelWithName("Line");
    return std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*line),
        platform::Dictionary{{"InvoiceLineId", std::move(lineId)}}, std::move(parent));
}

std::shared_ptr<const ZQEntityDataKey> BusinessComponentTest::codedKey(platform::Value code) const {
    return std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*coded()->rootLevel()),
        platform::Dictionary{{"&Code", std::move(code)}});
}

std::string BusinessComponentTest::invoiceJSON(int64_t id, const std::string& customer,
                                               std::optional<std::vector<int64_t>> lines) {
    platform::Dictionary root{{"InvoiceId", id},
                              {"InvoiceDate", "2024-03-05"},
                              {"CustomerName", customer},
                              {"InvoiceTotal", 10.5},
                              {"InvoicePaid", false}};
    if (lines) {
        platform::Array items;
        for (int64_t line : *lines)
            items.push_back(platform::Dictionary{{"InvoiceLineId", line},
                                                 {"ProductName", "P" + std::to_string(line)},
                                                 {"LineAmount", 1.25 * static_cast<double>(line)}});
        root.set("Line", std::move(items));
    }
    return ZQJSON::write(platform::Value(std::move(root))).text;
}

std::shared_ptr<HandlerReport> BusinessComponentTest::observe(
    const std::shared_ptr<ZQBusinessComponentHandler>& handler) {
    auto report = std::make_shared<HandlerReport>();
    handler->setCompletion([report](const auto& entityData, const auto& error) {
        ++report->count;
        report->onMainThread = platform::isMainThread();
        report->entityData = entityData;
        report->error = error;
    });
    return report;
}

std::shared_ptr<HandlerReport> BusinessComponentTest::run(
    const std::shared_ptr<ZQBusinessComponentHandler>& handler, double settleSeconds) {
    auto report = observe(handler);
    handler->start();
    EXPECT_TRUE(runMainLoopUntil([&] { return report->count > 0; }));
    runMainLoopFor(settleSeconds);
    return report;
}

std::shared_ptr<platform::ManagedObjectContext> BusinessComponentTest::newContext() const {
    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(
        ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model_));
    return context;
}

std::shared_ptr<platform::ManagedObjectContext> BusinessComponentTest::mainContext() const {
    return ZQModel_ZQCoreDataCache::managedObjectContext(model_);
}

size_t BusinessComponentTest::cachedCount(const std::string& entityName) const {
    auto counted = newContext()->countForFetchRequest(platform::FetchRequest(entityName));
    EXPECT_EQ(counted.error, nullptr);
    return static_cast<size_t>(counted.count);
}

platform::Value BusinessComponentTest::cachedInvoiceValue(int64_t id,
                                                          const std::string& attribute) const {
    platform::FetchRequest request("sales__invoice");
    request.setPredicate(platform::Predicate::equal("zqinvoiceid", platform::Value(id)));
    auto context = newContext();  // objects read nothing once their context is gone
    auto fetched = context->executeFetchRequest(request);
    auto objects = fetched.objects();
    return objects.empty() ? platform::Value() : objects.front()->valueForKey(attribute);
}

}  // namespace zqtest
