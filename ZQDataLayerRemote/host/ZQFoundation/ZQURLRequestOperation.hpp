// An asynchronous operation that performs one HTTP request on the shared transport: its worker is
// free while the transfer is in flight. The delegate (held weakly) hears of the answer or the
// failure on a worker thread; cancelling removes the transfer from the transport at once and the
// operation finishes without a callback as soon as the transport lets it go. Any thread; the mutex
// guards request, delegate, results and the transfer. Key-value keys: "data", "response"
// (read-only), "request".
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPURLResponse.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequest.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/Error.hpp"
#include "platform/KeyValueCoding.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"

class ZQURLRequestOperation : public platform::Operation, public platform::KeyValueCoding {
  public:
    [[nodiscard]] static std::shared_ptr<ZQURLRequestOperation> create(
        std::shared_ptr<ZQURLRequest> request = nullptr,
        std::weak_ptr<ZQURLRequestOperationDelegate> delegate = {});
    ZQURLRequestOperation();
    ~ZQURLRequestOperation() override;

    // The request is read when the operation starts, so earlier steps may still change it.
    void setRequest(std::shared_ptr<ZQURLRequest> request) EXCLUDES(mutex_);
    std::shared_ptr<ZQURLRequest> request() const EXCLUDES(mutex_);
    void setDelegate(std::weak_ptr<ZQURLRequestOperationDelegate> delegate) EXCLUDES(mutex_);
    std::shared_ptr<ZQURLRequestOperationDelegate> delegate() const EXCLUDES(mutex_);

    // The answer; none until one arrived or when the request failed.
    std::shared_ptr<const ZQHTTPURLResponse> response() const EXCLUDES(mutex_);
    // The body as bytes (empty bytes for an answer without a body); absent without an answer.
    platform::Value data() const EXCLUDES(mutex_);
    // The transport failure; none when an answer arrived.
    platform::ErrorPtr error() const EXCLUDES(mutex_);

    bool isAsynchronous() const override { return true; }
    void main() override EXCLUDES(mutex_);
    void cancel() override EXCLUDES(mutex_);

  private:
    static std::span<const Key> keyTable();
    void didComplete(ZQURLTransport::Result result) EXCLUDES(mutex_);

    mutable platform::Mutex mutex_;
    std::shared_ptr<ZQURLRequest> request_ GUARDED_BY(mutex_);
    std::weak_ptr<ZQURLRequestOperationDelegate> delegate_ GUARDED_BY(mutex_);
    std::shared_ptr<ZQHTTPURLResponse> response_ GUARDED_BY(mutex_);
    platform::Value data_ GUARDED_BY(mutex_);
    platform::ErrorPtr error_ GUARDED_BY(mutex_);
    std::shared_ptr<ZQURLTransport::Transfer> transfer_ GUARDED_BY(mutex_);
};
