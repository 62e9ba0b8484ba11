#include "ZQDataLayerRemote/manager/ZQEntityDataManagerLoaderContext.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"

ZQEntityDataManagerLoaderContext::ZQEntityDataManagerLoaderContext(
    ZQEntityDataManagerLoader loader, QueryInfoPtr queryInfo, DelegatePtr delgate,
    platform::URL baseURL, std::optional<std::string> queryParameters)
    : loader_(std::move(loader)),
      baseURL_(std::move(baseURL)),
      queryParameters_(std::move(queryParameters)) {
    queryInfosArray_.push_back(std::move(queryInfo));
    delegatesArray_.push_back(std::move(delgate));
}

ZQEntityDataManagerLoaderContext::~ZQEntityDataManagerLoaderContext() = default;

ZQEntityDataManagerLoader ZQEntityDataManagerLoaderContext::loader() const {
    platform::RecursiveMutexLock hold(mutex_);
    return loader_;
}

void ZQEntityDataManagerLoaderContext::setLoader(ZQEntityDataManagerLoader loader) {
    platform::RecursiveMutexLock hold(mutex_);
    loader_ = std::move(loader);
}

platform::URL ZQEntityDataManagerLoaderContext::baseURL() const {
    platform::RecursiveMutexLock hold(mutex_);
    return baseURL_;
}

void ZQEntityDataManagerLoaderContext::setBaseURL(platform::URL baseURL) {
    platform::RecursiveMutexLock hold(mutex_);
    baseURL_ = std::move(baseURL);
}

std::optional<std::string> ZQEntityDataManagerLoaderContext::queryParameters() const {
    platform::RecursiveMutexLock hold(mutex_);
    return queryParameters_;
}

void ZQEntityDataManagerLoaderContext::setQueryParameters(
    std::optional<std::string> queryParameters) {
    platform::RecursiveMutexLock hold(mutex_);
    queryParameters_ = std::move(queryParameters);
}

ZQEntityDataManagerLoaderContext::QueryInfoPtr ZQEntityDataManagerLoaderContext::queryInfo() const {
    platform::RecursiveMutexLock hold(mutex_);
    return queryInfosArray_.empty() ? nullptr : queryInfosArray_.front();
}

ZQEntityDataManagerLoaderContext::DelegatePtr ZQEntityDataManagerLoaderContext::delegate() const {
    platform::RecursiveMutexLock hold(mutex_);
    return delegatesArray_.empty() ? DelegatePtr{} : delegatesArray_.front();
}

ZQEntityDataManagerLoaderContext::QueryInfoPtr ZQEntityDataManagerLoaderContext::anyQueryInfo()
    const {
    platform::RecursiveMutexLock hold(mutex_);
    return queryInfosArray_.empty() ? nullptr : queryInfosArray_.back();
}

bool ZQEntityDataManagerLoaderContext::isCollection() const {
    QueryInfoPtr last = anyQueryInfo();
    if (!last) return false;
    auto dataSource = last->dataSource();
    return dataSource && dataSource->entityDataSourceIsCollection();
}

void ZQEntityDataManagerLoaderContext::addQueryInfo(QueryInfoPtr queryInfo, DelegatePtr delgate) {
    platform::RecursiveMutexLock hold(mutex_);
    queryInfosArray_.push_back(std::move(queryInfo));
    delegatesArray_.push_back(std::move(delgate));
}

size_t ZQEntityDataManagerLoaderContext::removeQueryInfo(const ZQEntityDataQueryInfo& queryInfo,
                                                         const DelegatePtr& /*delegate*/) {
    // Pairs are told apart by their query info alone: one delegate may wait for several queries,
    // and a query info is given once per load.
    platform::RecursiveMutexLock hold(mutex_);
    for (size_t i = 0; i < queryInfosArray_.size(); ++i) {
        if (queryInfosArray_[i] && queryInfosArray_[i]->isEqual(queryInfo)) {
            queryInfosArray_.erase(queryInfosArray_.begin() + static_cast<std::ptrdiff_t>(i));
            delegatesArray_.erase(delegatesArray_.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return queryInfosArray_.size();
}

size_t ZQEntityDataManagerLoaderContext::removeAllQueryInfos() {
    platform::RecursiveMutexLock hold(mutex_);
    size_t removed = queryInfosArray_.size();
    queryInfosArray_.clear();
    delegatesArray_.clear();
    return removed;
}

size_t ZQEntityDataManagerLoaderContext::count() const {
    platform::RecursiveMutexLock hold(mutex_);
    return queryInfosArray_.size();
}

void ZQEntityDataManagerLoaderContext::enumerateQueryInfosAndDelegatesUsingBlock(
    const PairBlock& block) const {
    platform::RecursiveMutexLock hold(mutex_);
    for (size_t i = 0; i < queryInfosArray_.size(); ++i) {
        if (block(queryInfosArray_[i], delegatesArray_[i])) break;
    }
}

std::vector<std::pair<ZQEntityDataManagerLoaderContext::QueryInfoPtr,
                      ZQEntityDataManagerLoaderContext::DelegatePtr>>
ZQEntityDataManagerLoaderContext::pairs() const {
    platform::RecursiveMutexLock hold(mutex_);
    std::vector<std::pair<QueryInfoPtr, DelegatePtr>> result;
    result.reserve(queryInfosArray_.size());
    for (size_t i = 0; i < queryInfosArray_.size(); ++i) {
        result.emplace_back(queryInfosArray_[i], delegatesArray_[i]);
    }
    return result;
}

std::string ZQEntityDataManagerLoaderContext::description() const {
    platform::RecursiveMutexLock hold(mutex_);
    return "<ZQEntityDataManagerLoaderContext " + baseURL_.absoluteString() + "?" +
           queryParameters_.value_or("") + " pairs=" + std::to_string(queryInfosArray_.size()) +
           ">";
}
