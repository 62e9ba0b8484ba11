// The host's error domains and codes, and the helpers that build its generic, HTTP-status and
// developer errors. Free functions and constants; errors are immutable, so any thread may call
// them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Error.hpp"

// The host's own errors: the generic error, fatal conditions, caught exceptions.
inline constexpr const char* ZQErrorDomain = "ZQErrorDomain";
// Errors of loading an application model (code 0 unless said otherwise).
inline constexpr const char* ZQModelErrorDomain = "ZQModelErrorDomain";
// An HTTP status that the caller treats as a failure; the code is the status itself.
inline constexpr const char* ZQHTTPStatusErrorDomain = "ZQHTTPStatusErrorDomain";
// The application server's own error, read from its JSON error body.
inline constexpr const char* ZQServerErrorDomain = "ZQServerErrorDomain";
// Authorisation failures: codes of ZQSecurityErrorCode.
inline constexpr const char* ZQSecurityErrorDomain = "ZQSecurityErrorDomain";

// Codes of ZQErrorDomain.
enum ZQErrorCode : int64_t {
    ZQErrorCodeUnknown = 1,    // defaultZQError and its developer-description variant
    ZQErrorCodeFatal = 2,      // a condition handed to ZQUtilities::tryHandleFatalError
    ZQErrorCodeException = 3,  // an exception caught by zqTryBlock
    ZQErrorCodeNoData = 4      // a JSON parse step found nothing to parse
};

// Codes of ZQSecurityErrorDomain.
enum ZQSecurityErrorCode : int64_t {
    ZQSecurityErrorNotConfigured = 1,        // no authorisation endpoint is known
    ZQSecurityErrorAuthorizationFailed = 2,  // the token endpoint refused or answered badly
    ZQSecurityErrorTokenRejected = 3,        // a token just obtained was refused at once
    ZQSecurityErrorUnauthorized = 401,
    ZQSecurityErrorForbidden = 403
};

// Transport failures, in platform::kURLErrorDomain.
enum ZQURLErrorCode : int64_t {
    ZQURLErrorUnknown = -1,
    ZQURLErrorCancelled = -999,
    ZQURLErrorBadURL = -1000,
    ZQURLErrorTimedOut = -1001,
    ZQURLErrorUnsupportedURL = -1002,
    ZQURLErrorCannotFindHost = -1003,
    ZQURLErrorCannotConnectToHost = -1004,
    ZQURLErrorNetworkConnectionLost = -1005,
    ZQURLErrorBadServerResponse = -1011,
    ZQURLErrorSecureConnectionFailed = -1200
};

// User-information keys.
inline constexpr const char* ZQDeveloperDescriptionErrorKey = "ZQDeveloperDescription";
inline constexpr const char* ZQHTTPStatusCodeErrorKey = "ZQHTTPStatusCode";
// The code exactly as the server wrote it (text), when its error body had one.
inline constexpr const char* ZQServerErrorCodeErrorKey = "ZQServerErrorCode";
inline constexpr const char* ZQFailingURLErrorKey = "ZQFailingURL";
inline constexpr const char* ZQExceptionNameErrorKey = "ZQExceptionName";

// The generic error: ZQErrorDomain, ZQErrorCodeUnknown, a message fit for the user.
[[nodiscard]] platform::ErrorPtr defaultZQError();
// The generic error with a text for developers in the user information
// (ZQDeveloperDescriptionErrorKey); the user-facing description stays the generic one.
[[nodiscard]] platform::ErrorPtr defaultZQErrorWithDeveloperDescription(std::string description);
// The developer description of an error, or its localized description when it has none.
std::string developerDescriptionOfError(const platform::ErrorPtr& error);

// An error for an HTTP status: ZQHTTPStatusErrorDomain, the status as code, the status line's
// reason in the description and the status under ZQHTTPStatusCodeErrorKey.
[[nodiscard]] platform::ErrorPtr errorForHTTPURLResponseStatusCode(int64_t statusCode);
// "Not Found" for 404; "Unknown Status" for codes without a standard reason phrase.
std::string_view reasonPhraseForHTTPStatusCode(int64_t statusCode);
