#include "examples/sample-server/ZQSampleTokenStore.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

namespace {

// Form fields by name; "+" is a space in form encoding. Undecodable fields are dropped.
std::map<std::string, std::string> formFields(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        size_t amp = body.find('&');
        std::string pair(body.substr(0, amp));
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        std::replace(pair.begin(), pair.end(), '+', ' ');
        size_t equals = pair.find('=');
        std::optional<std::string> name = platform::percentUnescape(pair.substr(0, equals));
        std::optional<std::string> value = platform::percentUnescape(
            equals == std::string::npos ? std::string() : pair.substr(equals + 1));
        if (name && value) fields[*name] = *value;
    }
    return fields;
}

ZQSampleTokenStore::Answer refusal(int status, const char* error, const char* description) {
    platform::Value body = platform::Value::dictionary(
        {{"error", platform::Value(error)}, {"error_description", platform::Value(description)}});
    return {status, ZQJSON::write(body).text};
}

bool accepts(const std::string& expected, const std::string& given) {
    return expected.empty() || expected == given;
}

}  // namespace

ZQSampleTokenStore::Answer ZQSampleTokenStore::grant(std::string_view formBody) {
    std::map<std::string, std::string> fields = formFields(formBody);
    const std::string& type = fields["grant_type"];
    if (type.empty()) return refusal(400, "invalid_request", "grant_type is missing");
    if (type != "password" && type != "client_credentials") {
        return refusal(400, "unsupported_grant_type", "Only password and client_credentials");
    }
    if (!accepts(credentials_.clientId, fields["client_id"]) ||
        !accepts(credentials_.clientSecret, fields["client_secret"])) {
        return refusal(401, "invalid_client", "Unknown client");
    }
    if (type == "password" &&
        (fields["username"].empty() || !accepts(credentials_.username, fields["username"]) ||
         !accepts(credentials_.password, fields["password"]))) {
        return refusal(400, "invalid_grant", "Wrong user or password");
    }
    std::string token;
    {
        platform::MutexLock lock(mutex_);
        char text[33];
        std::snprintf(text, sizeof text, "%016llx%016llx",
                      static_cast<unsigned long long>(random_()),
                      static_cast<unsigned long long>(random_()));
        token = text;
        tokens_[token] = platform::Date::now().addingTimeInterval(lifetimeSeconds_);
        ++issued_;
    }
    platform::Value body = platform::Value::dictionary({{"access_token", platform::Value(token)},
                                                        {"token_type", platform::Value("Bearer")},
                                                        {"expires_in", lifetimeSeconds_}});
    return {200, ZQJSON::write(body).text};
}

bool ZQSampleTokenStore::isValid(std::string_view token) const {
    platform::MutexLock lock(mutex_);
    auto found = tokens_.find(token);
    return found != tokens_.end() && platform::Date::now() < found->second;
}

void ZQSampleTokenStore::revokeAll() {
    platform::MutexLock lock(mutex_);
    tokens_.clear();
}

size_t ZQSampleTokenStore::issuedCount() const {
    platform::MutexLock lock(mutex_);
    return issued_;
}
