#include "platform/MainLoop.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/OperationQueue.hpp"

using platform::MainLoop;

namespace {

constexpr double kPatience = 30.0;

class MainLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MainLoop::designateCurrentThreadAsMain();
        MainLoop::drain();  // leftovers of earlier tests
    }
};

}  // namespace

TEST_F(MainLoopTest, SyncFromWorkerRunsOnMainWhileMainWaits) {
    auto queue = platform::OperationQueue::create();
    std::atomic<int> onMain{0};
    for (int i = 0; i < 4; ++i) {
        queue->addOperationWithBlock([&] {
            EXPECT_FALSE(MainLoop::isMainThread());
            MainLoop::dispatchSync([&] {
                if (MainLoop::isMainThread()) ++onMain;
                // Nested sync on main runs inline instead of waiting for itself.
                MainLoop::dispatchSync([&] { ++onMain; });
            });
        });
    }
    ASSERT_TRUE(MainLoop::runUntil([&] { return queue->operationCount() == 0; }, kPatience));
    EXPECT_EQ(onMain.load(), 8);
}

TEST_F(MainLoopTest, RunUntilGivesUpAtTheTimeout) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MainLoop::runUntil([] { return false; }, 0.05));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_TRUE(MainLoop::runUntil([] { return true; }, 0.0));

    // A predicate made true by another thread, with nothing posted, is still noticed.
    std::atomic<bool> flag{false};
    std::thread setter([&] { flag = true; });
    EXPECT_TRUE(MainLoop::runUntil([&] { return flag.load(); }, kPatience));
    setter.join();
}

TEST_F(MainLoopTest, HintsOfABlockNeitherEndTheWaitNorLoseTheBlock) {
    // Hints with nothing posted: the wait still lasts until its timeout.
    std::atomic<bool> hinting{true};
    std::thread hinter([&] {
        while (hinting) {
            MainLoop::expectBlockSoon();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MainLoop::runUntil([] { return false; }, 0.05));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    hinting = false;
    hinter.join();

    // A hint, then the block, many times over: every block runs, whether it comes while the
    // main thread sleeps, spins or has just woken.
    constexpr int kRounds = 200;
    std::atomic<int> ran{0};
    std::thread poster([&] {
        for (int i = 0; i < kRounds; ++i) {
            MainLoop::expectBlockSoon();
            std::this_thread::sleep_for(std::chrono::microseconds(i % 4 * 50));
            MainLoop::dispatchAsync([&] { ++ran; });
            while (ran.load() <= i) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(i % 3 * 100));
        }
    });
    EXPECT_TRUE(MainLoop::runUntil([&] { return ran.load() == kRounds; }, kPatience));
    poster.join();
}

TEST_F(MainLoopTest, BlocksRunInPostingOrder) {
    std::vector<std::string> order;
    MainLoop::dispatchAsync([&] {
        order.push_back("a");
        MainLoop::dispatchAsync([&] { order.push_back("c"); });
        MainLoop::dispatchAsync([&] { order.push_back("d"); });
    });
    MainLoop::dispatchAsync([&] { order.push_back("b"); });
    EXPECT_EQ(MainLoop::drain(), 2u);  // the ones posted while draining wait for the next turn
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(MainLoop::drain(), 2u);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "d"}));

    // From several threads: each thread's blocks keep their order.
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::vector<int>> seen(kThreads);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                MainLoop::dispatchAsync([&, t, i] { seen[t].push_back(i); });
        });
    }
    for (auto& p : posters) p.join();
    MainLoop::drain();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), size_t{kEach});
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(seen[t][i], i);
    }
}

TEST_F(MainLoopTest, AnotherThreadCanBeDesignatedMain) {
    EXPECT_TRUE(MainLoop::isMainThread());
    std::atomic<bool> ranThere{false};
    std::thread other([&] {
        MainLoop::designateCurrentThreadAsMain();
        MainLoop::dispatchAsync([&] { ranThere = MainLoop::isMainThread(); });
        MainLoop::runUntil([&] { return ranThere.load(); }, kPatience);
    });
    other.join();
    EXPECT_TRUE(ranThere.load());
    EXPECT_FALSE(MainLoop::isMainThread());
    MainLoop::designateCurrentThreadAsMain();
    EXPECT_TRUE(MainLoop::isMainThread());
}
