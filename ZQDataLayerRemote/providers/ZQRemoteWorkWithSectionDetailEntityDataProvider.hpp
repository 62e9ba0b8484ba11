// The item of a section of a Work With detail: the remote detail provider over the single-item
// data source of the section's data provider, with the section's input parameters (the
// detail's when the section declares none). Made by create(); owned by the screen that shows the
// section (through its detail provider). Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSectionEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteDetailEntityDataProvider.hpp"

class ZQRemoteWorkWithSectionDetailEntityDataProvider
    : public ZQBaseRemoteDetailEntityDataProvider {
  public:
    // Use create().
    ZQRemoteWorkWithSectionDetailEntityDataProvider(
        std::shared_ptr<const ZQWorkWithSection> workWithSection);
    [[nodiscard]] static std::shared_ptr<ZQRemoteWorkWithSectionDetailEntityDataProvider> create(
        std::shared_ptr<const ZQWorkWithSection> workWithSection);

    ZQWorkWithSectionEntityDataProviderHelper& wwdpHelper() { return wwdpHelper_; }
    // The list provider of the section's collection data provider of that name (made once).
    std::shared_ptr<ZQEntityDataProvider> entityDataListProviderForDataProviderName(
        const std::string& name) {
        return wwdpHelper_.entityDataListProviderForDataProviderName(name);
    }
    // The level this provider edits (its own businessComponentLevel).
    std::shared_ptr<const ZQBusinessComponentLevel> mutableBusinessComponentLevel() const {
        return businessComponentLevel();
    }

  private:
    ZQWorkWithSectionEntityDataProviderHelper wwdpHelper_;
};
