// Requests for the application's server. Stateless static functions; any thread.
#pragma once

#include <memory>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequest.hpp"
#include "platform/URL.hpp"

class ZQApplicationHelper {
  public:
    static constexpr const char* kUserAgent = "ZQHost/1.0";

    // A new GET request for the URL, prepared for the application's server: it accepts JSON,
    // names the host as user agent, uses the default timeout, and carries the security service's
    // current token (Authorization: Bearer) when the URL is on the token's server.
    [[nodiscard]] static std::shared_ptr<ZQURLRequest> requestWithURL(const platform::URL& url);
    // The same for URL text; none when the text is not an absolute URL.
    [[nodiscard]] static std::shared_ptr<ZQURLRequest> requestWithURL(std::string_view url);
};
