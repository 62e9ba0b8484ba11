#include "platform/objectstore/PersistentStoreCoordinator.hpp"

#include <algorithm>

#include "platform/objectstore/InMemoryStore.hpp"
#include "platform/objectstore/SQLiteStore.hpp"

namespace platform {

std::shared_ptr<PersistentStoreCoordinator> PersistentStoreCoordinator::create(
    std::shared_ptr<ManagedObjectModel> model) {
    return std::make_shared<PersistentStoreCoordinator>(std::move(model));
}

PersistentStoreCoordinator::PersistentStoreCoordinator(std::shared_ptr<ManagedObjectModel> model)
    : model_(std::move(model)) {
    modelError_ = model_
                      ? model_->freeze()
                      : Error::create(kErrorDomain, errc::kValidation, "No managed object model");
}

PersistentStoreCoordinator::AddResult PersistentStoreCoordinator::addPersistentStore(
    StoreType type, const std::string& configuration, const std::string& path) {
    AddResult result;
    if (modelError_) {
        result.error = modelError_;
        return result;
    }
    if (!configuration.empty()) {
        auto names = model_->configurations();
        if (std::find(names.begin(), names.end(), configuration) == names.end()) {
            result.error = Error::create(kErrorDomain, errc::kStoreOpen,
                                         "The model has no configuration named " + configuration);
            return result;
        }
    }
    // Opening may take a while (creating tables); the list lock is taken only to add the store.
    if (type == StoreType::SQLite) {
        result.store = SQLiteStore::open(model_, configuration, path, result.error);
    } else {
        result.store = InMemoryStore::open(model_, configuration, result.error);
    }
    if (result.store) {
        MutexLock lock(mutex_);
        auto stores = std::make_shared<StoreList>(*stores_);
        stores->push_back(result.store);
        stores_ = std::move(stores);
    }
    return result;
}

ErrorPtr PersistentStoreCoordinator::removePersistentStore(
    const std::shared_ptr<PersistentStore>& store) {
    MutexLock lock(mutex_);
    auto stores = std::make_shared<StoreList>(*stores_);
    auto it = std::find(stores->begin(), stores->end(), store);
    if (it == stores->end()) {
        return Error::create(kErrorDomain, errc::kStoreOpen,
                             "The store is not added to this coordinator");
    }
    stores->erase(it);
    stores_ = std::move(stores);
    return nullptr;
}

std::vector<std::shared_ptr<PersistentStore>> PersistentStoreCoordinator::persistentStores() const {
    return *storeList();
}

std::shared_ptr<const PersistentStoreCoordinator::StoreList> PersistentStoreCoordinator::storeList()
    const {
    MutexLock lock(mutex_);
    return stores_;
}

std::shared_ptr<PersistentStore> PersistentStoreCoordinator::storeForEntity(
    const EntityDescription& entity) const {
    MutexLock lock(mutex_);
    for (const auto& store : *stores_) {
        if (store->containsEntity(entity)) return store;
    }
    return nullptr;
}

std::shared_ptr<PersistentStore> PersistentStoreCoordinator::storeForObjectID(
    const ManagedObjectID& id) const {
    if (id.isTemporaryID()) return nullptr;
    MutexLock lock(mutex_);
    for (const auto& store : *stores_) {
        if (store->serial() == id.storeSerial()) return store;
    }
    return nullptr;
}

}  // namespace platform
