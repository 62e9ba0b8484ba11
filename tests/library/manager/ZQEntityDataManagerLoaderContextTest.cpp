// The loader contexts at their edges: an emptied context, withdrawing what is not there, the page
// size that stands for all waiting queries, the stage views of the one loader, and the next
// request's URL.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"
#include "ZQDataLayerRemote/manager/ZQEntityDataManagerRemoteLoaderContext.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"

namespace {

using zqtest::ManagerTest;
using zqtest::RecordingManagerDelegate;
using Type = ZQRemoteEntityDataQueryType;
using Context = ZQEntityDataManagerRemoteLoaderContext;

class LoaderContext : public ManagerTest {
  protected:
    std::shared_ptr<Context> contextWith(std::shared_ptr<ZQEntityDataQueryInfo> query) {
        return std::make_shared<Context>(ZQEntityDataManagerLoader(), std::move(query), delegate_,
                                         *platform::URL::fromString("http://h/rest/P"), "a=1");
    }
    std::shared_ptr<RecordingManagerDelegate> delegate_ =
        std::make_shared<RecordingManagerDelegate>();
};

TEST_F(LoaderContext, AnEmptiedContextAnswersNothingAndNoForAnyQuestion) {
    auto query = invoices(Type::First, 20, true);
    query->setForce(true);
    auto context = contextWith(query);
    EXPECT_TRUE(context->isCollection() && context->isAnyForce() && context->isAnyFirst());
    EXPECT_EQ(context->removeQueryInfo(*query, delegate_), 0u);

    EXPECT_FALSE(context->queryInfo());
    EXPECT_FALSE(context->delegate().lock());
    EXPECT_FALSE(context->anyQueryInfo());
    EXPECT_FALSE(context->isCollection());
    EXPECT_FALSE(context->isAnyRefreshOrFirst());
    EXPECT_FALSE(context->isAnyFirst());
    EXPECT_FALSE(context->isAnyForce());
    EXPECT_FALSE(context->isAnyAllLoadedData());
    EXPECT_EQ(context->maxPageSize(), 0u);
}

TEST_F(LoaderContext, PairsAreWithdrawnByTheirOwnQueryOnly) {
    auto first = invoices(Type::NextPage, 20);
    auto second = invoices(Type::Refresh, 20);
    auto equalButOther = invoices(Type::NextPage, 20);
    auto context = contextWith(first);
    context->addQueryInfo(second, delegate_);

    EXPECT_EQ(context->removeQueryInfo(*equalButOther, delegate_), 2u);
    EXPECT_EQ(context->queryInfo(), first);
    EXPECT_EQ(context->anyQueryInfo(), second);
    EXPECT_TRUE(context->isAnyRefreshOrFirst());
    EXPECT_FALSE(context->isAnyFirst());
    EXPECT_EQ(context->removeQueryInfo(*first, delegate_), 1u);
    EXPECT_EQ(context->queryInfo(), second);
}

TEST_F(LoaderContext, TheLargestPageSizeStandsForAllUnlessOneAsksForEverything) {
    auto context = contextWith(invoices(Type::First, 20));
    context->addQueryInfo(customerDetail(Type::First, 1), delegate_);  // no page: skipped
    context->addQueryInfo(invoices(Type::NextPage, 50), delegate_);
    EXPECT_EQ(context->maxPageSize(), 50u);
    context->addQueryInfo(invoices(Type::NextPage, 0), delegate_);
    context->addQueryInfo(invoices(Type::NextPage, 70), delegate_);
    EXPECT_EQ(context->maxPageSize(), 0u);
}

TEST_F(LoaderContext, TheLoaderOfOneStageHidesTheOthers) {
    auto context = contextWith(invoices(Type::First, 20));
    auto operation = manager_->newCacheLoadOperationForQueryInfo(
        *invoices(Type::First, 20), context->baseURL(), context->queryParameters());
    context->setCacheLoadOperation(operation);
    EXPECT_EQ(context->cacheLoadOperation(), operation);
    EXPECT_EQ(operation->resultType(), ZQEntityDataCacheLoadResultType::record);
    EXPECT_FALSE(context->serviceQueryInfo());

    auto request = ZQEntityDataServiceQueryInfo::create(context->remoteURL(), true, std::nullopt);
    context->setServiceQueryInfo(request);
    EXPECT_FALSE(context->cacheLoadOperation());
    EXPECT_EQ(context->serviceQueryInfo(), request);
    EXPECT_FALSE(context->cacheSaveOperation());
    context->setServiceQueryInfo(nullptr);
    EXPECT_FALSE(context->serviceQueryInfo());
}

TEST_F(LoaderContext, TheNextRequestCarriesThePageAndTheLastQuerysZqid) {
    auto context = contextWith(invoices(Type::First, 20));  // zqid 7
    context->setPageRange(ZQRange{40, 20});
    EXPECT_EQ(context->remoteURL().absoluteString(),
              "http://h/rest/P?a=1&start=40&count=20&zqid=7");
    context->addQueryInfo(customers(Type::First, 5), delegate_);  // zqid 8, now the last
    EXPECT_EQ(context->remoteURL().query(), "a=1&start=40&count=20&zqid=8");
}

}  // namespace
