#include <gtest/gtest.h>

#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"
#include "tests/library/providers/ProviderTestSupport.hpp"

namespace zqtest {
namespace {

using QueryType = ZQRemoteEntityDataQueryType;
using Origin = ZQEntityDataProviderDataOrigin;

class RemoteListProvider : public ProviderTest {
  protected:
    std::shared_ptr<ZQBaseRemoteListEntityDataProvider> invoiceList(uint64_t pageSize = 20) {
        auto provider = ZQBaseRemoteListEntityDataProvider::create(invoiceSource_);
        provider->setPageSize(pageSize);
        attach(*provider);
        return provider;
    }
    std::map<std::string, std::string> lastInvoiceRequest() const {
        auto requests = invoiceRequests();
        return requests.empty() ? std::map<std::string, std::string>{}
                                : queryItems(requests.back().query);
    }
    const ZQRemoteEntityDataQueryCollectionInfo& query(size_t index) const {
        return dynamic_cast<const ZQRemoteEntityDataQueryCollectionInfo&>(
            *loader_->queries.at(index));
    }
};

TEST_F(RemoteListProvider, ACachedListShowsTheCacheThenAsksTheServerWithTheRefreshType) {
    prime(invoices(QueryType::First, 20));
    leaveCachingWindow();
    server().clearLog();

    auto provider = invoiceList();
    EXPECT_EQ(provider->totalCount(), ZQTotalCountUnknownLocal);
    provider->load();
    ASSERT_TRUE(settle(*provider));

    EXPECT_EQ(loader_->types(),
              (std::vector<ZQEntityDataQueryType>{QueryType::Local, QueryType::First}));
    auto shown = delegate_->of(ProviderEvent::data);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].origin, Origin::cache);
    EXPECT_EQ(shown[0].ids, idRange(1, 20));
    // Once the cache is shown, the server is what is still unknown.
    EXPECT_EQ(shown[0].totalCount, ZQTotalCountUnknownRemote);
    EXPECT_EQ(shown[1].origin, Origin::server);
    EXPECT_EQ(shown[1].ids, idRange(1, 20));
    EXPECT_EQ(shown[1].totalCount, ZQTotalCountUnknownPendingRemote);
    EXPECT_EQ(invoiceRequests().size(), 1u);
    EXPECT_EQ(provider->loadedDataSource(), ZQRemoteLoadedDataSourceServer);
    EXPECT_TRUE(provider->firstLoadCompleted());
    EXPECT_TRUE(provider->lastRefresh());
    // A refresh from now on is of the refresh type.
    EXPECT_EQ(provider->currentRefreshQueryType(), QueryType::Refresh);
    EXPECT_EQ(delegate_->of(ProviderEvent::morePages).back().flag, true);
}

TEST_F(RemoteListProvider, PagesFollowTheTotalCountUntilEveryRowIsLoaded) {
    invoiceRows_->setRowCount(45);
    auto provider = invoiceList();
    provider->load();
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(provider->totalCount(), ZQTotalCountUnknownPendingRemote);

    struct Step {
        const char* start;
        size_t rows;
        int64_t totalCount;
    };
    for (const Step& step :
         {Step{"20", 40, ZQTotalCountUnknownPendingRemote}, Step{"40", 45, 45}}) {
        provider->loadNextPage();
        ASSERT_TRUE(settle(*provider));
        EXPECT_EQ(loader_->types().back(), QueryType::NextPage);
        EXPECT_EQ(lastInvoiceRequest()["start"], step.start);
        EXPECT_EQ(provider->loadedEntitiesCount(), step.rows);
        EXPECT_EQ(provider->totalCount(), step.totalCount);
    }
    EXPECT_TRUE(provider->allPagesLoaded());
    EXPECT_FALSE(delegate_->of(ProviderEvent::morePages).back().flag);
    // Nothing more to ask for.
    const size_t sent = loader_->queries.size();
    provider->loadNextPage();
    EXPECT_EQ(loader_->queries.size(), sent);

    // A refresh of all loaded data with page size 20 and 45 rows loaded asks for 45.
    provider->refresh(true, true);
    ASSERT_TRUE(settle(*provider));
    EXPECT_TRUE(query(loader_->queries.size() - 1).allLoadedData());
    EXPECT_EQ(query(loader_->queries.size() - 1).pageSize(), 45u);
    EXPECT_TRUE(query(loader_->queries.size() - 1).force());
    EXPECT_EQ(lastInvoiceRequest()["count"], "45");
    EXPECT_EQ(provider->loadedEntitiesCount(), 45u);
}

TEST_F(RemoteListProvider, AnUpToDateNextPageKeepsTheRowsShown) {
    invoiceRows_->setRowCount(30);
    auto provider = invoiceList();
    provider->load();
    ASSERT_TRUE(settle(*provider));
    provider->loadNextPage();
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(provider->totalCount(), 30);
    const size_t requests = invoiceRequests().size();

    // The record is complete: a next page is answered "up to date" without a request.
    provider->setTotalCount(ZQTotalCountUnknownPendingRemote);
    provider->loadNextPage();
    ASSERT_TRUE(settle(*provider));
    EXPECT_EQ(loader_->types().back(), QueryType::NextPage);
    EXPECT_EQ(invoiceRequests().size(), requests);
    auto last = delegate_->of(ProviderEvent::data).back();
    EXPECT_TRUE(last.flag);
    EXPECT_EQ(last.ids, idRange(1, 30));
    EXPECT_EQ(provider->totalCount(), 30);
}

TEST_F(RemoteListProvider, ComingBackToTheForegroundAsksTheServerUnlessTheCacheIsUnread) {
    auto post = [] {
        platform::NotificationCenter::defaultCenter().post(
            ZQApplicationWillEnterForegroundNotification, nullptr, {});
    };
    // Nothing read yet: the count stays and nothing is asked.
    auto idle = invoiceList();
    post();
    EXPECT_EQ(idle->totalCount(), ZQTotalCountUnknownLocal);
    EXPECT_TRUE(loader_->queries.empty());

    invoiceRows_->setRowCount(30);
    auto provider = invoiceList();
    provider->load();
    ASSERT_TRUE(settle(*provider));
    provider->loadNextPage();
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(provider->totalCount(), 30);
    loader_->queries.clear();
    invoiceRows_->setRowCount(31);
    invoiceRows_->setLastModified(platform::Date(1704153600.0));

    // Held by the delegate: the count becomes unknown and the refresh waits for the let-go.
    provider->setLoadsHeldByDelegate(true);
    post();
    EXPECT_EQ(provider->totalCount(), ZQTotalCountUnknownRemote);
    EXPECT_TRUE(loader_->queries.empty());
    EXPECT_EQ(provider->refreshFlags(), ZQEntityDataProviderRefreshFlagRequired |
                                            ZQEntityDataProviderRefreshFlagForce |
                                            ZQEntityDataProviderRefreshFlagAllLoadedData);
    provider->setLoadsHeldByDelegate(false);
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(loader_->queries.size(), 1u);
    EXPECT_EQ(query(0).type(), QueryType::Refresh);
    EXPECT_TRUE(query(0).force());
    EXPECT_EQ(query(0).pageSize(), 30u);  // every row that was loaded
    EXPECT_EQ(provider->refreshFlags(), 0u);
    EXPECT_EQ(provider->loadedEntitiesCount(), 30u);
    EXPECT_EQ(provider->totalCount(), ZQTotalCountUnknownPendingRemote);
}

TEST_F(RemoteListProvider, AnUncachedListNeverIssuesLocalQueries) {
    auto provider = ZQBaseRemoteListEntityDataProvider::create(customerSource_);
    provider->setPageSize(5);
    attach(*provider, "CustomerId");
    EXPECT_EQ(provider->totalCount(), ZQTotalCountUnknownRemote);
    provider->load();
    ASSERT_TRUE(settle(*provider));
    provider->loadNextPage();
    ASSERT_TRUE(settle(*provider));
    provider->refresh(false);
    ASSERT_TRUE(settle(*provider));
    EXPECT_EQ(loader_->types(), (std::vector<ZQEntityDataQueryType>{
                                    QueryType::First, QueryType::NextPage, QueryType::Refresh}));
    for (const auto& event : delegate_->of(ProviderEvent::data)) {
        EXPECT_EQ(event.origin, Origin::server);
    }
}

TEST_F(RemoteListProvider, ASearchReadsItsOwnCacheAndServerAndLeavesThePlainRowsAlone) {
    auto provider = invoiceList();
    provider->load();
    ASSERT_TRUE(settle(*provider));
    loader_->queries.clear();

    provider->setSearchText("Customer 3");
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(loader_->types(),
              (std::vector<ZQEntityDataQueryType>{QueryType::Local, QueryType::Refresh}));
    EXPECT_EQ(query(1).searchText(), std::optional<std::string>("Customer 3"));
    EXPECT_EQ(provider->filteredLoadedDataSource(), ZQRemoteLoadedDataSourceServer);
    EXPECT_EQ(provider->filteredTotalCount(), ZQTotalCountUnknownPendingRemote);

    provider->setSearchText(std::nullopt);
    EXPECT_EQ(loader_->queries.size(), 2u);  // the plain rows were still there
    EXPECT_EQ(delegate_->of(ProviderEvent::data).back().ids, idRange(1, 20));
    EXPECT_EQ(provider->filteredLoadedDataSource(), ZQRemoteLoadedDataSourceNone);
}

}  // namespace
}  // namespace zqtest
