#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProviderHelper.hpp"

void ZQBaseRemoteListEntityDataProviderHelper::refresh(bool force, bool allLoadedData) {
    provider().refreshWithOptions(platform::Dictionary{
        {ZQRemoteEntityProviderForceOptionKey, platform::Value(force)},
        {ZQEntityDataListProviderAllLoadedDataOptionKey, platform::Value(allLoadedData)}});
}

void ZQBaseRemoteListEntityDataProviderHelper::updateFilteredLoadedDataStateFromResult(
    const ZQRemoteEntityDataQueryResult& result) {
    if (result.error()) return;
    filteredLoadedDataSource_ = loadedDataSourceForResult(result);
    filteredLoadedDataLastUpdateTimeStamp_ = result.dataTimeStamp();
    filteredLoadedDataLastModified_ = result.lastModified();
}

void ZQBaseRemoteListEntityDataProviderHelper::cleanFilteredLoadedDataSourceState() {
    filteredLoadedDataSource_ = ZQRemoteLoadedDataSourceNone;
    filteredLoadedDataLastUpdateTimeStamp_.reset();
    filteredLoadedDataLastModified_.reset();
}

void ZQBaseRemoteListEntityDataProviderHelper::cleanLoadedDataSourceState() {
    ZQBaseRemoteEntityDataProviderHelper::cleanLoadedDataSourceState();
    cleanFilteredLoadedDataSourceState();
}

void ZQBaseRemoteListEntityDataProviderHelper::performAutoRefresh() {
    refresh(true, true);
}

void ZQBaseRemoteListEntityDataProviderHelper::updateRefreshFlagsForAutoRefreshRequired() {
    ZQBaseRemoteEntityDataProviderHelper::updateRefreshFlagsForAutoRefreshRequired();
    provider().setRefreshFlags(provider().refreshFlags() |
                               ZQEntityDataProviderRefreshFlagAllLoadedData);
}
