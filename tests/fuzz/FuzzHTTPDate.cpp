// HTTP and ISO 8601 dates: a date that parses writes back as text that parses to the same date.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/DateFormat.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto date = platform::parseHTTPDate(text)) {
        auto again = platform::parseHTTPDate(platform::httpDateString(*date));
        // HTTP dates carry whole seconds.
        if (!again || static_cast<int64_t>(again->timeIntervalSinceDate(*date)) != 0) std::abort();
    }
    if (auto date = platform::parseISO8601(text)) {
        if (!platform::parseISO8601(platform::iso8601String(*date))) std::abort();
    }
    return 0;
}
