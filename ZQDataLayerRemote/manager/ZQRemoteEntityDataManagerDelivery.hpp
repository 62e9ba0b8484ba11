// The entity data manager's results and their delivery: the one result a loader context's cache
// read gives (records and rows turned into objects of the cache's main context), the standard
// no-data and error results, and the calls that hand a result to waiting delegates. Stateless
// static functions. resultFromContext and the notify functions run on the main thread only (the
// main context and every delegate call belong to it); the result builders run anywhere.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQEntityDataManagerCacheLoaderContext.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"
#include "platform/Error.hpp"

class ZQRemoteEntityDataManagerDelivery {
  public:
    using Pairs = std::vector<std::pair<ZQEntityDataManagerLoaderContext::QueryInfoPtr,
                                        ZQEntityDataManagerLoaderContext::DelegatePtr>>;

    // Remote for a remote loader context (its queries asked the server, or could have), Cache
    // for the context of a Local query.
    static ZQEntityDataQueryResultSourceType sourceForContext(
        const ZQEntityDataManagerLoaderContext& context);

    // Main thread. What the context's cache load operation read: rows (collection) or the item
    // (single item) with the record's dates; for a record read of a collection the up-to-date
    // answer; for a query never cached read as rows, no data; otherwise the default error.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryResult> resultFromContext(
        const ZQEntityDataManagerCacheLoaderContext& context);

    // No data: a single item without item, or a collection without rows that is not complete.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryResult>
    remoteNoDataResultWithSource(ZQEntityDataQueryResultSourceType source, bool collection);
    // A failed result of the given kind.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryResult> errorResult(
        platform::ErrorPtr error, bool collection, ZQEntityDataQueryResultSourceType source);

    // Main thread. The no-data answer to one query: source Cache for a Local query, else Remote.
    static void notifyResultWithNoData(
        const std::shared_ptr<ZQEntityDataManager>& manager,
        const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
        const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate);
    // Main thread. The one result object to each pair in order; delegates that are gone are
    // skipped.
    static void notifyResult(const std::shared_ptr<ZQEntityDataQueryResult>& result,
                             const std::shared_ptr<ZQEntityDataManager>& manager,
                             const Pairs& pairs);
};
