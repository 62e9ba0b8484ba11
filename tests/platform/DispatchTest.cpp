// Delayed calls on the main loop, and the counted set of named locks.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/DelayedCall.hpp"
#include "platform/MainLoop.hpp"
#include "platform/NamedLock.hpp"

using platform::MainLoop;

namespace {

constexpr double kPatience = 30.0;

class DelayedCallTest : public ::testing::Test {
  protected:
    void SetUp() override { MainLoop::designateCurrentThreadAsMain(); }
};

}  // namespace

TEST_F(DelayedCallTest, CallsArriveOnMainInTheOrderOfTheirTime) {
    std::vector<int> order;
    std::atomic<bool> onMain{true};
    int target = 0;
    std::thread poster([&] {
        platform::performAfterDelay(&target, 0.06, [&] { order.push_back(3); });
        platform::performAfterDelay(&target, 0.0, [&] {
            onMain = MainLoop::isMainThread();
            order.push_back(1);
        });
        platform::performAfterDelay(&target, 0.03, [&] { order.push_back(2); });
    });
    poster.join();
    ASSERT_TRUE(MainLoop::runUntil([&] { return order.size() == 3; }, kPatience));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(onMain.load());
}

TEST_F(DelayedCallTest, CancellingByTargetDropsOnlyThatTargetsCalls) {
    int a = 0, b = 0;
    std::vector<std::string> ran;
    for (int i = 0; i < 3; ++i)
        platform::performAfterDelay(&a, 0.01 * i, [&] { ran.push_back("a"); });
    platform::performAfterDelay(&b, 0.02, [&] { ran.push_back("b"); });
    platform::cancelPreviousPerformRequestsWithTarget(&a);
    bool sentinel = false;
    platform::performAfterDelay(&b, 0.1, [&] { sentinel = true; });
    ASSERT_TRUE(MainLoop::runUntil([&] { return sentinel; }, kPatience));
    EXPECT_EQ(ran, (std::vector<std::string>{"b"}));

    // A call already handed to the main loop but not yet run is cancelled too.
    bool late = false;
    platform::performAfterDelay(&a, 0.0, [&] { late = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // lets the timer post it
    platform::cancelPreviousPerformRequestsWithTarget(&a);
    MainLoop::drain();
    EXPECT_FALSE(late);
}

TEST_F(DelayedCallTest, DebounceFiresOnce) {
    int target = 0;
    std::atomic<int> fired{0};
    for (int i = 0; i < 20; ++i) {
        platform::cancelPreviousPerformRequestsWithTarget(&target);
        platform::performAfterDelay(&target, 0.05, [&] { ++fired; });
    }
    bool sentinel = false;
    platform::performAfterDelay(&fired, 0.2, [&] { sentinel = true; });
    ASSERT_TRUE(MainLoop::runUntil([&] { return sentinel; }, kPatience));
    EXPECT_EQ(fired.load(), 1);
}

TEST(CountedLockSet, CountsHoldersAndForgetsTheLockAtZero) {
    platform::CountedLockSet set;
    auto first = set.obtain("entity");
    auto second = set.obtain("entity");
    auto other = set.obtain("other");
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    EXPECT_EQ(first->name(), "entity");
    EXPECT_EQ(set.countForName("entity"), 2u);
    EXPECT_EQ(set.size(), 2u);

    set.release(first);
    EXPECT_EQ(set.countForName("entity"), 1u);
    EXPECT_EQ(set.obtain("entity"), second);
    set.release(second);
    set.release(second);
    EXPECT_EQ(set.countForName("entity"), 0u);
    EXPECT_EQ(set.size(), 1u);

    // Once gone, the name gets a new lock, and the old one no longer counts against it.
    auto fresh = set.obtain("entity");
    EXPECT_NE(fresh, first);
    set.release(first);
    EXPECT_EQ(set.countForName("entity"), 1u);
}

TEST(CountedLockSet, ExcludesAcrossThreads) {
    platform::CountedLockSet set;
    long counter = 0;  // guarded by the lock named "n"
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                auto lock = set.obtain("n");
                lock->lock();
                ++counter;
                lock->unlock();
                set.release(lock);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 4000);
    EXPECT_EQ(set.size(), 0u);
}
