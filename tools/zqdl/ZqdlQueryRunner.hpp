// Runs a batch of queries through the host's entity data manager at once, one delegate each, and
// waits on the main loop until each delegate has its answer or the timeout passes (then the
// queries still waiting are withdrawn). With the embedded server it also gathers the requests
// the batch caused, for the cache-decision notes and the demo. Stateless functions; main thread.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"

namespace zqdl {

struct ZqdlDelivery {
    int delegate = 0;  // from 1, in the order the queries were given
    std::shared_ptr<ZQEntityDataQueryInfo> query;
    std::shared_ptr<ZQEntityDataQueryResult> result;
};

struct ZqdlRunResult {
    std::vector<ZqdlDelivery> deliveries;  // in arrival order
    bool timedOut = false;
    // Requests the embedded server answered during the run; empty with --server.
    std::vector<ZQSampleRequestRecord> requests;
    bool anyError() const;
};

class ZqdlQueryRunner {
  public:
    using OnDelivery = std::function<void(const ZqdlDelivery&)>;

    // onDelivery sees each answer as it arrives (on the main thread).
    [[nodiscard]] static ZqdlRunResult run(
        const ZqdlEnvironment& environment,
        const std::vector<std::shared_ptr<ZQEntityDataQueryInfo>>& queries, double timeoutSeconds,
        const OnDelivery& onDelivery = {});

  private:
    // The requests answered after the first `before` ones, once every request that arrived since
    // `arrivedBefore` is in the log (the log records a request after its answer is written,
    // which can be just after the client has it).
    static std::vector<ZQSampleRequestRecord> requestsSince(ZQSampleServer& server, size_t before,
                                                            size_t arrivedBefore);
};

}  // namespace zqdl
