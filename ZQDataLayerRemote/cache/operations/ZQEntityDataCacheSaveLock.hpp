// The lock a cache save operation gets from its delegate for one cache entity name: whatever
// answers lock and unlock (the entity data manager hands out one per entity name from its counted
// set). Shared by the delegate and the operation that holds it; implementations must be safe to
// lock and unlock from any thread, and unlock is called by the thread that locked.
#pragma once

class ZQEntityDataCacheSaveLock {
  public:
    virtual ~ZQEntityDataCacheSaveLock() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
};
