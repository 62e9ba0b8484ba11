// Uploads the binary values of one save: one POST per single reference not yet uploaded, on a
// private queue that runs at most the configured number of uploads at once, and records each
// object identifier the server answers on its reference. Made by ZQObjectRESTUploaderService,
// held by the save handler (and by its own steps while they run). start, the error handling, the
// final step and every delegate call run on the main thread; the steps run on workers, progress
// reports on the transport's thread. mutex_ guards the private queue, the error, the delegate, the
// progress observer and the flags.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploader.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequest.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "platform/Mutex.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/URL.hpp"

class ZQObjectRESTUploaderOperation : public ZQObjectUploader,
                                      public ZQURLRequestOperationDelegate,
                                      public ZQParseJsonOperationDelegate {
  public:
    using References = std::vector<std::shared_ptr<ZQBinaryDataFieldReference>>;
    // Uploads at once when the information dictionary does not say.
    static constexpr int kDefaultMaxConcurrentUploads = 5;

    // The array is copied; the references are the caller's own objects.
    [[nodiscard]] static std::shared_ptr<ZQObjectRESTUploaderOperation>
    createWithBinaryDataFieldReferences(References references);
    explicit ZQObjectRESTUploaderOperation(References references);
    ~ZQObjectRESTUploaderOperation() override;

    const References& binaryDataFieldReferences() const override { return references_; }
    platform::ErrorPtr error() const override EXCLUDES(mutex_);

    // Told of each upload's progress: the reference, its bytes sent so far and its size, as the
    // transport sends it (growing, the last report with everything sent). Runs on the transport's
    // thread, never on the main thread; it must be quick. Set before start; the uploads started
    // afterwards use it.
    using ProgressObserver = std::function<void(
        const std::shared_ptr<ZQSingleBinaryDataFieldReference>&, int64_t sent, int64_t total)>;
    void setProgressObserver(ProgressObserver observer) EXCLUDES(mutex_);
    void setDelegate(std::weak_ptr<ZQObjectUploaderDelegate> delegate) override EXCLUDES(mutex_);

    bool isAsynchronous() const override { return true; }
    // The start: re-sent to the main thread when called elsewhere.
    void main() override;
    // Cancels the uploads in flight and ends the operation without a delegate call.
    void cancel() override EXCLUDES(mutex_);

    // Calls the block with every single reference reachable from the reference, nested
    // composites flattened in member order.
    static void enumerateSingleObjectsToUploadReferenceIn(
        const std::shared_ptr<ZQBinaryDataFieldReference>& reference,
        const std::function<void(const std::shared_ptr<ZQSingleBinaryDataFieldReference>&)>& block);

    // The maximum of concurrent uploads the information dictionary asks for: a number of 1 or
    // more as it is, below 1 the queue's own default, missing or not a number 5.
    static int configuredMaxConcurrentUploads();

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;

  private:
    std::shared_ptr<ZQObjectRESTUploaderOperation> self();
    void startOnMain() EXCLUDES(mutex_);
    // Chains the five steps of one upload on the queue; the final step waits for the last.
    void addUploadSteps(const std::shared_ptr<platform::OperationQueue>& queue,
                        const platform::URL& url,
                        const std::shared_ptr<ZQSingleBinaryDataFieldReference>& reference,
                        const std::shared_ptr<ZQInvocationWithSelfOperation>& finalStep);
    // The upload URL: rest/<uploaderRestPath>/zqobject, or zqobject without a path.
    std::optional<platform::URL> uploadURL() const EXCLUDES(mutex_);

    void setupFileUploadRequest(const std::shared_ptr<ZQInvocationWithSelfOperation>& step,
                                const std::shared_ptr<ZQURLRequest>& request,
                                const std::shared_ptr<ZQSingleBinaryDataFieldReference>& reference);
    void readObjectId(const std::shared_ptr<ZQInvocationWithSelfOperation>& step,
                      const std::shared_ptr<ZQParseJsonOperation>& parse,
                      const std::shared_ptr<ZQSingleBinaryDataFieldReference>& reference);
    void finishUploading(const std::shared_ptr<ZQInvocationWithSelfOperation>& step)
        EXCLUDES(mutex_);

    // The failing step's error (defaultZQError when it has none), handled on the main thread
    // and waited for, unless the step was cancelled; the first failure alone reaches onError.
    void onErrorAndCancelOperationsOnMainThread(const std::shared_ptr<platform::Operation>& step,
                                                platform::ErrorPtr error);
    void onError(platform::ErrorPtr error) EXCLUDES(mutex_);
    // Cancels and drops the private queue, then marks the operation finished.
    void finishUploader() EXCLUDES(mutex_);
    // Takes the queue (and, with end, the right to the single delegate call); false when the
    // operation has already ended.
    bool takeQueue(std::shared_ptr<platform::OperationQueue>* queue, bool end) EXCLUDES(mutex_);
    std::shared_ptr<ZQObjectUploaderDelegate> delegate() const EXCLUDES(mutex_);

    const References references_;
    mutable platform::Mutex mutex_;
    std::shared_ptr<platform::OperationQueue> queue_ GUARDED_BY(mutex_);
    platform::ErrorPtr error_ GUARDED_BY(mutex_);
    std::weak_ptr<ZQObjectUploaderDelegate> delegate_ GUARDED_BY(mutex_);
    ProgressObserver progressObserver_ GUARDED_BY(mutex_);
    bool started_ GUARDED_BY(mutex_) = false;
    bool ended_ GUARDED_BY(mutex_) = false;
};
