// The request pipeline's operation-queue addition: one call adds a request operation and a JSON
// parse operation that depends on it, both reporting to one delegate. Stateless free functions;
// any thread (the queue is thread-safe).
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/OperationQueue.hpp"

// Adds to the queue a ZQURLRequestOperation for the request and a ZQParseJsonOperation that
// depends on it and parses its body (the request operation is the parse operation's source()).
// Returns the parse operation. Callers suspend the queue while adding and resume it afterwards;
// cancelling the queue's operations cancels the request.
std::shared_ptr<ZQParseJsonOperation> addURLRequestAndParseJSONOperationsForRequest(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const std::shared_ptr<ZQURLRequest>& request,
    std::weak_ptr<ZQURLRequestOperationDelegate> requestDelegate,
    std::weak_ptr<ZQParseJsonOperationDelegate> parseDelegate);

// The same with one delegate that conforms to both protocols.
template <typename Delegate>
std::shared_ptr<ZQParseJsonOperation> addURLRequestAndParseJSONOperationsForRequest(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const std::shared_ptr<ZQURLRequest>& request, const std::shared_ptr<Delegate>& delegate) {
    return addURLRequestAndParseJSONOperationsForRequest(
        queue, request, std::weak_ptr<ZQURLRequestOperationDelegate>(delegate),
        std::weak_ptr<ZQParseJsonOperationDelegate>(delegate));
}
