// Shared pieces of the cache operation tests: an application model with a cached and a
// non-cached collection provider (each with a sublevel of lines), a keyless cached collection and
// a single-item provider, made the running model with its cache in a temporary application root;
// JSON items and service results for it; a save delegate that records what it is told and hands
// out instrumented locks; and readers of what the cache holds. The environment belongs to one
// test (the main thread's); the delegate and its locks are thread-safe (each has a mutex).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"
#include "platform/Mutex.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/URL.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "tests/support/TempDir.hpp"

namespace zqtest {

// Providers of the cache operation model. Orders have ten fields (OrderId is the key) and a
// sublevel "Line" (LineId is its key); orders ById, ByName (alphabetic index), ByCategory
// (grouped on the category), ByPriority (alphabetic index on a number); break-by on Region.
inline constexpr const char* kCachedOrders = "Shop.Orders";       // cache enabled: SQLite store
inline constexpr const char* kLiveOrders = "Shop.LiveOrders";     // cache disabled: memory store
inline constexpr const char* kEvents = "Shop.Events";             // cached, no storage key
inline constexpr const char* kOrderDetail = "Shop.Order.Detail";  // single item, with lines

std::string cacheOperationModelJSON();

// The model above, made the running model with its cache schema, in a fresh application root;
// the previous model and root come back when the environment goes.
class CacheOperationEnvironment {
  public:
    CacheOperationEnvironment();
    ~CacheOperationEnvironment();
    CacheOperationEnvironment(const CacheOperationEnvironment&) = delete;
    CacheOperationEnvironment& operator=(const CacheOperationEnvironment&) = delete;

    std::shared_ptr<const ZQEntityDataSourceDescriptor> collection(
        const std::string& provider) const;
    std::shared_ptr<const ZQEntityDataSourceDescriptor> singleItem(
        const std::string& provider) const;
    std::shared_ptr<platform::PersistentStoreCoordinator> coordinator() const;
    // The main thread's context of the cache.
    std::shared_ptr<platform::ManagedObjectContext> mainContext() const;
    // A private context for reading what the cache holds now.
    std::shared_ptr<platform::ManagedObjectContext> newContext() const;

    // A save operation of a provider's query, "<server>/rest/<provider>" with the parameters.
    std::shared_ptr<ZQEntityDataCacheSaveOperation> saveOperation(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
        std::shared_ptr<ZQEntityDataServiceResult> result, bool clearPrevious, ZQRange page,
        std::optional<std::string> parameters = std::string("zqid=1"));
    static platform::URL queryURL(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source);

    // Runs the operation on the queue and drives the main loop until it has finished.
    void run(const std::shared_ptr<platform::Operation>& operation);
    void runAll(const std::vector<std::shared_ptr<platform::Operation>>& operations);

    TempDir root;
    std::shared_ptr<const ZQApplicationModel> appModel;
    std::shared_ptr<ZQModel> model;
    std::shared_ptr<platform::OperationQueue> queue;

  private:
    std::shared_ptr<ZQModel> previousModel_;
    std::filesystem::path previousRoot_;
};

// ---- results

// One order: OrderId = id, a name of its own, and `lines` lines with LineId id * 100 + line.
platform::Value orderItem(int64_t id, int lines = 2, const std::string& namePrefix = "Order");
// Orders first .. first + count - 1.
platform::Value orderItems(int64_t first, int64_t count, int lines = 2,
                           const std::string& namePrefix = "Order");
platform::Value eventItem(const std::string& name);
std::shared_ptr<ZQEntityDataServiceResult> collectionResult(
    platform::Value data, int64_t status = 200,
    std::optional<platform::Date> lastModified = std::nullopt);
std::shared_ptr<ZQEntityDataServiceResult> singleItemResult(
    platform::Value data, int64_t status = 200,
    std::optional<platform::Date> lastModified = std::nullopt);

// ---- the save delegate

// A lock that counts its holders and can run a hook while held (to widen windows or to meet
// another lock). Thread-safe.
class InstrumentedSaveLock : public ZQEntityDataCacheSaveLock {
  public:
    explicit InstrumentedSaveLock(std::string name) : name_(std::move(name)) {}
    void lock() override;
    void unlock() override;
    const std::string& name() const { return name_; }
    bool isHeld() const EXCLUDES(mutex_);
    int maxHolders() const EXCLUDES(mutex_);
    int timesLocked() const EXCLUDES(mutex_);
    // Runs right after each lock, on the locking thread, with the lock held.
    void setOnLocked(std::function<void()> hook) EXCLUDES(mutex_);

  private:
    const std::string name_;
    platform::Mutex lock_;  // the lock handed out
    mutable platform::Mutex mutex_;
    int holders_ GUARDED_BY(mutex_) = 0;
    int maxHolders_ GUARDED_BY(mutex_) = 0;
    int timesLocked_ GUARDED_BY(mutex_) = 0;
    std::function<void()> onLocked_ GUARDED_BY(mutex_);
};

class RecordingSaveDelegate : public ZQEntityDataCacheSaveOperationDelegate {
  public:
    std::shared_ptr<ZQEntityDataCacheSaveLock> entityDataCacheSaveOperationObtainLockForEntityName(
        const std::string& entityName) override EXCLUDES(mutex_);
    void entityDataCacheSaveOperationReleaseLock(
        const std::shared_ptr<ZQEntityDataCacheSaveLock>& lock) override EXCLUDES(mutex_);
    void entityDataCacheSaveOperationDidFinishSaving(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation) override EXCLUDES(mutex_);
    void entityDataCacheSaveOperationDidFailSavingWithError(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation,
        const platform::ErrorPtr& error) override EXCLUDES(mutex_);

    // The one lock of that entity name (made on first use).
    std::shared_ptr<InstrumentedSaveLock> lockNamed(const std::string& name) EXCLUDES(mutex_);
    // Runs inside ObtainLock, after the lock was chosen.
    std::function<void(const std::string&)> onObtain;

    int obtained() const EXCLUDES(mutex_);
    int released() const EXCLUDES(mutex_);
    int finished() const EXCLUDES(mutex_);
    std::vector<platform::ErrorPtr> failures() const EXCLUDES(mutex_);
    // Operations told of success, in order.
    std::vector<const void*> finishedOperations() const EXCLUDES(mutex_);

  private:
    mutable platform::Mutex mutex_;
    std::map<std::string, std::shared_ptr<InstrumentedSaveLock>> locks_ GUARDED_BY(mutex_);
    int obtained_ GUARDED_BY(mutex_) = 0;
    int released_ GUARDED_BY(mutex_) = 0;
    std::vector<const void*> finished_ GUARDED_BY(mutex_);
    std::vector<platform::ErrorPtr> failures_ GUARDED_BY(mutex_);
};

// ---- reading the cache back (in a context of the caller's thread)

struct CachedQuery {
    platform::ManagedObjectIDPtr id;
    std::optional<platform::Date> timeStamp, dataTimeStamp, lastModified;
    std::optional<bool> complete;
};
// The record of the query; none when it is not cached.
std::optional<CachedQuery> cachedQuery(
    platform::ManagedObjectContext& context,
    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
    const std::optional<std::string>& parameters = std::string("zqid=1"));

struct CachedRow {
    int64_t rowId = 0;
    platform::ManagedObjectIDPtr rowObjectID;
    std::shared_ptr<platform::ManagedObject> entity;
};
// The rows of the query ordered by rowId.
std::vector<CachedRow> cachedRows(
    platform::ManagedObjectContext& context,
    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source,
    const std::optional<std::string>& parameters = std::string("zqid=1"));
// How many objects the entity holds.
int64_t countOf(platform::ManagedObjectContext& context, const std::string& entityName);
// The objects of an entity whose attribute equals the value.
std::vector<std::shared_ptr<platform::ManagedObject>> objectsWhere(
    platform::ManagedObjectContext& context, const std::string& entityName,
    const std::string& attribute, const platform::Value& value);
// The members of an ordered to-many relationship.
std::vector<std::shared_ptr<platform::ManagedObject>> related(
    const std::shared_ptr<platform::ManagedObject>& object, const std::string& relationship);

}  // namespace zqtest
