// The common base of the host's business-component handlers (load, default load, save, delete):
// the level, model and key a handler works on, its private operation queue, start and cancel, and
// its reports. A handler reports exactly once: the first onSuccess / onError claims the report on
// whatever thread calls it and ends the handler (its queue's remaining operations are cancelled);
// later reports are ignored, and a cancelled handler reports nothing. The report reaches the
// delegate and the completion on the main thread. Owned by the host (and, while its operations
// run, by them); used from any thread: mutex_ guards the report state, delegate, completion and
// queue.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandlerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"
#include "platform/OperationQueue.hpp"

// What a handler needs of the network (connectivitySupport).
enum ZQConnectivitySupport : int32_t {
    ZQConnectivitySupportOnline = 0,  // the value of online handlers
    ZQConnectivitySupportOffline = 1,
    ZQConnectivitySupportInherit = 2,
};

class ZQBusinessComponentHandler : public std::enable_shared_from_this<ZQBusinessComponentHandler> {
  public:
    // Called once on the main thread: the instance (none after a delete), or the error.
    using Completion =
        std::function<void(const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData,
                           const platform::ErrorPtr& error)>;

    virtual ~ZQBusinessComponentHandler() = default;
    ZQBusinessComponentHandler(const ZQBusinessComponentHandler&) = delete;
    ZQBusinessComponentHandler& operator=(const ZQBusinessComponentHandler&) = delete;

    const std::shared_ptr<const ZQBusinessComponentLevel>& businessComponentLevel() const {
        return level_;
    }
    // The level's business component, held for the handler's life.
    const std::shared_ptr<const ZQBusinessComponentModel>& businessComponentModel() const {
        return model_;
    }
    // None for handlers made without one (default load, insert).
    const std::shared_ptr<const ZQEntityDataKey>& key() const { return key_; }

    void setDelegate(std::weak_ptr<ZQBusinessComponentHandlerDelegate> delegate) EXCLUDES(mutex_);
    void setCompletion(Completion completion) EXCLUDES(mutex_);

    virtual void start() = 0;
    // Cancels the queue's operations; nothing is reported afterwards. Idempotent.
    virtual void cancel() EXCLUDES(mutex_);
    bool isCancelled() const EXCLUDES(mutex_);
    // Whether the handler has reported (or been cancelled): it does nothing more.
    bool isEnded() const EXCLUDES(mutex_);
    virtual ZQConnectivitySupport connectivitySupport() const = 0;

  protected:
    ZQBusinessComponentHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                               std::shared_ptr<const ZQEntityDataKey> key);

    // Made on first use; stays for the handler's life.
    std::shared_ptr<platform::OperationQueue> operationQueue() const EXCLUDES(mutex_);

    // Any thread. The first report wins; see the class comment.
    void onSuccess(const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData)
        EXCLUDES(mutex_);
    void onSuccess() EXCLUDES(mutex_);
    void onError(const platform::ErrorPtr& error) EXCLUDES(mutex_);
    // A failure of one of the handler's operations: cancels the queue at once and reports the
    // error (defaultZQError when none) through onError, on the main thread.
    void onErrorAndCancelOperationsOnMainThread(
        const std::shared_ptr<platform::Operation>& operation, const platform::ErrorPtr& error)
        EXCLUDES(mutex_);

    // Main thread, after the delegate and the completion heard of the report: subclasses with
    // delegates of their own (insert, update) tell them here.
    virtual void handlerDidSucceed(
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {}
    virtual void handlerDidFail(const platform::ErrorPtr& error) {}

  private:
    // Claims the report; false when the handler already reported or was cancelled.
    bool claimReport() EXCLUDES(mutex_);
    void deliver(std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData,
                 platform::ErrorPtr error) EXCLUDES(mutex_);

    const std::shared_ptr<const ZQBusinessComponentLevel> level_;
    const std::shared_ptr<const ZQBusinessComponentModel> model_;
    const std::shared_ptr<const ZQEntityDataKey> key_;

    mutable platform::Mutex mutex_;
    mutable std::shared_ptr<platform::OperationQueue> queue_ GUARDED_BY(mutex_);
    std::weak_ptr<ZQBusinessComponentHandlerDelegate> delegate_ GUARDED_BY(mutex_);
    Completion completion_ GUARDED_BY(mutex_);
    bool reported_ GUARDED_BY(mutex_) = false;
    bool cancelled_ GUARDED_BY(mutex_) = false;
};
