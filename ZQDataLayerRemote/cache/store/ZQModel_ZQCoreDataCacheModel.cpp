#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCacheModel.hpp"

ZQModel_ZQCoreDataCacheModel::~ZQModel_ZQCoreDataCacheModel() {
    for (auto& token : observerTokens_) token.reset();
}

std::shared_ptr<platform::ManagedObjectModel> ZQModel_ZQCoreDataCacheModel::managedObjectModel()
    const {
    platform::MutexLock lock(mutex_);
    return managedObjectModel_;
}

void ZQModel_ZQCoreDataCacheModel::setManagedObjectModel(
    std::shared_ptr<platform::ManagedObjectModel> model) {
    platform::MutexLock lock(mutex_);
    managedObjectModel_ = std::move(model);
}

std::shared_ptr<platform::ManagedObjectContext> ZQModel_ZQCoreDataCacheModel::managedObjectContext()
    const {
    platform::MutexLock lock(mutex_);
    return managedObjectContext_;
}

void ZQModel_ZQCoreDataCacheModel::setManagedObjectContext(
    std::shared_ptr<platform::ManagedObjectContext> context) {
    std::shared_ptr<platform::ManagedObjectContext> previous;  // released after the lock
    platform::MutexLock lock(mutex_);
    previous = std::exchange(managedObjectContext_, std::move(context));
}

std::shared_ptr<platform::PersistentStoreCoordinator>
ZQModel_ZQCoreDataCacheModel::persistentStoreCoordinator() const {
    platform::MutexLock lock(mutex_);
    return persistentStoreCoordinator_;
}

void ZQModel_ZQCoreDataCacheModel::setPersistentStoreCoordinator(
    std::shared_ptr<platform::PersistentStoreCoordinator> coordinator) {
    std::shared_ptr<platform::PersistentStoreCoordinator> previous;  // released after the lock
    platform::MutexLock lock(mutex_);
    previous = std::exchange(persistentStoreCoordinator_, std::move(coordinator));
}

platform::ErrorPtr ZQModel_ZQCoreDataCacheModel::storesError() const {
    platform::MutexLock lock(mutex_);
    return storesError_;
}

void ZQModel_ZQCoreDataCacheModel::setStoresError(platform::ErrorPtr error) {
    platform::MutexLock lock(mutex_);
    storesError_ = std::move(error);
}

std::string ZQModel_ZQCoreDataCacheModel::description() const {
    platform::MutexLock lock(mutex_);
    return std::string("<ZQModel_ZQCoreDataCacheModel model=") +
           (managedObjectModel_ ? managedObjectModel_->description() : "none") +
           " coordinator=" + (persistentStoreCoordinator_ ? "yes" : "none") +
           " context=" + (managedObjectContext_ ? "yes" : "none") + ">";
}
