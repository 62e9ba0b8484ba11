#include "tools/zqdl/ZqdlDemo.hpp"

#include <cstdio>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"
#include "tools/zqdl/ZqdlCacheDecision.hpp"
#include "tools/zqdl/ZqdlQueryBuilder.hpp"
#include "tools/zqdl/ZqdlScratchFolder.hpp"

namespace zqdl {

namespace {

constexpr const char* kProvider = "Sales.WorkWithInvoice.Invoice.List";
constexpr uint64_t kPageSize = 5;

QueryOptions pageQuery(const char* type, bool force = false) {
    QueryOptions options;
    options.provider = kProvider;
    options.type = *ZqdlCommandLine::queryTypeNamed(type);
    options.pageSize = kPageSize;
    options.force = force;
    return options;
}

// "http://127.0.0.1:8080/sample/rest/..." without the scheme and host.
std::string pathOf(const std::string& url) {
    size_t scheme = url.find("://");
    size_t path = scheme == std::string::npos ? 0 : url.find('/', scheme + 3);
    return path == std::string::npos ? url : url.substr(path);
}

}  // namespace

std::vector<ZqdlDemo::Step> ZqdlDemo::tour() {
    return {
        {"A first load: nothing is cached, so the server is asked", pageQuery("first"), 1, 1, 200},
        {"The same query again: the copy is inside its 10-minute window", pageQuery("first"), 1, 0},
        {"The next page: the rows after the five already loaded", pageQuery("next"), 1, 1, 200},
        {"Another next page: the collection is complete now", pageQuery("next"), 1, 0, 0, true},
        {"A forced refresh: the server is asked with the cached Last-Modified",
         pageQuery("refresh", true), 1, 1, 304},
        {"Two identical forced queries at once: they share one request", pageQuery("first", true),
         2, 1, 304},
        {"A local query: the cache alone answers", pageQuery("local"), 1, 0},
    };
}

int ZqdlDemo::run(const CommandLine& line) {
    ZqdlScratchFolder scratch("zqdl-demo");
    ZqdlEnvironment::Settings settings{line.global};
    settings.freshServerPort = true;
    if (!settings.global.appDir) settings.global.appDir = scratch.path().string();
    ZqdlFailure failure;
    auto environment = ZqdlEnvironment::start(settings, &failure);
    if (!environment) {
        std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
        return failure.exitStatus;
    }
    const ZqdlProvider* provider = environment->catalog().find(kProvider);
    if (!provider || !environment->server()) {
        std::fprintf(stderr, "zqdl: the demo needs the sample application and its server\n");
        return 1;
    }
    std::printf("zqdl demo: the sample REST server listens at %s\n",
                environment->serverURL().c_str());
    std::printf("the cache lives in %s\n", settings.global.appDir->c_str());
    int number = 0;
    int failed = 0;
    for (const Step& step : tour()) {
        if (!runStep(*environment, *provider, step, ++number, line.global.timeoutSeconds)) ++failed;
    }
    std::printf("\n%s\n",
                failed == 0 ? "every step went as expected"
                            : (std::to_string(failed) + " step(s) did not go as expected").c_str());
    return failed == 0 ? 0 : 1;
}

bool ZqdlDemo::runStep(const ZqdlEnvironment& environment, const ZqdlProvider& provider,
                       const Step& step, int number, double timeoutSeconds) {
    std::printf("\n%d. %s\n", number, step.title);
    auto dataSource = ZqdlProviderCatalog::dataSource(provider);
    std::vector<std::shared_ptr<ZQEntityDataQueryInfo>> queries;
    for (size_t i = 0; i < step.queries; ++i) {
        std::string error;
        queries.push_back(ZqdlQueryBuilder::make(provider, dataSource, step.options, &error));
        if (!queries.back()) {
            std::printf("   cannot build the query: %s\n", error.c_str());
            return false;
        }
    }
    ZqdlRunResult run = ZqdlQueryRunner::run(environment, queries, timeoutSeconds);
    std::vector<int> statuses;
    for (const ZQSampleRequestRecord& request : run.requests) {
        std::printf("   %s %s -> %d\n", request.method.c_str(), pathOf(request.url).c_str(),
                    request.status);
        statuses.push_back(request.status);
    }
    if (run.requests.empty()) std::printf("   (no request)\n");
    for (const ZqdlDelivery& delivery : run.deliveries) printDelivery(delivery);
    if (!run.deliveries.empty()) {
        const ZqdlDelivery& first = run.deliveries.front();
        std::printf("   why: %s\n",
                    ZqdlCacheDecision::explain(*first.query, *first.result, statuses).c_str());
    }
    return check(step, run);
}

void ZqdlDemo::printDelivery(const ZqdlDelivery& delivery) {
    const auto* collection =
        dynamic_cast<const ZQEntityDataQueryCollectionResult*>(delivery.result.get());
    const auto* remote = dynamic_cast<const ZQRemoteEntityDataQueryResult*>(delivery.result.get());
    std::string ids;
    if (collection && collection->resultData()) {
        for (const auto& section : *collection->resultData()) {
            for (const auto& item : section) {
                auto id =
                    item ? item->valueForEntityDataFieldName("InvoiceId").integer() : std::nullopt;
                ids += (ids.empty() ? "" : " ") + (id ? std::to_string(*id) : std::string("?"));
            }
        }
    }
    std::printf("   delegate %d: %llu rows%s%s%s, source %s, complete %s%s%s\n", delivery.delegate,
                static_cast<unsigned long long>(collection ? collection->count() : 0),
                ids.empty() ? "" : " (InvoiceId ", ids.c_str(), ids.empty() ? "" : ")",
                remote && remote->source() == 1 ? "remote" : "cache",
                collection && collection->complete() ? "true" : "false",
                remote && remote->isUpToDate() ? ", up to date" : "",
                delivery.result->error()
                    ? (", error: " + delivery.result->error()->localizedDescription()).c_str()
                    : "");
}

bool ZqdlDemo::check(const Step& step, const ZqdlRunResult& run) {
    std::string problem;
    if (run.timedOut) {
        problem = "timed out";
    } else if (run.anyError()) {
        problem = "a result carried an error";
    } else if (run.deliveries.size() != step.queries) {
        problem = std::to_string(run.deliveries.size()) + " results for " +
                  std::to_string(step.queries) + " queries";
    } else if (run.requests.size() != step.expectedRequests) {
        problem = std::to_string(run.requests.size()) + " requests, expected " +
                  std::to_string(step.expectedRequests);
    }
    for (const ZQSampleRequestRecord& request : run.requests) {
        if (problem.empty() && step.expectedStatus != 0 && request.status != step.expectedStatus)
            problem = "status " + std::to_string(request.status) + ", expected " +
                      std::to_string(step.expectedStatus);
    }
    for (const ZqdlDelivery& delivery : run.deliveries) {
        const auto* remote =
            dynamic_cast<const ZQRemoteEntityDataQueryResult*>(delivery.result.get());
        if (problem.empty() && step.expectUpToDate && !(remote && remote->isUpToDate()))
            problem = "the result is not the up-to-date answer";
    }
    std::printf("   [%s] %zu result(s), %zu request(s)%s%s\n",
                problem.empty() ? "ok" : "UNEXPECTED", run.deliveries.size(), run.requests.size(),
                problem.empty() ? "" : ": ", problem.c_str());
    return problem.empty();
}

}  // namespace zqdl
