// Many threads issuing and withdrawing overlapping queries at once, while the main thread delivers:
// no deadlock, every answer on the main thread, no query answered twice, and every query that was
// not withdrawn answered exactly once. Meant for the ThreadSanitizer build as much as the others.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "tests/library/manager/ManagerTestSupport.hpp"

namespace {

using zqtest::ManagerTest;
using zqtest::RecordingManagerDelegate;
using Type = ZQRemoteEntityDataQueryType;

struct Issued {
    std::shared_ptr<ZQEntityDataQueryInfo> query;
    std::shared_ptr<RecordingManagerDelegate> delegate;
    bool withdrawn = false;
};

// A few seconds by default; ZQ_MANAGER_STRESS_SECONDS runs it longer.
double stressSeconds() {
    if (const char* text = std::getenv("ZQ_MANAGER_STRESS_SECONDS")) return std::atof(text);
    return 3.0;
}

using ManagerConcurrency = ManagerTest;

TEST_F(ManagerConcurrency, FiftyThreadsIssuingAndWithdrawingOverlappingQueries) {
    invoiceRows_->setRowCount(60);
    constexpr int kThreads = 50;
    constexpr int kMaxQueriesPerThread = 120;
    std::atomic<bool> stop{false};
    std::vector<std::vector<Issued>> issued(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &stop, &issued] {
            std::mt19937 random(static_cast<unsigned>(t) * 7919u + 1u);
            auto pick = [&random](int n) {
                return static_cast<int>(random() % static_cast<unsigned>(n));
            };
            for (int i = 0; i < kMaxQueriesPerThread && !stop.load(); ++i) {
                std::shared_ptr<ZQEntityDataQueryInfo> query;
                switch (pick(8)) {
                    case 0:
                        query = invoices(Type::First, 20);
                        break;
                    case 1:
                        query = invoices(Type::First, 0);
                        break;
                    case 2:
                        query = invoices(Type::NextPage, 10);
                        break;
                    case 3:
                        query = invoices(Type::Refresh, 10, pick(2) == 0);
                        break;
                    case 4:
                        query = invoices(Type::Local, 20);
                        break;
                    case 5:
                        query =
                            invoices(Type::First, 10, false, "Customer " + std::to_string(pick(3)));
                        break;
                    case 6:
                        query = customers(Type::First, 5);
                        break;
                    default:
                        query = customerDetail(Type::First, 1 + pick(3));
                        break;
                }
                if (pick(10) == 0)
                    std::dynamic_pointer_cast<ZQRemoteEntityDataQueryInfo>(query)->setForce(true);
                Issued entry{query, std::make_shared<RecordingManagerDelegate>()};
                manager_->load(query, entry.delegate);
                if (pick(3) == 0) {
                    if (pick(2) == 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(pick(20)));
                    manager_->cancelLoad(query, entry.delegate);
                    entry.withdrawn = true;
                }
                issued[static_cast<size_t>(t)].push_back(std::move(entry));
                std::this_thread::sleep_for(std::chrono::milliseconds(2 + pick(10)));
            }
        });
    }
    zqtest::runMainLoopFor(stressSeconds());
    stop.store(true);
    // The issuing threads never wait for the main thread, so joining cannot deadlock; the main
    // loop runs meanwhile so that saves waiting for their merge go on.
    std::atomic<int> joined{0};
    std::thread joiner([&] {
        for (auto& thread : threads) thread.join();
        joined.store(1);
    });
    EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return joined.load() == 1; }));
    joiner.join();
    ASSERT_TRUE(waitUntilIdle());
    zqtest::runMainLoopFor(0.5);

    size_t total = 0;
    size_t answered = 0;
    for (const auto& perThread : issued) {
        for (const Issued& entry : perThread) {
            ++total;
            auto calls = entry.delegate->calls();
            EXPECT_LE(calls.size(), 1u);
            if (!entry.withdrawn) {
                EXPECT_EQ(calls.size(), 1u);
            }
            for (const auto& call : calls) {
                EXPECT_TRUE(call.onMainThread);
                EXPECT_EQ(call.query, entry.query);
                EXPECT_TRUE(call.result);
            }
            answered += calls.size();
        }
    }
    EXPECT_GT(total, static_cast<size_t>(kThreads));
    EXPECT_GT(answered, 0u);
    EXPECT_EQ(manager_->remoteLoadContextByQueryId().count(), 0u);
    EXPECT_EQ(manager_->cacheLoadOperationContextByQueryId().count(), 0u);
    EXPECT_EQ(manager_->locks().size(), 0u);
}

}  // namespace
