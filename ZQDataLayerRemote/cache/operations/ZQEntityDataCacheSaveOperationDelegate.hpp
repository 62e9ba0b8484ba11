// What a cache save operation asks of and tells its delegate (normally the entity data manager):
// the lock of the data source's cache entity, its return, and the outcome. Every call comes from
// the thread that runs the operation, never from the main thread; the delegate does its own
// locking. The operation holds its delegate weakly.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveLock.hpp"
#include "platform/Error.hpp"

class ZQEntityDataCacheSaveOperation;

class ZQEntityDataCacheSaveOperationDelegate {
  public:
    virtual ~ZQEntityDataCacheSaveOperationDelegate() = default;

    // Once, before matching: the lock of that cache entity name (one lock per name, so that two
    // saves of one entity never match and write at the same time).
    virtual std::shared_ptr<ZQEntityDataCacheSaveLock>
    entityDataCacheSaveOperationObtainLockForEntityName(const std::string& entityName) = 0;
    // Once per lock obtained: after the writes, or when the operation was cancelled before it
    // locked. The lock is unlocked by then.
    virtual void entityDataCacheSaveOperationReleaseLock(
        const std::shared_ptr<ZQEntityDataCacheSaveLock>& lock) = 0;

    // The outcome; never for a cancelled operation.
    virtual void entityDataCacheSaveOperationDidFinishSaving(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation) = 0;
    virtual void entityDataCacheSaveOperationDidFailSavingWithError(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation,
        const platform::ErrorPtr& error) = 0;
};
