#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/WorkerPool.hpp"

using platform::MutexLock;
using platform::Value;

namespace {

int defaultPort(const std::string& scheme) {
    return scheme == "https" ? 443 : scheme == "http" ? 80 : -1;
}

bool sameOrigin(const platform::URL& a, const platform::URL& b) {
    return a.scheme() == b.scheme() && a.host() == b.host() &&
           a.port().value_or(defaultPort(a.scheme())) == b.port().value_or(defaultPort(b.scheme()));
}

std::string stringMember(const platform::Dictionary& info, const char* key) {
    const Value* value = info.find(key);
    return value && value->isString() ? std::string(*value->string()) : std::string();
}

std::string formBody(const ZQAuthorizationSettings& s) {
    std::vector<std::pair<const char*, std::string>> fields;
    if (!s.username.empty()) {
        fields = {{"grant_type", "password"}, {"username", s.username}, {"password", s.password}};
    } else {
        fields = {{"grant_type", "client_credentials"}};
    }
    if (!s.clientId.empty()) fields.emplace_back("client_id", s.clientId);
    if (!s.clientSecret.empty()) fields.emplace_back("client_secret", s.clientSecret);
    if (!s.scope.empty()) fields.emplace_back("scope", s.scope);
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) body += '&';
        body += name;
        body += '=';
        body += platform::percentEscape(value);
    }
    return body;
}

platform::ErrorPtr securityError(int64_t code, std::string description) {
    return platform::Error::create(ZQSecurityErrorDomain, code, std::move(description));
}

// The token from the endpoint's answer, or the error that explains why there is none.
std::pair<std::optional<std::string>, platform::ErrorPtr> readTokenAnswer(
    const ZQURLTransport::Result& result) {
    if (!result.response) return {std::nullopt, result.error ? result.error : defaultZQError()};
    int64_t status = result.response->statusCode();
    if (status < 200 || status > 299) {
        platform::ErrorPtr server = ZQUtilities::errorFromResponseData(result.data);
        return {std::nullopt,
                server ? server
                       : securityError(ZQSecurityErrorAuthorizationFailed,
                                       "The authorization server refused the request (status " +
                                           std::to_string(status) + ").")};
    }
    const Value::Bytes* bytes = result.data.bytes();
    std::string_view text =
        bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())
              : std::string_view();
    ZQJSONParseResult parsed = ZQJSON::parse(text);
    std::optional<std::string> token =
        parsed.error ? std::nullopt
                     : ZQUtilities::nonEmptyStringFromObject(parsed.value["access_token"]);
    Value type = parsed.value["token_type"];
    bool bearer = true;
    if (std::optional<std::string_view> t = type.string()) {
        std::string lower(*t);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        bearer = lower == "bearer";
    }
    if (!token || !bearer) {
        return {std::nullopt,
                securityError(ZQSecurityErrorAuthorizationFailed,
                              "The authorization server's answer holds no bearer token.")};
    }
    return {token, nullptr};
}

}  // namespace

ZQAuthorizationSettings ZQAuthorizationSettings::fromInfoDictionary(
    const platform::Dictionary& info) {
    ZQAuthorizationSettings settings;
    settings.serverURL = platform::URL::fromString(stringMember(info, "ZQApplicationServerURL"));
    std::string token = stringMember(info, "ZQAuthorizationTokenURL");
    if (token.empty() && settings.serverURL) token = kDefaultTokenPath;
    if (!token.empty()) {
        settings.tokenURL = platform::URL::fromString(token);
        if (!settings.tokenURL && settings.serverURL) {
            settings.tokenURL = platform::URL::resolve(token, *settings.serverURL);
        }
    }
    settings.clientId = stringMember(info, "ZQAuthorizationClientId");
    settings.clientSecret = stringMember(info, "ZQAuthorizationClientSecret");
    settings.username = stringMember(info, "ZQAuthorizationUsername");
    settings.password = stringMember(info, "ZQAuthorizationPassword");
    settings.scope = stringMember(info, "ZQAuthorizationScope");
    return settings;
}

std::shared_ptr<ZQSecurityService> ZQSecurityService::sharedInstance() {
    static platform::Immortal<std::shared_ptr<ZQSecurityService>> instance(
        std::make_shared<ZQSecurityService>());
    return instance.get();
}

void ZQSecurityService::setSettings(ZQAuthorizationSettings settings) {
    MutexLock lock(mutex_);
    settings_ = std::move(settings);
}

ZQAuthorizationSettings ZQSecurityService::settings() const {
    MutexLock lock(mutex_);
    return settings_;
}

bool ZQSecurityService::canRequestAuthorization() const {
    MutexLock lock(mutex_);
    return settings_.tokenURL.has_value();
}

std::optional<std::string> ZQSecurityService::accessToken() const {
    MutexLock lock(mutex_);
    return token_;
}

void ZQSecurityService::setAccessToken(std::optional<std::string> token) {
    MutexLock lock(mutex_);
    token_ = std::move(token);
    tokenAccepted_ = false;
    tokenFromEndpoint_ = false;
}

std::optional<std::string> ZQSecurityService::authorizationHeaderForURL(
    const platform::URL& url) const {
    MutexLock lock(mutex_);
    if (!token_) return std::nullopt;
    const std::optional<platform::URL>& server =
        settings_.serverURL ? settings_.serverURL : settings_.tokenURL;
    if (server && !sameOrigin(*server, url)) return std::nullopt;
    return "Bearer " + *token_;
}

void ZQSecurityService::noteAuthorizationAccepted(const std::string& authorization) {
    MutexLock lock(mutex_);
    if (token_ && !tokenAccepted_ && authorization == "Bearer " + *token_) tokenAccepted_ = true;
}

void ZQSecurityService::completeLater(std::shared_ptr<ZQAuthorizationRequest> request, bool success,
                                      platform::ErrorPtr error) {
    platform::WorkerPool::submit([request = std::move(request), success, error = std::move(error)] {
        request->complete(success, error);
    });
}

std::shared_ptr<ZQAuthorizationRequest> ZQSecurityService::requestAuthorizationWithOptions(
    const Value& options, Completion completion) {
    auto request = std::make_shared<ZQAuthorizationRequest>(std::move(completion));
    std::optional<std::string> failed =
        ZQUtilities::nonEmptyStringFromObject(options[ZQAuthorizationFailedCredentialKey]);
    uint64_t generation = 0;
    {
        MutexLock lock(mutex_);
        if (!settings_.tokenURL) {
            completeLater(request, false,
                          securityError(ZQSecurityErrorNotConfigured,
                                        "No authorization endpoint is configured."));
            return request;
        }
        std::optional<std::string> current;
        if (token_) current = "Bearer " + *token_;
        if (!fetching_ && current && current != failed) {
            // The refused request went out with an older token (or none); the current one is new.
            completeLater(request, true, nullptr);
            return request;
        }
        if (!fetching_ && current && current == failed && tokenFromEndpoint_ && !tokenAccepted_) {
            token_.reset();
            completeLater(request, false,
                          securityError(ZQSecurityErrorTokenRejected,
                                        "The server refused the authorization it had just given."));
            return request;
        }
        waiters_.push_back(request);
        if (fetching_) return request;
        fetching_ = true;
        generation = ++generation_;
        ++tokenRequests_;
    }
    startTokenRequest(generation);
    return request;
}

void ZQSecurityService::startTokenRequest(uint64_t generation) {
    ZQAuthorizationSettings settings = this->settings();
    ZQURLRequest request(*settings.tokenURL);
    request.setHTTPMethod("POST");
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.setValue("application/json", "Accept");
    request.setHTTPBody(formBody(settings));
    std::weak_ptr<ZQSecurityService> weak = weak_from_this();
    std::shared_ptr<ZQURLTransport::Transfer> transfer =
        ZQURLTransport::shared().start(request, [weak, generation](ZQURLTransport::Result result) {
            if (auto self = weak.lock()) self->didReceiveTokenAnswer(generation, std::move(result));
        });
    bool stale = false;
    {
        MutexLock lock(mutex_);
        stale = generation != generation_ || !fetching_;
        if (!stale) transfer_ = transfer;
    }
    // Everyone stopped waiting before the transfer was stored.
    if (stale) ZQURLTransport::shared().cancel(transfer);
}

void ZQSecurityService::didReceiveTokenAnswer(uint64_t generation, ZQURLTransport::Result result) {
    auto [token, error] = readTokenAnswer(result);
    std::vector<std::shared_ptr<ZQAuthorizationRequest>> waiters;
    {
        MutexLock lock(mutex_);
        if (generation != generation_ || !fetching_) return;
        fetching_ = false;
        transfer_.reset();
        if (token) {
            token_ = token;
            tokenAccepted_ = false;
            tokenFromEndpoint_ = true;
        }
        waiters.swap(waiters_);
    }
    auto logger = ZQLog::loggerService();
    if (error && logger->isLogEnabled()) {
        logger->logMessage("Authorization failed: " + error->localizedDescription(),
                           ZQLogTypeSecurity, ZQLogLevelWarning, true);
    }
    for (auto& waiter : waiters) waiter->complete(token.has_value(), error);
}

void ZQSecurityService::cancelAutorizationRequest(
    const std::shared_ptr<ZQAuthorizationRequest>& request) {
    if (!request) return;
    request->cancel();
    std::shared_ptr<ZQURLTransport::Transfer> transfer;
    {
        MutexLock lock(mutex_);
        waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), request), waiters_.end());
        if (waiters_.empty() && fetching_) {
            fetching_ = false;
            ++generation_;
            transfer = std::move(transfer_);
        }
    }
    if (transfer) ZQURLTransport::shared().cancel(transfer);
}

uint64_t ZQSecurityService::tokenRequestCount() const {
    MutexLock lock(mutex_);
    return tokenRequests_;
}

void ZQSecurityService::reset() {
    std::vector<std::shared_ptr<ZQAuthorizationRequest>> waiters;
    std::shared_ptr<ZQURLTransport::Transfer> transfer;
    {
        MutexLock lock(mutex_);
        token_.reset();
        tokenAccepted_ = false;
        tokenFromEndpoint_ = false;
        waiters.swap(waiters_);
        fetching_ = false;
        ++generation_;
        tokenRequests_ = 0;
        transfer = std::move(transfer_);
    }
    for (auto& waiter : waiters) waiter->cancel();
    if (transfer) ZQURLTransport::shared().cancel(transfer);
}
