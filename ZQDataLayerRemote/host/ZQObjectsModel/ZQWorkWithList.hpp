// The list part of a Work With level: the collection data providers of its grid and its optional
// input parameters. Owned by its level, which it refers to weakly. Immutable once loaded; any
// thread.
#pragma once

#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithData.hpp"

class ZQWorkWithLevel;

class ZQWorkWithList {
  public:
    const ZQWorkWithDataList& data() const { return data_; }
    // None when the list declares no parameters.
    const std::optional<ZQWorkWithParameters>& parameters() const { return parameters_; }
    std::shared_ptr<const ZQWorkWithLevel> workWithLevel() const { return workWithLevel_.lock(); }
    std::shared_ptr<const ZQWorkWithModel> workWithModel() const;

    // Loader only.
    void addData(std::shared_ptr<const ZQWorkWithData> data) { data_.push_back(std::move(data)); }
    void setParameters(std::optional<ZQWorkWithParameters> parameters) {
        parameters_ = std::move(parameters);
    }
    void setWorkWithLevel(std::weak_ptr<const ZQWorkWithLevel> level) {
        workWithLevel_ = std::move(level);
    }

  private:
    ZQWorkWithDataList data_;
    std::optional<ZQWorkWithParameters> parameters_;
    std::weak_ptr<const ZQWorkWithLevel> workWithLevel_;
};
