// zqdl: the command-line program of the data layer. Until the entity data manager exists, the
// demo runs a short self-check of the platform layer.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/DateFormat.hpp"
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
    std::printf("The tour of the data layer comes with the entity data manager.\n");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "demo") == 0) return demo();
    return usage();
}
