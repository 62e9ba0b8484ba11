#include "platform/SerialQueue.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/MainLoop.hpp"

using platform::SerialQueue;

TEST(SerialQueue, BlocksRunOneAtATimeInOrder) {
    auto queue = SerialQueue::create("order");
    EXPECT_EQ(queue->label(), "order");
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::vector<int> order;
    constexpr int kThreads = 3, kEach = 300;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                auto block = [&, t, i] {
                    if (++active != 1) overlapped = true;
                    order.push_back(t * kEach + i);
                    --active;
                };
                if (i % 10 == 0) {
                    queue->sync(block);
                } else {
                    queue->async(block);
                }
            }
        });
    }
    for (auto& p : posters) p.join();
    queue->sync([] {});  // everything posted before has run
    EXPECT_FALSE(overlapped.load());
    ASSERT_EQ(order.size(), size_t{kThreads * kEach});
    std::vector<int> last(kThreads, -1);
    for (int v : order) {
        EXPECT_GT(v % kEach, last[v / kEach]);
        last[v / kEach] = v % kEach;
    }
}

TEST(SerialQueue, SyncRunsOnTheCallerAfterEarlierBlocks) {
    auto queue = SerialQueue::create("sync");
    std::atomic<int> done{0};
    for (int i = 0; i < 100; ++i) queue->async([&] { ++done; });
    std::thread::id ranOn;
    int seen = -1;
    queue->sync([&] {
        ranOn = std::this_thread::get_id();
        seen = done.load();
    });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(seen, 100);
}

TEST(SerialQueue, ReentrantSyncRunsInline) {
    auto a = SerialQueue::create("a");
    auto b = SerialQueue::create("b");
    EXPECT_FALSE(a->isCurrent());
    std::atomic<int> steps{0};
    a->sync([&] {
        EXPECT_TRUE(a->isCurrent());
        a->sync([&] { ++steps; });
        b->sync([&] {
            EXPECT_TRUE(b->isCurrent() && a->isCurrent());
            a->sync([&] { ++steps; });  // this thread still holds a
        });
    });
    std::atomic<bool> asyncDone{false};
    a->async([&] {
        a->sync([&] { ++steps; });
        EXPECT_FALSE(b->isCurrent());
        asyncDone = true;
    });
    a->sync([] {});
    EXPECT_TRUE(asyncDone.load());
    EXPECT_EQ(steps.load(), 3);
    EXPECT_FALSE(a->isCurrent());
}

TEST(SerialQueue, PendingBlocksRunAfterTheQueueIsGone) {
    platform::MainLoop::designateCurrentThreadAsMain();
    std::atomic<int> ran{0};
    {
        auto queue = SerialQueue::create("gone");
        for (int i = 0; i < 200; ++i) queue->async([&] { ++ran; });
    }
    EXPECT_TRUE(platform::MainLoop::runUntil([&] { return ran.load() == 200; }, 30.0));
}
