// The host's security service: holds the access token of the application's server, obtains a new
// one from the server's token endpoint when a request was refused (OAuth 2.0 password or client
// credentials grant), and tells each waiting caller how that went. Concurrent requests for
// authorisation share one token request. One shared instance (ZQObjectsModelServices returns
// it). Any thread; the mutex guards settings, token and waiters, and is never held while a
// completion runs or a transfer starts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQAuthorizationRequest.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

// Keys of the recovery options that ZQSecurityHelper makes from a refused request.
inline constexpr const char* ZQAuthorizationFailedURLKey = "ZQAuthorizationFailedURL";
// The Authorization field the refused request carried (missing when it carried none).
inline constexpr const char* ZQAuthorizationFailedCredentialKey = "ZQAuthorizationFailedCredential";
inline constexpr const char* ZQAuthorizationRealmKey = "ZQAuthorizationRealm";
inline constexpr const char* ZQAuthorizationChallengeKey = "ZQAuthorizationChallenge";

struct ZQAuthorizationSettings {
    // The token endpoint (absolute). Without it no authorisation can be requested.
    std::optional<platform::URL> tokenURL;
    // The server whose requests carry the token; the token endpoint's server when none.
    std::optional<platform::URL> serverURL;
    std::string clientId;
    std::string clientSecret;
    // With a user name the password grant is used, else the client credentials grant.
    std::string username;
    std::string password;
    std::string scope;

    // The token endpoint's default path, relative to the server URL.
    static constexpr const char* kDefaultTokenPath = "auth/token";
    // From an information dictionary: "ZQApplicationServerURL", "ZQAuthorizationTokenURL"
    // (absolute, or relative to the server URL; "auth/token" by default when a server URL is
    // given), "ZQAuthorizationClientId", "ZQAuthorizationClientSecret",
    // "ZQAuthorizationUsername", "ZQAuthorizationPassword", "ZQAuthorizationScope".
    static ZQAuthorizationSettings fromInfoDictionary(const platform::Dictionary& info);
};

class ZQSecurityService : public std::enable_shared_from_this<ZQSecurityService> {
  public:
    using Completion = ZQAuthorizationRequest::Completion;

    static std::shared_ptr<ZQSecurityService> sharedInstance();

    void setSettings(ZQAuthorizationSettings settings) EXCLUDES(mutex_);
    ZQAuthorizationSettings settings() const EXCLUDES(mutex_);
    // True when a token endpoint is configured.
    bool canRequestAuthorization() const EXCLUDES(mutex_);

    std::optional<std::string> accessToken() const EXCLUDES(mutex_);
    // Installs (or with none, forgets) a token obtained some other way.
    void setAccessToken(std::optional<std::string> token) EXCLUDES(mutex_);
    // "Bearer <token>" for a request to the URL, when a token is held and the URL is on the
    // token's server (scheme, host and port equal); none otherwise. With no server configured at
    // all, the token goes with every request.
    std::optional<std::string> authorizationHeaderForURL(const platform::URL& url) const
        EXCLUDES(mutex_);
    // A request carrying this Authorization value was answered with something other than 401:
    // the token works. Called by the request operation.
    void noteAuthorizationAccepted(const std::string& authorization) EXCLUDES(mutex_);

    // Obtains a new token for a request refused with the given recovery options, then calls the
    // completion once, on a worker thread, with success or an error. It is never called on the
    // caller's thread before this returns. Success without a new request to the server when the
    // token has changed since the refused request was sent. Failure when no endpoint is
    // configured, when the endpoint refuses, and when the token the server refused was one just
    // obtained and never accepted (the token is then dropped, so the next attempt starts anew).
    [[nodiscard]] std::shared_ptr<ZQAuthorizationRequest> requestAuthorizationWithOptions(
        const platform::Value& options, Completion completion) EXCLUDES(mutex_);
    // After this the request's completion does not start. When no one waits for the token
    // request any more, its transfer is cancelled. (The name keeps the host's spelling.)
    void cancelAutorizationRequest(const std::shared_ptr<ZQAuthorizationRequest>& request)
        EXCLUDES(mutex_);

    // Token requests sent so far.
    uint64_t tokenRequestCount() const EXCLUDES(mutex_);
    // Forgets token, waiters and the request count, and cancels a token request in flight
    // (tests).
    void reset() EXCLUDES(mutex_);

  private:
    void startTokenRequest(uint64_t generation) EXCLUDES(mutex_);
    void didReceiveTokenAnswer(uint64_t generation, ZQURLTransport::Result result) EXCLUDES(mutex_);
    static void completeLater(std::shared_ptr<ZQAuthorizationRequest> request, bool success,
                              platform::ErrorPtr error);

    mutable platform::Mutex mutex_;
    ZQAuthorizationSettings settings_ GUARDED_BY(mutex_);
    std::optional<std::string> token_ GUARDED_BY(mutex_);
    bool tokenAccepted_ GUARDED_BY(mutex_) = false;
    bool tokenFromEndpoint_ GUARDED_BY(mutex_) = false;
    std::vector<std::shared_ptr<ZQAuthorizationRequest>> waiters_ GUARDED_BY(mutex_);
    bool fetching_ GUARDED_BY(mutex_) = false;
    uint64_t generation_ GUARDED_BY(mutex_) = 0;
    std::shared_ptr<ZQURLTransport::Transfer> transfer_ GUARDED_BY(mutex_);
    uint64_t tokenRequests_ GUARDED_BY(mutex_) = 0;
};
