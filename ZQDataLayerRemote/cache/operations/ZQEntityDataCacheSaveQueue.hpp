// The one process-wide serial queue on which every cache save writes (and every 304 time-stamp
// refresh runs), one at a time, while the saving operation waits. Made on first use, never
// destroyed (a worker may still be writing at exit); the queue itself is thread-safe.
#pragma once

#include <memory>

#include "platform/SerialQueue.hpp"

class ZQEntityDataCacheSaveQueue {
  public:
    // Its label ends in "ZQCoreDataCacheSave".
    static inline constexpr const char* kLabel = "com.zqdatalayerremote.ZQCoreDataCacheSave";

    static platform::SerialQueue& shared();
};
