#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListFilterAdvancedValue.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

namespace {

using platform::Value;

class RemoteQueryInfo : public ::testing::Test {
  protected:
    void SetUp() override {
        model = zqtest::loadSampleModel();
        ASSERT_TRUE(model);
        auto list = model->dataProviderNamed("Sales.WorkWithInvoice.Invoice.List");
        listSource = ZQRemoteWorkWithCollectionDataSource::create(list->workWithModel(), list, {});
        auto detail = model->dataProviderNamed("Sales.WorkWithInvoice.Invoice.Detail");
        detailSource =
            ZQRemoteWorkWithSingleItemDataSource::create(detail->workWithModel(), detail, {});
    }

    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> collection(uint64_t pageSize,
                                                                      uint64_t orderIndex,
                                                                      uint64_t searchFieldIndex) {
        return ZQRemoteEntityDataQueryCollectionInfo::create(
            listSource, ZQRemoteEntityDataQueryType::First, std::nullopt, 9, false, pageSize,
            orderIndex, std::nullopt, searchFieldIndex, std::nullopt);
    }

    std::shared_ptr<const ZQApplicationModel> model;
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> listSource;
    std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> detailSource;
};

TEST_F(RemoteQueryInfo, SingleItemKeepsWhatItWasGivenAndStartsUnforced) {
    auto query = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        detailSource, ZQRemoteEntityDataQueryType::Refresh, platform::Array{Value(3)}, 42);
    EXPECT_EQ(query->type(), ZQRemoteEntityDataQueryType::Refresh);
    ASSERT_TRUE(query->parameters());
    EXPECT_EQ(*query->parameters(), platform::Array{Value(3)});
    EXPECT_EQ(query->zqid(), 42u);
    EXPECT_FALSE(query->force());
    EXPECT_EQ(query->dataSource().get(),
              static_cast<const ZQEntityDataSourceDescriptor*>(detailSource.get()));
    EXPECT_EQ(query->remoteDataSource().get(),
              static_cast<const ZQRemoteEntityDataSourceDescriptor*>(detailSource.get()));
    EXPECT_EQ(query->remoteSingleItemDataSource(), detailSource);

    auto other = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        detailSource, ZQRemoteEntityDataQueryType::First, std::nullopt, 43);
    query->setForce(true);
    EXPECT_TRUE(query->force());
    EXPECT_FALSE(other->force());  // force belongs to the query it is set on
    EXPECT_FALSE(other->parameters());
    EXPECT_FALSE(query->isEqual(*other));
    EXPECT_TRUE(query->isEqual(*query));
}

TEST_F(RemoteQueryInfo, CollectionMarkersForNoLimitNoOrderAndNoSearchField) {
    auto all = collection(0, ZQNotFound, ZQNotFound);
    EXPECT_EQ(all->pageSize(), 0u);  // every row
    EXPECT_EQ(all->orderIndex(), 0x7FFFFFFFFFFFFFFFull);
    EXPECT_EQ(all->searchFieldIndex(), 0x7FFFFFFFFFFFFFFFull);
    EXPECT_FALSE(all->searchText());
    EXPECT_FALSE(all->advancedFilterValues());
    EXPECT_FALSE(all->force());
    EXPECT_EQ(all->remoteCollectionDataSource(), listSource);
    EXPECT_TRUE(all->remoteDataSource()->entityDataSourceCacheEnabled());

    auto field = listSource->entityDataSourceFilterAdvanced()->entityListFilterAdvancedFields()[0];
    ZQEntityListFilterAdvancedFieldValues values = {
        std::make_shared<ZQEntityListFilterAdvancedValue>(field, Value("2024-01-01"), Value())};
    auto filtered = ZQRemoteEntityDataQueryCollectionInfo::create(
        listSource, ZQRemoteEntityDataQueryType::NextPage, std::nullopt, 1, true, 20, 1, "acme", 0,
        values);
    EXPECT_TRUE(filtered->allLoadedData());
    EXPECT_EQ(filtered->pageSize(), 20u);
    EXPECT_EQ(filtered->orderIndex(), 1u);
    EXPECT_EQ(filtered->searchText(), "acme");
    EXPECT_EQ(filtered->searchFieldIndex(), 0u);
    ASSERT_TRUE(filtered->advancedFilterValues());
    EXPECT_EQ(filtered->advancedFilterValues()->at(0)->entityListFilterAdvancedField(), field);
}

TEST_F(RemoteQueryInfo, ViewsAreEmptyForADataSourceThatIsNotRemote) {
    auto list = model->dataProviderNamed("Sales.WorkWithInvoice.Invoice.List");
    auto hostOnly = ZQWorkWithCollectionDataSource::create(list->workWithModel(), list, {});
    auto query = ZQRemoteEntityDataQueryCollectionInfo::create(
        hostOnly, ZQRemoteEntityDataQueryType::Local, std::nullopt, 0, false, 0, ZQNotFound,
        std::nullopt, ZQNotFound, std::nullopt);
    EXPECT_EQ(query->remoteDataSource(), nullptr);
    EXPECT_EQ(query->remoteCollectionDataSource(), nullptr);
    EXPECT_EQ(query->collectionDataSource(), hostOnly);
}

TEST(ZQRemoteEntityDataQueryType, RolesOfTheNumbers) {
    EXPECT_TRUE(ZQRemoteEntityDataQueryType::isRefreshOrFirst(1));
    EXPECT_TRUE(ZQRemoteEntityDataQueryType::isRefreshOrFirst(2));
    EXPECT_FALSE(ZQRemoteEntityDataQueryType::isRefreshOrFirst(ZQRemoteEntityDataQueryType::Local));
    EXPECT_FALSE(
        ZQRemoteEntityDataQueryType::isRefreshOrFirst(ZQRemoteEntityDataQueryType::NextPage));
    EXPECT_TRUE(ZQRemoteEntityDataQueryType::isValid(3));
    EXPECT_FALSE(ZQRemoteEntityDataQueryType::isValid(4));
}

}  // namespace
