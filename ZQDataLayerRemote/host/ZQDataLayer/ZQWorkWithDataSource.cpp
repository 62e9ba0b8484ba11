#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSource.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSublevelDataSource.hpp"

namespace {
const std::string kNoName;

std::shared_ptr<const ZQWorkWithDataFields> dataFieldsOf(
    const std::shared_ptr<const ZQWorkWithData>& data) {
    return data ? ZQWorkWithDataFields::dataFieldsOfLevel(*data)
                : std::make_shared<ZQWorkWithDataFields>(ZQEntityDataFieldDescriptors());
}
}  // namespace

ZQWorkWithDataSource::ZQWorkWithDataSource(std::shared_ptr<const ZQWorkWithModel> workWithModel,
                                           std::shared_ptr<const ZQWorkWithData> workWithData,
                                           ZQWorkWithParameters parameters)
    : workWithModel_(std::move(workWithModel)),
      workWithData_(std::move(workWithData)),
      parameters_(std::move(parameters)),
      dataFields_(dataFieldsOf(workWithData_)),
      storageKey_(workWithData_
                      ? ZQWorkWithDataFields::storageKeyOfLevel(*workWithData_, *dataFields_)
                      : nullptr),
      parameterFields_(ZQWorkWithDataFields::parameterFields(parameters_)) {}

const std::string& ZQWorkWithDataSource::entityDataSourceLevelName() const {
    return entityDataSourceDataProviderName();
}

std::shared_ptr<const ZQEntityDataFieldsDescriptor>
ZQWorkWithDataSource::entityDataSourceDataDescriptor() const {
    return dataFields_;
}

const ZQEntityDataSourceSublevelDescriptors& ZQWorkWithDataSource::entityDataSourceSublevels()
    const {
    std::call_once(sublevelsOnce_, [this] {
        if (!workWithData_) return;
        std::weak_ptr<const ZQEntityDataSourceLevelDescriptor> parent;
        if (auto self = weak_from_this().lock())
            parent = std::shared_ptr<const ZQEntityDataSourceLevelDescriptor>(self, this);
        for (const auto& sublevel : workWithData_->sublevels())
            sublevels_.push_back(ZQWorkWithDataSublevelDataSource::create(sublevel, parent));
    });
    return sublevels_;
}

std::shared_ptr<const ZQEntityDataKeyDescriptor>
ZQWorkWithDataSource::entityDataSourceStorageKeyDescriptor() const {
    return storageKey_;
}

const std::string& ZQWorkWithDataSource::entityDataSourceDataProviderName() const {
    return workWithData_ ? workWithData_->dataProviderName() : kNoName;
}

std::shared_ptr<const ZQEntityDataFieldsDescriptor>
ZQWorkWithDataSource::entityDataSourceParametersDescriptor() const {
    return parameterFields_;
}
