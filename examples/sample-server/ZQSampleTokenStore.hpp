// The sample server's token endpoint: grants bearer tokens for the password and client
// credentials grants (form-encoded bodies, JSON answers in the OAuth 2.0 shape) and checks the
// tokens that data requests carry. Owned by the server; used by its request threads and by
// tests; mutex_ guards the issued tokens.
#pragma once

#include <map>
#include <random>
#include <string>
#include <string_view>

#include "platform/Date.hpp"
#include "platform/Mutex.hpp"

// What the token endpoint accepts; an empty field accepts any value (a user name and password
// are still required for the password grant).
struct ZQSampleCredentials {
    std::string clientId;
    std::string clientSecret;
    std::string username;
    std::string password;
};

class ZQSampleTokenStore {
  public:
    struct Answer {
        int status = 200;
        std::string body;  // JSON text
    };

    ZQSampleTokenStore(ZQSampleCredentials credentials, int lifetimeSeconds)
        : credentials_(std::move(credentials)), lifetimeSeconds_(lifetimeSeconds) {}

    // 200 with {"access_token", "token_type": "Bearer", "expires_in"}; 400 invalid_request,
    // unsupported_grant_type or invalid_grant; 401 invalid_client.
    Answer grant(std::string_view formBody) EXCLUDES(mutex_);
    // Issued, not revoked and not expired (by the process-wide clock).
    bool isValid(std::string_view token) const EXCLUDES(mutex_);
    // Every token issued so far stops working: the next data request must authorise again.
    void revokeAll() EXCLUDES(mutex_);
    size_t issuedCount() const EXCLUDES(mutex_);

  private:
    const ZQSampleCredentials credentials_;
    const int lifetimeSeconds_;
    mutable platform::Mutex mutex_;
    std::map<std::string, platform::Date, std::less<>> tokens_ GUARDED_BY(mutex_);
    size_t issued_ GUARDED_BY(mutex_) = 0;
    std::mt19937_64 random_ GUARDED_BY(mutex_){std::random_device{}()};
};
