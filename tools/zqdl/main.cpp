// zqdl: the command-line program of the data layer. Until the entity data manager exists, the
// demo runs a short self-check of the platform layer.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/DateFormat.hpp"
#include "platform/MainLoop.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

namespace {

int usage() {
    std::fprintf(stderr, "usage: zqdl demo\n");
    return 2;
}

bool check(bool ok, const char* what) {
    std::printf("  [%s] %s\n", ok ? "ok" : "FAILED", what);
    return ok;
}

int demo() {
    std::printf("zqdl demo: platform self-check\n");
    bool ok = true;
    platform::Date date(1706702400.0);
    ok &= check(platform::httpDateString(date) == "Wed, 31 Jan 2024 12:00:00 GMT",
                "HTTP date formatting");
    auto parsed = platform::parseHTTPDate("Wed, 31 Jan 2024 12:00:00 GMT");
    ok &= check(parsed && *parsed == date, "HTTP date parsing");
    ok &= check(platform::Value::null() != platform::Value(), "null and absent kept apart");

    auto base = platform::URL::fromString("http://localhost:8080/rest/Sales/Orders?old=1");
    auto resolved = base ? platform::URL::resolve("?start=0&count=20", *base) : std::nullopt;
    ok &= check(resolved && resolved->absoluteString() ==
                                "http://localhost:8080/rest/Sales/Orders?start=0&count=20",
                "a query-only reference keeps the path and replaces the query");

    // A dependency chain across two queues, ending on the main queue.
    auto queue = platform::OperationQueue::create("demo");
    std::string order;
    auto first = platform::BlockOperation::create([&] { order += "1"; });
    auto second = platform::BlockOperation::create([&] { order += "2"; });
    auto onMain =
        platform::BlockOperation::create([&] { order += platform::isMainThread() ? "M" : "?"; });
    second->addDependency(first);
    onMain->addDependency(second);
    platform::OperationQueue::mainQueue()->addOperation(onMain);
    queue->addOperation(second);
    queue->addOperation(first);
    platform::runUntil([&] { return onMain->isFinished(); }, 5.0);
    ok &= check(order == "12M", "dependencies across queues, the last one on the main thread");
    std::printf("The tour of the data layer comes with the entity data manager.\n");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "demo") == 0) return demo();
    return usage();
}
