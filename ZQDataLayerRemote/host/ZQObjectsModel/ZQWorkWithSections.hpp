// The sections of a Work With detail, in display order. Owned by the detail. Immutable once
// loaded; any thread.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithSection.hpp"

class ZQWorkWithSections {
  public:
    const std::vector<std::shared_ptr<const ZQWorkWithSection>>& sections() const {
        return sections_;
    }

    // Loader only.
    void addSection(std::shared_ptr<const ZQWorkWithSection> section) {
        sections_.push_back(std::move(section));
    }

  private:
    std::vector<std::shared_ptr<const ZQWorkWithSection>> sections_;
};
