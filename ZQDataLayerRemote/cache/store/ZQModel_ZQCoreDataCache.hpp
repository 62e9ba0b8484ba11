// The data cache of one application model, hung off the host's ZQModel: the schema taken from the
// model objects, the coordinator with its SQLite and memory stores (created on first use), the
// main-queue context, the store files and their clearing. Static functions taking the model first;
// the state lives in the model's ZQModel_ZQCoreDataCacheModel holder. Any thread may call them:
// the holder's first-use lock keeps two first callers from building two coordinators and keeps
// clearing and schema replacement apart from creation. The context itself is the main thread's.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCacheModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/Error.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

// Key of the cache schema among the model objects that the model manager gathers.
inline constexpr const char* ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel =
    "ZQCoreDataCacheManagedObjectModel";
// Configuration of the entities kept in the SQLite file.
inline constexpr const char* ZQModelSQLStoreConfiguration = "sql";
// Configuration of the entities kept in memory only.
inline constexpr const char* ZQModelMemoryStoreConfiguration = "memory";

class ZQModel_ZQCoreDataCache {
  public:
    // Name of the SQLite file in the caches directory (and of the seed at the top of the bundle).
    static constexpr const char* kStoreFileName = "AppDB.sqlite";

    // Takes the schema (a Value::object of a platform::ManagedObjectModel) under
    // ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel; false, changing nothing, when it is
    // absent or of another kind. Otherwise installs a new holder with that schema and observes the
    // model's internal clear-cache and update-model notifications (sent by this model only).
    static bool initializeZQCoreDataCacheWithModelObjects(const std::shared_ptr<ZQModel>& model,
                                                          const platform::Dictionary& modelObjects);

    // The holder, or none before initialisation.
    static std::shared_ptr<ZQModel_ZQCoreDataCacheModel> coreDataCacheModel(
        const std::shared_ptr<ZQModel>& model);
    static std::shared_ptr<platform::ManagedObjectModel> managedObjectModel(
        const std::shared_ptr<ZQModel>& model);
    // Created on first use with its stores added; none without a holder or an application model.
    // A failure to add the stores is logged; the coordinator is returned all the same, and each
    // later call tries to add the missing stores again (storesError tells whether they are in).
    // The first call may wait for a busy file (up to 30 s): call it off the main thread.
    static std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator(
        const std::shared_ptr<ZQModel>& model);
    // The coordinator if one was made; never opens anything, so any thread may ask.
    static std::shared_ptr<platform::PersistentStoreCoordinator> existingPersistentStoreCoordinator(
        const std::shared_ptr<ZQModel>& model);
    // Why the stores are not all open after the last attempt; none when they are (or before).
    [[nodiscard]] static platform::ErrorPtr storesError(const std::shared_ptr<ZQModel>& model);
    // The main-queue context on the coordinator, created on first use; none without coordinator.
    static std::shared_ptr<platform::ManagedObjectContext> managedObjectContext(
        const std::shared_ptr<ZQModel>& model);

    // <caches directory of the application>/AppDB.sqlite (the directory is made when missing);
    // empty when the model has no application model or the directory cannot be had.
    static std::string cacheSQLStoreURLPath(const std::shared_ptr<ZQModel>& model);

    // Adds the SQLite store (seeded from the bundle on a first start; deleted and made again only
    // when the file is not a database of ours or is of another schema or version, never when it
    // is busy or cannot be read now) and, when the schema has configurations, the memory store, to
    // the holder's coordinator. None on success.
    [[nodiscard]] static platform::ErrorPtr addPersistentStores(
        const std::shared_ptr<ZQModel>& model);
    // Removes the coordinator's stores, deletes the store files and adds the stores again. With no
    // coordinator yet, only the files go. The context is kept, and reset on the main thread (at
    // once when this runs there) so that it holds no row of the removed files.
    [[nodiscard]] static platform::ErrorPtr clearCoreDataCache(
        const std::shared_ptr<ZQModel>& model);

    // ZQModelInternalClearCacheNotification: clears the cache, ignoring the outcome.
    static void internalCoreDataCacheClearCacheModelNotification(
        const std::shared_ptr<ZQModel>& model, const platform::Notification& notification);
    // ZQModelInternalUpdateModelNotification: takes the new model's schema and drops the
    // coordinator and the context, so both are built again on the new schema at their next use.
    static void internalCoreDataCacheUpdateModelNotification(
        const std::shared_ptr<ZQModel>& model, const platform::Notification& notification);

  private:
    static platform::ErrorPtr addPersistentStoresToCoordinator(
        const std::shared_ptr<ZQModel>& model,
        const std::shared_ptr<platform::PersistentStoreCoordinator>& coordinator);
    static std::shared_ptr<platform::PersistentStoreCoordinator> coordinatorHoldingFirstUseLock(
        const std::shared_ptr<ZQModel>& model, ZQModel_ZQCoreDataCacheModel& holder)
        REQUIRES(holder.firstUseMutex_);
    static platform::ErrorPtr clearHoldingFirstUseLock(
        const std::shared_ptr<ZQModel>& model,
        const std::shared_ptr<platform::PersistentStoreCoordinator>& coordinator);
    static void resetMainContext(const std::shared_ptr<platform::ManagedObjectContext>& context);
};
