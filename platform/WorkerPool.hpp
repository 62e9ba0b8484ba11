// The process-wide pool of worker threads that runs every OperationQueue and SerialQueue. One
// instance, created on first use and never destroyed; its threads are stopped and joined when the
// process exits. Any thread submits; the pool's mutex guards the task list and the thread counts.
// A worker that runs out of tasks looks for a new one for a moment before it sleeps (one worker at
// a time), so that chained work does not pay for waking a sleeping thread at every step.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <new>
#include <utility>

namespace platform {

// Storage for a process-lifetime object that other threads may still reach while the process
// exits: it is built in place and its destructor never runs, so no thread finds it destroyed.
template <typename T>
class Immortal {
  public:
    template <typename... Args>
    explicit Immortal(Args&&... args) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T* operator->() { return &get(); }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

class WorkerPool {
  public:
    // At least this many threads run work while none of them blocks.
    static size_t baseThreadCount();
    // The pool never grows beyond this many threads.
    static constexpr size_t kMaxThreadCount = 64;
    // An extra thread that found no work for this long exits.
    static constexpr std::chrono::milliseconds kIdleExit{3000};
    // Work that waited this long with every thread busy and no progress adds a thread.
    static constexpr std::chrono::milliseconds kStallGrace{50};

    static void submit(std::function<void()> task);
    static bool isWorkerThread();
    // Threads alive now (for tests and diagnostics).
    static size_t threadCount();
    // Threads not waiting for work, plus tasks not yet taken (for diagnostics: 0 once
    // everything submitted has ended).
    static size_t busyThreadCount();

    // Held by a worker around a wait for other work (a sync on a serial queue, waiting for an
    // operation, a sync dispatch to main): the pool counts the thread as blocked and starts
    // another at once when work is waiting, instead of waiting for the stall monitor. Does
    // nothing on threads that are not workers.
    class BlockingScope {
      public:
        BlockingScope();
        ~BlockingScope();
        BlockingScope(const BlockingScope&) = delete;
        BlockingScope& operator=(const BlockingScope&) = delete;

      private:
        bool counted_ = false;
    };

    struct State;
};

}  // namespace platform
