// The detail part of a Work With level: the screen that shows one item (named by
// dataProviderName among data), its other data providers, its input parameters and its sections.
// Owned by its level, which it refers to weakly. Immutable once loaded; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithData.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithSections.hpp"

class ZQWorkWithLevel;

class ZQWorkWithDetail {
  public:
    explicit ZQWorkWithDetail(std::string dataProviderName)
        : dataProviderName_(std::move(dataProviderName)) {}

    const std::string& dataProviderName() const { return dataProviderName_; }
    const ZQWorkWithDataList& data() const { return data_; }
    const ZQWorkWithParameters& parameters() const { return parameters_; }
    // None when the detail has no sections.
    const std::shared_ptr<const ZQWorkWithSections>& sections() const { return sections_; }
    std::shared_ptr<const ZQWorkWithLevel> workWithLevel() const { return workWithLevel_.lock(); }
    std::shared_ptr<const ZQWorkWithModel> workWithModel() const;

    // Loader only.
    void addData(std::shared_ptr<const ZQWorkWithData> data) { data_.push_back(std::move(data)); }
    void setParameters(ZQWorkWithParameters parameters) { parameters_ = std::move(parameters); }
    void setSections(std::shared_ptr<const ZQWorkWithSections> sections) {
        sections_ = std::move(sections);
    }
    void setWorkWithLevel(std::weak_ptr<const ZQWorkWithLevel> level) {
        workWithLevel_ = std::move(level);
    }

  private:
    std::string dataProviderName_;
    ZQWorkWithDataList data_;
    ZQWorkWithParameters parameters_;
    std::shared_ptr<const ZQWorkWithSections> sections_;
    std::weak_ptr<const ZQWorkWithLevel> workWithLevel_;
};
