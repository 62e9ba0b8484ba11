#include "ZQDataLayerRemote/cache/operations/ZQCoreDataEntityDataDeleteOperation.hpp"

#include <utility>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

namespace {

// key field == its value (the null value, which matches "no value", when the key has none), one
// comparison per field in key order; none for a key without fields.
platform::PredicatePtr keyPredicate(const ZQEntityDataKey& key) {
    auto descriptor = key.entityDataKeyDescriptor();
    if (!descriptor) return nullptr;
    std::vector<platform::PredicatePtr> comparisons;
    for (const auto& field : descriptor->entityDataKeyFieldsDescriptors()) {
        const std::string& name = field->entityDataFieldName();
        platform::Value value = key.valueForEntityDataKeyFieldName(name);
        if (value.isAbsent()) value = platform::Value::null();
        comparisons.push_back(platform::Predicate::equal(
            ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(name), std::move(value)));
    }
    if (comparisons.empty()) return nullptr;
    if (comparisons.size() == 1) return std::move(comparisons.front());
    return platform::Predicate::andPredicateWithSubpredicates(std::move(comparisons));
}

}  // namespace

std::shared_ptr<ZQCoreDataEntityDataDeleteOperation> ZQCoreDataEntityDataDeleteOperation::create() {
    return std::make_shared<ZQCoreDataEntityDataDeleteOperation>();
}

std::shared_ptr<const ZQEntityDataKey> ZQCoreDataEntityDataDeleteOperation::entityDataKey() const {
    platform::MutexLock lock(mutex_);
    return entityDataKey_;
}

void ZQCoreDataEntityDataDeleteOperation::setEntityDataKey(
    std::shared_ptr<const ZQEntityDataKey> key) {
    platform::MutexLock lock(mutex_);
    entityDataKey_ = std::move(key);
}

std::shared_ptr<const platform::EntityDescription>
ZQCoreDataEntityDataDeleteOperation::cdEntityDescription() const {
    platform::MutexLock lock(mutex_);
    return cdEntityDescription_;
}

void ZQCoreDataEntityDataDeleteOperation::setCdEntityDescription(
    std::shared_ptr<const platform::EntityDescription> entity) {
    platform::MutexLock lock(mutex_);
    cdEntityDescription_ = std::move(entity);
}

std::shared_ptr<platform::PersistentStoreCoordinator>
ZQCoreDataEntityDataDeleteOperation::persistentStoreCoordinator() const {
    platform::MutexLock lock(mutex_);
    return persistentStoreCoordinator_;
}

void ZQCoreDataEntityDataDeleteOperation::setPersistentStoreCoordinator(
    std::shared_ptr<platform::PersistentStoreCoordinator> psc) {
    platform::MutexLock lock(mutex_);
    persistentStoreCoordinator_ = std::move(psc);
}

void ZQCoreDataEntityDataDeleteOperation::main() {
    if (isCancelled()) return;
    auto key = entityDataKey();
    auto entity = cdEntityDescription();
    auto coordinator = persistentStoreCoordinator();
    // Without a key that names its fields there is nothing that identifies the instance: deleting
    // "the first object of the entity" would remove an arbitrary one.
    platform::PredicatePtr predicate = key ? keyPredicate(*key) : nullptr;
    if (!predicate || !entity || !coordinator) return;

    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(coordinator);
    platform::FetchRequest request(entity->name());
    request.setFetchLimit(1);
    request.setPredicate(std::move(predicate));
    if (isCancelled()) return;
    auto fetched = context->executeFetchRequest(request);
    if (fetched.error) return;
    auto objects = fetched.objects();
    if (objects.empty() || isCancelled()) return;
    context->deleteObject(objects.back());
    if (!context->hasChanges()) return;
    // Observing only this context: other operations save their own contexts at the same time.
    platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::kManagedObjectContextDidSaveNotification, context.get(),
        [this](const platform::Notification& notification) { notify(notification); });
    // The handler's completion does not learn the outcome: a failed save leaves the cache as it
    // was, which is all the caller could do about it.
    (void)context->save();
}

void ZQCoreDataEntityDataDeleteOperation::notify(const platform::Notification& notification) {
    auto model = ZQModel::currentModel();
    if (!model) return;
    platform::dispatchSyncOnMain([&model, &notification] {
        if (auto mainContext = ZQModel_ZQCoreDataCache::managedObjectContext(model)) {
            mainContext->mergeChangesFromContextDidSaveNotification(notification);
        }
    });
}
