// The answer of an HTTP request: the URL that answered (after redirects), the status code and the
// header fields. Immutable once made by the transport, so it is read from any thread; held by
// shared_ptr and may travel in a platform::Value as an object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPHeaderFields.hpp"
#include "platform/URL.hpp"

class ZQHTTPURLResponse : public platform::Object {
  public:
    // requestAuthorization is the Authorization field the request carried, if any: the security
    // helper uses it to tell a stale token from a refused fresh one.
    ZQHTTPURLResponse(platform::URL url, int64_t statusCode, ZQHTTPHeaderFields headerFields,
                      std::optional<std::string> requestAuthorization = std::nullopt)
        : url_(std::move(url)),
          statusCode_(statusCode),
          headers_(std::move(headerFields)),
          requestAuthorization_(std::move(requestAuthorization)) {}

    const platform::URL& url() const { return url_; }
    int64_t statusCode() const { return statusCode_; }
    // Look-ups ignore the case of the name ("last-modified" finds "Last-Modified").
    const ZQHTTPHeaderFields& allHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
    const std::optional<std::string>& requestAuthorization() const { return requestAuthorization_; }
    // The length the server announced in Content-Length, -1 when unknown.
    int64_t expectedContentLength() const;

    // "<status> <url>"
    std::string description() const override;

  private:
    platform::URL url_;
    int64_t statusCode_;
    ZQHTTPHeaderFields headers_;
    std::optional<std::string> requestAuthorization_;
};
