#include "platform/NamedLock.hpp"

namespace platform {

std::shared_ptr<NamedLock> CountedLockSet::obtain(const std::string& name) {
    MutexLock lock(mutex_);
    Entry& entry = entries_[name];
    if (!entry.lock) entry.lock = std::make_shared<NamedLock>(name);
    ++entry.count;
    return entry.lock;
}

void CountedLockSet::release(const std::shared_ptr<NamedLock>& lock) {
    if (!lock) return;
    MutexLock guard(mutex_);
    auto it = entries_.find(lock->name());
    // A lock that already left the set (released once too often) is not the set's any more.
    if (it == entries_.end() || it->second.lock != lock) return;
    if (--it->second.count == 0) entries_.erase(it);
}

size_t CountedLockSet::countForName(const std::string& name) const {
    MutexLock lock(mutex_);
    auto it = entries_.find(name);
    return it == entries_.end() ? 0 : it->second.count;
}

size_t CountedLockSet::size() const {
    MutexLock lock(mutex_);
    return entries_.size();
}

}  // namespace platform
