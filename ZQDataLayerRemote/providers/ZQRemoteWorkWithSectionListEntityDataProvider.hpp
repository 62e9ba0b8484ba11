// A list inside a section of a Work With detail: the remote list provider over a collection data
// source made from the detail's Work With model, one of the section's collection data providers
// and the section's input parameters (the detail's when the section declares none). Made by
// create(); owned by the screen that shows the section. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSectionEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"

class ZQRemoteWorkWithSectionListEntityDataProvider : public ZQBaseRemoteListEntityDataProvider {
  public:
    // Use create().
    ZQRemoteWorkWithSectionListEntityDataProvider(
        std::shared_ptr<const ZQWorkWithSection> workWithSection,
        std::shared_ptr<const ZQWorkWithData> workWithData);
    [[nodiscard]] static std::shared_ptr<ZQRemoteWorkWithSectionListEntityDataProvider> create(
        std::shared_ptr<const ZQWorkWithSection> workWithSection,
        std::shared_ptr<const ZQWorkWithData> workWithData);

    ZQWorkWithSectionEntityDataProviderHelper& wwdpHelper() { return wwdpHelper_; }
    // The list provider of the section's collection data provider of that name (made once).
    std::shared_ptr<ZQEntityDataProvider> entityDataListProviderForDataProviderName(
        const std::string& name) {
        return wwdpHelper_.entityDataListProviderForDataProviderName(name);
    }

  private:
    ZQWorkWithSectionEntityDataProviderHelper wwdpHelper_;
};
