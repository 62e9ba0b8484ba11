// Thin annotated wrappers over the standard mutexes, so that the thread-safety analysis can check
// which lock guards which member. Value types; owners hold them as members. Any thread.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/ThreadAnnotations.hpp"

namespace platform {

class CAPABILITY("mutex") Mutex {
  public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    std::mutex& native() { return mutex_; }

  private:
    std::mutex mutex_;
};

class CAPABILITY("mutex") RecursiveMutex {
  public:
    RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

  private:
    std::recursive_mutex mutex_;
};

// Scoped holder of a Mutex or RecursiveMutex.
template <typename M>
class SCOPED_CAPABILITY LockGuard {
  public:
    explicit LockGuard(M& m) ACQUIRE(m) : m_(m) { m_.lock(); }
    ~LockGuard() RELEASE() { m_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    M& m_;
};

using MutexLock = LockGuard<Mutex>;
using RecursiveMutexLock = LockGuard<RecursiveMutex>;

// Condition variable that waits on a held platform::Mutex.
class CondVar {
  public:
    void wait(Mutex& m) REQUIRES(m) {
        std::unique_lock<std::mutex> lk(m.native(), std::adopt_lock);
        cv_.wait(lk);
        lk.release();
    }
    template <typename Clock, typename Duration>
    bool waitUntil(Mutex& m, const std::chrono::time_point<Clock, Duration>& deadline) REQUIRES(m) {
        std::unique_lock<std::mutex> lk(m.native(), std::adopt_lock);
        bool timedOut = cv_.wait_until(lk, deadline) == std::cv_status::timeout;
        lk.release();
        return !timedOut;
    }
    void notifyOne() { cv_.notify_one(); }
    void notifyAll() { cv_.notify_all(); }

  private:
    std::condition_variable cv_;
};

}  // namespace platform
