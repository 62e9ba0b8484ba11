// One of the entity data manager's three tables of loader contexts (query key or service key to
// context). Owned by the manager; used from the caller's thread, the cache operation queue and the
// service manager's callbacks. mutex_ guards the table. Callers that also hold a context's lock
// take that lock first: every operation here takes only mutex_ and never calls out while holding
// it (the factory of insertIfAbsent only builds objects).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZQDataLayerRemote/manager/ZQEntityDataManagerCacheLoaderContext.hpp"
#include "platform/Mutex.hpp"

class ZQRemoteEntityDataManagerContextDictionary {
  public:
    using ContextPtr = std::shared_ptr<ZQEntityDataManagerCacheLoaderContext>;

    // The optimistic look-up: a caller that acts on the answer locks the context and checks
    // isMapped again, since the table may change as soon as this returns.
    ContextPtr synchronizedObjectForKey(const std::string& key) const EXCLUDES(mutex_);

    struct Insertion {
        ContextPtr context;
        bool inserted = false;
    };
    // Under the lock: when nothing is stored under key, stores what make() returns (inserted);
    // otherwise returns what is stored and does not call make.
    Insertion insertIfAbsent(const std::string& key, const std::function<ContextPtr()>& make)
        EXCLUDES(mutex_);

    // Whether key maps to this very context.
    bool isMapped(const std::string& key, const ZQEntityDataManagerLoaderContext* context) const
        EXCLUDES(mutex_);
    void setObject(const std::string& key, ContextPtr context) EXCLUDES(mutex_);
    // Removes key only while it maps to this very context; whether it did.
    bool removeObjectForKey(const std::string& key, const ZQEntityDataManagerLoaderContext* context)
        EXCLUDES(mutex_);

    std::vector<std::string> allKeys() const EXCLUDES(mutex_);
    size_t count() const EXCLUDES(mutex_);

  private:
    mutable platform::Mutex mutex_;
    std::unordered_map<std::string, ContextPtr> contexts_ GUARDED_BY(mutex_);
};
