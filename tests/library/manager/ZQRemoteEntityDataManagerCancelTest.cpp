// Withdrawing queries, errors, the answers that need no load (no data, refused types, a cache
// being cleared) and the per-entity locks, end to end over loopback.
#include <gtest/gtest.h>

#include <thread>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerEntityLock.hpp"
#include "platform/NotificationCenter.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"

namespace {

using zqtest::ManagerTest;
using zqtest::RecordingManagerDelegate;
using Type = ZQRemoteEntityDataQueryType;
using Source = ZQRemoteEntityDataQueryResultSource;

using ManagerCancel = ManagerTest;

bool nothingWaits(ZQRemoteEntityDataManager& manager) {
    return manager.remoteLoadContextByQueryId().count() == 0 &&
           manager.remoteLoadContextByServiceQueryId().count() == 0 &&
           manager.cacheLoadOperationContextByQueryId().count() == 0;
}

TEST_F(ManagerCancel, WithdrawingTheOnlyQueryWaitingForTheServerCancelsTheRequest) {
    invoiceRows_->setStallWhen([](const auto&) { return true; });
    auto query = invoices(Type::First, 20);
    auto delegate = std::make_shared<RecordingManagerDelegate>();
    manager_->load(query, delegate);
    ASSERT_TRUE(server().waitForRequestCount(1));
    ASSERT_EQ(manager_->serviceManager()->runningLoadCount(), 1u);

    manager_->cancelLoad(query, delegate);
    EXPECT_EQ(manager_->serviceManager()->runningLoadCount(), 0u);
    EXPECT_TRUE(nothingWaits(*manager_));
    zqtest::runMainLoopFor(0.3);
    EXPECT_EQ(delegate->count(), 0u);
}

TEST_F(ManagerCancel, WithdrawingOneOfTwoQueriesKeepsTheRequestForTheOther) {
    invoiceRows_->setStallWhen([](const auto&) { return true; });
    auto gone = invoices(Type::First, 20);
    auto kept = invoices(Type::First, 20);
    auto goneDelegate = std::make_shared<RecordingManagerDelegate>();
    auto keptDelegate = std::make_shared<RecordingManagerDelegate>();
    manager_->cacheOperationQueue()->setSuspended(true);
    manager_->load(gone, goneDelegate);
    manager_->load(kept, keptDelegate);
    manager_->cacheOperationQueue()->setSuspended(false);
    ASSERT_TRUE(server().waitForRequestCount(1));

    manager_->cancelLoad(gone, goneDelegate);
    EXPECT_EQ(manager_->serviceManager()->runningLoadCount(), 1u);
    invoiceRows_->setStallWhen(nullptr);
    server().releaseStalls();
    ASSERT_TRUE(keptDelegate->waitForCount(1));
    zqtest::runMainLoopFor(0.2);
    EXPECT_EQ(goneDelegate->count(), 0u);
    EXPECT_EQ(keptDelegate->calls().at(0).query, kept);
}

TEST_F(ManagerCancel, WithdrawingAQueryBeingReadBackStopsItsAnswer) {
    auto query = invoices(Type::Local, 20);
    auto delegate = std::make_shared<RecordingManagerDelegate>();
    manager_->cacheOperationQueue()->setSuspended(true);
    manager_->load(query, delegate);
    ASSERT_EQ(manager_->cacheLoadOperationContextByQueryId().count(), 1u);
    manager_->cancelLoad(query, delegate);
    EXPECT_TRUE(nothingWaits(*manager_));
    manager_->cacheOperationQueue()->setSuspended(false);
    EXPECT_TRUE(waitUntilIdle());
    zqtest::runMainLoopFor(0.2);
    EXPECT_EQ(delegate->count(), 0u);
}

TEST_F(ManagerCancel, CancelAllOperationsWithdrawsEveryPairOfEveryContext) {
    invoiceRows_->setStallWhen([](const auto&) { return true; });
    auto waitingForServer = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::First, 20), waitingForServer);
    ASSERT_TRUE(server().waitForRequestCount(1));
    manager_->cacheOperationQueue()->setSuspended(true);
    auto local = std::make_shared<RecordingManagerDelegate>();
    auto inCacheCheck = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::Local, 20), local);
    manager_->load(customers(Type::First, 20), inCacheCheck);

    manager_->cancelAllOperations();
    EXPECT_TRUE(nothingWaits(*manager_));
    EXPECT_EQ(manager_->serviceManager()->runningLoadCount(), 0u);
    manager_->cacheOperationQueue()->setSuspended(false);
    EXPECT_TRUE(waitUntilIdle());
    zqtest::runMainLoopFor(0.2);
    EXPECT_EQ(waitingForServer->count() + local->count() + inCacheCheck->count(), 0u);
    EXPECT_EQ(server().requestsFor("GET", kCustomersPath).size(), 0u);
}

TEST_F(ManagerCancel, AServerErrorReachesEveryWaitingDelegateOnceOnTheMainThread) {
    invoiceRows_->setFailureStatus(500);
    manager_->cacheOperationQueue()->setSuspended(true);
    auto first = std::make_shared<RecordingManagerDelegate>();
    auto second = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::First, 20), first);
    manager_->load(invoices(Type::First, 20), second);
    manager_->cacheOperationQueue()->setSuspended(false);
    ASSERT_TRUE(first->waitForCount(1) && second->waitForCount(1));
    zqtest::runMainLoopFor(0.2);

    auto result = first->onlyCollectionResult();
    ASSERT_TRUE(result && result->error());
    EXPECT_EQ(second->onlyResult(), first->onlyResult());
    EXPECT_FALSE(result->resultData());
    EXPECT_EQ(result->source(), Source::Remote);
    EXPECT_TRUE(nothingWaits(*manager_));

    // The failure left nothing behind: the next query asks again and gets the rows.
    invoiceRows_->setFailureStatus(0);
    auto retry = loadAndWait(invoices(Type::First, 20))->onlyCollectionResult();
    ASSERT_TRUE(retry);
    EXPECT_FALSE(retry->error());
    EXPECT_EQ(retry->count(), 20u);
}

TEST_F(ManagerCancel, AnErrorReportedOnAnotherThreadIsDeliveredOnceOnMainAndDropsTheKey) {
    auto firstQuery = invoices(Type::Local, 20);
    auto secondQuery = invoices(Type::Local, 20);
    auto first = std::make_shared<RecordingManagerDelegate>();
    auto second = std::make_shared<RecordingManagerDelegate>();
    auto context = std::make_shared<ZQEntityDataManagerCacheLoaderContext>(
        ZQEntityDataManagerLoader(), firstQuery, first, *platform::URL::fromString("http://h/x"),
        std::nullopt);
    context->addQueryInfo(secondQuery, second);
    auto& table = manager_->cacheLoadOperationContextByQueryId();
    table.setObject("key", context);

    platform::ErrorPtr error = defaultZQErrorWithDeveloperDescription("disk on fire");
    std::thread reporter([&] {
        manager_->notifyResultWithError(error, context, table, "key");
        manager_->notifyResultWithError(error, context, table, "key");  // a late second report
    });
    reporter.join();
    EXPECT_EQ(first->count(), 0u);  // nothing is delivered on the reporting thread
    ASSERT_TRUE(first->waitForCount(1) && second->waitForCount(1));
    zqtest::runMainLoopFor(0.2);

    auto result = first->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->error(), error);
    EXPECT_EQ(result->source(), Source::Cache);
    EXPECT_EQ(second->onlyResult(), first->onlyResult());
    EXPECT_EQ(second->calls().at(0).query, secondQuery);
    EXPECT_FALSE(table.synchronizedObjectForKey("key"));
}

TEST_F(ManagerCancel, ALocalQueryForANeverCachedListYieldsTheNoDataResult) {
    auto result = loadAndWait(invoices(Type::Local, 20))->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->error());
    EXPECT_FALSE(result->resultData());
    EXPECT_FALSE(result->complete());  // unlike the empty result, which is complete
    EXPECT_FALSE(result->isUpToDate());
    EXPECT_EQ(result->count(), 0u);
    EXPECT_EQ(result->source(), Source::Cache);
    EXPECT_TRUE(server().requests().empty());
}

TEST_F(ManagerCancel, AQueryTypeAboveNextPageIsRefusedOnMainAndTouchesNothing) {
    auto query = invoices(4, 20);
    auto delegate = std::make_shared<RecordingManagerDelegate>();
    manager_->load(query, delegate);
    EXPECT_TRUE(nothingWaits(*manager_));
    EXPECT_EQ(manager_->cacheOperationQueue()->operationCount(), 0u);
    EXPECT_EQ(delegate->count(), 0u);  // never from inside load
    ASSERT_TRUE(delegate->waitForCount(1));
    auto result = delegate->onlyCollectionResult();
    ASSERT_TRUE(result && result->error());
    EXPECT_FALSE(result->resultData());
    manager_->cancelLoad(query, delegate);  // nothing to withdraw, nothing breaks
    zqtest::runMainLoopFor(0.2);
    EXPECT_TRUE(server().requests().empty());
    EXPECT_EQ(delegate->count(), 1u);
}

TEST_F(ManagerCancel, WithoutARunningModelAQueryIsAnsweredWithAnErrorAndNothingWaits) {
    ZQModel::setCurrentModel(nullptr);  // no server URL to ask, no cache to read
    auto result = loadAndWait(invoices(Type::First, 20))->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->error());
    EXPECT_TRUE(nothingWaits(*manager_));
    EXPECT_TRUE(server().requests().empty());
}

TEST_F(ManagerCancel, WhileTheCacheIsBeingClearedQueriesGetNoData) {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(ZQModelWillClearCacheNotification, model_.get());
    EXPECT_TRUE(manager_->isClearingCache());
    auto during = loadAndWait(invoices(Type::First, 20))->onlyCollectionResult();
    ASSERT_TRUE(during);
    EXPECT_FALSE(during->resultData());
    EXPECT_EQ(during->source(), Source::Remote);
    EXPECT_TRUE(server().requests().empty());

    center.post(ZQModelDidClearCacheNotification, nullptr);  // from any sender
    EXPECT_FALSE(manager_->isClearingCache());
    auto after = loadAndWait(invoices(Type::First, 20))->onlyCollectionResult();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->count(), 20u);
}

TEST_F(ManagerCancel, EntityLocksAreSharedPerNameAndLeaveTheSetWhenAllAreGivenBack) {
    auto first = manager_->entityDataCacheSaveOperationObtainLockForEntityName("Invoices");
    auto second = manager_->entityDataCacheSaveOperationObtainLockForEntityName("Invoices");
    auto other = manager_->entityDataCacheSaveOperationObtainLockForEntityName("Customers");
    EXPECT_EQ(manager_->locks().countForName("Invoices"), 2u);

    // Two handles of one name exclude each other; another name does not.
    first->lock();
    bool sameNameFree = true;
    bool otherNameFree = false;
    std::thread contender([&] {
        auto* handle = dynamic_cast<ZQRemoteEntityDataManagerEntityLock*>(second.get());
        auto* otherHandle = dynamic_cast<ZQRemoteEntityDataManagerEntityLock*>(other.get());
        sameNameFree = handle->namedLock()->tryLock();
        otherNameFree = otherHandle->namedLock()->tryLock();
        if (otherNameFree) otherHandle->namedLock()->unlock();
    });
    contender.join();
    first->unlock();
    EXPECT_FALSE(sameNameFree);
    EXPECT_TRUE(otherNameFree);

    manager_->entityDataCacheSaveOperationReleaseLock(first);
    EXPECT_EQ(manager_->locks().countForName("Invoices"), 1u);
    manager_->entityDataCacheSaveOperationReleaseLock(second);
    manager_->entityDataCacheSaveOperationReleaseLock(other);
    EXPECT_EQ(manager_->locks().size(), 0u);
}

}  // namespace
