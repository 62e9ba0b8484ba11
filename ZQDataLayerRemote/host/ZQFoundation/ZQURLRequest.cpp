#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequest.hpp"

#include <atomic>

namespace {
std::atomic<double> defaultTimeout{ZQURLRequest::kDefaultTimeoutInterval};
}

double ZQURLRequest::defaultTimeoutInterval() {
    return defaultTimeout.load();
}

void ZQURLRequest::setDefaultTimeoutInterval(double seconds) {
    defaultTimeout.store(seconds > 0 ? seconds : kDefaultTimeoutInterval);
}

std::shared_ptr<ZQURLRequest> ZQURLRequest::create(platform::URL url) {
    return std::make_shared<ZQURLRequest>(std::move(url));
}

const platform::Value::Bytes& ZQURLRequest::httpBody() const {
    static const platform::Value::Bytes empty;
    const platform::Value::Bytes* bytes = body_.bytes();
    return bytes ? *bytes : empty;
}

void ZQURLRequest::setHTTPBody(platform::Value::Bytes body) {
    body_ = platform::Value::bytes(std::move(body));
    bodyFile_.clear();
}

void ZQURLRequest::setHTTPBody(std::string_view text) {
    body_ = platform::Value::bytes(platform::Value::Bytes(text.begin(), text.end()));
    bodyFile_.clear();
}

void ZQURLRequest::setHTTPBodyValue(platform::Value body) {
    body_ = body.bytes() ? std::move(body) : platform::Value();
    if (body_.bytes()) bodyFile_.clear();
}

void ZQURLRequest::setHTTPBodyFile(std::filesystem::path path) {
    bodyFile_ = std::move(path);
    if (!bodyFile_.empty()) body_ = platform::Value();
}

void ZQURLRequest::setTimeoutInterval(double seconds) {
    timeout_ = seconds > 0 ? seconds : defaultTimeoutInterval();
}

void ZQURLRequest::setMaximumResponseBytes(size_t bytes) {
    maximumResponseBytes_ = bytes > 0 ? bytes : kDefaultMaximumResponseBytes;
}

std::optional<std::string> ZQURLRequest::valueForHTTPHeaderField(std::string_view field) const {
    const std::string* value = headers_.find(field);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

void ZQURLRequest::setValue(std::optional<std::string> value, std::string_view forHTTPHeaderField) {
    if (value) {
        headers_.set(forHTTPHeaderField, std::move(*value));
    } else {
        headers_.remove(forHTTPHeaderField);
    }
}

void ZQURLRequest::addValue(std::string_view value, std::string_view forHTTPHeaderField) {
    headers_.add(forHTTPHeaderField, value);
}

std::string ZQURLRequest::description() const {
    return method_ + " " + url_.absoluteString();
}
