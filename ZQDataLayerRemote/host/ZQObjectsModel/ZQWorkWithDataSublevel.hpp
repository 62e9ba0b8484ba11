// A sublevel of a Work With data provider: a nested list of items inside each item of its parent
// level (the data provider or another sublevel). Its parent owns it; it refers to its parent and
// to the root data provider weakly. Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataLevel.hpp"

class ZQWorkWithData;

class ZQWorkWithDataSublevel : public ZQWorkWithDataLevel {
  public:
    explicit ZQWorkWithDataSublevel(std::string level) : level_(std::move(level)) {}

    // The sublevel's name: the member under which a parent item carries its items.
    const std::string& level() const { return level_; }
    std::shared_ptr<const ZQWorkWithDataLevel> parentLevel() const { return parentLevel_.lock(); }
    std::shared_ptr<const ZQWorkWithData> rootLevel() const { return rootLevel_.lock(); }

    // Loader only.
    void setParentLevel(std::weak_ptr<const ZQWorkWithDataLevel> parent) {
        parentLevel_ = std::move(parent);
    }
    void setRootLevel(std::weak_ptr<const ZQWorkWithData> root) { rootLevel_ = std::move(root); }

  private:
    std::string level_;
    std::weak_ptr<const ZQWorkWithDataLevel> parentLevel_;
    std::weak_ptr<const ZQWorkWithData> rootLevel_;
};
