// The request pattern the field and rule providers share: each load gets a private operation
// queue, suspended while the host computes the parameter string; a parameter string only goes on
// with the very queue its load suspended, and only while that queue is still suspended, so that of
// two overlapping loads only the newest sends. Owned by one provider; loads and cancel come from
// the main thread, parameter strings and request callbacks from workers; mutex_ guards queue_.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/URL.hpp"

class ZQFieldServiceRequestQueue {
  public:
    ZQFieldServiceRequestQueue() = default;
    ZQFieldServiceRequestQueue(const ZQFieldServiceRequestQueue&) = delete;
    ZQFieldServiceRequestQueue& operator=(const ZQFieldServiceRequestQueue&) = delete;
    // Cancels what the current queue still runs.
    ~ZQFieldServiceRequestQueue();

    // Cancels the current queue's operations; a new queue replaces it when there is none or it is
    // suspended (an earlier load still waits for its parameter string), a running one stays.
    // Answers the queue, suspended: the load's token for resume.
    [[nodiscard]] std::shared_ptr<platform::OperationQueue> beginLoad() EXCLUDES(mutex_);
    // When queue is still the current queue and still suspended, add() puts the load's operations
    // on it and the queue is resumed; otherwise nothing happens (a stale parameter string).
    // Answers whether add() ran.
    bool resume(const std::shared_ptr<platform::OperationQueue>& queue,
                const std::function<void(const std::shared_ptr<platform::OperationQueue>&)>& add)
        EXCLUDES(mutex_);
    // resume() with a GET of url (ZQApplicationHelper::requestWithURL) and its parse, reporting to
    // the delegates. Answers whether the caller must report a failure: the queue is still current
    // but there is no URL, which must not leave the field waiting for ever.
    [[nodiscard]] bool resumeWithRequest(
        const std::shared_ptr<platform::OperationQueue>& queue,
        const std::optional<platform::URL>& url,
        std::weak_ptr<ZQURLRequestOperationDelegate> requestDelegate,
        std::weak_ptr<ZQParseJsonOperationDelegate> parseDelegate);
    // Cancels the current queue's operations (a delivered or failed request ends its load).
    void cancelOperations() EXCLUDES(mutex_);
    // cancelOperations, and a suspended queue is dropped, so that a parameter string arriving
    // later finds no queue.
    void cancel() EXCLUDES(mutex_);

    // A service URL: relative to the running application's server base URL, or, without one, the
    // text itself when it is an absolute URL. None when neither gives a URL.
    static std::optional<platform::URL> serviceURL(std::string_view urlString);
    // From a request callback: runs block synchronously on the main thread unless the operation
    // is cancelled, before or while waiting for the main thread (a cancel there wins).
    static void onMainUnlessCancelled(const std::shared_ptr<platform::Operation>& operation,
                                      const std::function<void()>& block);

  private:
    platform::Mutex mutex_;
    std::shared_ptr<platform::OperationQueue> queue_ GUARDED_BY(mutex_);
};
