// One section of a Work With detail: its own data providers (one names the section's item), and
// input parameters of its own or, when it has none, those of its detail. Owned by the detail's
// sections, refers to its detail weakly. Immutable once loaded; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithData.hpp"

class ZQWorkWithDetail;

class ZQWorkWithSection {
  public:
    ZQWorkWithSection(std::string name, std::string dataProviderName)
        : name_(std::move(name)), dataProviderName_(std::move(dataProviderName)) {}

    const std::string& name() const { return name_; }
    // The data provider (among data) that gives the section's item; may be empty.
    const std::string& dataProviderName() const { return dataProviderName_; }
    const ZQWorkWithDataList& data() const { return data_; }
    // None when the section declares no parameters of its own.
    const std::optional<ZQWorkWithParameters>& parameters() const { return parameters_; }
    std::shared_ptr<const ZQWorkWithDetail> workWithDetail() const {
        return workWithDetail_.lock();
    }

    // Loader only.
    void addData(std::shared_ptr<const ZQWorkWithData> data) { data_.push_back(std::move(data)); }
    void setParameters(std::optional<ZQWorkWithParameters> parameters) {
        parameters_ = std::move(parameters);
    }
    void setWorkWithDetail(std::weak_ptr<const ZQWorkWithDetail> detail) {
        workWithDetail_ = std::move(detail);
    }

  private:
    std::string name_;
    std::string dataProviderName_;
    ZQWorkWithDataList data_;
    std::optional<ZQWorkWithParameters> parameters_;
    std::weak_ptr<const ZQWorkWithDetail> workWithDetail_;
};
