// The lock of one cache entity name as a cache save operation sees it: a handle on the named lock
// that the entity data manager's counted set holds for that name. The manager makes one handle
// per obtain and takes it back on release; every handle of one name locks the same named lock,
// so saves of one entity never overlap. Any thread; the named lock is the only state that
// changes, and it is thread-safe.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveLock.hpp"
#include "platform/NamedLock.hpp"

class ZQRemoteEntityDataManagerEntityLock : public ZQEntityDataCacheSaveLock {
  public:
    explicit ZQRemoteEntityDataManagerEntityLock(std::shared_ptr<platform::NamedLock> namedLock)
        : namedLock_(std::move(namedLock)) {}

    void lock() override { namedLock_->lock(); }
    void unlock() override { namedLock_->unlock(); }

    const std::shared_ptr<platform::NamedLock>& namedLock() const { return namedLock_; }

  private:
    const std::shared_ptr<platform::NamedLock> namedLock_;
};
