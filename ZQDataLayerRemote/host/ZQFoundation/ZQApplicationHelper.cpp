#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"

std::shared_ptr<ZQURLRequest> ZQApplicationHelper::requestWithURL(const platform::URL& url) {
    auto request = ZQURLRequest::create(url);
    request->setValue("application/json", "Accept");
    request->setValue(kUserAgent, "User-Agent");
    if (std::optional<std::string> authorization =
            ZQSecurityService::sharedInstance()->authorizationHeaderForURL(url)) {
        request->setValue(std::move(authorization), "Authorization");
    }
    return request;
}

std::shared_ptr<ZQURLRequest> ZQApplicationHelper::requestWithURL(std::string_view url) {
    std::optional<platform::URL> parsed = platform::URL::fromString(url);
    return parsed ? requestWithURL(*parsed) : nullptr;
}
