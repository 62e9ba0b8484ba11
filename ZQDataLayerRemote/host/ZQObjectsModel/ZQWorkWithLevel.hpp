// One level of a Work With model: a list (the grid of items) and a detail (one item with its
// sections), either of which may be missing. Owned by its Work With model, which it refers to
// weakly. Immutable once loaded; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDetail.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithList.hpp"

class ZQWorkWithModel;

class ZQWorkWithLevel {
  public:
    explicit ZQWorkWithLevel(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }
    const std::shared_ptr<const ZQWorkWithList>& list() const { return list_; }
    const std::shared_ptr<const ZQWorkWithDetail>& detail() const { return detail_; }
    std::shared_ptr<const ZQWorkWithModel> workWithModel() const { return workWithModel_.lock(); }

    // Loader only.
    void setList(std::shared_ptr<const ZQWorkWithList> list) { list_ = std::move(list); }
    void setDetail(std::shared_ptr<const ZQWorkWithDetail> detail) { detail_ = std::move(detail); }
    void setWorkWithModel(std::weak_ptr<const ZQWorkWithModel> model) {
        workWithModel_ = std::move(model);
    }

  private:
    std::string name_;
    std::shared_ptr<const ZQWorkWithList> list_;
    std::shared_ptr<const ZQWorkWithDetail> detail_;
    std::weak_ptr<const ZQWorkWithModel> workWithModel_;
};
