// The process-wide HTTP transport: one libcurl multi handle driven by one I/O thread, so that
// transfers in flight hold no worker thread, and connections to a server are kept and reused.
// Any thread starts and cancels transfers; only the I/O thread touches libcurl's handles. The
// mutex guards the hand-over lists (new transfers, cancellations, the stop flag); everything else
// belongs to the I/O thread. Completions run on the worker pool, never on the I/O thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPURLResponse.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequest.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/Value.hpp"

class ZQURLTransport {
  public:
    struct Result {
        // Any HTTP status counts as a response; none on a transport failure.
        std::shared_ptr<ZQHTTPURLResponse> response;
        // The body as bytes (empty bytes for an answer without a body); absent on failure.
        platform::Value data;
        // platform::kURLErrorDomain with a ZQURLErrorCode; none with a response.
        platform::ErrorPtr error;
    };
    using Completion = std::function<void(Result)>;
    struct Transfer;

    static ZQURLTransport& shared();

    // Copies what it needs from the request and starts the transfer. The completion runs exactly
    // once, on a worker thread: with the answer, with a transport error, with
    // ZQURLErrorTimedOut when no data moved for the request's timeout interval, or with
    // ZQURLErrorCancelled after cancel().
    [[nodiscard]] std::shared_ptr<Transfer> start(const ZQURLRequest& request,
                                                  Completion completion) EXCLUDES(mutex_);
    // Removes the transfer from libcurl at the I/O thread's next turn (at once: the thread is
    // woken) and completes it as cancelled, unless it already completed.
    void cancel(const std::shared_ptr<Transfer>& transfer) EXCLUDES(mutex_);

    // Transfers started and not yet completed.
    size_t activeTransferCount() const { return active_.load(); }
    // Connections opened so far (a reused connection does not count).
    uint64_t connectionsOpened() const { return connectionsOpened_.load(); }

    ZQURLTransport();
    ~ZQURLTransport();
    ZQURLTransport(const ZQURLTransport&) = delete;
    ZQURLTransport& operator=(const ZQURLTransport&) = delete;

  private:
    struct Loop;
    void run();
    void stop() EXCLUDES(mutex_);

    platform::Mutex mutex_;
    std::vector<std::shared_ptr<Transfer>> pending_ GUARDED_BY(mutex_);
    std::vector<std::shared_ptr<Transfer>> cancelled_ GUARDED_BY(mutex_);
    bool stopping_ GUARDED_BY(mutex_) = false;
    void* multi_ = nullptr;  // CURLM*, used by the I/O thread (and wakeup from any thread)
    std::atomic<size_t> active_{0};
    std::atomic<uint64_t> connectionsOpened_{0};
    std::thread thread_;
};
