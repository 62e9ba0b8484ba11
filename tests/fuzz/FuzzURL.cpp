// URL parsing, resolution against a base and the query and path additions. The input is split at
// its first newline: a URL (or a base for the rest), then a reference.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/URL.hpp"

namespace {

void touch(const platform::URL& url) {
    static_cast<void>(url.scheme());
    static_cast<void>(url.host());
    static_cast<void>(url.port());
    static_cast<void>(url.path());
    static_cast<void>(url.query());
    static_cast<void>(url.fragment());
    // What the system printed must read back as the same URL.
    auto again = platform::URL::fromString(url.absoluteString());
    if (!again || !(*again == url)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t newline = text.find('\n');
    std::string_view first = text.substr(0, newline);
    std::string_view second =
        newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    auto base = platform::URL::fromString(first);
    if (!base)
        base = platform::URL::fromString("http://127.0.0.1:8080/sample/");
    else
        touch(*base);
    if (auto resolved = platform::URL::resolve(second, *base)) touch(*resolved);
    touch(base->appendingQueryItems({{std::string(second), std::string(first)}}));
    touch(base->appendingPathComponent(second));
    if (auto unescaped = platform::percentUnescape(second))
        if (platform::percentUnescape(platform::percentEscape(*unescaped)) != unescaped)
            std::abort();
    return 0;
}
