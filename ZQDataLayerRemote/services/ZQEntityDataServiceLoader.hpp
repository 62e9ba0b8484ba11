// Performs one GET of a data-service URL through the host's request pipeline: conditional with
// If-Modified-Since when the request has a cached Last-Modified time, 304 recognised without a
// parse, Last-Modified read back, one authorisation and re-send when the server refuses the
// credentials, and exactly one service result for the delegate (held weakly) unless cancelled.
// Owned by the service manager's loader context. Threads: start/cancel on the caller's, host
// callbacks on worker threads, the authorisation completion on a worker; mutex_ guards every
// mutable field and is never held while the delegate or the security service is called.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQAuthorizationRequest.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPURLResponse.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceLoaderDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/Value.hpp"

class ZQEntityDataServiceLoader : public platform::Object,
                                  public ZQURLRequestOperationDelegate,
                                  public ZQParseJsonOperationDelegate,
                                  public std::enable_shared_from_this<ZQEntityDataServiceLoader> {
  public:
    // The pattern of If-Modified-Since and Last-Modified (RFC 1123, in GMT).
    static constexpr const char* kHTTPDateFormat = "EEE, dd MMM yyyy HH:mm:ss z";

    ZQEntityDataServiceLoader(std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
                              std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceLoader> create(
        std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
        std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate);
    // Drops a pending authorisation and cancels every operation of the queue.
    ~ZQEntityDataServiceLoader() override;

    // Makes a new operation queue and sends the request. A loader runs once: after cancel() or
    // a finish it sends nothing more.
    void start() EXCLUDES(mutex_);
    // Cancels every operation of the queue and drops a pending authorisation; the delegate is
    // not told.
    void cancel() EXCLUDES(mutex_);

    std::shared_ptr<ZQEntityDataServiceLoaderDelegate> delegate() const EXCLUDES(mutex_);
    void setDelegate(std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate) EXCLUDES(mutex_);
    const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo() const { return queryInfo_; }
    // None until started.
    std::shared_ptr<platform::OperationQueue> opQueue() const EXCLUDES(mutex_);
    // The status of the last answer (0 before one), its Last-Modified time, the parsed body.
    int64_t statusCode() const EXCLUDES(mutex_);
    std::optional<platform::Date> lastModified() const EXCLUDES(mutex_);
    platform::Value parsedData() const EXCLUDES(mutex_);

    // Host callbacks.
    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override EXCLUDES(mutex_);
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override EXCLUDES(mutex_);
    void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override EXCLUDES(mutex_);
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override EXCLUDES(mutex_);

    std::string description() const override;

  private:
    // Adds the request and parse operations to the suspended queue; false when no request could
    // be made. Holding mutex_ keeps a concurrent cancel() from missing the new operations.
    bool sendRequestLocked() REQUIRES(mutex_);
    void authorize(const platform::Value& options) EXCLUDES(mutex_);
    void authorizationDidComplete(uint64_t ticket, bool success, platform::ErrorPtr error)
        EXCLUDES(mutex_);
    void readLastModified(const ZQHTTPURLResponse& response) EXCLUDES(mutex_);
    // Reports the result once. A finish that comes from a cancelled operation, or after cancel(),
    // does nothing.
    void finish(platform::ErrorPtr error, const platform::Operation* fromOperation)
        EXCLUDES(mutex_);

    const std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo_;
    mutable platform::Mutex mutex_;
    std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate_ GUARDED_BY(mutex_);
    std::shared_ptr<platform::OperationQueue> opQueue_ GUARDED_BY(mutex_);
    platform::Value parsedData_ GUARDED_BY(mutex_);
    // A large collection answer kept as text instead of parsedData_.
    std::shared_ptr<const ZQJSONArrayReader> streamedRows_ GUARDED_BY(mutex_);
    int64_t statusCode_ GUARDED_BY(mutex_) = 0;
    std::optional<platform::Date> lastModified_ GUARDED_BY(mutex_);
    std::shared_ptr<ZQAuthorizationRequest> authRequestObject_ GUARDED_BY(mutex_);
    // The authorisation whose completion is awaited (0: none). A completion with another ticket
    // is stale: superseded by a newer authorisation or dropped by cancel().
    uint64_t pendingAuthorization_ GUARDED_BY(mutex_) = 0;
    uint64_t authorizationCount_ GUARDED_BY(mutex_) = 0;
    bool cancelled_ GUARDED_BY(mutex_) = false;
    bool finished_ GUARDED_BY(mutex_) = false;
};
