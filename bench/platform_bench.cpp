// Throughput of the worker pool through operation queues, and the latency of a block posted to
// the main loop from another thread. Plain code doing the same calls runs alongside for scale.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <semaphore>
#include <thread>
#include <vector>

#include "platform/MainLoop.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/SerialQueue.hpp"
#include "platform/WorkerPool.hpp"

using platform::MainLoop;
using platform::OperationQueue;

namespace {

constexpr int kOperations = 20000;

// Baseline: the blocks themselves, called in place.
void BM_PlainBlockCalls(benchmark::State& state) {
    std::atomic<int> ran{0};
    for (auto _ : state) {
        std::vector<std::function<void()>> blocks;
        blocks.reserve(kOperations);
        for (int i = 0; i < kOperations; ++i) blocks.emplace_back([&] { ++ran; });
        for (auto& block : blocks) block();
    }
    state.SetItemsProcessed(state.iterations() * kOperations);
}
BENCHMARK(BM_PlainBlockCalls)->Unit(benchmark::kMillisecond);

// The pool alone, without a queue's bookkeeping.
void BM_PoolSubmit(benchmark::State& state) {
    for (auto _ : state) {
        std::atomic<int> ran{0};
        for (int i = 0; i < kOperations; ++i) platform::WorkerPool::submit([&] { ++ran; });
        while (ran.load() < kOperations) std::this_thread::yield();
    }
    state.SetItemsProcessed(state.iterations() * kOperations);
}
BENCHMARK(BM_PoolSubmit)->Unit(benchmark::kMillisecond)->UseRealTime();

// Empty operations through `queues` queues (added round-robin), waited for together.
void BM_EmptyOperations(benchmark::State& state) {
    const int queueCount = static_cast<int>(state.range(0));
    const int maxConcurrent = static_cast<int>(state.range(1));
    std::vector<std::shared_ptr<OperationQueue>> queues;
    for (int q = 0; q < queueCount; ++q) {
        queues.push_back(OperationQueue::create());
        queues.back()->setMaxConcurrentOperationCount(maxConcurrent);
    }
    for (auto _ : state) {
        for (int i = 0; i < kOperations; ++i) queues[i % queueCount]->addOperationWithBlock([] {});
        for (auto& queue : queues) queue->waitUntilAllOperationsAreFinished();
    }
    state.SetItemsProcessed(state.iterations() * kOperations);
}
BENCHMARK(BM_EmptyOperations)
    ->ArgNames({"queues", "maxConcurrent"})
    ->Args({1, -1})
    ->Args({1, 1})
    ->Args({100, -1})
    ->Args({100, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Empty blocks through one serial queue and through 100.
void BM_SerialQueueAsync(benchmark::State& state) {
    const int queueCount = static_cast<int>(state.range(0));
    std::vector<std::shared_ptr<platform::SerialQueue>> queues;
    for (int q = 0; q < queueCount; ++q) queues.push_back(platform::SerialQueue::create("bench"));
    for (auto _ : state) {
        for (int i = 0; i < kOperations; ++i) queues[i % queueCount]->async([] {});
        for (auto& queue : queues) queue->sync([] {});
    }
    state.SetItemsProcessed(state.iterations() * kOperations);
}
BENCHMARK(BM_SerialQueueAsync)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// Time from dispatchAsync on another thread to the block starting on main, with the main
// thread parked in runUntil (the poster waits a moment so that main is asleep when it posts).
void BM_MainLoopPostToRunLatency(benchmark::State& state) {
    MainLoop::designateCurrentThreadAsMain();
    std::binary_semaphore go(0);
    std::atomic<bool> stop{false};
    std::atomic<bool> ran{false};
    std::chrono::steady_clock::duration latency{};
    std::thread poster([&] {
        for (;;) {
            go.acquire();
            if (stop.load()) return;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            auto posted = std::chrono::steady_clock::now();
            MainLoop::dispatchAsync([&, posted] {
                latency = std::chrono::steady_clock::now() - posted;
                ran = true;
            });
        }
    });
    for (auto _ : state) {
        ran = false;
        go.release();
        MainLoop::runUntil([&] { return ran.load(); }, 10.0);
        state.SetIterationTime(std::chrono::duration<double>(latency).count());
    }
    stop = true;
    go.release();
    poster.join();
}
BENCHMARK(BM_MainLoopPostToRunLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Baseline for the latency: waking a thread parked on a plain condition variable.
void BM_PlainCondVarWakeLatency(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable cv;
    bool posted = false;
    std::chrono::steady_clock::time_point postedAt;
    std::binary_semaphore go(0);
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        for (;;) {
            go.acquire();
            if (stop.load()) return;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            std::lock_guard<std::mutex> lock(mutex);
            posted = true;
            postedAt = std::chrono::steady_clock::now();
            cv.notify_all();
        }
    });
    for (auto _ : state) {
        go.release();
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return posted; });
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - postedAt).count());
        posted = false;
    }
    stop = true;
    go.release();
    poster.join();
}
BENCHMARK(BM_PlainCondVarWakeLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
