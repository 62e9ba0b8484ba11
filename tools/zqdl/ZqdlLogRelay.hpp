// The --verbose relay of the host logger: turns logging on, so that the library's cache-store
// messages reach standard error through the logger itself, and hands the messages the logger only
// records (each request sent, each cache decision) to standard error through the logger's
// observer. Static functions; enable on the main thread before the first query; the observer runs
// on whichever thread logs.
#pragma once

namespace zqdl {

class ZqdlLogRelay {
  public:
    static void enable();
    // Stops relaying (before the process exits, while workers may still log).
    static void disable();
};

}  // namespace zqdl
