// Joins a managed-object model to the stores that hold its entities; contexts on any thread share
// it. It owns its stores; its mutex guards the store list only (stores guard themselves), so a
// store removed while a context uses it stays alive until that use ends, after which identifiers
// of it resolve to nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"
#include "platform/objectstore/PersistentStore.hpp"

namespace platform {

class PersistentStoreCoordinator : public std::enable_shared_from_this<PersistentStoreCoordinator> {
  public:
    using StoreType = PersistentStore::StoreType;

    // Freezes the model (ManagedObjectModel::freeze); an invalid model makes every
    // addPersistentStore fail with its error.
    [[nodiscard]] static std::shared_ptr<PersistentStoreCoordinator> create(
        std::shared_ptr<ManagedObjectModel> model);

    const std::shared_ptr<ManagedObjectModel>& managedObjectModel() const { return model_; }

    struct AddResult {
        std::shared_ptr<PersistentStore> store;
        ErrorPtr error;
    };
    // `configuration` empty: every entity of the model. `path`: the file of an SQLite store,
    // ignored for the in-memory store.
    [[nodiscard]] AddResult addPersistentStore(StoreType type, const std::string& configuration,
                                               const std::string& path) EXCLUDES(mutex_);
    [[nodiscard]] ErrorPtr removePersistentStore(const std::shared_ptr<PersistentStore>& store)
        EXCLUDES(mutex_);
    std::vector<std::shared_ptr<PersistentStore>> persistentStores() const EXCLUDES(mutex_);

    // The first store that holds the entity, or none.
    std::shared_ptr<PersistentStore> storeForEntity(const EntityDescription& entity) const
        EXCLUDES(mutex_);
    // The store of a permanent identifier while it is still added here, or none.
    std::shared_ptr<PersistentStore> storeForObjectID(const ManagedObjectID& id) const
        EXCLUDES(mutex_);

    explicit PersistentStoreCoordinator(std::shared_ptr<ManagedObjectModel> model);

  private:
    friend class ManagedObjectContext;
    using StoreList = std::vector<std::shared_ptr<PersistentStore>>;
    // The store list as it is now, without copying it: the list is replaced, never changed.
    std::shared_ptr<const StoreList> storeList() const EXCLUDES(mutex_);

    std::shared_ptr<ManagedObjectModel> model_;
    ErrorPtr modelError_;
    mutable Mutex mutex_;
    std::shared_ptr<const StoreList> stores_ GUARDED_BY(mutex_) = std::make_shared<StoreList>();
};

}  // namespace platform
