// Reads security failures out of HTTP answers. Stateless static functions; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPURLResponse.hpp"
#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQSecurityHelper {
  public:
    // For a 401 answer: error (ZQSecurityErrorDomain, 401, the server's message when its body
    // has one) and, when the security service can request authorisation, recovery options (a
    // dictionary with ZQAuthorizationFailedURLKey, ZQAuthorizationFailedCredentialKey when the
    // request carried an Authorization field, and the realm and challenge of WWW-Authenticate)
    // to pass to requestAuthorizationWithOptions. For a 403: the error only (authorising again
    // does not cure a refusal of rights). Anything else: neither. Both outputs are reset first
    // (null pointers are skipped); answers whether the response is a security failure.
    static bool handleSecurityErrorFromResponse(
        const std::shared_ptr<const ZQHTTPURLResponse>& response, const platform::Value& data,
        platform::ErrorPtr* error, platform::Value* recoverAuthorizationRequestOptions);
};
