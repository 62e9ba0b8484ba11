#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryStandardResults.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"

namespace {

using Source = ZQRemoteEntityDataQueryResultSource;
using Results = ZQRemoteEntityDataQueryStandardResults;
using Collection = ZQRemoteEntityDataQueryCollectionResult;
using Single = ZQRemoteEntityDataQuerySingleItemResult;

const platform::Date kStamp(1700000000.0), kData(1699990000.0), kModified(1699980000.0);

void expectNoDates(const ZQRemoteEntityDataQueryResult& result) {
    EXPECT_FALSE(result.timeStamp());
    EXPECT_FALSE(result.dataTimeStamp());
    EXPECT_FALSE(result.lastModified());
}

TEST(ZQRemoteEntityDataQueryResults, UpToDateIsToldFromARealEmptyResultOnlyByItsFlag) {
    auto upToDate = Collection::entityDataQueryResultUpToDateWithTimeStamp(kStamp, kData, kModified,
                                                                           Source::Remote);
    auto empty = Results::emptyCollectionEntityDataQueryResult();
    EXPECT_TRUE(upToDate->isUpToDate());
    EXPECT_FALSE(empty->isUpToDate());
    EXPECT_TRUE(upToDate->complete());
    EXPECT_EQ(upToDate->count(), 0u);
    EXPECT_FALSE(upToDate->resultData());
    EXPECT_FALSE(upToDate->alphaIndexTitles());
    EXPECT_EQ(upToDate->timeStamp(), kStamp);
    EXPECT_EQ(upToDate->dataTimeStamp(), kData);
    EXPECT_EQ(upToDate->lastModified(), kModified);
    EXPECT_EQ(upToDate->source(), Source::Remote);
    EXPECT_EQ(upToDate->error(), nullptr);
}

TEST(ZQRemoteEntityDataQueryResults, NoDataIsIncompleteWhileEmptyIsComplete) {
    auto noData = std::dynamic_pointer_cast<Collection>(
        Results::remoteNoDataResultWithSource(Source::Cache, true));
    ASSERT_TRUE(noData);
    EXPECT_FALSE(noData->complete());
    EXPECT_FALSE(noData->resultData());
    EXPECT_EQ(noData->count(), 0u);
    EXPECT_FALSE(noData->alphaIndexRangesByTitle());
    EXPECT_EQ(noData->source(), Source::Cache);
    EXPECT_FALSE(noData->isUpToDate());
    expectNoDates(*noData);

    auto empty = Results::emptyCollectionEntityDataQueryResult();
    EXPECT_TRUE(empty->complete());
    ASSERT_TRUE(empty->resultData());
    EXPECT_TRUE(empty->resultData()->empty());
    EXPECT_EQ(empty->source(), Source::Remote);
    expectNoDates(*empty);

    auto single = std::dynamic_pointer_cast<Single>(
        Results::remoteNoDataResultWithSource(Source::Remote, false));
    ASSERT_TRUE(single);
    EXPECT_EQ(single->resultData(), nullptr);
    EXPECT_EQ(single->source(), Source::Remote);
    expectNoDates(*single);
}

TEST(ZQRemoteEntityDataQueryResults, EmptySingleItemCarriesTheItem) {
    auto item = std::make_shared<ZQDictionaryEntityData>(
        platform::Dictionary{{"InvoiceId", platform::Value(1)}});
    auto result = Results::emptySingleItemEntityDataQueryResultWithDataItem(item);
    EXPECT_EQ(result->dataItem(), item);
    EXPECT_EQ(result->source(), Source::Remote);
    EXPECT_FALSE(result->isUpToDate());
    EXPECT_EQ(result->error(), nullptr);
    expectNoDates(*result);
}

TEST(ZQRemoteEntityDataQueryResults, ErrorResultsCarryOnlyErrorAndSource) {
    auto error = defaultZQError();
    auto collection = Collection::entityDataQueryResultWithError(error, Source::Remote);
    EXPECT_EQ(collection->error(), error);
    EXPECT_FALSE(collection->complete());
    EXPECT_FALSE(collection->resultData());
    EXPECT_EQ(collection->source(), Source::Remote);
    expectNoDates(*collection);
    auto single = Single::entityDataQueryResultWithError(error, Source::Cache);
    EXPECT_EQ(single->error(), error);
    EXPECT_EQ(single->resultData(), nullptr);
    EXPECT_EQ(single->source(), Source::Cache);
    EXPECT_FALSE(single->isUpToDate());
}

TEST(ZQRemoteEntityDataQueryResults, HostInitialisersReportSourceZeroAndNoDates) {
    auto item = std::make_shared<ZQDictionaryEntityData>(platform::Dictionary{});
    Single single(item, kStamp, nullptr);
    EXPECT_EQ(single.source(), 0);
    EXPECT_FALSE(single.dataTimeStamp());
    EXPECT_FALSE(single.lastModified());
    EXPECT_EQ(single.timeStamp(), kStamp);
    EXPECT_FALSE(single.isUpToDate());

    ZQAlphaIndexRangesByTitle ranges{{"A", ZQRange{0, 2}}};
    Collection collection(ZQEntityDataSections{{item}}, kStamp, nullptr, 1, true,
                          std::vector<std::string>{"A"}, ranges);
    EXPECT_EQ(collection.source(), 0);
    EXPECT_FALSE(collection.dataTimeStamp());
    EXPECT_FALSE(collection.lastModified());
    EXPECT_EQ(collection.count(), 1u);
    EXPECT_EQ(collection.alphaIndexRangesByTitle(), ranges);
    EXPECT_FALSE(collection.isUpToDate());

    auto full = Collection::entityDataQueryResultWithResultData(
        ZQEntityDataSections{{item}}, kStamp, 1, false, std::nullopt, std::nullopt, kData,
        kModified, Source::Cache);
    EXPECT_EQ(full->dataTimeStamp(), kData);
    EXPECT_EQ(full->lastModified(), kModified);
    EXPECT_EQ(full->source(), Source::Cache);
    EXPECT_FALSE(full->isUpToDate());
    EXPECT_EQ(full->resultData()->at(0).at(0), item);
}

}  // namespace
