#include "ZQDataLayerRemote/field-services/ZQFieldServiceRequestQueue.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "platform/MainLoop.hpp"

ZQFieldServiceRequestQueue::~ZQFieldServiceRequestQueue() {
    cancelOperations();
}

std::shared_ptr<platform::OperationQueue> ZQFieldServiceRequestQueue::beginLoad() {
    platform::MutexLock lock(mutex_);
    if (queue_) queue_->cancelAllOperations();
    if (!queue_ || queue_->isSuspended())
        queue_ = platform::OperationQueue::create("field service");
    queue_->setSuspended(true);
    return queue_;
}

bool ZQFieldServiceRequestQueue::resume(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const std::function<void(const std::shared_ptr<platform::OperationQueue>&)>& add) {
    platform::MutexLock lock(mutex_);
    if (!queue_ || queue_ != queue || !queue_->isSuspended()) return false;
    add(queue_);
    queue_->setSuspended(false);
    return true;
}

bool ZQFieldServiceRequestQueue::resumeWithRequest(
    const std::shared_ptr<platform::OperationQueue>& queue, const std::optional<platform::URL>& url,
    std::weak_ptr<ZQURLRequestOperationDelegate> requestDelegate,
    std::weak_ptr<ZQParseJsonOperationDelegate> parseDelegate) {
    bool current = resume(queue, [&](const auto& running) {
        if (url)
            addURLRequestAndParseJSONOperationsForRequest(
                running, ZQApplicationHelper::requestWithURL(*url), std::move(requestDelegate),
                std::move(parseDelegate));
    });
    return current && !url;
}

void ZQFieldServiceRequestQueue::cancelOperations() {
    platform::MutexLock lock(mutex_);
    if (queue_) queue_->cancelAllOperations();
}

void ZQFieldServiceRequestQueue::cancel() {
    platform::MutexLock lock(mutex_);
    if (!queue_) return;
    queue_->cancelAllOperations();
    if (queue_->isSuspended()) queue_.reset();
}

std::optional<platform::URL> ZQFieldServiceRequestQueue::serviceURL(std::string_view urlString) {
    if (auto url = ZQEntityHelper::urlRelativeToServerBaseURL(urlString)) return url;
    return platform::URL::fromString(urlString);
}

void ZQFieldServiceRequestQueue::onMainUnlessCancelled(
    const std::shared_ptr<platform::Operation>& operation, const std::function<void()>& block) {
    if (operation->isCancelled()) return;
    platform::dispatchSyncOnMain([&] {
        if (!operation->isCancelled()) block();
    });
}
