#include "platform/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using platform::Notification;
using platform::NotificationCenter;
using platform::ObserverToken;

namespace {

// Waits (generously) until the flag is set; false if it never is.
bool waitFor(const std::atomic<bool>& flag) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

TEST(NotificationDelivery, MatchesNameAndSenderInRegistrationOrder) {
    NotificationCenter center;
    int senderA = 0, senderB = 0;
    std::vector<std::string> calls;
    auto record = [&](std::string tag) {
        return [&calls, tag](const Notification& n) { calls.push_back(tag + ":" + n.name()); };
    };
    ObserverToken all = center.addObserver("", nullptr, record("all"));
    ObserverToken named = center.addObserver("Saved", nullptr, record("named"));
    ObserverToken fromA = center.addObserver("Saved", &senderA, record("fromA"));
    ObserverToken anyFromB = center.addObserver("", &senderB, record("anyFromB"));

    center.post("Saved", &senderA);
    center.post("Saved", &senderB);
    center.post("Other");
    std::vector<std::string> expected = {"all:Saved", "named:Saved", "fromA:Saved",
                                         "all:Saved", "named:Saved", "anyFromB:Saved",
                                         "all:Other"};
    EXPECT_EQ(calls, expected);
}

TEST(NotificationDelivery, PassesSenderAndUserInfo) {
    NotificationCenter center;
    int sender = 0;
    std::optional<Notification> seen;
    ObserverToken token =
        center.addObserver("N", nullptr, [&](const Notification& n) { seen.emplace(n); });
    center.post("N", &sender, platform::Dictionary{{"count", 3}, {"id", "x"}});
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->sender(), &sender);
    EXPECT_EQ(seen->userInfo().get("count"), platform::Value(3));
    EXPECT_EQ(seen->userInfo().get("id"), platform::Value("x"));

    Notification plain("Plain", nullptr, platform::Dictionary{{"a", 1}});
    EXPECT_EQ(plain.description(), "Notification name=Plain sender=null userInfo={\"a\": 1}");
    EXPECT_NE(Notification("N", &sender, {}).description().find("sender=0x"), std::string::npos);
}

TEST(NotificationDelivery, ObserversAddedDuringDeliveryWaitForTheNextPost) {
    NotificationCenter center;
    int lateCalls = 0;
    std::vector<ObserverToken> added;
    ObserverToken adder = center.addObserver("N", nullptr, [&](const Notification&) {
        added.push_back(
            center.addObserver("N", nullptr, [&](const Notification&) { ++lateCalls; }));
    });
    center.post("N");
    EXPECT_EQ(lateCalls, 0);
    center.post("N");
    EXPECT_EQ(lateCalls, 1);
}

TEST(NotificationDelivery, BlocksMayPostAgain) {
    NotificationCenter center;
    std::vector<std::string> calls;
    ObserverToken first = center.addObserver("First", nullptr, [&](const Notification&) {
        calls.push_back("first");
        center.post("Second");
    });
    ObserverToken second = center.addObserver(
        "Second", nullptr, [&](const Notification&) { calls.push_back("second"); });
    center.post("First");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
}

TEST(NotificationRemoval, SelfRemovalInsideOwnBlock) {
    NotificationCenter center;
    int calls = 0;
    auto captured = std::make_shared<int>(7);
    ObserverToken token;
    token = center.addObserver("N", nullptr, [&, captured](const Notification&) {
        ++calls;
        token.reset();
        EXPECT_EQ(*captured, 7);  // the running block's captures outlive the removal
    });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(token.isActive());
    EXPECT_EQ(captured.use_count(), 1);  // released once the delivery ended
}

TEST(NotificationRemoval, RemovingAnotherObserverDuringDelivery) {
    NotificationCenter center;
    std::vector<std::string> calls;
    ObserverToken later;
    ObserverToken earlier = center.addObserver("N", nullptr, [&](const Notification&) {
        calls.push_back("earlier");
        later.reset();
    });
    later =
        center.addObserver("N", nullptr, [&](const Notification&) { calls.push_back("later"); });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"earlier", "earlier"}));
}

TEST(NotificationRemoval, TokenMoveSemantics) {
    NotificationCenter center;
    int first = 0, second = 0;
    ObserverToken a = center.addObserver("N", nullptr, [&](const Notification&) { ++first; });
    ObserverToken b(std::move(a));
    EXPECT_FALSE(a.isActive());  // a moved-from token is empty
    EXPECT_TRUE(b.isActive());
    a.reset();  // the moved-from token removes nothing
    center.post("N");
    EXPECT_EQ(first, 1);

    ObserverToken c = center.addObserver("N", nullptr, [&](const Notification&) { ++second; });
    b = std::move(c);  // drops the first observer, takes over the second
    center.post("N");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    { ObserverToken scoped(std::move(b)); }
    center.post("N");
    EXPECT_EQ(second, 1);
    b.reset();
    b.reset();
}

TEST(NotificationRemoval, TokenMayOutliveItsCenter) {
    ObserverToken token;
    {
        NotificationCenter center;
        token = center.addObserver("N", nullptr, [](const Notification&) {});
    }
    token.reset();
    EXPECT_FALSE(token.isActive());
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

TEST(NotificationThreads, RemovalWaitsForACallRunningOnAnotherThread) {
    NotificationCenter center;
    std::atomic<bool> entered{false}, release{false}, resetReturned{false};
    std::atomic<bool> resetReturnedWhileRunning{false};
    ObserverToken token = center.addObserver("N", nullptr, [&](const Notification&) {
        entered = true;
        waitFor(release);
        resetReturnedWhileRunning = resetReturned.load();
    });
    std::thread poster([&] { center.post("N"); });
    ASSERT_TRUE(waitFor(entered));
    std::thread remover([&] {
        token.reset();
        resetReturned = true;
    });
    // Give a wrong removal the chance to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release = true;
    remover.join();
    poster.join();
    EXPECT_FALSE(resetReturnedWhileRunning.load());
}

TEST(NotificationThreads, SelfRemovalWhileAnotherThreadRunsTheSameBlock) {
    NotificationCenter center;
    std::atomic<int> inside{0};
    std::atomic<bool> bothInside{false};
    ObserverToken token;
    std::atomic<int> calls{0};
    token = center.addObserver("N", nullptr, [&](const Notification& n) {
        ++calls;
        if (++inside == 2) bothInside = true;
        waitFor(bothInside);
        if (n.sender() == &token) token.reset();  // only one thread owns the token
    });
    std::thread a([&] { center.post("N", &token); });
    std::thread b([&] { center.post("N"); });
    a.join();
    b.join();
    center.post("N");
    EXPECT_EQ(calls.load(), 2);
}

TEST(NotificationThreads, CrossRemovalFromTwoBlocksDoesNotDeadlock) {
    NotificationCenter center;
    std::atomic<int> entered{0};
    std::atomic<bool> bothEntered{false};
    ObserverToken x, y;
    auto rendezvous = [&] {
        if (++entered == 2) bothEntered = true;
        waitFor(bothEntered);
    };
    x = center.addObserver("X", nullptr, [&](const Notification&) {
        rendezvous();
        y.reset();
    });
    y = center.addObserver("Y", nullptr, [&](const Notification&) {
        rendezvous();
        x.reset();
    });
    std::thread a([&] { center.post("X"); });
    std::thread b([&] { center.post("Y"); });
    a.join();
    b.join();
    EXPECT_FALSE(x.isActive());
    EXPECT_FALSE(y.isActive());
}

TEST(NotificationThreads, PostingFromSeveralThreadsWhileRemoving) {
    NotificationCenter center;
    constexpr int kPosters = 3;
    constexpr int kRounds = 200;
    std::atomic<bool> stop{false};
    std::atomic<int> callsAfterRemoval{0};
    std::vector<std::thread> posters;
    for (int i = 0; i < kPosters; ++i) {
        posters.emplace_back([&] {
            while (!stop) center.post("N");
        });
    }
    ObserverToken steady = center.addObserver("N", nullptr, [](const Notification&) {});
    for (int round = 0; round < kRounds; ++round) {
        // The block uses heap state that dies right after removal: a call running late would
        // read freed memory (caught by the sanitizers) or see the flag set.
        struct State {
            std::atomic<bool> removed{false};
            std::atomic<int> calls{0};
        };
        auto state = std::make_unique<State>();
        State* raw = state.get();
        ObserverToken token =
            center.addObserver("N", nullptr, [raw, &callsAfterRemoval](const Notification&) {
                ++raw->calls;
                std::this_thread::yield();  // widens the window for a removal that does not wait
                if (raw->removed) ++callsAfterRemoval;
            });
        while (raw->calls == 0 && round % 2 == 0) std::this_thread::yield();
        token.reset();
        raw->removed = true;
        state.reset();
    }
    stop = true;
    for (auto& t : posters) t.join();
    EXPECT_EQ(callsAfterRemoval.load(), 0);
}
