// The cache holder that a ZQModel keeps in its internal_coreDataCacheModel slot: the cache schema,
// the main-queue context and the store coordinator of that model. The model owns the holder; the
// holder owns the three store objects and the registrations of its model's two cache observers.
// Any thread: mutex_ guards the three properties; firstUseMutex_ (taken by ZQModel_ZQCoreDataCache)
// serialises creating, clearing and replacing them, and is always taken before mutex_.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

class ZQModel_ZQCoreDataCache;

class ZQModel_ZQCoreDataCacheModel : public platform::Object {
  public:
    [[nodiscard]] static std::shared_ptr<ZQModel_ZQCoreDataCacheModel> create() {
        return std::make_shared<ZQModel_ZQCoreDataCacheModel>();
    }

    std::shared_ptr<platform::ManagedObjectModel> managedObjectModel() const EXCLUDES(mutex_);
    void setManagedObjectModel(std::shared_ptr<platform::ManagedObjectModel> model)
        EXCLUDES(mutex_);
    std::shared_ptr<platform::ManagedObjectContext> managedObjectContext() const EXCLUDES(mutex_);
    void setManagedObjectContext(std::shared_ptr<platform::ManagedObjectContext> context)
        EXCLUDES(mutex_);
    std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator() const
        EXCLUDES(mutex_);
    void setPersistentStoreCoordinator(
        std::shared_ptr<platform::PersistentStoreCoordinator> coordinator) EXCLUDES(mutex_);
    // Why the coordinator's stores could not all be added at the last attempt; none once they
    // are. The coordinator is published either way; its next use tries to add them again.
    [[nodiscard]] platform::ErrorPtr storesError() const EXCLUDES(mutex_);
    void setStoresError(platform::ErrorPtr error) EXCLUDES(mutex_);

    std::string description() const override;

    ZQModel_ZQCoreDataCacheModel() = default;
    // Ends the observer registrations (outside mutex_: a running observer block may take it).
    ~ZQModel_ZQCoreDataCacheModel() override;

  private:
    friend class ZQModel_ZQCoreDataCache;

    // Kept here so that the observers of a model end with its holder (a new holder from a second
    // initialisation replaces the old registrations). Set once, before the holder is published.
    std::vector<platform::ObserverToken> observerTokens_;

    mutable platform::Mutex firstUseMutex_;
    mutable platform::Mutex mutex_ ACQUIRED_AFTER(firstUseMutex_);
    std::shared_ptr<platform::ManagedObjectModel> managedObjectModel_ GUARDED_BY(mutex_);
    std::shared_ptr<platform::ManagedObjectContext> managedObjectContext_ GUARDED_BY(mutex_);
    std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator_
        GUARDED_BY(mutex_);
    platform::ErrorPtr storesError_ GUARDED_BY(mutex_);
};
