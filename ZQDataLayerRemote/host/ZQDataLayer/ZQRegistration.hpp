// One registration slot of the host: holds what a framework registered (a factory, which is how a
// class is registered in C++, or an instance) until it is replaced. The registries keep one slot
// per registration as a function-local static. Any thread; mutex_ guards the value.
#pragma once

#include "platform/Mutex.hpp"

template <typename T>
class ZQRegistration {
  public:
    void set(T value) EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        value_ = std::move(value);
    }
    T get() const EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        return value_;
    }

  private:
    mutable platform::Mutex mutex_;
    T value_ GUARDED_BY(mutex_){};
};
