// The item of a Work With detail: the remote detail provider over the single-item data source of
// the detail's data provider, with one section detail provider per section of the detail
// (componentProviders, in the sections' order, each with this provider as parent). Made by
// create(); owned by the screen that shows the detail. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteDetailEntityDataProvider.hpp"

class ZQRemoteWorkWithDetailDetailEntityDataProvider : public ZQBaseRemoteDetailEntityDataProvider {
  public:
    // Use create().
    ZQRemoteWorkWithDetailDetailEntityDataProvider(
        std::shared_ptr<const ZQWorkWithDetail> workWithDetail);
    [[nodiscard]] static std::shared_ptr<ZQRemoteWorkWithDetailDetailEntityDataProvider> create(
        std::shared_ptr<const ZQWorkWithDetail> workWithDetail);

    ZQWorkWithDetailEntityDataProviderHelper& wwdpHelper() { return wwdpHelper_; }
    // The list provider of the detail's collection data provider of that name (made once).
    std::shared_ptr<ZQEntityDataProvider> entityDataListProviderForDataProviderName(
        const std::string& name) {
        return wwdpHelper_.entityDataListProviderForDataProviderName(name);
    }
    // None when the detail has no sections.
    const std::optional<std::vector<std::shared_ptr<ZQBaseRemoteDetailEntityDataProvider>>>&
    entityDataComponentsProviders() const {
        return componentProviders_;
    }
    // The level of the business component that the detail's Work With level edits; none
    // without a level or model.
    std::shared_ptr<const ZQBusinessComponentLevel> mutableBusinessComponentLevel() const;

  private:
    // Made by create(), which can hand them this provider as parent.
    void makeComponentProviders();

    ZQWorkWithDetailEntityDataProviderHelper wwdpHelper_;
    std::optional<std::vector<std::shared_ptr<ZQBaseRemoteDetailEntityDataProvider>>>
        componentProviders_;
};
