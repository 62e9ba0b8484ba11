// A brief look for what another thread is about to do, before sleeping until it is done. Waking
// a sleeping thread costs a system call on each side and, on an idle processor, often tens of
// microseconds before the thread runs; in a chain of hand-offs the next step usually comes
// sooner. Header-only and stateless: the worker pool and the main loop use it from any thread.
#pragma once

#include <sched.h>

#include <chrono>

namespace platform {

// How long a thread that ran out of work, or waits for a short step of another thread, keeps
// looking before it sleeps.
inline constexpr std::chrono::microseconds kSpinBeforeSleep{50};

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    asm volatile("yield");
#endif
}

// Polls `ready` for up to `limit` and answers whether it turned true. Between rounds the
// processor is offered to others: a thread woken onto this processor (often the one that will
// make `ready` true) then runs at once instead of after the spin.
template <class Ready>
bool spinFor(std::chrono::microseconds limit, Ready&& ready) {
    const auto until = std::chrono::steady_clock::now() + limit;
    do {
        for (int i = 0; i < 64; ++i) {
            if (ready()) return true;
            cpuRelax();
        }
        sched_yield();
    } while (std::chrono::steady_clock::now() < until);
    return ready();
}

}  // namespace platform
