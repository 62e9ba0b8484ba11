// Cache entity naming: the helper gives the names the schema factory gives, for business-component
// levels, data providers and the host's data-source levels, and finds entities in the running
// model's schema.
#include <gtest/gtest.h>

#include <functional>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSublevelDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSingleItemDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

using Helper = ZQCoreDataEntityHelper;

namespace {

using Level = std::shared_ptr<const ZQEntityDataSourceLevelDescriptor>;

Level dataSource(const std::shared_ptr<const ZQWorkWithModel>& workWith,
                 const std::shared_ptr<const ZQWorkWithData>& data) {
    if (data && data->isCollection())
        return std::make_shared<ZQWorkWithCollectionDataSource>(workWith, data,
                                                                ZQWorkWithParameters{});
    return std::make_shared<ZQWorkWithSingleItemDataSource>(workWith, data, ZQWorkWithParameters{});
}

// The named data providers as the host's data sources, each followed by its sublevels.
std::vector<Level> dataSourceLevels(const ZQApplicationModel& model,
                                    const std::vector<std::string>& providers) {
    std::vector<Level> levels;
    std::function<void(const Level&)> add = [&](const Level& level) {
        levels.push_back(level);
        for (const auto& sublevel : level->entityDataSourceSublevels()) add(sublevel);
    };
    for (const auto& name : providers) {
        auto data = model.dataProviderNamed(name);
        add(dataSource(data->workWithModel(), data));
    }
    return levels;
}

// A level that is neither a data source nor a sublevel.
struct BareLevel : ZQEntityDataSourceLevelDescriptor {
    const std::string& entityDataSourceLevelName() const override { return name; }
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceDataDescriptor()
        const override {
        return nullptr;
    }
    const ZQEntityDataSourceSublevelDescriptors& entityDataSourceSublevels() const override {
        return sublevels;
    }
    std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataSourceStorageKeyDescriptor()
        const override {
        return nullptr;
    }
    std::string name = "Bare";
    ZQEntityDataSourceSublevelDescriptors sublevels;
};

}  // namespace

TEST(ZQCoreDataEntityHelper, NamesEveryDataSourceLevelAsTheFactoryDoes) {
    // A provider whose own name looks like a sublevel entity's must not confuse the two.
    auto odd = ZQApplicationModelLoader::loadFromString(R"({"name": "T",
        "attributes": [{"name": "Code", "type": "numeric", "length": 4}],
        "workWiths": [{"name": "W", "levels": [{"name": "L", "detail": {"data": [
          {"dataProvider": "_SublevelX.Y", "cache": {"enabled": true}, "elements": [{"name": "Code"}],
           "sublevels": [{"level": "A", "elements": [{"name": "Code"}],
                          "sublevels": [{"level": "B", "elements": [{"name": "Code"}]}]}]}]}}]}]})",
                                                        "odd");
    ASSERT_EQ(odd.error, nullptr);
    auto sample = zqtest::loadSampleModel();
    std::vector<std::string> expected = {
        "Sales__WorkWithInvoice__Invoice__Detail",
        "_SublevelSales__WorkWithInvoice__Invoice__Detail_Line",
        "WorkWithCustomer__Customer__Detail",
        "_SublevelWorkWithCustomer__Customer__Detail_Invoices",
        "_SublevelWorkWithCustomer__Customer__Detail_Invoices_Lines",
        "_SublevelX__Y",
        "_Sublevel_SublevelX__Y_A",
        "_Sublevel_SublevelX__Y_A_B"};
    auto levels = dataSourceLevels(
        *sample, {"Sales.WorkWithInvoice.Invoice.Detail", "WorkWithCustomer.Customer.Detail"});
    auto oddLevels = dataSourceLevels(*odd.model, {"_SublevelX.Y"});
    levels.insert(levels.end(), oddLevels.begin(), oddLevels.end());
    auto sampleSchema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(sample, nullptr);
    auto oddSchema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(odd.model, nullptr);
    ASSERT_EQ(levels.size(), expected.size());
    for (size_t i = 0; i < levels.size(); ++i) {
        EXPECT_EQ(Helper::coreDataEntityNameForDataSourceLevel(levels[i]), expected[i]);
        // The factory made an entity of exactly that name.
        EXPECT_NE((i < 5 ? sampleSchema : oddSchema)->entityNamed(expected[i]), nullptr)
            << expected[i];
    }
}

TEST(ZQCoreDataEntityHelper, LevelsWithoutAnEntity) {
    auto model = zqtest::loadSampleModel();
    auto workWith = model->workWiths().front();
    EXPECT_EQ(Helper::coreDataEntityNameForDataSourceLevel(dataSource(workWith, nullptr)),
              std::nullopt);
    EXPECT_EQ(Helper::coreDataEntityNameForDataSourceLevel(std::make_shared<BareLevel>()),
              std::nullopt);
    EXPECT_EQ(Helper::coreDataEntityNameForDataSourceLevel(nullptr), std::nullopt);
    // A sublevel whose data source is gone.
    auto data = model->dataProviderNamed("WorkWithCustomer.Customer.Detail");
    auto orphan = ZQWorkWithDataSublevelDataSource::create(data->sublevels().front(), {});
    EXPECT_EQ(Helper::coreDataEntityNameForDataSourceLevel(orphan), std::nullopt);
}

TEST(ZQCoreDataEntityHelper, BusinessComponentLevelAndFieldNames) {
    auto model = zqtest::loadSampleModel();  // the levels refer to their component weakly
    const auto& levels = model->businessComponentNamed("Sales.Invoice")->allLevels();
    EXPECT_EQ(Helper::coreDataEntityNameForBusinessComponentLevel(levels.at(0)), "sales__invoice");
    EXPECT_EQ(Helper::coreDataEntityNameForBusinessComponentLevel(levels.at(1)),
              "sales__invoiceline");
    EXPECT_EQ(Helper::coreDataEntityNameForBusinessComponentLevel(
                  std::make_shared<ZQBusinessComponentLevel>("Loose", "Loose")),
              "");
    EXPECT_EQ(Helper::coreDataAttributeNameForFieldName("&Amount"), "zqamount");
    EXPECT_EQ(Helper::coreDataAttributeNameForFieldName("amount"), "zqamount");
    EXPECT_EQ(Helper::coreDataAttributeNameForFieldName("&&Twice"), "zq&twice");
}

TEST(ZQCoreDataEntityHelper, FindsEntitiesInTheRunningModelsSchema) {
    auto previous = ZQModel::currentModel();
    ZQModel::setCurrentModel(nullptr);
    EXPECT_EQ(Helper::coreDataEntityDescriptionForName("customer"), nullptr);

    auto appModel = zqtest::loadSampleModel();
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel, nullptr);
    ASSERT_NE(schema, nullptr);
    platform::Dictionary objects{
        {ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel, platform::Value::object(schema)}};
    auto model = ZQModel::create(appModel, objects);
    ASSERT_TRUE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(model, objects));
    ZQModel::setCurrentModel(model);
    EXPECT_EQ(Helper::coreDataEntityDescriptionForName("customer"),
              schema->entityNamed("customer"));
    EXPECT_EQ(Helper::coreDataEntityDescriptionForName("Customer"), nullptr);

    // A running model without a cache has no entities.
    ZQModel::setCurrentModel(std::make_shared<ZQModel>(appModel, platform::Dictionary{}));
    EXPECT_EQ(Helper::coreDataEntityDescriptionForName("customer"), nullptr);
    ZQModel::setCurrentModel(previous);
}
