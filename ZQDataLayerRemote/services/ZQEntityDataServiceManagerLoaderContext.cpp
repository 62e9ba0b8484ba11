#include "ZQDataLayerRemote/services/ZQEntityDataServiceManagerLoaderContext.hpp"

#include <algorithm>

using platform::MutexLock;

ZQEntityDataServiceManagerLoaderContext::ZQEntityDataServiceManagerLoaderContext(
    std::shared_ptr<ZQEntityDataServiceLoader> loader,
    std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
    std::weak_ptr<ZQEntityDataServiceManagerDelegate> delegate)
    : loader_(std::move(loader)) {
    pairs_.emplace_back(std::move(queryInfo), std::move(delegate));
}

std::shared_ptr<ZQEntityDataServiceManagerLoaderContext>
ZQEntityDataServiceManagerLoaderContext::create(
    std::shared_ptr<ZQEntityDataServiceLoader> loader,
    std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
    std::weak_ptr<ZQEntityDataServiceManagerDelegate> delegate) {
    return std::make_shared<ZQEntityDataServiceManagerLoaderContext>(
        std::move(loader), std::move(queryInfo), std::move(delegate));
}

void ZQEntityDataServiceManagerLoaderContext::addQueryInfo(
    std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
    std::weak_ptr<ZQEntityDataServiceManagerDelegate> delegate) {
    MutexLock lock(mutex_);
    pairs_.emplace_back(std::move(queryInfo), std::move(delegate));
}

size_t ZQEntityDataServiceManagerLoaderContext::removeQueryInfo(
    const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataServiceManagerDelegate>& /*delegate*/) {
    MutexLock lock(mutex_);
    auto it = std::find_if(pairs_.begin(), pairs_.end(),
                           [&](const Pair& pair) { return pair.first == queryInfo; });
    if (it != pairs_.end()) pairs_.erase(it);
    return pairs_.size();
}

void ZQEntityDataServiceManagerLoaderContext::enumerateQueryInfosAndDelegates(
    const std::function<void(const std::shared_ptr<ZQEntityDataServiceQueryInfo>&,
                             const std::weak_ptr<ZQEntityDataServiceManagerDelegate>&)>& block)
    const {
    std::vector<Pair> pairs;
    {
        MutexLock lock(mutex_);
        pairs = pairs_;
    }
    for (const Pair& pair : pairs) block(pair.first, pair.second);
}

size_t ZQEntityDataServiceManagerLoaderContext::count() const {
    MutexLock lock(mutex_);
    return pairs_.size();
}
