#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithCollectionDataSource.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListBreakBy.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListFilterAdvanced.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListFilterAdvancedField.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListFilterSearch.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListOrder.hpp"

ZQWorkWithCollectionDataSource::ZQWorkWithCollectionDataSource(
    std::shared_ptr<const ZQWorkWithModel> workWithModel,
    std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters)
    : ZQWorkWithDataSource(std::move(workWithModel), std::move(workWithData),
                           std::move(parameters)) {
    const auto& data = this->workWithData();
    if (!data) return;
    const auto& fields = *dataFields();
    for (const auto& order : data->orders())
        orders_.push_back(std::make_shared<ZQWorkWithListOrder>(
            ZQWorkWithDataFields::fieldsNamed(order->fields(), fields), order->groupBy(),
            order->groupByUpToFieldIndex(), order->alphaIndexer()));
    if (data->breakBy())
        breakBy_ = std::make_shared<ZQWorkWithListBreakBy>(
            ZQWorkWithDataFields::fieldsNamed(data->breakBy()->fields(), fields));
    if (data->filterSearch())
        filterSearch_ = std::make_shared<ZQWorkWithListFilterSearch>(
            ZQWorkWithDataFields::fieldsNamed(data->filterSearch()->fields(), fields),
            data->filterSearch()->breakByBehavior());
    if (data->filterAdvanced()) {
        ZQEntityListFilterAdvancedFieldDescriptors advanced;
        for (const auto& field : data->filterAdvanced()->fields()) {
            auto element = data->elementNamed(field.name);
            uint8_t type = element ? static_cast<uint8_t>(element->type())
                                   : uint8_t{ZQEntityDataFieldTypeAttribute};
            advanced.push_back(std::make_shared<ZQWorkWithListFilterAdvancedField>(
                field.name, type, field.info, field.type));
        }
        filterAdvanced_ = std::make_shared<ZQWorkWithListFilterAdvanced>(std::move(advanced));
    }
}

std::shared_ptr<ZQWorkWithCollectionDataSource> ZQWorkWithCollectionDataSource::create(
    std::shared_ptr<const ZQWorkWithModel> workWithModel,
    std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters) {
    return std::make_shared<ZQWorkWithCollectionDataSource>(
        std::move(workWithModel), std::move(workWithData), std::move(parameters));
}
