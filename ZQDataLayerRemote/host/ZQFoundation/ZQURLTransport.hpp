// The process-wide HTTP transport: one libcurl multi handle that carries every transfer, so that
// transfers in flight hold no worker thread each, and connections to a server are kept and reused.
// One worker at a time drives it (the driver), counted as blocked by the pool while it waits for
// the network. While other transfers are in flight it hands completions to other workers and
// drives on; when the last one completes it lets go and runs them itself. Any thread starts and
// cancels transfers; only the driver touches libcurl's handles and the loop state. The mutex
// guards the hand-over lists (new transfers, cancellations), the driving and stop flags.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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

    // Copies what it needs from the request; nothing is sent before begin(). The completion runs
    // exactly once, on a worker thread: with the answer, with a transport error, with
    // ZQURLErrorTimedOut when no data moved for the request's timeout interval, or with
    // ZQURLErrorCancelled after cancel().
    [[nodiscard]] std::shared_ptr<Transfer> prepare(const ZQURLRequest& request,
                                                    Completion completion);
    // Sends a prepared transfer. With driveHere on a worker thread while no worker drives the
    // transport, the calling worker becomes the driver at once and returns only when nothing is
    // in flight any more (completions may then have run already); the caller must hold no lock
    // that a completion takes. Otherwise the driver is woken, or a worker is asked to drive.
    void begin(const std::shared_ptr<Transfer>& transfer, bool driveHere) EXCLUDES(mutex_);
    // prepare() and begin() without driving here.
    [[nodiscard]] std::shared_ptr<Transfer> start(const ZQURLRequest& request,
                                                  Completion completion) EXCLUDES(mutex_);
    // Removes the transfer from libcurl at the driver's next turn (at once: the driver is woken)
    // and completes it as cancelled, unless it already completed. Before begin(), the transfer
    // is cancelled as soon as it begins.
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
    // Runs on the worker that set driving_, until no transfer is left.
    void drive() EXCLUDES(mutex_);
    // Asks the driver to drop what is in flight and waits a moment for it to let go.
    void stop() EXCLUDES(mutex_);
    bool hasWorkQueued() const REQUIRES(mutex_) { return !pending_.empty() || !cancelled_.empty(); }

    platform::Mutex mutex_;
    platform::CondVar idleCv_;  // stop() waits here for the driver to let go
    std::vector<std::shared_ptr<Transfer>> pending_ GUARDED_BY(mutex_);
    std::vector<std::shared_ptr<Transfer>> cancelled_ GUARDED_BY(mutex_);
    bool driving_ GUARDED_BY(mutex_) = false;  // a worker drives, or has been asked to
    bool stopping_ GUARDED_BY(mutex_) = false;
    void* multi_ = nullptr;  // CURLM*, used by the driver (and wakeup from any thread)
    // The driver's: handed from one driver to the next through mutex_ and the pool's queue.
    std::unique_ptr<Loop> loop_;
    std::atomic<size_t> active_{0};
    std::atomic<uint64_t> connectionsOpened_{0};
};
