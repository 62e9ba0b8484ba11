#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveQueue.hpp"

#include "platform/WorkerPool.hpp"

platform::SerialQueue& ZQEntityDataCacheSaveQueue::shared() {
    // Never destroyed: a save may still be writing while the process exits.
    static platform::Immortal<std::shared_ptr<platform::SerialQueue>> queue(
        platform::SerialQueue::create(kLabel));
    return *queue.get();
}
