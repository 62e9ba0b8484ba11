// A Work With model: the screens (levels with list and detail) that browse and show one business
// component. The application model owns it; it owns its levels. Built by the model loader;
// immutable afterwards; any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"

class ZQWorkWithModel {
  public:
    ZQWorkWithModel(std::string name, std::string businessComponent)
        : name_(std::move(name)), businessComponent_(std::move(businessComponent)) {}

    const std::string& name() const { return name_; }
    // The name of the business component the screens show; may be empty.
    const std::string& businessComponent() const { return businessComponent_; }
    const std::vector<std::shared_ptr<const ZQWorkWithLevel>>& levels() const { return levels_; }

    // Loader only.
    void addLevel(std::shared_ptr<const ZQWorkWithLevel> level) {
        levels_.push_back(std::move(level));
    }

  private:
    std::string name_;
    std::string businessComponent_;
    std::vector<std::shared_ptr<const ZQWorkWithLevel>> levels_;
};
