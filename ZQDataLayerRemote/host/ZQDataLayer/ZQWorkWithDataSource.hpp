// What the host's Work With data sources have in common: a data source made from a Work With
// model, one of its data providers (or none) and the input parameters of the screen that uses it.
// The level descriptors (fields, storage key, parameters) are built at construction; the sublevel
// descriptors on first use, once, since they refer back to this object. Immutable otherwise; any
// thread. Make it through a shared_ptr so that sublevels can reach their parent.
#pragma once

#include <memory>
#include <mutex>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataFields.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"

class ZQWorkWithDataSource : public virtual ZQEntityDataSourceDescriptor,
                             public std::enable_shared_from_this<ZQWorkWithDataSource> {
  public:
    ZQWorkWithDataSource(std::shared_ptr<const ZQWorkWithModel> workWithModel,
                         std::shared_ptr<const ZQWorkWithData> workWithData,
                         ZQWorkWithParameters parameters);

    const std::shared_ptr<const ZQWorkWithModel>& workWithModel() const { return workWithModel_; }
    // None when the data source was made without a data provider.
    const std::shared_ptr<const ZQWorkWithData>& workWithData() const { return workWithData_; }
    const ZQWorkWithParameters& parameters() const { return parameters_; }

    // The data provider's name (empty without one).
    const std::string& entityDataSourceLevelName() const override;
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceDataDescriptor()
        const override;
    const ZQEntityDataSourceSublevelDescriptors& entityDataSourceSublevels() const override;
    std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataSourceStorageKeyDescriptor()
        const override;
    const std::string& entityDataSourceDataProviderName() const override;
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceParametersDescriptor()
        const override;

  protected:
    // The data fields, for the descriptors that name fields (orders, filters).
    const std::shared_ptr<const ZQWorkWithDataFields>& dataFields() const { return dataFields_; }

  private:
    const std::shared_ptr<const ZQWorkWithModel> workWithModel_;
    const std::shared_ptr<const ZQWorkWithData> workWithData_;
    const ZQWorkWithParameters parameters_;
    const std::shared_ptr<const ZQWorkWithDataFields> dataFields_;
    const std::shared_ptr<const ZQWorkWithDataFields> storageKey_;
    const std::shared_ptr<const ZQWorkWithDataFields> parameterFields_;
    mutable std::once_flag sublevelsOnce_;
    mutable ZQEntityDataSourceSublevelDescriptors sublevels_;  // written once, under sublevelsOnce_
};
