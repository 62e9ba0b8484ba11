#include "ZQDataLayerRemote/host/ZQFoundation/ZQAuthorizationRequest.hpp"

bool ZQAuthorizationRequest::complete(bool success, platform::ErrorPtr error) {
    int expected = kPending;
    if (!state_.compare_exchange_strong(expected, kCompleted)) return false;
    Completion completion = std::move(completion_);
    if (completion) completion(success, std::move(error));
    return true;
}

bool ZQAuthorizationRequest::cancel() {
    int expected = kPending;
    if (!state_.compare_exchange_strong(expected, kCancelled)) return expected == kCancelled;
    // Released here rather than with the request, so that what it captured goes at once.
    Completion dropped = std::move(completion_);
    return true;
}
