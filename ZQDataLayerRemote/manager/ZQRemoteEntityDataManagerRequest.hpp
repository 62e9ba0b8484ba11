// How the entity data manager turns a query into its request: the provider's base URL and the
// sorted query-parameter string, which together make the query key. Stateless static functions;
// any thread (they read the running model and the query, both immutable once made).
#pragma once

#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "platform/URL.hpp"

class ZQRemoteEntityDataManagerRequest {
  public:
    // "rest/" + the data provider's name with every "." replaced by "/", relative to the
    // application's server. None without a running model or server URL.
    static std::optional<platform::URL> baseURLForQueryInfo(const ZQEntityDataQueryInfo& queryInfo);
    // The provider parameters and, for collections, order, advanced filter and search, as the
    // host's parameter string sorted by name (equal queries give equal strings). None for a
    // single-item query without parameters; empty for a collection query without any.
    static std::optional<std::string> queryParametersForQueryInfo(
        const ZQEntityDataQueryInfo& queryInfo);
};
