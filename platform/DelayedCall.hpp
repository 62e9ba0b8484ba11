// Calls delivered on the main loop after a delay, cancellable by target (a debounce: cancel the
// earlier calls for a target, then schedule a new one). One timer thread for the process.
#pragma once

#include <functional>

namespace platform {

// Runs block on the main thread after delaySeconds. target only identifies the call for
// cancellation and is never dereferenced.
void performAfterDelay(const void* target, double delaySeconds, std::function<void()> block);
// Cancels every call for target that has not yet started to run (whether still waiting for its
// time or already posted to the main loop), so that a debounce never fires twice.
void cancelPreviousPerformRequestsWithTarget(const void* target);

}  // namespace platform
