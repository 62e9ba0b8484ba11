#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPURLResponse.hpp"

#include <charconv>

std::optional<std::string> ZQHTTPURLResponse::valueForHTTPHeaderField(
    std::string_view field) const {
    const std::string* value = headers_.find(field);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

int64_t ZQHTTPURLResponse::expectedContentLength() const {
    const std::string* text = headers_.find("Content-Length");
    if (!text) return -1;
    int64_t length = -1;
    auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), length);
    return ec == std::errc() && end == text->data() + text->size() && length >= 0 ? length : -1;
}

std::string ZQHTTPURLResponse::description() const {
    return std::to_string(statusCode_) + " " + url_.absoluteString();
}
