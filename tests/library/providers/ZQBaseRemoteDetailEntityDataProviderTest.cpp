#include <gtest/gtest.h>

#include "ZQDataLayerRemote/providers/ZQBaseRemoteDetailEntityDataProvider.hpp"
#include "tests/library/providers/ProviderTestSupport.hpp"

namespace zqtest {
namespace {

using QueryType = ZQRemoteEntityDataQueryType;
using Origin = ZQEntityDataProviderDataOrigin;
using LoadedState = ZQEntityDataDetailProviderLoadedState;

class RemoteDetailProvider : public ProviderTest {
  protected:
    std::shared_ptr<ZQBaseRemoteDetailEntityDataProvider> customerDetail(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> source = nullptr) {
        auto provider =
            ZQBaseRemoteDetailEntityDataProvider::create(source ? source : customerDetailSource_);
        attach(*provider, "CustomerId");
        provider->setInputParameterValues({platform::Value(3)});
        return provider;
    }
    bool forced(size_t index) const {
        return dynamic_cast<const ZQRemoteEntityDataQueryInfo&>(*loader_->queries.at(index))
            .force();
    }
    size_t detailRequests() { return server().requestsFor("GET", kCustomerDetailPath).size(); }
};

TEST_F(RemoteDetailProvider, ACachedItemIsShownThenReloadedFromTheServer) {
    prime(ManagerTest::customerDetail(QueryType::First, 3));
    auto provider = customerDetail();
    EXPECT_EQ(provider->loadState(), LoadedState::unknownLocal);
    const size_t before = detailRequests();

    provider->load();
    ASSERT_TRUE(settle(*provider));

    ASSERT_EQ(loader_->types().size(), 2u);
    EXPECT_EQ(loader_->types()[0], QueryType::Local);
    EXPECT_NE(loader_->types()[1], QueryType::Local);
    EXPECT_TRUE(forced(1));  // inside the 60-minute window, the reload still asks the server
    EXPECT_EQ(detailRequests(), before + 1);
    auto shown = delegate_->of(ProviderEvent::data);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].origin, Origin::cache);
    EXPECT_EQ(shown[0].ids, std::vector<int64_t>{3});
    EXPECT_EQ(shown[1].origin, Origin::server);
    EXPECT_EQ(provider->loadState(), LoadedState::remote);
    EXPECT_EQ(provider->loadedDataSource(), ZQRemoteLoadedDataSourceServer);
    EXPECT_FALSE(provider->reloadNeeded());

    // Back in the foreground the server is asked again.
    platform::NotificationCenter::defaultCenter().post(
        ZQApplicationWillEnterForegroundNotification);
    EXPECT_TRUE(provider->isLoading());
    ASSERT_TRUE(settle(*provider));
    EXPECT_EQ(provider->loadState(), LoadedState::remote);
    EXPECT_EQ(detailRequests(), before + 2);
}

TEST_F(RemoteDetailProvider, ACacheWithoutTheItemRefreshesAtOnce) {
    auto provider = customerDetail();
    provider->load();
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(loader_->types().size(), 2u);
    EXPECT_EQ(loader_->types()[0], QueryType::Local);
    EXPECT_TRUE(forced(1));
    // The empty cache answer shows nothing: the first data the screen hears of is the server's.
    auto shown = delegate_->of(ProviderEvent::data);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].origin, Origin::server);
    EXPECT_EQ(shown[0].ids, std::vector<int64_t>{3});
    EXPECT_EQ(provider->loadState(), LoadedState::remote);
}

TEST_F(RemoteDetailProvider, EditingLoadsGoToTheServerAndLeaveTheLoadedStateAlone) {
    prime(ManagerTest::customerDetail(QueryType::First, 3));
    auto provider = customerDetail();
    provider->loadMutableEntityData();
    ASSERT_TRUE(settle(*provider));
    provider->refresh(false);  // a refresh of the editable version stays one
    ASSERT_TRUE(settle(*provider));
    for (size_t i = 0; i < loader_->queries.size(); ++i) {
        EXPECT_NE(loader_->types()[i], QueryType::Local);
        EXPECT_TRUE(forced(i));
    }
    EXPECT_EQ(loader_->queries.size(), 2u);
    EXPECT_EQ(provider->loadedEntityData()->valueForEntityDataFieldName("CustomerId").integer(), 3);
    EXPECT_EQ(provider->loadedDataSource(), ZQRemoteLoadedDataSourceNone);
    EXPECT_EQ(provider->state(), ZQBaseDetailEntityDataProvider::stateMutableEntityData);
    EXPECT_TRUE(provider->lastRefresh());
}

TEST_F(RemoteDetailProvider, AnUncachedSourceStartsUnknownRemoteAndNeverReadsTheCache) {
    auto shared = appModel_->dataProviderNamed("WorkWithCustomer.Customer.Detail");
    auto uncached = std::make_shared<ZQWorkWithData>(shared->dataProviderName(), false);
    auto source = ZQRemoteWorkWithSingleItemDataSource::create(shared->workWithModel(), uncached,
                                                               customerDetailSource_->parameters());
    ASSERT_FALSE(source->entityDataSourceCacheEnabled());
    auto provider = customerDetail(source);
    EXPECT_EQ(provider->loadState(), LoadedState::unknownRemote);
    provider->load();
    ASSERT_TRUE(settle(*provider));
    provider->reloadEntityData();
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(loader_->queries.size(), 2u);
    for (ZQEntityDataQueryType type : loader_->types()) EXPECT_NE(type, QueryType::Local);
}

TEST_F(RemoteDetailProvider, InvalidParametersWaitAndAServerErrorIsReportedOnce) {
    auto provider = ZQBaseRemoteDetailEntityDataProvider::create(customerDetailSource_);
    attach(*provider, "CustomerId");
    provider->load();  // no parameter value yet
    EXPECT_TRUE(loader_->queries.empty());

    server().route("GET", kCustomerDetailPath,
                   LoopbackResponse::error(500, "500", "Server is down"));
    provider->setInputParameterValues({platform::Value(3)});
    ASSERT_TRUE(settle(*provider));
    runMainLoopFor(0.2);
    EXPECT_EQ(delegate_->count(ProviderEvent::error), 1u);
    EXPECT_FALSE(provider->loadedEntityData());
    EXPECT_EQ(provider->loadState(), LoadedState::unknownRemote);
}

}  // namespace
}  // namespace zqtest

namespace zqtest {
namespace {

TEST_F(RemoteDetailProvider, NewParametersMissingFromTheCacheAskTheServerAndDropTheOldItem) {
    int asked = 0;
    server().route("GET", kCustomerDetailPath, [&asked](const LoopbackRequest& request) {
        ++asked;
        const bool four = request.query.find("CustomerId=4") != std::string::npos;
        return LoopbackResponse::json(
            std::string(R"({"CustomerId": )") + (four ? "4" : "3") +
            R"(, "CustomerName": "N", "CustomerEmail": "e", "CustomerPhoto": "", )"
            R"("CustomerActive": true, "CustomerSince": "2020-01-01", "Invoices": []})");
    });
    auto provider = customerDetail();
    provider->load();
    ASSERT_TRUE(settle(*provider));
    ASSERT_EQ(delegate_->count(ProviderEvent::error), 0u);
    ASSERT_EQ(provider->loadState(), LoadedState::remote) << asked;

    provider->setInputParameterValues({platform::Value(4)});
    ASSERT_TRUE(settle(*provider));
    for (const auto& event : delegate_->of(ProviderEvent::data)) {
        if (event.origin == Origin::cache) {
            EXPECT_NE(event.ids, std::vector<int64_t>{3});
        }
    }
    EXPECT_EQ(delegate_->of(ProviderEvent::data).back().ids, std::vector<int64_t>{4});
    EXPECT_EQ(provider->loadState(), LoadedState::remote);
    EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace zqtest
