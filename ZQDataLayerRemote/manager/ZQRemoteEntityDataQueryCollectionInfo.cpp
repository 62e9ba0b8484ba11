#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"

ZQRemoteEntityDataQueryCollectionInfo::ZQRemoteEntityDataQueryCollectionInfo(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
    bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
    std::optional<std::string> searchText, uint64_t searchFieldIndex,
    std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues)
    : ZQEntityDataQueryCollectionInfo(std::move(dataSource), type, std::move(parameters), zqid,
                                      allLoadedData, pageSize, orderIndex, std::move(searchText),
                                      searchFieldIndex, std::move(advancedFilterValues)) {}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo>
ZQRemoteEntityDataQueryCollectionInfo::create(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
    bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
    std::optional<std::string> searchText, uint64_t searchFieldIndex,
    std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues) {
    return std::make_shared<ZQRemoteEntityDataQueryCollectionInfo>(
        std::move(dataSource), type, std::move(parameters), zqid, allLoadedData, pageSize,
        orderIndex, std::move(searchText), searchFieldIndex, std::move(advancedFilterValues));
}

std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>
ZQRemoteEntityDataQueryCollectionInfo::remoteDataSource() const {
    return std::dynamic_pointer_cast<const ZQRemoteEntityDataSourceDescriptor>(
        collectionDataSource());
}

std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor>
ZQRemoteEntityDataQueryCollectionInfo::remoteCollectionDataSource() const {
    return remoteDataSource() ? collectionDataSource() : nullptr;
}
