#include "ZQDataLayerRemote/services/ZQEntityDataServiceManager.hpp"

#include "platform/DateFormat.hpp"

std::shared_ptr<ZQEntityDataServiceManager> ZQEntityDataServiceManager::create() {
    return std::make_shared<ZQEntityDataServiceManager>();
}

ZQEntityDataServiceManager::~ZQEntityDataServiceManager() {
    for (const auto& [key, context] : loadersByURL_) context->loader()->setDelegate({});
}

std::string ZQEntityDataServiceManager::keyForQueryInfo(
    const ZQEntityDataServiceQueryInfo& queryInfo) {
    std::string key = queryInfo.url().absoluteString();
    if (std::optional<platform::Date> since = queryInfo.ifModifiedSince()) {
        key += platform::standardDateDescription(*since);
    }
    return key;
}

std::shared_ptr<platform::SerialQueue> ZQEntityDataServiceManager::loadersByURLDispatchQueue() {
    platform::MutexLock lock(queueMutex_);
    if (!loadersByURLDispatchQueue_) {
        loadersByURLDispatchQueue_ = platform::SerialQueue::create(kLoadersByURLQueueLabel);
    }
    return loadersByURLDispatchQueue_;
}

void ZQEntityDataServiceManager::load(
    const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataServiceManagerDelegate>& delegate) {
    if (!queryInfo) return;
    const std::string key = keyForQueryInfo(*queryInfo);
    std::weak_ptr<ZQEntityDataServiceManagerDelegate> weakDelegate = delegate;
    loadersByURLDispatchQueue()->sync([&] {
        auto it = loadersByURL_.find(key);
        if (it != loadersByURL_.end()) {
            it->second->addQueryInfo(queryInfo, weakDelegate);
            return;
        }
        std::shared_ptr<ZQEntityDataServiceLoader> loader =
            ZQEntityDataServiceLoader::create(queryInfo, weak_from_this());
        loadersByURL_.emplace(key, Context::create(loader, queryInfo, weakDelegate));
        // Started inside the block: a finish cannot look for the key before it is stored.
        loader->start();
    });
}

void ZQEntityDataServiceManager::cancelLoad(
    const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataServiceManagerDelegate>& delegate) {
    if (!queryInfo) return;
    const std::string key = keyForQueryInfo(*queryInfo);
    std::shared_ptr<ZQEntityDataServiceLoader> abandoned;
    loadersByURLDispatchQueue()->sync([&] {
        auto it = loadersByURL_.find(key);
        if (it == loadersByURL_.end()) return;
        if (it->second->removeQueryInfo(queryInfo, delegate) > 0) return;
        abandoned = it->second->loader();
        abandoned->setDelegate({});
        loadersByURL_.erase(it);
    });
    // Outside the block: cancelling touches the security service and the loader's queue, which
    // need not hold up other requesters.
    if (abandoned) abandoned->cancel();
}

void ZQEntityDataServiceManager::entityDataServiceLoaderDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataServiceLoader>& loader,
    const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataServiceResult>& result) {
    if (!loader || !query) return;
    const std::string key = keyForQueryInfo(*query);
    std::shared_ptr<Context> context;
    loadersByURLDispatchQueue()->sync([&] {
        auto it = loadersByURL_.find(key);
        // A loader cancelled or replaced under the same key reports to nobody.
        if (it == loadersByURL_.end() || it->second->loader() != loader) return;
        context = std::move(it->second);
        loadersByURL_.erase(it);
    });
    if (!context) return;
    loader->setDelegate({});
    std::shared_ptr<ZQEntityDataServiceManager> self = shared_from_this();
    context->enumerateQueryInfosAndDelegates(
        [&](const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
            const std::weak_ptr<ZQEntityDataServiceManagerDelegate>& weakDelegate) {
            if (auto delegate = weakDelegate.lock()) {
                delegate->entityDataServiceManagerDidFinishLoadingQuery(self, queryInfo, result);
            }
        });
}

size_t ZQEntityDataServiceManager::runningLoadCount() {
    size_t count = 0;
    loadersByURLDispatchQueue()->sync([&] { count = loadersByURL_.size(); });
    return count;
}
