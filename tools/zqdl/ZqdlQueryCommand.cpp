#include "tools/zqdl/ZqdlQueryCommand.hpp"

#include <algorithm>
#include <cstdio>

#include "tools/zqdl/ZqdlCacheDecision.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlQueryBuilder.hpp"
#include "tools/zqdl/ZqdlQueryRunner.hpp"
#include "tools/zqdl/ZqdlResultPrinter.hpp"

namespace zqdl {

namespace {

int fail(const ZqdlFailure& failure) {
    std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
    return failure.exitStatus;
}

// One note per distinct explanation, naming the delegates it applies to.
void printDecisions(const ZqdlRunResult& run, bool statusesVisible) {
    std::optional<std::vector<int>> statuses;
    if (statusesVisible) {
        statuses.emplace();
        for (const ZQSampleRequestRecord& request : run.requests)
            statuses->push_back(request.status);
    }
    std::vector<std::pair<std::string, std::string>> notes;  // explanation, delegates
    for (const ZqdlDelivery& delivery : run.deliveries) {
        std::string text = ZqdlCacheDecision::explain(*delivery.query, *delivery.result, statuses);
        auto same = std::find_if(notes.begin(), notes.end(),
                                 [&text](const auto& note) { return note.first == text; });
        if (same == notes.end()) {
            notes.emplace_back(text, "delegate " + std::to_string(delivery.delegate));
        } else {
            same->second += ", " + std::to_string(delivery.delegate);
        }
    }
    for (const auto& [text, delegates] : notes)
        std::fprintf(stderr, "why: %s: %s\n", delegates.c_str(), text.c_str());
    if (statuses && run.deliveries.size() > 1) {
        std::fprintf(stderr, "why: %zu delegates were answered by %zu request(s)\n",
                     run.deliveries.size(), statuses->size());
    }
}

}  // namespace

int ZqdlQueryCommand::run(const CommandLine& line) {
    ZqdlFailure failure;
    auto environment = ZqdlEnvironment::start({line.global}, &failure);
    if (!environment) return fail(failure);
    const ZqdlProvider* provider = environment->catalog().find(line.query.provider);
    if (!provider) {
        return fail({2, "unknown data provider \"" + line.query.provider +
                            "\" (zqdl providers lists them)"});
    }
    auto dataSource = ZqdlProviderCatalog::dataSource(*provider);
    std::vector<std::shared_ptr<ZQEntityDataQueryInfo>> queries;
    for (uint64_t i = 0; i < line.query.concurrent; ++i) {
        std::string error;
        auto query = ZqdlQueryBuilder::make(*provider, dataSource, line.query, &error);
        if (!query) return fail({2, error});
        queries.push_back(std::move(query));
    }

    auto print = [&dataSource](const ZqdlDelivery& delivery) {
        std::string text =
            ZqdlResultPrinter::line(delivery.delegate, *delivery.result, *dataSource);
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    };
    ZqdlRunResult run =
        ZqdlQueryRunner::run(*environment, queries, line.global.timeoutSeconds, print);
    if (line.global.verbose) printDecisions(run, environment->server() != nullptr);
    if (run.timedOut) {
        std::fprintf(stderr, "zqdl: timed out after %.0f s: %zu of %zu results arrived\n",
                     line.global.timeoutSeconds, run.deliveries.size(), queries.size());
        return 1;
    }
    return run.anyError() ? 1 : 0;
}

}  // namespace zqdl
