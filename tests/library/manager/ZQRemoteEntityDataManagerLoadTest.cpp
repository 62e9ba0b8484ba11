// A query from the manager to the delegate over real HTTP and a real cache: the first load, equal
// queries sharing one request and one result, a larger first page superseding a smaller one in
// flight, next pages joining, a complete collection answering next pages without asking, and the
// caching window with its conditional request.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemResult.hpp"
#include "platform/DateFormat.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"

namespace {

using zqtest::LoopbackRequest;
using zqtest::ManagerTest;
using zqtest::RecordingManagerDelegate;
using zqtest::rowIds;
using Type = ZQRemoteEntityDataQueryType;
using Source = ZQRemoteEntityDataQueryResultSource;

std::vector<int64_t> range(int64_t from, int64_t to) {
    std::vector<int64_t> ids;
    for (int64_t id = from; id <= to; ++id) ids.push_back(id);
    return ids;
}

std::map<std::string, std::string> itemsOf(const LoopbackRequest& request) {
    return zqtest::queryItems(request.query);
}

using ManagerLoad = ManagerTest;

TEST_F(ManagerLoad, AFirstPageOfACachedListIsFetchedSavedAndReadBackOnTheMainThread) {
    auto host = ZQEntityDataManager::create();
    manager_->setManager(host);
    auto query = invoices(Type::First, 20);
    auto delegate = loadAndWait(query);

    auto requests = invoiceRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(itemsOf(requests[0]).at("start"), "0");
    EXPECT_EQ(itemsOf(requests[0]).at("count"), "20");
    EXPECT_EQ(itemsOf(requests[0]).at("zqid"), "7");
    EXPECT_FALSE(requests[0].header("If-Modified-Since"));  // nothing cached to compare with

    auto call = delegate->calls().at(0);
    EXPECT_EQ(call.manager, host);
    EXPECT_EQ(call.query, query);
    auto result = delegate->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->error());
    EXPECT_EQ(result->source(), Source::Remote);
    EXPECT_FALSE(result->isUpToDate());
    EXPECT_FALSE(result->complete());  // the server has 100 rows
    EXPECT_EQ(result->count(), 20u);
    EXPECT_EQ(rowIds(*result), range(1, 20));
    EXPECT_EQ(result->timeStamp(), clock_->now());
    EXPECT_EQ(result->lastModified(), invoiceRows_->lastModified());

    // The rows are in the cache: a Local query reads them without asking, as a cache answer.
    auto local = loadAndWait(invoices(Type::Local, 20));
    auto cached = local->onlyCollectionResult();
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->source(), Source::Cache);
    EXPECT_EQ(rowIds(*cached), range(1, 20));
    EXPECT_EQ(invoiceRequests().size(), 1u);
    EXPECT_EQ(manager_->locks().size(), 0u);  // the save gave its entity lock back
}

TEST_F(ManagerLoad, AnUncachedListIsSavedInTheMemoryStoreAndReadBackButNeverServedLocally) {
    auto delegate = loadAndWait(customers(Type::First, 20));
    auto result = delegate->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->error());
    EXPECT_TRUE(result->complete());  // 12 rows for a page of 20
    EXPECT_EQ(rowIds(*result, "CustomerId"), range(1, 12));
    EXPECT_EQ(result->source(), Source::Remote);

    // Its data source keeps no cache, so a Local query finds nothing and asks nobody.
    auto local = loadAndWait(customers(Type::Local, 20));
    auto none = local->onlyCollectionResult();
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->resultData());
    EXPECT_FALSE(none->complete());
    EXPECT_EQ(none->source(), Source::Cache);
    EXPECT_EQ(server().requestsFor("GET", kCustomersPath).size(), 1u);

    // Nor is there a caching window: the next first load asks again, unconditionally.
    loadAndWait(customers(Type::First, 20));
    auto requests = server().requestsFor("GET", kCustomersPath);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].header("If-Modified-Since"));
}

TEST_F(ManagerLoad, ASingleItemIsFetchedOnceAndThenServedFromTheCacheWithinItsWindow) {
    auto first = loadAndWait(customerDetail(Type::First, 3));
    auto item =
        std::dynamic_pointer_cast<ZQRemoteEntityDataQuerySingleItemResult>(first->onlyResult());
    ASSERT_TRUE(item);
    ASSERT_FALSE(item->error()) << item->error()->description();
    ASSERT_TRUE(item->resultData());
    platform::Value name = item->resultData()->valueForEntityDataFieldName("CustomerName");
    ASSERT_TRUE(name.string());
    EXPECT_EQ(*name.string(), "Name 3");
    EXPECT_EQ(item->source(), Source::Remote);

    clock_->advance(30 * 60);  // half of its 60-minute window
    auto again = loadAndWait(customerDetail(Type::First, 3));
    auto cached =
        std::dynamic_pointer_cast<ZQRemoteEntityDataQuerySingleItemResult>(again->onlyResult());
    ASSERT_TRUE(cached && cached->resultData());
    EXPECT_EQ(cached->timeStamp(), item->timeStamp());
    EXPECT_EQ(server().requestsFor("GET", kCustomerDetailPath).size(), 1u);
}

TEST_F(ManagerLoad, TwoEqualQueriesBeforeTheCacheCheckShareOneRequestAndOneResult) {
    // Held queue: the second query surely arrives while the first is in its cache stage.
    manager_->cacheOperationQueue()->setSuspended(true);
    auto firstQuery = invoices(Type::First, 20);
    auto secondQuery = invoices(Type::First, 20);
    auto first = std::make_shared<RecordingManagerDelegate>();
    auto second = std::make_shared<RecordingManagerDelegate>();
    manager_->load(firstQuery, first);
    manager_->load(secondQuery, second);
    EXPECT_EQ(manager_->remoteLoadContextByQueryId().count(), 1u);
    manager_->cacheOperationQueue()->setSuspended(false);
    ASSERT_TRUE(first->waitForCount(1) && second->waitForCount(1));

    EXPECT_EQ(invoiceRequests().size(), 1u);
    EXPECT_EQ(first->calls().at(0).query, firstQuery);
    EXPECT_EQ(second->calls().at(0).query, secondQuery);
    EXPECT_EQ(first->onlyResult(), second->onlyResult());
    EXPECT_EQ(rowIds(*first->onlyCollectionResult()), range(1, 20));
}

TEST_F(ManagerLoad, AFirstWithoutPageSizeSupersedesAFirstPageInFlightAndAnswersBoth) {
    invoiceRows_->setStallWhen([](const auto& items) { return items.at("count") == "20"; });
    auto small = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::First, 20), small);
    ASSERT_TRUE(server().waitForRequestCount(1));

    auto all = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::First, 0), all);
    ASSERT_TRUE(all->waitForCount(1) && small->waitForCount(1));

    auto requests = invoiceRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(itemsOf(requests[1]).at("count"), "0");
    auto result = all->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_EQ(small->onlyResult(), all->onlyResult());
    EXPECT_TRUE(result->complete());
    EXPECT_EQ(rowIds(*result), range(1, 100));
    // The stalled request was withdrawn, and nothing else waits.
    EXPECT_EQ(manager_->serviceManager()->runningLoadCount(), 0u);
    EXPECT_EQ(manager_->remoteLoadContextByServiceQueryId().count(), 0u);
}

TEST_F(ManagerLoad, ANextPageJoinsTheNextPageInFlight) {
    loadAndWait(invoices(Type::First, 20));
    invoiceRows_->setStallWhen([](const auto& items) { return items.at("start") == "20"; });
    auto first = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::NextPage, 20), first);
    ASSERT_TRUE(server().waitForRequestCount(2));
    auto second = std::make_shared<RecordingManagerDelegate>();
    manager_->load(invoices(Type::NextPage, 20), second);

    invoiceRows_->setStallWhen(nullptr);
    server().releaseStalls();
    ASSERT_TRUE(first->waitForCount(1) && second->waitForCount(1));
    auto requests = invoiceRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(itemsOf(requests[1]).at("count"), "20");
    EXPECT_EQ(first->onlyResult(), second->onlyResult());
    // Every page cached so far, in order.
    EXPECT_EQ(rowIds(*second->onlyCollectionResult()), range(1, 40));
}

TEST_F(ManagerLoad, AFirstPageAndANextPageWithAllLoadedDataAskForEveryRowHeld) {
    loadAndWait(invoices(Type::First, 20));
    loadAndWait(invoices(Type::NextPage, 20));
    auto reload = loadAndWait(invoices(Type::NextPage, 10, true));
    auto requests = invoiceRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(itemsOf(requests[2]).at("start"), "0");
    EXPECT_EQ(itemsOf(requests[2]).at("count"), "40");  // the 40 held, more than the page size
    EXPECT_EQ(rowIds(*reload->onlyCollectionResult()), range(1, 40));
}

TEST_F(ManagerLoad, ACompleteCachedListAnswersNextPageUpToDateWithoutAsking) {
    loadAndWait(invoices(Type::First, 0));
    auto next = loadAndWait(invoices(Type::NextPage, 20));
    auto result = next->onlyCollectionResult();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->isUpToDate());
    EXPECT_TRUE(result->complete());
    EXPECT_EQ(result->count(), 0u);
    EXPECT_FALSE(result->resultData());
    EXPECT_EQ(result->source(), Source::Remote);
    EXPECT_EQ(result->timeStamp(), clock_->now());
    EXPECT_EQ(invoiceRequests().size(), 1u);
}

TEST_F(ManagerLoad, TheCachingWindowDecidesBetweenCacheAndAConditionalRequest) {
    const platform::Date savedAt = clock_->now();
    loadAndWait(invoices(Type::First, 20));

    clock_->advance(5 * 60);
    auto fresh = loadAndWait(invoices(Type::First, 20))->onlyCollectionResult();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(invoiceRequests().size(), 1u);
    EXPECT_EQ(rowIds(*fresh), range(1, 20));
    EXPECT_EQ(fresh->timeStamp(), savedAt);
    EXPECT_EQ(fresh->source(), Source::Remote);

    clock_->set(savedAt.addingTimeInterval(10 * 60));  // the window's end is already stale
    auto stale = loadAndWait(invoices(Type::Refresh, 20))->onlyCollectionResult();
    ASSERT_TRUE(stale);
    auto requests = invoiceRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("If-Modified-Since"),
              platform::httpDateString(invoiceRows_->lastModified()));
    // The server said 304: the cached rows answer, with the time of the check.
    EXPECT_EQ(rowIds(*stale), range(1, 20));
    EXPECT_EQ(stale->timeStamp(), clock_->now());
}

TEST_F(ManagerLoad, AForcedQueryAsksEvenInsideTheWindow) {
    loadAndWait(invoices(Type::First, 20));
    invoiceRows_->setLastModified(platform::Date(1706745600.0));  // the data changed
    auto query = invoices(Type::First, 20);
    query->setForce(true);
    auto forced = loadAndWait(query)->onlyCollectionResult();
    ASSERT_TRUE(forced);
    ASSERT_EQ(invoiceRequests().size(), 2u);
    EXPECT_EQ(forced->lastModified(), platform::Date(1706745600.0));
}

}  // namespace
