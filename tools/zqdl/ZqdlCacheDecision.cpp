#include "tools/zqdl/ZqdlCacheDecision.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"

namespace zqdl {

namespace {

std::string afterRequests(const std::vector<int>& statuses) {
    const bool all304 =
        std::all_of(statuses.begin(), statuses.end(), [](int status) { return status == 304; });
    std::string count =
        statuses.size() == 1 ? "1 request" : std::to_string(statuses.size()) + " requests";
    if (all304) {
        return "asked the server (" + count +
               ") with If-Modified-Since set to the cached Last-Modified; 304 Not Modified: the "
               "cached rows were kept, their time stamp renewed, and read back from the cache";
    }
    return "asked the server (" + count +
           "); the answer was saved into the cache and the page read back from it";
}

}  // namespace

std::string ZqdlCacheDecision::explain(const ZQEntityDataQueryInfo& query,
                                       const ZQEntityDataQueryResult& result,
                                       const std::optional<std::vector<int>>& statuses) {
    const auto* remote = dynamic_cast<const ZQRemoteEntityDataQueryResult*>(&result);
    if (result.error()) {
        return "failed: " + result.error()->localizedDescription() +
               (statuses && !statuses->empty()
                    ? " (after " + std::to_string(statuses->size()) + " request(s))"
                    : "");
    }
    if (query.type() == ZQRemoteEntityDataQueryType::Local) {
        return result.timeStamp() ? "Local query: read from the cache only, no request"
                                  : "Local query: nothing cached for it, no request";
    }
    if (remote && remote->isUpToDate()) {
        return "the cached collection is complete and only next-page queries waited: answered "
               "up to date without a request";
    }
    if (!statuses) {
        return "answered for a remote query (the replies of a server named by --server are not "
               "seen here; the GET and cache lines above come from the client side)";
    }
    if (statuses->empty()) {
        const auto* remoteQuery = dynamic_cast<const ZQRemoteEntityDataQueryInfo*>(&query);
        if (remoteQuery && remoteQuery->remoteDataSource() &&
            remoteQuery->remoteDataSource()->entityDataSourceCachingFrequencyType() == 1) {
            return "the cached copy is inside its caching window (" +
                   std::to_string(remoteQuery->remoteDataSource()
                                      ->entityDataSourceCachingFrequencyAfterElipsedTime()) +
                   " min) and the query was not forced: read from the cache, no request";
        }
        return "answered from the cache without a request";
    }
    return afterRequests(*statuses);
}

}  // namespace zqdl
