#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"

#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

platform::ErrorPtr ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(
    const ZQURLRequestOperation& operation) {
    auto response = operation.response();
    if (!response) return nullptr;
    int64_t status = response->statusCode();
    if (status >= 200 && status <= 299) return nullptr;
    platform::Value data = operation.data();
    if (!data.isAbsent()) {
        if (auto serverError = ZQUtilities::errorFromResponseData(data)) return serverError;
    }
    return errorForHTTPURLResponseStatusCode(status);
}

void ZQBusinessComponentRESTHelper::processWarningHeader(
    const std::shared_ptr<const ZQHTTPURLResponse>& response) {
    if (!response) return;
    const std::string* value = response->allHeaderFields().find("Warning");
    if (!value) return;
    showHTTPWarnings(*value);
}

void ZQBusinessComponentRESTHelper::showHTTPWarnings(const std::string& headerValue) {
    auto warnings = ZQUtilities::httpWarningsFromHeader(headerValue);
    if (!warnings) return;
    std::vector<std::string> texts;
    for (const auto& warning : *warnings) {
        if ((warning.code != 199 && warning.code != 299) || !warning.isUserWarning) continue;
        if (auto text = ZQUtilities::nonEmptyStringFromObject(platform::Value(warning.warningText)))
            texts.push_back(std::move(*text));
    }
    ZQFoundationServices::alertMessageService()->showMessages(texts);
}
