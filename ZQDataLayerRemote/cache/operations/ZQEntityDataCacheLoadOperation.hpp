// Reads one cached query back: its record (and row count), or its rows as sections of entity-data
// identifiers with the alphabetic index. Made by the entity data manager and run once on its cache
// operation queue with a working context of its own; it only reads and takes no lock. The result
// fields are written by the running thread before the delegate is told and read by the manager
// afterwards; mutex_ guards them so that a reader on another thread never sees a torn value.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheBaseOperation.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperationDelegate.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadResultType.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"
#include "platform/Mutex.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/AttributeDescription.hpp"

// platform::Operation already derives from enable_shared_from_this: the delegate receives
// std::static_pointer_cast<ZQEntityDataCacheLoadOperation>(shared_from_this()).
class ZQEntityDataCacheLoadOperation : public ZQEntityDataCacheBaseOperation {
  public:
    // orderIndex: an index of the data source's orders, or ZQNotFound (only for collections).
    [[nodiscard]] static std::shared_ptr<ZQEntityDataCacheLoadOperation> create(
        platform::URL queryBaseURL, std::optional<std::string> queryParameters,
        std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator,
        std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource,
        ZQEntityDataCacheLoadResultType resutlType, uint64_t orderIndex, bool breakByEnabled,
        bool alphaIndexEnabled);

    ZQEntityDataCacheLoadResultType resultType() const { return resultType_; }
    const std::shared_ptr<const ZQEntityListOrderDescriptor>& order() const { return order_; }
    const std::shared_ptr<const ZQEntityListBreakByDescriptor>& breakBy() const { return breakBy_; }
    bool breakByEnabled() const { return breakByEnabled_; }
    bool alphaIndexEnabled() const { return alphaIndexEnabled_; }

    // The rows of a collection read without grouping, kept as row numbers: the identifiers are
    // made only when loadedEntities() is asked, and the main context finds its registered objects
    // by row (ManagedObjectContext::objectWithRowID) without them.
    struct LoadedRows {
        std::shared_ptr<const platform::EntityDescription> entity;
        std::shared_ptr<platform::PersistentStore> store;
        ZQEntityDataCacheRowSections sections;  // 0: a row without entity data
    };

    // Results: none / 0 until the operation succeeded, and again after it failed.
    platform::ManagedObjectIDPtr queryObjectId() const EXCLUDES(mutex_);
    // rows: array of sections, each an array of entity-data object identifiers.
    platform::Value loadedEntities() const EXCLUDES(mutex_);
    // The same sections as row numbers when the read kept them so; none otherwise.
    std::shared_ptr<const LoadedRows> loadedRows() const EXCLUDES(mutex_);
    uint64_t count() const EXCLUDES(mutex_);
    // Array of strings; absent without an index.
    platform::Value loadedAlphaIndexTitles() const EXCLUDES(mutex_);
    // Dictionary title -> range; absent without an index.
    platform::Value loadedSectionsRangeByAlphaIndexTitles() const EXCLUDES(mutex_);

    std::shared_ptr<ZQEntityDataCacheLoadOperationDelegate> delegate() const EXCLUDES(mutex_);
    void setDelegate(const std::shared_ptr<ZQEntityDataCacheLoadOperationDelegate>& delegate)
        EXCLUDES(mutex_);

    void main() override;

    // As the base's; for a `record` read of a collection with the dictionary result type it also
    // fetches "objectID" (the record) and "count" (count: of queryEntities).
    [[nodiscard]] platform::FetchRequest queryFetchRequest(
        const std::shared_ptr<platform::ManagedObjectContext>& context,
        platform::FetchRequest::ResultType resultType) const;

    // Construction through create() only; public for make_shared.
    ZQEntityDataCacheLoadOperation(
        platform::URL queryBaseURL, std::optional<std::string> queryParameters,
        std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator,
        std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource,
        ZQEntityDataCacheLoadResultType resutlType, uint64_t orderIndex, bool breakByEnabled,
        bool alphaIndexEnabled);

  protected:
    void onFinishWithError(platform::ErrorPtr error) override;

  private:
    const ZQEntityDataCacheLoadResultType resultType_;
    std::shared_ptr<const ZQEntityListOrderDescriptor> order_;
    std::shared_ptr<const ZQEntityListBreakByDescriptor> breakBy_;
    const bool breakByEnabled_;
    const bool alphaIndexEnabled_;

    mutable platform::Mutex mutex_;
    platform::ManagedObjectIDPtr queryObjectId_ GUARDED_BY(mutex_);
    // Made from loadedRows_ on first request when the read kept row numbers.
    mutable platform::Value loadedEntities_ GUARDED_BY(mutex_);
    std::shared_ptr<const LoadedRows> loadedRows_ GUARDED_BY(mutex_);
    uint64_t count_ GUARDED_BY(mutex_) = 0;
    platform::Value loadedAlphaIndexTitles_ GUARDED_BY(mutex_);
    platform::Value loadedSectionsRangeByAlphaIndexTitles_ GUARDED_BY(mutex_);
    std::weak_ptr<ZQEntityDataCacheLoadOperationDelegate> delegate_ GUARDED_BY(mutex_);
};
