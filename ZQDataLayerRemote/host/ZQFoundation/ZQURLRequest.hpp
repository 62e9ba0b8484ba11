// A mutable HTTP request: URL, method, header fields, body and timeout. Made by
// ZQApplicationHelper::requestWithURL for the application's server and held by shared_ptr, so a
// step that runs before the request operation may still change it (setting the body). Not
// thread-safe: one thread at a time, handed over through operation dependencies; the request
// operation copies it when it starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPHeaderFields.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

class ZQURLRequest : public platform::Object {
  public:
    // Seconds without any data moving (connecting included) before the request fails.
    static constexpr double kDefaultTimeoutInterval = 60.0;
    // The most bytes an answer's body may have: a server that sends more (an endless or absurd
    // body) fails the request instead of filling the device's memory.
    static constexpr size_t kDefaultMaximumResponseBytes = size_t{128} << 20;

    // The timeout new requests start with (kDefaultTimeoutInterval until set); any thread.
    static double defaultTimeoutInterval();
    // Values of 0 or below restore kDefaultTimeoutInterval.
    static void setDefaultTimeoutInterval(double seconds);

    [[nodiscard]] static std::shared_ptr<ZQURLRequest> create(platform::URL url);
    explicit ZQURLRequest(platform::URL url) : url_(std::move(url)) {}

    const platform::URL& url() const { return url_; }
    void setURL(platform::URL url) { url_ = std::move(url); }

    // "GET" unless set; methods are sent as given (upper case expected).
    const std::string& httpMethod() const { return method_; }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }

    // Empty when the request has no body.
    const platform::Value::Bytes& httpBody() const;
    // The body as a shared bytes Value (absent without a body); cheap to copy.
    const platform::Value& httpBodyValue() const { return body_; }
    void setHTTPBody(platform::Value::Bytes body);
    void setHTTPBody(std::string_view text);
    // A bytes Value; any other kind removes the body.
    void setHTTPBodyValue(platform::Value body);
    // A body streamed from the file when the request is sent, never read whole into memory (the
    // file may be hundreds of MB). Replaces a bytes body, as setting bytes replaces the file; an
    // empty path removes it. A file that cannot be read fails the request with a transport error.
    void setHTTPBodyFile(std::filesystem::path path);
    // Empty when the body is not a file.
    const std::filesystem::path& httpBodyFile() const { return bodyFile_; }

    double timeoutInterval() const { return timeout_; }
    // Values of 0 or below restore the default.
    void setTimeoutInterval(double seconds);

    size_t maximumResponseBytes() const { return maximumResponseBytes_; }
    // 0 restores kDefaultMaximumResponseBytes.
    void setMaximumResponseBytes(size_t bytes);

    // Told of the body's progress as it is sent: the bytes sent so far and the body's size, each
    // time more has gone out, and once more when the answer came with everything sent. Runs on
    // the transport's thread (never the main thread), so it must be quick and take no lock that
    // is held while waiting for a transfer.
    using UploadProgressHandler = std::function<void(int64_t sent, int64_t total)>;
    const UploadProgressHandler& uploadProgressHandler() const { return uploadProgress_; }
    // None removes it.
    void setUploadProgressHandler(UploadProgressHandler handler) {
        uploadProgress_ = std::move(handler);
    }

    const ZQHTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
    // Replaces the field's value; none removes the field.
    void setValue(std::optional<std::string> value, std::string_view forHTTPHeaderField);
    // Adds to the field's value ("a, b").
    void addValue(std::string_view value, std::string_view forHTTPHeaderField);

    // "<METHOD> <url>"
    std::string description() const override;

  private:
    platform::URL url_;
    std::string method_ = "GET";
    platform::Value body_;
    std::filesystem::path bodyFile_;
    double timeout_ = defaultTimeoutInterval();
    size_t maximumResponseBytes_ = kDefaultMaximumResponseBytes;
    ZQHTTPHeaderFields headers_;
    UploadProgressHandler uploadProgress_;
};
