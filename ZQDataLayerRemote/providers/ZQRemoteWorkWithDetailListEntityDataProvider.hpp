// A list inside a Work With detail: the remote list provider over a collection data source made
// from the detail's Work With model, one of its collection data providers and the detail's
// input parameters. Made by create(); owned by the screen that shows the detail. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"

class ZQRemoteWorkWithDetailListEntityDataProvider : public ZQBaseRemoteListEntityDataProvider {
  public:
    // Use create().
    ZQRemoteWorkWithDetailListEntityDataProvider(
        std::shared_ptr<const ZQWorkWithDetail> workWithDetail,
        std::shared_ptr<const ZQWorkWithData> workWithData);
    [[nodiscard]] static std::shared_ptr<ZQRemoteWorkWithDetailListEntityDataProvider> create(
        std::shared_ptr<const ZQWorkWithDetail> workWithDetail,
        std::shared_ptr<const ZQWorkWithData> workWithData);

    ZQWorkWithDetailEntityDataProviderHelper& wwdpHelper() { return wwdpHelper_; }
    // The list provider of the detail's collection data provider of that name (made once).
    std::shared_ptr<ZQEntityDataProvider> entityDataListProviderForDataProviderName(
        const std::string& name) {
        return wwdpHelper_.entityDataListProviderForDataProviderName(name);
    }

  private:
    ZQWorkWithDetailEntityDataProviderHelper wwdpHelper_;
};
