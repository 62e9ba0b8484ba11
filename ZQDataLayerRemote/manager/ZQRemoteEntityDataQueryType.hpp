// The numbers the host passes as query types and result sources, named by the role the library
// gives them. Constants; any thread.
#pragma once

#include <cstdint>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"

struct ZQRemoteEntityDataQueryType {
    enum : ZQEntityDataQueryType {
        Local = 0,     // read what the cache holds; no request
        First = 1,     // look at the cache, then ask the server unless the cache is fresh
        Refresh = 2,   // reload from the start: as First
        NextPage = 3,  // the rows after those already loaded
    };
    // First and Refresh restart paging and clear the cached rows when the answer is saved.
    static constexpr bool isRefreshOrFirst(ZQEntityDataQueryType type) {
        return type == First || type == Refresh;
    }
    // Values above NextPage are not query types.
    static constexpr bool isValid(ZQEntityDataQueryType type) { return type <= NextPage; }
};

struct ZQRemoteEntityDataQueryResultSource {
    enum : ZQEntityDataQueryResultSourceType {
        Cache = 0,   // read from the cache for a Local query (or a Local query that found nothing)
        Remote = 1,  // the answer to a query of type First, Refresh or NextPage
    };
};
