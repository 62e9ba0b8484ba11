#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/manager/ZQDataLayerRemoteLoader.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSectionDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSectionListEntityDataProvider.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

namespace {

// The sample model with a third section ("Notes", without parameters) before the other two.
std::shared_ptr<const ZQApplicationModel> modelWithThreeSections() {
    std::ifstream in(zqtest::sampleAppFolder() / "model.json");
    std::stringstream text;
    text << in.rdbuf();
    std::string model = text.str();
    const std::string anchor = R"("sections": [)";
    const auto at = model.find(anchor);
    if (at == std::string::npos) return nullptr;
    model.insert(at + anchor.size(),
                 R"({"name": "Notes", "dataProvider": "Sales.WorkWithInvoice.Invoice.Notes", )"
                 R"("data": [{"dataProvider": "Sales.WorkWithInvoice.Invoice.Notes", )"
                 R"("elements": [{"name": "InvoiceId"}], "key": ["InvoiceId"]}]}, )");
    auto loaded = ZQApplicationModelLoader::loadFromString(model, "three-sections");
    return loaded.error ? nullptr : loaded.model;
}

class RemoteWorkWithProviders : public ::testing::Test {
  protected:
    void SetUp() override {
        model_ = modelWithThreeSections();
        ASSERT_TRUE(model_);
        detail_ = model_->workWithsByName().at("WorkWithInvoice")->levels().at(0)->detail();
        ASSERT_TRUE(detail_ && detail_->sections());
    }
    std::shared_ptr<const ZQWorkWithSection> section(const std::string& name) const {
        for (const auto& section : detail_->sections()->sections()) {
            if (section->name() == name) return section;
        }
        return nullptr;
    }
    static std::vector<std::string> parameterNames(const ZQWorkWithDataSource& source) {
        std::vector<std::string> names;
        for (const auto& parameter : source.parameters()) names.push_back(parameter->name());
        return names;
    }

    std::shared_ptr<const ZQApplicationModel> model_;
    std::shared_ptr<const ZQWorkWithDetail> detail_;
};

TEST_F(RemoteWorkWithProviders, ADetailGetsOneSectionProviderPerSectionInOrder) {
    auto provider = ZQRemoteWorkWithDetailDetailEntityDataProvider::create(detail_);
    const auto& components = provider->entityDataComponentsProviders();
    ASSERT_TRUE(components);
    ASSERT_EQ(components->size(), 3u);
    const std::vector<std::string> expected = {"Sales.WorkWithInvoice.Invoice.Notes",
                                               "Sales.WorkWithInvoice.Invoice.General", ""};
    for (size_t i = 0; i < components->size(); ++i) {
        const auto& component = (*components)[i];
        EXPECT_EQ(component->entityDataParentProvider(), provider) << i;
        auto section =
            std::dynamic_pointer_cast<ZQRemoteWorkWithSectionDetailEntityDataProvider>(component);
        ASSERT_TRUE(section) << i;
        EXPECT_EQ(section->wwdpHelper().workWithSection(), detail_->sections()->sections()[i]);
        EXPECT_EQ(component->entityDataSource()->entityDataSourceDataProviderName(), expected[i]);
    }
    // The detail's own item and its caching come from the detail's data provider.
    EXPECT_EQ(provider->entityDataSource()->entityDataSourceDataProviderName(),
              "Sales.WorkWithInvoice.Invoice.Detail");
    EXPECT_TRUE(provider->remoteEntityDataSource()->entityDataSourceCacheEnabled());
}

TEST_F(RemoteWorkWithProviders, ASectionWithoutParametersUsesItsDetails) {
    struct Case {
        const char* section;
        std::vector<std::string> parameters;
    };
    for (const Case& c : {Case{"General", {"InvoiceId"}}, Case{"Notes", {"InvoiceId"}},
                          Case{"Lines", {"&InvoiceId"}}}) {
        auto item = ZQRemoteWorkWithSectionDetailEntityDataProvider::create(section(c.section));
        auto source =
            std::dynamic_pointer_cast<const ZQWorkWithDataSource>(item->entityDataSource());
        ASSERT_TRUE(source) << c.section;
        EXPECT_EQ(parameterNames(*source), c.parameters) << c.section;
    }
    auto linesData = section("Lines")->data().at(0);
    auto lines = ZQRemoteWorkWithSectionListEntityDataProvider::create(section("Lines"), linesData);
    auto source = std::dynamic_pointer_cast<const ZQWorkWithDataSource>(lines->entityDataSource());
    EXPECT_EQ(parameterNames(*source), std::vector<std::string>{"&InvoiceId"});
    // Without cache properties the list never reads the cache.
    EXPECT_FALSE(lines->remoteEntityDataSource()->entityDataSourceCacheEnabled());
    EXPECT_EQ(lines->totalCount(), ZQTotalCountUnknownRemote);
    EXPECT_NE(lines->queryTypeForCurrentState(), ZQRemoteEntityDataQueryType::Local);
}

TEST_F(RemoteWorkWithProviders, ASectionReadsItsParameterValuesFromTheDetailWhenItHasNone) {
    auto detail = ZQRemoteWorkWithDetailDetailEntityDataProvider::create(detail_);
    detail->setInputParameterValues({platform::Value(7)});
    for (const auto& component : *detail->entityDataComponentsProviders()) {
        EXPECT_EQ(component->parametersForContextEntityData(),
                  std::optional<platform::Array>(platform::Array{platform::Value(7)}));
    }
}

TEST_F(RemoteWorkWithProviders, TheHelpersMakeEachListProviderOnceThroughTheRegisteredClasses) {
    ZQDataLayerRemoteLoader::registerWorkWithProviderClasses();
    auto detail = ZQRemoteWorkWithDetailDetailEntityDataProvider::create(detail_);
    auto linesSection = std::dynamic_pointer_cast<ZQRemoteWorkWithSectionDetailEntityDataProvider>(
        detail->entityDataComponentsProviders()->at(2));
    auto list = linesSection->entityDataListProviderForDataProviderName(
        "Sales.WorkWithInvoice.Invoice.Lines");
    ASSERT_TRUE(std::dynamic_pointer_cast<ZQRemoteWorkWithSectionListEntityDataProvider>(list));
    EXPECT_EQ(linesSection->entityDataListProviderForDataProviderName(
                  "Sales.WorkWithInvoice.Invoice.Lines"),
              list);
    EXPECT_EQ(std::dynamic_pointer_cast<ZQBaseEntityDataProvider>(list)->entityDataParentProvider(),
              linesSection);
    // Unknown names and single-item data providers give no list.
    EXPECT_FALSE(linesSection->entityDataListProviderForDataProviderName("Nope"));
    EXPECT_FALSE(
        detail->entityDataListProviderForDataProviderName("Sales.WorkWithInvoice.Invoice.Detail"));
}

}  // namespace
