// The delegate protocol of ZQURLRequestOperation. Both callbacks are optional and run on a
// worker thread, before the operation is marked finished (so operations that depend on it have
// not started yet). Implementations test isCancelled() first and ignore a cancelled operation.
#pragma once

#include <memory>

class ZQURLRequestOperation;

class ZQURLRequestOperationDelegate {
  public:
    virtual ~ZQURLRequestOperationDelegate() = default;
    // An HTTP answer arrived, whatever its status: read response() and data().
    virtual void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) {}
    // No answer: read error().
    virtual void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) {}
};
