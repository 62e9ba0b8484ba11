#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"

using platform::Dictionary;
using platform::Error;
using platform::ErrorPtr;
using platform::Value;

namespace {
constexpr const char* kGenericMessage = "An unexpected error occurred.";
}

ErrorPtr defaultZQError() {
    static const ErrorPtr error = Error::create(ZQErrorDomain, ZQErrorCodeUnknown, kGenericMessage);
    return error;
}

ErrorPtr defaultZQErrorWithDeveloperDescription(std::string description) {
    return Error::create(
        ZQErrorDomain, ZQErrorCodeUnknown, kGenericMessage,
        Dictionary{{ZQDeveloperDescriptionErrorKey, Value(std::move(description))}});
}

std::string developerDescriptionOfError(const ErrorPtr& error) {
    if (!error) return std::string();
    if (const Value* text = error->userInfo().find(ZQDeveloperDescriptionErrorKey)) {
        if (text->isString()) return std::string(*text->string());
    }
    return error->localizedDescription();
}

std::string_view reasonPhraseForHTTPStatusCode(int64_t statusCode) {
    switch (statusCode) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 406:
            return "Not Acceptable";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 410:
            return "Gone";
        case 412:
            return "Precondition Failed";
        case 413:
            return "Content Too Large";
        case 415:
            return "Unsupported Media Type";
        case 422:
            return "Unprocessable Content";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "Unknown Status";
    }
}

ErrorPtr errorForHTTPURLResponseStatusCode(int64_t statusCode) {
    std::string description = "The server answered with status " + std::to_string(statusCode) +
                              " (" + std::string(reasonPhraseForHTTPStatusCode(statusCode)) + ").";
    return Error::create(ZQHTTPStatusErrorDomain, statusCode, std::move(description),
                         Dictionary{{ZQHTTPStatusCodeErrorKey, Value(statusCode)}});
}
