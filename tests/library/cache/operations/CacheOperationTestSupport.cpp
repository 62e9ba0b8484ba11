#include "tests/library/cache/operations/CacheOperationTestSupport.hpp"

#include <gtest/gtest.h>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/support/CacheOperationModel.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {

std::string cacheOperationModelJSON() {
    return kCacheOperationModelJSON;
}

// ---- environment

CacheOperationEnvironment::CacheOperationEnvironment()
    : queue(platform::OperationQueue::create("cache-operation-tests")),
      previousModel_(ZQModel::currentModel()),
      previousRoot_(ZQApplicationStorageService::sharedInstance()->applicationRoot()) {
    ZQApplicationStorageService::sharedInstance()->setApplicationRoot(root.path());
    ZQCoreDataCacheClasses::registerClasses();
    auto loaded =
        ZQApplicationModelLoader::loadFromString(cacheOperationModelJSON(), "cache-operations");
    EXPECT_EQ(loaded.error, nullptr) << (loaded.error ? loaded.error->description() : "");
    appModel = loaded.model;
    if (!appModel) return;
    platform::ErrorPtr error;
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel, &error);
    EXPECT_TRUE(schema) << (error ? error->description() : "");
    platform::Dictionary objects{
        {ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, platform::Value::object(schema)}};
    model = ZQModel::create(appModel, objects);
    // A model initializer registered by the library's start-up may already have done this.
    if (!ZQModel_ZQCoreDataCache::coreDataCacheModel(model)) {
        EXPECT_TRUE(
            ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model, objects));
    }
    ZQModel::setCurrentModel(model);
    EXPECT_TRUE(coordinator());
    EXPECT_TRUE(mainContext());
}

CacheOperationEnvironment::~CacheOperationEnvironment() {
    queue->waitUntilAllOperationsAreFinished();
    ZQModel::setCurrentModel(previousModel_);
    ZQApplicationStorageService::sharedInstance()->setApplicationRoot(previousRoot_);
}

std::shared_ptr<const ZQEntityDataSourceDescriptor> CacheOperationEnvironment::collection(
    const std::string& provider) const {
    auto data = appModel->dataProviderNamed(provider);
    EXPECT_TRUE(data) << provider;
    return ZQRemoteWorkWithCollectionDataSource::create(data->workWithModel(), data, {});
}

std::shared_ptr<const ZQEntityDataSourceDescriptor> CacheOperationEnvironment::singleItem(
    const std::string& provider) const {
    auto data = appModel->dataProviderNamed(provider);
    EXPECT_TRUE(data) << provider;
    return ZQRemoteWorkWithSingleItemDataSource::create(data->workWithModel(), data, {});
}

std::shared_ptr<platform::PersistentStoreCoordinator> CacheOperationEnvironment::coordinator()
    const {
    return ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);
}

std::shared_ptr<platform::ManagedObjectContext> CacheOperationEnvironment::mainContext() const {
    return ZQModel_ZQCoreDataCache::managedObjectContext(model);
}

std::shared_ptr<platform::ManagedObjectContext> CacheOperationEnvironment::newContext() const {
    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(coordinator());
    return context;
}

platform::URL CacheOperationEnvironment::queryURL(
    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source) {
    return *platform::URL::fromString("http://127.0.0.1:9/app/rest/" +
                                      source->entityDataSourceDataProviderName());
}

std::shared_ptr<ZQEntityDataCacheSaveOperation> CacheOperationEnvironment::saveOperation(
    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
    std::shared_ptr<ZQEntityDataServiceResult> result, bool clearPrevious, ZQRange page,
    std::optional<std::string> parameters) {
    return ZQEntityDataCacheSaveOperation::create(queryURL(source), std::move(parameters),
                                                  coordinator(), source, clearPrevious,
                                                  std::move(result), page);
}

void CacheOperationEnvironment::run(const std::shared_ptr<platform::Operation>& operation) {
    runAll({operation});
}

void CacheOperationEnvironment::runAll(
    const std::vector<std::shared_ptr<platform::Operation>>& operations) {
    for (const auto& operation : operations) queue->addOperation(operation);
    // The saves merge into the main context on the main thread: keep it turning.
    EXPECT_TRUE(runMainLoopUntil([&] {
        for (const auto& operation : operations) {
            if (!operation->isFinished()) return false;
        }
        return true;
    }));
}

// ---- results

platform::Value orderItem(int64_t id, int lines, const std::string& namePrefix) {
    platform::Array lineItems;
    for (int line = 1; line <= lines; ++line) {
        lineItems.push_back(
            platform::Value::dictionary({{"LineId", id * 100 + line},
                                         {"ProductName", "Product " + std::to_string(line)},
                                         {"LineQty", line}}));
    }
    return platform::Value::dictionary({{"OrderId", id},
                                        {"OrderName", namePrefix + " " + std::to_string(id)},
                                        {"Category", id % 2 ? "Odd" : "Even"},
                                        {"Amount", static_cast<double>(id) + 0.25},
                                        {"OrderDate", "2024-03-05"},
                                        {"Paid", id % 3 == 0},
                                        {"Quantity", id % 10},
                                        {"Notes", "Notes of " + std::to_string(id)},
                                        {"Priority", id % 5},
                                        {"Region", id % 4 < 2 ? "North" : "South"},
                                        {"Line", platform::Value(std::move(lineItems))}});
}

platform::Value orderItems(int64_t first, int64_t count, int lines, const std::string& namePrefix) {
    platform::Array items;
    items.reserve(static_cast<size_t>(count));
    for (int64_t id = first; id < first + count; ++id) {
        items.push_back(orderItem(id, lines, namePrefix));
    }
    return platform::Value(std::move(items));
}

platform::Value eventItem(const std::string& name) {
    return platform::Value::dictionary({{"OrderName", name}, {"Notes", "event " + name}});
}

std::shared_ptr<ZQEntityDataServiceResult> collectionResult(
    platform::Value data, int64_t status, std::optional<platform::Date> lastModified) {
    return ZQEntityDataServiceResult::create(true, std::move(data), status, lastModified, nullptr);
}

std::shared_ptr<ZQEntityDataServiceResult> singleItemResult(
    platform::Value data, int64_t status, std::optional<platform::Date> lastModified) {
    return ZQEntityDataServiceResult::create(false, std::move(data), status, lastModified, nullptr);
}

// ---- locks and the delegate

// Locked here, unlocked in unlock(): out of the analysis' reach.
NO_THREAD_SAFETY_ANALYSIS void InstrumentedSaveLock::lock() {
    lock_.lock();
    std::function<void()> hook;
    {
        platform::MutexLock guard(mutex_);
        ++holders_;
        ++timesLocked_;
        maxHolders_ = std::max(maxHolders_, holders_);
        hook = onLocked_;
    }
    if (hook) hook();
}

NO_THREAD_SAFETY_ANALYSIS void InstrumentedSaveLock::unlock() {
    {
        platform::MutexLock guard(mutex_);
        --holders_;
    }
    lock_.unlock();
}

bool InstrumentedSaveLock::isHeld() const {
    platform::MutexLock guard(mutex_);
    return holders_ > 0;
}

int InstrumentedSaveLock::maxHolders() const {
    platform::MutexLock guard(mutex_);
    return maxHolders_;
}

int InstrumentedSaveLock::timesLocked() const {
    platform::MutexLock guard(mutex_);
    return timesLocked_;
}

void InstrumentedSaveLock::setOnLocked(std::function<void()> hook) {
    platform::MutexLock guard(mutex_);
    onLocked_ = std::move(hook);
}

std::shared_ptr<InstrumentedSaveLock> RecordingSaveDelegate::lockNamed(const std::string& name) {
    platform::MutexLock guard(mutex_);
    auto& lock = locks_[name];
    if (!lock) lock = std::make_shared<InstrumentedSaveLock>(name);
    return lock;
}

std::shared_ptr<ZQEntityDataCacheSaveLock>
RecordingSaveDelegate::entityDataCacheSaveOperationObtainLockForEntityName(
    const std::string& entityName) {
    auto lock = lockNamed(entityName);
    {
        platform::MutexLock guard(mutex_);
        ++obtained_;
    }
    if (onObtain) onObtain(entityName);
    return lock;
}

void RecordingSaveDelegate::entityDataCacheSaveOperationReleaseLock(
    const std::shared_ptr<ZQEntityDataCacheSaveLock>& lock) {
    EXPECT_TRUE(lock);
    platform::MutexLock guard(mutex_);
    ++released_;
}

void RecordingSaveDelegate::entityDataCacheSaveOperationDidFinishSaving(
    const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation) {
    platform::MutexLock guard(mutex_);
    finished_.push_back(operation.get());
}

void RecordingSaveDelegate::entityDataCacheSaveOperationDidFailSavingWithError(
    const std::shared_ptr<ZQEntityDataCacheSaveOperation>& /*operation*/,
    const platform::ErrorPtr& error) {
    platform::MutexLock guard(mutex_);
    failures_.push_back(error);
}

int RecordingSaveDelegate::obtained() const {
    platform::MutexLock guard(mutex_);
    return obtained_;
}

int RecordingSaveDelegate::released() const {
    platform::MutexLock guard(mutex_);
    return released_;
}

int RecordingSaveDelegate::finished() const {
    platform::MutexLock guard(mutex_);
    return static_cast<int>(finished_.size());
}

std::vector<platform::ErrorPtr> RecordingSaveDelegate::failures() const {
    platform::MutexLock guard(mutex_);
    return failures_;
}

std::vector<const void*> RecordingSaveDelegate::finishedOperations() const {
    platform::MutexLock guard(mutex_);
    return finished_;
}

// ---- reading back

namespace {

std::string entityNameOf(const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source) {
    std::string name = source->entityDataSourceDataProviderName();
    for (size_t at = name.find('.'); at != std::string::npos; at = name.find('.', at + 2)) {
        name.replace(at, 1, "__");
    }
    return name;
}

}  // namespace

std::optional<CachedQuery> cachedQuery(
    platform::ManagedObjectContext& context,
    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
    const std::optional<std::string>& parameters) {
    platform::FetchRequest request("_Query" + entityNameOf(source));
    request.setPredicate(platform::Predicate::andPredicateWithSubpredicates(
        {platform::Predicate::equal("queryBaseUri",
                                    CacheOperationEnvironment::queryURL(source).absoluteString()),
         platform::Predicate::equal("queryParameters", parameters ? platform::Value(*parameters)
                                                                  : platform::Value::null())}));
    auto fetched = context.executeFetchRequest(request);
    EXPECT_EQ(fetched.error, nullptr);
    auto objects = fetched.objects();
    EXPECT_LE(objects.size(), 1u) << "one record per query";
    if (objects.empty()) return std::nullopt;
    auto& record = objects.front();
    CachedQuery query;
    query.id = record->objectID();
    query.timeStamp = record->valueForKey("timeStamp").date();
    query.dataTimeStamp = record->valueForKey("dataTimeStamp").date();
    query.lastModified = record->valueForKey("lastModified").date();
    if (source->entityDataSourceIsCollection()) {
        query.complete = record->valueForKey("complete").boolean();
    }
    return query;
}

std::vector<CachedRow> cachedRows(platform::ManagedObjectContext& context,
                                  const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
                                  const std::optional<std::string>& parameters) {
    auto query = cachedQuery(context, source, parameters);
    if (!query) return {};
    platform::FetchRequest request("_QueryCollectionEntity" + entityNameOf(source));
    request.setPredicate(platform::Predicate::equal("query", platform::Value::objectID(query->id)));
    request.setSortDescriptors({{"rowId", true}});
    auto fetched = context.executeFetchRequest(request);
    EXPECT_EQ(fetched.error, nullptr);
    std::vector<CachedRow> rows;
    for (const auto& row : fetched.objects()) {
        CachedRow out;
        out.rowId = row->valueForKey("rowId").integer().value_or(-1);
        out.rowObjectID = row->objectID();
        out.entity = std::dynamic_pointer_cast<platform::ManagedObject>(
            row->valueForKey("entityData").object());
        rows.push_back(std::move(out));
    }
    return rows;
}

int64_t countOf(platform::ManagedObjectContext& context, const std::string& entityName) {
    platform::FetchRequest request(entityName);
    auto counted = context.countForFetchRequest(request);
    EXPECT_EQ(counted.error, nullptr);
    return counted.count;
}

std::vector<std::shared_ptr<platform::ManagedObject>> objectsWhere(
    platform::ManagedObjectContext& context, const std::string& entityName,
    const std::string& attribute, const platform::Value& value) {
    platform::FetchRequest request(entityName);
    request.setPredicate(platform::Predicate::equal(attribute, value));
    auto fetched = context.executeFetchRequest(request);
    EXPECT_EQ(fetched.error, nullptr);
    return fetched.objects();
}

std::vector<std::shared_ptr<platform::ManagedObject>> related(
    const std::shared_ptr<platform::ManagedObject>& object, const std::string& relationship) {
    auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(
        object->valueForKey(relationship).object());
    return set ? set->objects() : std::vector<std::shared_ptr<platform::ManagedObject>>{};
}

}  // namespace zqtest
