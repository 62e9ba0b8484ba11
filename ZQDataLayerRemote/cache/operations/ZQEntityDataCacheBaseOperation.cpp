#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheBaseOperation.hpp"

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"

namespace {

std::string cacheEntityNameOf(const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source) {
    std::optional<std::string> name;
    if (source) name = ZQCoreDataEntityHelper::coreDataEntityNameForDataSourceLevel(source);
    if (!name) {
        // The host decides whether this is fatal; when it lets us go on, the operation works on
        // the bare bookkeeping entity names, which a real schema never has, so it fails cleanly.
        ZQUtilities::tryRecoverFatalError("Invalid cache operation data source");
        return {};
    }
    return *name;
}

}  // namespace

ZQEntityDataCacheBaseOperation::ZQEntityDataCacheBaseOperation(
    platform::URL queryBaseURL, std::optional<std::string> queryParameters,
    std::shared_ptr<platform::PersistentStoreCoordinator> psc,
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource)
    : ZQEntityDataManagerInternalBaseOperation(std::move(dataSource)),
      queryBaseURL_(std::move(queryBaseURL)),
      queryParameters_(std::move(queryParameters)),
      psc_(std::move(psc)),
      cacheEntityName_(cacheEntityNameOf(this->dataSource())) {}

std::string ZQEntityDataCacheBaseOperation::queryEntityName() const {
    return "_Query" + cacheEntityName_;
}

std::string ZQEntityDataCacheBaseOperation::queryCollectionEntityName() const {
    return "_QueryCollectionEntity" + cacheEntityName_;
}

platform::FetchRequest ZQEntityDataCacheBaseOperation::queryFetchRequest(
    const std::shared_ptr<platform::ManagedObjectContext>& /*context*/,
    platform::FetchRequest::ResultType resultType) const {
    // The store resolves the entity by name in the context's coordinator when it fetches; an
    // unknown name comes back as the fetch's error.
    platform::FetchRequest request(queryEntityName());
    request.setFetchLimit(1);
    request.setResultType(resultType);
    // Absence of a parameter string is stored as "no value", which the null value matches; an
    // empty string is a different query.
    platform::Value parameters =
        queryParameters_ ? platform::Value(*queryParameters_) : platform::Value::null();
    request.setPredicate(platform::Predicate::andPredicateWithSubpredicates(
        {platform::Predicate::equal("queryBaseUri", queryBaseURL_.absoluteString()),
         platform::Predicate::equal("queryParameters", std::move(parameters))}));
    return request;
}

platform::FetchRequest ZQEntityDataCacheBaseOperation::queryRowsFetchRequest(
    const platform::ManagedObjectIDPtr& queryObjectID,
    const std::shared_ptr<platform::ManagedObjectContext>& /*context*/,
    const platform::PredicatePtr& predicate, platform::FetchRequest::ResultType resultType) const {
    platform::FetchRequest request(queryCollectionEntityName());
    request.setResultType(resultType);
    auto byQuery = platform::Predicate::equal("query", platform::Value::objectID(queryObjectID));
    if (predicate) {
        request.setPredicate(
            platform::Predicate::andPredicateWithSubpredicates({std::move(byQuery), predicate}));
    } else {
        request.setPredicate(std::move(byQuery));
    }
    return request;
}

namespace {

// Whether every entity of the names that the model has is held by an open store.
bool storesHoldEntities(const platform::PersistentStoreCoordinator& coordinator,
                        std::initializer_list<std::string> names) {
    auto model = coordinator.managedObjectModel();
    if (!model) return true;
    for (const auto& name : names) {
        auto entity = model->entityNamed(name);
        if (entity && !coordinator.storeForEntity(*entity)) return false;
    }
    return true;
}

}  // namespace

platform::ErrorPtr ZQEntityDataCacheBaseOperation::prepareStore() {
    auto model = ZQModel::currentModel();
    if (!psc_) psc_ = ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);
    if (!psc_)
        return defaultZQErrorWithDeveloperDescription("The data cache has no store coordinator");
    const std::initializer_list<std::string> names = {queryEntityName(),
                                                      queryCollectionEntityName()};
    if (storesHoldEntities(*psc_, names)) return nullptr;
    if (ZQModel_ZQCoreDataCache::existingPersistentStoreCoordinator(model) == psc_) {
        (void)ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model);  // adds what is missing
        if (storesHoldEntities(*psc_, names)) return nullptr;
    }
    platform::ErrorPtr why = ZQModel_ZQCoreDataCache::storesError(model);
    return why ? why
               : defaultZQErrorWithDeveloperDescription("No open store holds " + queryEntityName());
}

std::shared_ptr<platform::ManagedObjectContext> ZQEntityDataCacheBaseOperation::newWorkingContext()
    const {
    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(psc_);
    return context;
}

platform::ErrorPtr ZQEntityDataCacheBaseOperation::saveWorkingContext(
    const std::shared_ptr<platform::ManagedObjectContext>& context) {
    // Observing only this context's saves: other operations save their own contexts at the same
    // time and must not be merged twice.
    platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::kManagedObjectContextDidSaveNotification, context.get(),
        [this](const platform::Notification& notification) { notify(notification); });
    platform::ErrorPtr error = context->save();
    token.reset();
    return error;
}

namespace {

// The main context belongs to the main thread: looked up and merged there, and waited for, so
// that whatever the operation reports next finds the changes on the main thread.
void mergeOnMain(const std::function<void(platform::ManagedObjectContext&)>& merge) {
    auto model = ZQModel::currentModel();
    if (!model) return;
    platform::dispatchSyncOnMain([&model, &merge] {
        if (auto mainContext = ZQModel_ZQCoreDataCache::managedObjectContext(model)) {
            merge(*mainContext);
        }
    });
}

}  // namespace

void ZQEntityDataCacheBaseOperation::notify(const platform::Notification& notification) {
    mergeOnMain([&notification](platform::ManagedObjectContext& mainContext) {
        mainContext.mergeChangesFromContextDidSaveNotification(notification);
    });
}

void ZQEntityDataCacheBaseOperation::mergeChangedObjectIDs(
    const std::vector<platform::ManagedObjectIDPtr>& updated,
    const std::vector<platform::ManagedObjectIDPtr>& deleted) {
    mergeOnMain([&](platform::ManagedObjectContext& mainContext) {
        mainContext.mergeChangedObjectIDs(updated, deleted);
    });
}
