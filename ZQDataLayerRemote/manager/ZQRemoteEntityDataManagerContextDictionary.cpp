#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerContextDictionary.hpp"

ZQRemoteEntityDataManagerContextDictionary::ContextPtr
ZQRemoteEntityDataManagerContextDictionary::synchronizedObjectForKey(const std::string& key) const {
    platform::MutexLock hold(mutex_);
    auto found = contexts_.find(key);
    return found == contexts_.end() ? nullptr : found->second;
}

ZQRemoteEntityDataManagerContextDictionary::Insertion
ZQRemoteEntityDataManagerContextDictionary::insertIfAbsent(
    const std::string& key, const std::function<ContextPtr()>& make) {
    platform::MutexLock hold(mutex_);
    auto found = contexts_.find(key);
    if (found != contexts_.end()) return {found->second, false};
    ContextPtr made = make();
    if (!made) return {};
    contexts_.emplace(key, made);
    return {std::move(made), true};
}

bool ZQRemoteEntityDataManagerContextDictionary::isMapped(
    const std::string& key, const ZQEntityDataManagerLoaderContext* context) const {
    platform::MutexLock hold(mutex_);
    auto found = contexts_.find(key);
    return found != contexts_.end() && found->second.get() == context;
}

void ZQRemoteEntityDataManagerContextDictionary::setObject(const std::string& key,
                                                           ContextPtr context) {
    platform::MutexLock hold(mutex_);
    contexts_[key] = std::move(context);
}

bool ZQRemoteEntityDataManagerContextDictionary::removeObjectForKey(
    const std::string& key, const ZQEntityDataManagerLoaderContext* context) {
    platform::MutexLock hold(mutex_);
    auto found = contexts_.find(key);
    if (found == contexts_.end() || found->second.get() != context) return false;
    contexts_.erase(found);
    return true;
}

std::vector<std::string> ZQRemoteEntityDataManagerContextDictionary::allKeys() const {
    platform::MutexLock hold(mutex_);
    std::vector<std::string> keys;
    keys.reserve(contexts_.size());
    for (const auto& entry : contexts_) keys.push_back(entry.first);
    return keys;
}

size_t ZQRemoteEntityDataManagerContextDictionary::count() const {
    platform::MutexLock hold(mutex_);
    return contexts_.size();
}
