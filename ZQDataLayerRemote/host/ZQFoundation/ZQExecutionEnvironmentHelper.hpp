// The host's core-initialisation hook: blocks registered before the host finishes its core
// initialisation run once when it does (in the order added); a block added afterwards runs at
// once on the adding thread. Static functions; any thread. The mutex guards the pending blocks
// and the done flag; blocks run without it, so they may add further blocks.
#pragma once

#include <functional>

class ZQExecutionEnvironmentHelper {
  public:
    static void addCoreInitializationOnceObserver(std::function<void()> block);
    // The host's start-up call: marks the core initialisation done and runs the pending blocks
    // on the calling thread. Later calls do nothing.
    static void coreInitializationDidFinish();
    static bool isCoreInitializationFinished();
    // Forgets the done flag and pending blocks (tests that start the host more than once).
    static void resetForTesting();
};
