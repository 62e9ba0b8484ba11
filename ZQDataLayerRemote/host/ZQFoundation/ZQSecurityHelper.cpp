#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityHelper.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

using platform::Value;

namespace {

// The realm parameter of a challenge such as: Bearer realm="app", error="invalid_token".
std::optional<std::string> realmOf(const std::string& challenge) {
    size_t at = challenge.find("realm=");
    if (at == std::string::npos) return std::nullopt;
    at += 6;
    if (at < challenge.size() && challenge[at] == '"') {
        size_t end = challenge.find('"', at + 1);
        if (end == std::string::npos) return std::nullopt;
        return challenge.substr(at + 1, end - at - 1);
    }
    size_t end = challenge.find_first_of(", ", at);
    return challenge.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

platform::ErrorPtr refusal(int64_t status, const Value& data) {
    platform::ErrorPtr server = ZQUtilities::errorFromResponseData(data);
    platform::Dictionary info{{ZQHTTPStatusCodeErrorKey, Value(status)}};
    if (server) {
        if (const Value* code = server->userInfo().find(ZQServerErrorCodeErrorKey)) {
            info.set(ZQServerErrorCodeErrorKey, *code);
        }
    }
    std::string text = server          ? server->localizedDescription()
                       : status == 401 ? "The server requires authorization."
                                       : "The server refused access to this resource.";
    return platform::Error::create(ZQSecurityErrorDomain, status, std::move(text), std::move(info));
}

}  // namespace

bool ZQSecurityHelper::handleSecurityErrorFromResponse(
    const std::shared_ptr<const ZQHTTPURLResponse>& response, const Value& data,
    platform::ErrorPtr* error, Value* recoverAuthorizationRequestOptions) {
    if (error) *error = nullptr;
    if (recoverAuthorizationRequestOptions) *recoverAuthorizationRequestOptions = Value();
    if (!response) return false;
    int64_t status = response->statusCode();
    if (status != 401 && status != 403) return false;
    if (error) *error = refusal(status, data);
    if (status == 401 && recoverAuthorizationRequestOptions &&
        ZQSecurityService::sharedInstance()->canRequestAuthorization()) {
        platform::Dictionary options{
            {ZQAuthorizationFailedURLKey, Value(response->url().absoluteString())}};
        if (response->requestAuthorization()) {
            options.set(ZQAuthorizationFailedCredentialKey,
                        Value(*response->requestAuthorization()));
        }
        if (std::optional<std::string> challenge =
                response->valueForHTTPHeaderField("WWW-Authenticate")) {
            options.set(ZQAuthorizationChallengeKey, Value(*challenge));
            if (std::optional<std::string> realm = realmOf(*challenge)) {
                options.set(ZQAuthorizationRealmKey, Value(*realm));
            }
        }
        *recoverAuthorizationRequestOptions = Value(std::move(options));
    }
    return true;
}
