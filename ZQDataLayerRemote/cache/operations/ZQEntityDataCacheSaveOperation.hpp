// Writes one data-service result of one query into the cache: builds the level tree from the
// JSON, takes the delegate's lock for the data source's cache entity, matches the tree against the
// cache, writes it on the process-wide cache-save queue (or, for a 304, refreshes the record's
// time stamp) and reports to its delegate. Made and queued by the entity data manager, which
// holds it while it runs. The run's state (error, lock) belongs to the thread that runs it (and
// to the cache-save queue's block while that thread waits); mutex_ guards only the delegate,
// which any thread may set.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheBaseOperation.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLevelDataWalks.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveLock.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContext.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRange.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"
#include "platform/Mutex.hpp"

class ZQQueryManagedObject;
class ZQQueryCollectionManagedObject;

class ZQEntityDataCacheSaveOperation : public ZQEntityDataCacheBaseOperation {
  public:
    // serviceQueryPage is the rows of the query that the result holds; (0, 0) when the result is
    // not a page. clearPrevious: the result replaces what is cached for the query.
    [[nodiscard]] static std::shared_ptr<ZQEntityDataCacheSaveOperation> create(
        platform::URL queryBaseURL, std::optional<std::string> queryParameters,
        std::shared_ptr<platform::PersistentStoreCoordinator> psc,
        std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource, bool clearPrevious,
        std::shared_ptr<ZQEntityDataServiceResult> serviceResult, ZQRange serviceQueryPage);

    bool clearPrevious() const { return clearPrevious_; }
    const std::shared_ptr<ZQEntityDataServiceResult>& serviceResult() const {
        return serviceResult_;
    }
    ZQRange serviceQueryPage() const { return serviceQueryPage_; }

    std::shared_ptr<ZQEntityDataCacheSaveOperationDelegate> delegate() const EXCLUDES(mutex_);
    void setDelegate(std::weak_ptr<ZQEntityDataCacheSaveOperationDelegate> delegate)
        EXCLUDES(mutex_);

    void main() override;

    // Through create() only; public for make_shared.
    ZQEntityDataCacheSaveOperation(platform::URL queryBaseURL,
                                   std::optional<std::string> queryParameters,
                                   std::shared_ptr<platform::PersistentStoreCoordinator> psc,
                                   std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource,
                                   bool clearPrevious,
                                   std::shared_ptr<ZQEntityDataServiceResult> serviceResult,
                                   ZQRange serviceQueryPage);

  protected:
    // Tells the delegate, unless cancelled or the delegate is gone, then finishes.
    void onFinishWithError(platform::ErrorPtr error) override;

  private:
    bool isRunning() const { return !error_ && !isCancelled(); }
    void setErrorUnlessCancelled(platform::ErrorPtr error);
    bool isCollection() const;

    // Building: the tree of the result, and the single item that must have data.
    void buildTree(ZQEntityDataCacheSaveOperationContext& context,
                   ZQEntityDataCacheLevelDataWalks& walks);
    // Matching and writing under the delegate's lock of the entity; gives the lock back after.
    void matchAndWriteUnderLock(ZQEntityDataCacheSaveOperationContext& context,
                                ZQEntityDataCacheLevelDataWalks& walks);
    void matchAndWrite(ZQEntityDataCacheSaveOperationContext& context,
                       ZQEntityDataCacheLevelDataWalks& walks);
    void releaseLock();

    void findExistingRecord(ZQEntityDataCacheSaveOperationContext& context);
    void findExistingRows(ZQEntityDataCacheSaveOperationContext& context);

    // On the cache-save queue.
    void write(ZQEntityDataCacheSaveOperationContext& context,
               ZQEntityDataCacheLevelDataWalks& walks);
    std::shared_ptr<ZQQueryManagedObject> queryRecord(
        const ZQEntityDataCacheSaveOperationContext& context,
        platform::ManagedObjectContext& writeContext);
    // The record's time stamps (a first page or a new record) and Last-Modified (a first page).
    [[nodiscard]] platform::ErrorPtr stampRecord(ZQQueryManagedObject& record) const;
    void writeSingleItem(const ZQEntityDataCacheSaveOperationContext& context,
                         ZQQueryManagedObject& record);
    void writeRows(const ZQEntityDataCacheSaveOperationContext& context,
                   platform::ManagedObjectContext& writeContext,
                   const std::shared_ptr<ZQQueryManagedObject>& record);
    // Whether the query's rows are all cached once `rows` rows of this result are.
    [[nodiscard]] platform::ErrorPtr setComplete(ZQQueryCollectionManagedObject& query,
                                                 size_t rows) const;
    // Gives each entity data of the context's level its row of the query, at the page's
    // location + first + its index, and deletes the context's surplus rows. An object placed
    // already keeps its first row: earlier in the level, or (placedBefore: sorted row numbers)
    // by an earlier run of a batched save.
    void placeRows(const ZQEntityDataCacheSaveOperationContext& context,
                   platform::ManagedObjectContext& writeContext,
                   const std::shared_ptr<ZQQueryCollectionManagedObject>& query, size_t first,
                   const std::vector<int64_t>* placedBefore);

    // ---- a collection saved a run of rows at a time, in one store transaction
    // (ZQEntityDataCacheSaveOperationBatches.cpp)
    struct Batches;
    // Whether this result is saved in runs: a collection kept as text, or of more rows than a run.
    bool savesInBatches() const;
    bool decideBatches() const;
    // On the cache-save queue, under the entity's lock.
    void writeInBatches(ZQEntityDataCacheSaveOperationContext& context,
                        ZQEntityDataCacheLevelDataWalks& walks);
    // Hands each run of the result's rows to `run`, in order, until it returns false.
    void readRuns(const std::function<bool(const platform::Value& items)>& run);
    bool writeRun(Batches& batches, const platform::Value& items,
                  ZQEntityDataCacheSaveOperationContext& context,
                  ZQEntityDataCacheLevelDataWalks& walks);
    bool deletePreviousRows(Batches& batches);
    // Saves one step's context into the open batch, keeping what it changed for the merge.
    bool saveStep(Batches& batches, const std::shared_ptr<platform::ManagedObjectContext>& step);
    // After the commit: the main context takes the changes, on the main thread.
    void mergeBatchesIntoMainContext(const Batches& batches);
    void refreshTimeStamp(const ZQEntityDataCacheSaveOperationContext& context);
    void saveContext(const std::shared_ptr<platform::ManagedObjectContext>& writeContext);

    const bool clearPrevious_;
    const std::shared_ptr<ZQEntityDataServiceResult> serviceResult_;
    const ZQRange serviceQueryPage_;

    // The first failure of the run; once set no later step runs.
    platform::ErrorPtr error_;
    std::shared_ptr<ZQEntityDataCacheSaveLock> lock_;
    bool batched_ = false;  // decided as the run starts

    mutable platform::Mutex mutex_;
    std::weak_ptr<ZQEntityDataCacheSaveOperationDelegate> delegate_ GUARDED_BY(mutex_);
};
