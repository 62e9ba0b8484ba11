#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSingleItemDataSource.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

namespace {

std::vector<std::string> names(const ZQEntityDataFieldDescriptors& fields) {
    std::vector<std::string> result;
    for (const auto& field : fields) result.push_back(field->entityDataFieldName());
    return result;
}

TEST(ZQWorkWithDataSource, CollectionDescribesFieldsOrdersAndFilters) {
    auto model = zqtest::loadSampleModel();
    auto data = model->dataProviderNamed("Sales.WorkWithInvoice.Invoice.List");
    auto source = ZQWorkWithCollectionDataSource::create(data->workWithModel(), data, {});
    EXPECT_TRUE(source->entityDataSourceIsCollection());
    EXPECT_EQ(source->entityDataSourceDataProviderName(), "Sales.WorkWithInvoice.Invoice.List");
    EXPECT_EQ(source->entityDataSourceParametersDescriptor(), nullptr);
    const auto& fields = source->entityDataSourceDataDescriptor()->entityDataFieldDescriptors();
    EXPECT_EQ(names(fields), (std::vector<std::string>{"InvoiceId", "InvoiceDate", "CustomerName",
                                                       "InvoiceTotal", "InvoicePaid"}));
    EXPECT_EQ(fields[1]->entityDataFieldInfo()->entityDataFieldInfoDataType(), ZQDataTypeDate);
    EXPECT_EQ(
        names(source->entityDataSourceStorageKeyDescriptor()->entityDataKeyFieldsDescriptors()),
        std::vector<std::string>{"InvoiceId"});

    const auto& orders = source->entityDataSourceOrders();
    ASSERT_EQ(orders.size(), 2u);
    EXPECT_EQ(names(orders[0]->entityListOrderFields()),
              (std::vector<std::string>{"InvoiceDate", "InvoiceId"}));
    // Order fields are the data fields themselves, with their type information.
    EXPECT_EQ(orders[0]->entityListOrderFields()[0], fields[1]);
    EXPECT_TRUE(orders[0]->entityListOrderGroupBy());
    EXPECT_EQ(orders[0]->entityListOrderGroupByUpToFieldIndex(), 0u);
    EXPECT_TRUE(orders[1]->entityListOrderAlphaIndexerEnabled());
    EXPECT_EQ(names(source->entityDataSourceBreakBy()->entityListBreakByFields()),
              std::vector<std::string>{"CustomerName"});
    EXPECT_EQ(source->entityDataSourceFilterSearch()->entityListFilterSearchBreakByBehavior(),
              ZQEntityListFilterSearchBreakByKept);

    const auto& advanced =
        source->entityDataSourceFilterAdvanced()->entityListFilterAdvancedFields();
    ASSERT_EQ(advanced.size(), 3u);
    EXPECT_EQ(advanced[0]->entityListFilterAdvancedFieldType(),
              ZQEntityListFilterAdvancedFieldTypeRange);
    EXPECT_EQ(advanced[2]->entityListFilterAdvancedFieldType(),
              ZQEntityListFilterAdvancedFieldTypeSingle);
    EXPECT_EQ(advanced[2]->entityDataFieldInfo()->entityDataFieldInfoDataType(), ZQDataTypeBoolean);
}

TEST(ZQWorkWithDataSource, NestedSublevelsReachTheirParents) {
    auto model = zqtest::loadSampleModel();
    auto data = model->dataProviderNamed("WorkWithCustomer.Customer.Detail");
    auto detail = model->workWithsByName().at("WorkWithCustomer")->levels()[0]->detail();
    auto source =
        ZQWorkWithSingleItemDataSource::create(data->workWithModel(), data, detail->parameters());
    EXPECT_FALSE(source->entityDataSourceIsCollection());
    ASSERT_TRUE(source->entityDataSourceParametersDescriptor());
    EXPECT_EQ(names(source->entityDataSourceParametersDescriptor()->entityDataFieldDescriptors()),
              std::vector<std::string>{"CustomerId"});

    // The sublevel appears as a field of type 2 after the elements.
    const auto& fields = source->entityDataSourceDataDescriptor()->entityDataFieldDescriptors();
    EXPECT_EQ(fields.back()->entityDataFieldName(), "Invoices");
    EXPECT_EQ(fields.back()->entityDataFieldType(), ZQEntityDataFieldTypeSublevel);

    const auto& sublevels = source->entityDataSourceSublevels();
    ASSERT_EQ(sublevels.size(), 1u);
    auto invoices = sublevels[0];
    EXPECT_EQ(invoices->entityDataSourceLevelName(), "Invoices");
    auto parent = invoices->entityDataSourceParentLevel();
    ASSERT_TRUE(parent);
    EXPECT_EQ(dynamic_cast<const ZQEntityDataSourceDescriptor*>(parent.get()),
              static_cast<const ZQEntityDataSourceDescriptor*>(source.get()));
    auto lines = invoices->entityDataSourceSublevels().at(0);
    EXPECT_EQ(lines->entityDataSourceLevelName(), "Lines");
    EXPECT_EQ(lines->entityDataSourceParentLevel().get(),
              static_cast<const ZQEntityDataSourceLevelDescriptor*>(invoices.get()));
    EXPECT_EQ(
        names(lines->entityDataSourceStorageKeyDescriptor()->entityDataKeyFieldsDescriptors()),
        std::vector<std::string>{"InvoiceLineId"});
    // Asking twice gives the same descriptors.
    EXPECT_EQ(source->entityDataSourceSublevels()[0], invoices);
}

TEST(ZQWorkWithDataSource, WithoutADataProviderItDescribesNothing) {
    auto source = ZQWorkWithSingleItemDataSource::create(nullptr, nullptr, {});
    EXPECT_EQ(source->entityDataSourceDataProviderName(), "");
    EXPECT_TRUE(source->entityDataSourceDataDescriptor()->entityDataFieldDescriptors().empty());
    EXPECT_TRUE(source->entityDataSourceSublevels().empty());
    EXPECT_EQ(source->entityDataSourceStorageKeyDescriptor(), nullptr);
}

}  // namespace
