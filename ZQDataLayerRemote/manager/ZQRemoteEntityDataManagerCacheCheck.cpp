#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerCacheCheck.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"

namespace {

// The caching frequency type that refreshes only after a window of minutes.
constexpr uint8_t kFrequencyAfterElapsedTime = 1;

}  // namespace

ZQRemoteEntityDataManagerCacheCheck::Record ZQRemoteEntityDataManagerCacheCheck::readRecord(
    const ZQEntityDataCacheLoadOperation& operation) {
    Record out;
    platform::ManagedObjectIDPtr recordID = operation.queryObjectId();
    if (!recordID) return out;
    // The main context belongs to the main thread; this runs on a cache-queue thread.
    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(operation.psc());
    auto fetched = context->existingObjectWithID(recordID);
    auto record = std::dynamic_pointer_cast<ZQQueryManagedObject>(fetched.object);
    if (fetched.error || !record) {
        out.readable = false;
        return out;
    }
    out.timeStamp = record->timeStamp();
    out.lastModified = record->lastModified();
    if (auto* collection = dynamic_cast<ZQQueryCollectionManagedObject*>(record.get())) {
        out.complete = collection->complete().value_or(false);
    }
    return out;
}

ZQRemoteEntityDataManagerCacheCheck::Decision ZQRemoteEntityDataManagerCacheCheck::decide(
    const Record& record, bool force, bool refresh,
    const ZQRemoteEntityDataSourceDescriptor* dataSource, platform::Date now) {
    bool stale = true;
    if (record.timeStamp && refresh && !force && dataSource &&
        dataSource->entityDataSourceCacheEnabled() &&
        dataSource->entityDataSourceCachingFrequencyType() == kFrequencyAfterElapsedTime) {
        const uint32_t minutes = dataSource->entityDataSourceCachingFrequencyAfterElipsedTime();
        if (minutes > 0) {
            const platform::Date freshUntil =
                record.timeStamp->addingTimeInterval(static_cast<double>(minutes) * 60.0);
            stale = !(freshUntil > now);
        }
    }
    if (force || !record.complete || refresh) return stale ? Decision::Server : Decision::Cache;
    // Complete, not forced, and only next pages wait: the rows they hold are all there is.
    return Decision::UpToDate;
}

ZQRange ZQRemoteEntityDataManagerCacheCheck::pageRange(uint64_t maxPageSize, uint64_t cachedCount,
                                                       bool anyAllLoadedData, bool refresh) {
    if (maxPageSize == 0) return ZQRange{0, 0};
    if (anyAllLoadedData) return ZQRange{0, std::max(maxPageSize, cachedCount)};
    return refresh ? ZQRange{0, maxPageSize} : ZQRange{cachedCount, maxPageSize};
}
