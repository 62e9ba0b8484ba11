// The remote list provider's helper: the shared helper's state, plus the same for the rows loaded
// with a search text (filtered). Owned by its provider; main thread only.
#pragma once

#include "ZQDataLayerRemote/providers/ZQBaseRemoteEntityDataProviderHelper.hpp"

class ZQBaseRemoteListEntityDataProviderHelper : public ZQBaseRemoteEntityDataProviderHelper {
  public:
    using ZQBaseRemoteEntityDataProviderHelper::ZQBaseRemoteEntityDataProviderHelper;

    uint8_t filteredLoadedDataSource() const { return filteredLoadedDataSource_; }
    const std::optional<platform::Date>& filteredLoadedDataLastUpdateTimeStamp() const {
        return filteredLoadedDataLastUpdateTimeStamp_;
    }
    const std::optional<platform::Date>& filteredLoadedDataLastModified() const {
        return filteredLoadedDataLastModified_;
    }

    // refreshWithOptions: with the force and all-loaded-data keys.
    void refresh(bool force, bool allLoadedData);
    using ZQBaseRemoteEntityDataProviderHelper::refresh;
    void updateFilteredLoadedDataStateFromResult(const ZQRemoteEntityDataQueryResult& result);
    void cleanFilteredLoadedDataSourceState();
    // Clears the filtered state too.
    void cleanLoadedDataSourceState() override;
    // Force and every row already loaded.
    void performAutoRefresh() override;
    // Also marks the refresh as one of every row loaded.
    void updateRefreshFlagsForAutoRefreshRequired() override;

  private:
    uint8_t filteredLoadedDataSource_ = ZQRemoteLoadedDataSourceNone;
    std::optional<platform::Date> filteredLoadedDataLastUpdateTimeStamp_;
    std::optional<platform::Date> filteredLoadedDataLastModified_;
};
