// A named mutual-exclusion lock, and a counted set of them in which a lock stays while someone
// holds a reference through the set. Both are thread-safe; the set's own mutex guards its table.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/Mutex.hpp"

namespace platform {

class NamedLock {
  public:
    explicit NamedLock(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }

  private:
    const std::string name_;
    std::mutex mutex_;
};

class CountedLockSet {
  public:
    // The lock of that name, made when absent; raises its count.
    std::shared_ptr<NamedLock> obtain(const std::string& name) EXCLUDES(mutex_);
    // Lowers the count of that lock; the lock leaves the set when its count reaches zero.
    void release(const std::shared_ptr<NamedLock>& lock) EXCLUDES(mutex_);
    // How many times the lock of that name is held through the set (0 when absent).
    size_t countForName(const std::string& name) const EXCLUDES(mutex_);
    size_t size() const EXCLUDES(mutex_);

  private:
    struct Entry {
        std::shared_ptr<NamedLock> lock;
        size_t count = 0;
    };
    mutable Mutex mutex_;
    std::map<std::string, Entry> entries_ GUARDED_BY(mutex_);
};

}  // namespace platform
