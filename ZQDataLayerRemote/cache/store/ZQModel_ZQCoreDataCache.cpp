#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"

#include <filesystem>
#include <system_error>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQResources.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "platform/FileSystem.hpp"
#include "platform/MainLoop.hpp"

namespace fs = std::filesystem;
using platform::ErrorPtr;
using platform::PersistentStoreCoordinator;
using StoreType = platform::PersistentStoreCoordinator::StoreType;

namespace {

void logIfEnabled(const std::string& message, int64_t level) {
    auto logger = ZQLog::loggerService();
    if (logger && logger->isLogEnabled()) logger->logMessage(message, ZQLogTypeData, level, true);
}

// The cache's files go through the process's file system (a test may make it fail).
bool fileExists(const std::string& path) {
    return platform::FileSystem::current()->exists(path);
}

bool removeFile(const std::string& path) {
    return !platform::FileSystem::current()->remove(path);
}

// A file can be removed when it exists and its folder may be written.
bool isDeletableFile(const std::string& path) {
    if (!fileExists(path)) return false;
    return platform::FileSystem::current()->isWritableDirectory(fs::path(path).parent_path());
}

// A first start takes the database shipped at the top of the bundle, but only a complete one:
// without its write-ahead log and shared memory the copy could be older than what the log holds.
void seedFromBundle(const std::string& storePath) {
    auto bundle = ZQBundle::mainBundle();
    if (!bundle || bundle->bundlePath().empty()) return;
    std::string seed = (bundle->bundlePath() / ZQModel_ZQCoreDataCache::kStoreFileName).string();
    if (!fileExists(seed) || !fileExists(seed + "-wal") || !fileExists(seed + "-shm")) return;
    bool copied = true;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (platform::FileSystem::current()->copyFile(seed + suffix, storePath + suffix)) {
            copied = false;
            break;
        }
    }
    if (!copied) {
        for (const char* suffix : {"", "-wal", "-shm"}) removeFile(storePath + suffix);
    }
}

bool isIncompatibleStoreError(const ErrorPtr& error) {
    return error->domain() == platform::kErrorDomain &&
           (error->code() == platform::errc::kIncompatibleVersion ||
            error->code() == platform::errc::kIncompatibleSchema);
}

// The file is not a database of ours (not SQLite, damaged, another schema or version): what it
// holds can never be read, so deleting it loses nothing. Any other failure (a file busy in
// another process, an I/O error, permissions, a full disk) may pass; the file stays.
bool isUnreadableStoreError(const ErrorPtr& error) {
    return isIncompatibleStoreError(error) || (error->domain() == platform::kErrorDomain &&
                                               error->code() == platform::errc::kInvalidFile);
}

// The store could not be opened. A file that can never be read is deleted and made again: the
// user is told (a store of an older schema is expected after an update, so that is only
// logged). Any other failure leaves the files as they are. None when a fresh store was opened.
ErrorPtr recreateSQLiteStore(PersistentStoreCoordinator& coordinator,
                             const std::string& configuration, const std::string& path,
                             const ErrorPtr& openError) {
    if (!isUnreadableStoreError(openError)) {
        logIfEnabled("The data cache cannot be opened now; its files are kept: " +
                         openError->localizedDescription(),
                     ZQLogLevelError);
        return openError;
    }
    std::string message = ZQResources::translationFor("ZQM_ApplicationCacheHasBeenCleared");
    if (isIncompatibleStoreError(openError)) {
        logIfEnabled(message, ZQLogLevelWarning);
    } else {
        ZQFoundationServices::alertMessageService()->showAlertWithTitle(
            openError->localizedDescription(), message);
    }
    if (!isDeletableFile(path) || !removeFile(path)) return openError;
    for (const char* suffix : {"-wal", "-shm"}) {
        std::string companion = path + suffix;
        if (fileExists(companion) && !removeFile(companion)) return openError;
    }
    auto again = coordinator.addPersistentStore(StoreType::SQLite, configuration, path);
    return again.error ? openError : nullptr;
}

void logIfOpenFailed(const ErrorPtr& error) {
    if (!error) return;
    logIfEnabled("Unresolved error " + error->description() + ", " +
                     platform::Value(error->userInfo()).description(),
                 ZQLogLevelError);
}

bool hasStoreForConfiguration(const PersistentStoreCoordinator& coordinator,
                              const std::string& configuration) {
    for (const auto& store : coordinator.persistentStores())
        if (store->configurationName() == configuration) return true;
    return false;
}

}  // namespace

bool ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
    const std::shared_ptr<ZQModel>& model, const platform::Dictionary& modelObjects) {
    if (!model) return false;
    auto schema = std::dynamic_pointer_cast<platform::ManagedObjectModel>(
        modelObjects.get(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel).object());
    if (!schema) return false;

    auto holder = ZQModel_ZQCoreDataCacheModel::create();
    holder->setManagedObjectModel(std::move(schema));
    // The blocks hold the model weakly: the model owns the holder, which owns the registrations.
    std::weak_ptr<ZQModel> weakModel = model;
    auto& center = platform::NotificationCenter::defaultCenter();
    holder->observerTokens_.push_back(center.addObserver(
        ZQModelInternalClearCacheNotification, model.get(),
        [weakModel](const platform::Notification& notification) {
            if (auto strong = weakModel.lock())
                internalCoreDataCacheClearCacheModelNotification(strong, notification);
        }));
    holder->observerTokens_.push_back(center.addObserver(
        ZQModelInternalUpdateModelNotification, model.get(),
        [weakModel](const platform::Notification& notification) {
            if (auto strong = weakModel.lock())
                internalCoreDataCacheUpdateModelNotification(strong, notification);
        }));

    // A replaced holder ends its registrations when it goes, which waits for its running blocks;
    // keep it until the model's slot lock is released, since those blocks read the slot.
    auto previous = model->internal_coreDataCacheModel();
    model->setInternal_coreDataCacheModel(holder);
    return true;
}

std::shared_ptr<ZQModel_ZQCoreDataCacheModel> ZQModel_ZQCoreDataCache::coreDataCacheModel(
    const std::shared_ptr<ZQModel>& model) {
    if (!model) return nullptr;
    return std::dynamic_pointer_cast<ZQModel_ZQCoreDataCacheModel>(
        model->internal_coreDataCacheModel());
}

std::shared_ptr<platform::ManagedObjectModel> ZQModel_ZQCoreDataCache::managedObjectModel(
    const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    return holder ? holder->managedObjectModel() : nullptr;
}

std::shared_ptr<PersistentStoreCoordinator> ZQModel_ZQCoreDataCache::persistentStoreCoordinator(
    const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    if (!holder) return nullptr;
    auto coordinator = holder->persistentStoreCoordinator();
    if (coordinator && !holder->storesError()) return coordinator;
    platform::MutexLock lock(holder->firstUseMutex_);
    if (auto existing = holder->persistentStoreCoordinator()) {
        // A file that was busy (or failed otherwise) at the last attempt is tried at each use.
        if (holder->storesError())
            logIfOpenFailed(addPersistentStoresToCoordinator(model, existing));
        return existing;
    }
    return coordinatorHoldingFirstUseLock(model, *holder);
}

std::shared_ptr<PersistentStoreCoordinator>
ZQModel_ZQCoreDataCache::existingPersistentStoreCoordinator(const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    return holder ? holder->persistentStoreCoordinator() : nullptr;
}

ErrorPtr ZQModel_ZQCoreDataCache::storesError(const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    return holder ? holder->storesError() : nullptr;
}

std::shared_ptr<PersistentStoreCoordinator> ZQModel_ZQCoreDataCache::coordinatorHoldingFirstUseLock(
    const std::shared_ptr<ZQModel>& model, ZQModel_ZQCoreDataCacheModel& holder) {
    if (auto coordinator = holder.persistentStoreCoordinator()) return coordinator;
    if (!model->appModel()) return nullptr;
    auto schema = holder.managedObjectModel();
    if (!schema) return nullptr;  // the update-model notification brought no schema
    auto coordinator = PersistentStoreCoordinator::create(std::move(schema));
    logIfOpenFailed(addPersistentStoresToCoordinator(model, coordinator));
    // Published once its stores are added, so that no caller works on a coordinator still
    // without stores.
    holder.setPersistentStoreCoordinator(coordinator);
    return coordinator;
}

std::shared_ptr<platform::ManagedObjectContext> ZQModel_ZQCoreDataCache::managedObjectContext(
    const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    if (!holder) return nullptr;
    if (auto context = holder->managedObjectContext()) return context;
    platform::MutexLock lock(holder->firstUseMutex_);
    if (auto context = holder->managedObjectContext()) return context;
    auto coordinator = coordinatorHoldingFirstUseLock(model, *holder);
    if (!coordinator) return nullptr;
    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::MainQueue);
    // The screens' rows stay registered only while a result or a screen holds them.
    context->setRetainsRegisteredObjects(false);
    context->setPersistentStoreCoordinator(std::move(coordinator));
    holder->setManagedObjectContext(context);
    return context;
}

std::string ZQModel_ZQCoreDataCache::cacheSQLStoreURLPath(const std::shared_ptr<ZQModel>& model) {
    if (!model || !model->appModel()) return {};
    auto caches = ZQObjectsModelServices::applicationStorageService()
                      ->applicationCachesDirectoryForApplication(model->appModel()->name(), true);
    if (!caches) return {};
    return (*caches / kStoreFileName).string();
}

ErrorPtr ZQModel_ZQCoreDataCache::addPersistentStores(const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    auto coordinator = holder ? holder->persistentStoreCoordinator() : nullptr;
    if (!coordinator)
        return defaultZQErrorWithDeveloperDescription("The data cache has no store coordinator");
    platform::MutexLock lock(holder->firstUseMutex_);
    return addPersistentStoresToCoordinator(model, coordinator);
}

ErrorPtr ZQModel_ZQCoreDataCache::addPersistentStoresToCoordinator(
    const std::shared_ptr<ZQModel>& model,
    const std::shared_ptr<PersistentStoreCoordinator>& coordinator) {
    std::string path = cacheSQLStoreURLPath(model);
    if (!path.empty() && !fileExists(path)) seedFromBundle(path);

    // With named configurations the SQLite file keeps the "sql" entities and a memory store the
    // rest; without, the file keeps every entity.
    bool configured = coordinator->managedObjectModel()->configurations().size() >= 2;
    std::string sqlConfiguration = configured ? ZQModelSQLStoreConfiguration : "";
    // A second attempt adds only what the first could not.
    ErrorPtr result;
    if (!hasStoreForConfiguration(*coordinator, sqlConfiguration)) {
        result = coordinator->addPersistentStore(StoreType::SQLite, sqlConfiguration, path).error;
        if (result) result = recreateSQLiteStore(*coordinator, sqlConfiguration, path, result);
    }
    if (configured && !result &&
        !hasStoreForConfiguration(*coordinator, ZQModelMemoryStoreConfiguration)) {
        result = coordinator
                     ->addPersistentStore(StoreType::InMemory, ZQModelMemoryStoreConfiguration, "")
                     .error;
    }
    if (auto holder = coreDataCacheModel(model)) holder->setStoresError(result);
    return result;
}

ErrorPtr ZQModel_ZQCoreDataCache::clearCoreDataCache(const std::shared_ptr<ZQModel>& model) {
    auto holder = coreDataCacheModel(model);
    if (!holder) return clearHoldingFirstUseLock(model, nullptr);
    ErrorPtr result;
    std::shared_ptr<platform::ManagedObjectContext> context;
    {
        platform::MutexLock lock(holder->firstUseMutex_);
        result = clearHoldingFirstUseLock(model, holder->persistentStoreCoordinator());
        context = holder->managedObjectContext();
    }
    resetMainContext(context);
    return result;
}

void ZQModel_ZQCoreDataCache::resetMainContext(
    const std::shared_ptr<platform::ManagedObjectContext>& context) {
    // The rows of the files just removed must not be served from memory; the context is the
    // main thread's, so another thread's clear resets it there.
    if (!context) return;
    if (platform::isMainThread()) {
        context->reset();
        return;
    }
    platform::dispatchAsyncOnMain([weak = std::weak_ptr<platform::ManagedObjectContext>(context)] {
        if (auto context = weak.lock()) context->reset();
    });
}

ErrorPtr ZQModel_ZQCoreDataCache::clearHoldingFirstUseLock(
    const std::shared_ptr<ZQModel>& model,
    const std::shared_ptr<PersistentStoreCoordinator>& coordinator) {
    std::string path = cacheSQLStoreURLPath(model);
    if (coordinator) {
        // Removed stores close once the last user lets go; here that is at the end of this block,
        // before their files are deleted.
        auto stores = coordinator->persistentStores();
        for (const auto& store : stores)
            if (ErrorPtr error = coordinator->removePersistentStore(store)) return error;
    }
    ErrorPtr fileError;
    if (!path.empty()) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::string file = path + suffix;
            std::error_code ec;
            if (fileExists(file) && (ec = platform::FileSystem::current()->remove(file)) &&
                !fileError) {
                fileError = platform::Error::create(
                    platform::kErrorDomain, platform::errc::kFileWriteUnknown,
                    "The file " + file + " cannot be removed: " + ec.message());
            }
        }
    }
    if (!coordinator) return fileError;
    ErrorPtr addError = addPersistentStoresToCoordinator(model, coordinator);
    return fileError ? fileError : addError;
}

void ZQModel_ZQCoreDataCache::internalCoreDataCacheClearCacheModelNotification(
    const std::shared_ptr<ZQModel>& model, const platform::Notification& /*notification*/) {
    (void)clearCoreDataCache(model);
}

void ZQModel_ZQCoreDataCache::internalCoreDataCacheUpdateModelNotification(
    const std::shared_ptr<ZQModel>& model, const platform::Notification& notification) {
    auto holder = coreDataCacheModel(model);
    if (!holder) return;
    auto newModel =
        std::dynamic_pointer_cast<ZQModel>(notification.userInfo().get(ZQModelModelKey).object());
    auto schema = managedObjectModel(newModel);
    // The dropped objects go after the lock: the context may be the last owner of the coordinator.
    std::shared_ptr<platform::ManagedObjectContext> droppedContext;
    std::shared_ptr<PersistentStoreCoordinator> droppedCoordinator;
    platform::MutexLock lock(holder->firstUseMutex_);
    droppedContext = holder->managedObjectContext();
    droppedCoordinator = holder->persistentStoreCoordinator();
    holder->setManagedObjectModel(std::move(schema));
    holder->setManagedObjectContext(nullptr);
    holder->setPersistentStoreCoordinator(nullptr);
}
