#include <gtest/gtest.h>

#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

namespace {

class RemoteWorkWithDataSource : public ::testing::Test {
  protected:
    void SetUp() override {
        model = zqtest::loadSampleModel();
        ASSERT_TRUE(model);
    }
    std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> collection(
        const std::string& provider) {
        auto data = model->dataProviderNamed(provider);
        return ZQRemoteWorkWithCollectionDataSource::create(data->workWithModel(), data, {});
    }
    std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> single(const std::string& provider) {
        auto data = model->dataProviderNamed(provider);
        return ZQRemoteWorkWithSingleItemDataSource::create(data->workWithModel(), data, {});
    }
    std::shared_ptr<const ZQApplicationModel> model;
};

TEST_F(RemoteWorkWithDataSource, CacheSettingsComeFromTheDataProvidersCacheProperties) {
    auto list = collection("Sales.WorkWithInvoice.Invoice.List");
    EXPECT_TRUE(list->entityDataSourceCacheEnabled());
    EXPECT_EQ(list->entityDataSourceCachingFrequencyType(),
              ZQWorkWithCacheFrequencyAfterElapsedTime);
    EXPECT_EQ(list->entityDataSourceCachingFrequencyAfterElipsedTime(), 10u);

    auto detail = single("Sales.WorkWithInvoice.Invoice.Detail");
    EXPECT_TRUE(detail->entityDataSourceCacheEnabled());
    EXPECT_EQ(detail->entityDataSourceCachingFrequencyType(), ZQWorkWithCacheFrequencyAlways);
    EXPECT_EQ(detail->entityDataSourceCachingFrequencyAfterElipsedTime(), 0u);
    EXPECT_EQ(single("WorkWithCustomer.Customer.Detail")
                  ->entityDataSourceCachingFrequencyAfterElipsedTime(),
              60u);
}

TEST_F(RemoteWorkWithDataSource, WithoutCachePropertiesOrDataElementTheCacheIsOff) {
    // Explicitly disabled.
    EXPECT_FALSE(collection("WorkWithCustomer.Customer.List")->entityDataSourceCacheEnabled());
    // No cache properties at all.
    auto lines = collection("Sales.WorkWithInvoice.Invoice.Lines");
    EXPECT_FALSE(lines->entityDataSourceCacheEnabled());
    EXPECT_EQ(lines->entityDataSourceCachingFrequencyType(), ZQWorkWithCacheFrequencyAlways);
    EXPECT_EQ(lines->entityDataSourceCachingFrequencyAfterElipsedTime(), 0u);
    // No data element.
    auto workWith = model->workWithsByName().at("WorkWithInvoice");
    for (const std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>& source :
         {std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>(
              ZQRemoteWorkWithCollectionDataSource::create(workWith, nullptr, {})),
          std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>(
              ZQRemoteWorkWithSingleItemDataSource::create(workWith, nullptr, {}))}) {
        EXPECT_FALSE(source->entityDataSourceCacheEnabled());
        EXPECT_EQ(source->entityDataSourceCachingFrequencyAfterElipsedTime(), 0u);
    }
}

TEST_F(RemoteWorkWithDataSource, ConstructionArgumentsReachTheBaseUnchanged) {
    auto detail = model->workWithsByName().at("WorkWithInvoice")->levels()[0]->detail();
    auto data =
        ZQWorkWithData::workWithDataForDataProviderName(detail->dataProviderName(), detail->data());
    auto source = ZQRemoteWorkWithSingleItemDataSource::create(detail->workWithModel(), data,
                                                               detail->parameters());
    EXPECT_EQ(source->workWithModel(), detail->workWithModel());
    EXPECT_EQ(source->workWithData(), data);
    EXPECT_EQ(source->parameters(), detail->parameters());
    // One object is each of the descriptors the library asks for.
    std::shared_ptr<const ZQEntityDataSourceDescriptor> asDataSource = source;
    EXPECT_TRUE(
        std::dynamic_pointer_cast<const ZQSingleItemEntityDataSourceDescriptor>(asDataSource));
    EXPECT_TRUE(std::dynamic_pointer_cast<const ZQRemoteEntityDataSourceDescriptor>(asDataSource));
    EXPECT_FALSE(
        std::dynamic_pointer_cast<const ZQCollectionEntityDataSourceDescriptor>(asDataSource));
    // Its sublevel knows it as parent.
    EXPECT_EQ(source->entityDataSourceSublevels().at(0)->entityDataSourceParentLevel().get(),
              static_cast<const ZQEntityDataSourceLevelDescriptor*>(source.get()));
}

}  // namespace
