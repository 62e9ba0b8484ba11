#include "tools/zqdl/ZqdlQueryRunner.hpp"

#include "platform/MainLoop.hpp"
#include "tools/zqdl/ZqdlQueryDelegate.hpp"

namespace zqdl {

bool ZqdlRunResult::anyError() const {
    for (const ZqdlDelivery& delivery : deliveries) {
        if (!delivery.result || delivery.result->error()) return true;
    }
    return false;
}

ZqdlRunResult ZqdlQueryRunner::run(
    const ZqdlEnvironment& environment,
    const std::vector<std::shared_ptr<ZQEntityDataQueryInfo>>& queries, double timeoutSeconds,
    const OnDelivery& onDelivery) {
    ZQSampleServer* server = environment.server();
    const size_t logBefore = server ? server->answeredRequestCount() : 0;
    const size_t arrivedBefore = server ? server->totalRequestCount() : 0;

    // Delegates are called on the main thread only, where this function runs: no lock needed.
    ZqdlRunResult run;
    std::vector<bool> answered(queries.size(), false);
    std::vector<std::shared_ptr<ZqdlQueryDelegate>> delegates;
    auto record = [&](int number, const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                      const std::shared_ptr<ZQEntityDataQueryResult>& result) {
        answered[static_cast<size_t>(number - 1)] = true;
        run.deliveries.push_back({number, query, result});
        if (onDelivery) onDelivery(run.deliveries.back());
    };
    for (size_t i = 0; i < queries.size(); ++i) {
        delegates.push_back(std::make_shared<ZqdlQueryDelegate>(static_cast<int>(i + 1), record));
    }
    const auto& manager = environment.entityDataManager();
    for (size_t i = 0; i < queries.size(); ++i) manager->load(queries[i], delegates[i]);

    auto allAnswered = [&run, &queries] { return run.deliveries.size() >= queries.size(); };
    run.timedOut = !platform::runUntil(allAnswered, timeoutSeconds);
    if (run.timedOut) {
        for (size_t i = 0; i < queries.size(); ++i) {
            if (!answered[i]) manager->cancelLoad(queries[i], delegates[i]);
        }
    }
    if (server) run.requests = requestsSince(*server, logBefore, arrivedBefore);
    return run;
}

std::vector<ZQSampleRequestRecord> ZqdlQueryRunner::requestsSince(ZQSampleServer& server,
                                                                  size_t before,
                                                                  size_t arrivedBefore) {
    const size_t arrived = server.totalRequestCount() - arrivedBefore;
    platform::runUntil([&] { return server.answeredRequestCount() >= before + arrived; }, 2.0);
    return server.requestLogSince(before);
}

}  // namespace zqdl
