#include "ZQDataLayerRemote/host/ZQFoundation/ZQExecutionEnvironmentHelper.hpp"

#include <vector>

#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace {

struct State {
    platform::Mutex mutex;
    bool finished GUARDED_BY(mutex) = false;
    std::vector<std::function<void()>> pending GUARDED_BY(mutex);
};

State& state() {
    static platform::Immortal<State> instance;
    return instance.get();
}

}  // namespace

void ZQExecutionEnvironmentHelper::addCoreInitializationOnceObserver(std::function<void()> block) {
    if (!block) return;
    State& s = state();
    {
        platform::MutexLock lock(s.mutex);
        if (!s.finished) {
            s.pending.push_back(std::move(block));
            return;
        }
    }
    block();
}

void ZQExecutionEnvironmentHelper::coreInitializationDidFinish() {
    State& s = state();
    std::vector<std::function<void()>> blocks;
    {
        platform::MutexLock lock(s.mutex);
        if (s.finished) return;
        s.finished = true;
        blocks.swap(s.pending);
    }
    for (auto& block : blocks) block();
}

bool ZQExecutionEnvironmentHelper::isCoreInitializationFinished() {
    State& s = state();
    platform::MutexLock lock(s.mutex);
    return s.finished;
}

void ZQExecutionEnvironmentHelper::resetForTesting() {
    State& s = state();
    platform::MutexLock lock(s.mutex);
    s.finished = false;
    s.pending.clear();
}
