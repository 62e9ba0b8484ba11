// Says in words what the entity data manager decided for a query, from what can be seen outside
// it: the query (type, force), the result (source, up to date, error) and, with the embedded
// server, the requests that the run caused. Feeds the --verbose notes and the demo. Stateless
// functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"

namespace zqdl {

class ZqdlCacheDecision {
  public:
    // statuses: the HTTP statuses of the requests the query caused, in order; none when they
    // cannot be seen (a server named by --server).
    static std::string explain(const ZQEntityDataQueryInfo& query,
                               const ZQEntityDataQueryResult& result,
                               const std::optional<std::vector<int>>& statuses);
};

}  // namespace zqdl
