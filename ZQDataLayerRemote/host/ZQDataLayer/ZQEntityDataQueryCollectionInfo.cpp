#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"

ZQEntityDataQueryCollectionInfo::ZQEntityDataQueryCollectionInfo(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
    bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
    std::optional<std::string> searchText, uint64_t searchFieldIndex,
    std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues)
    : dataSource_(std::move(dataSource)),
      type_(type),
      parameters_(std::move(parameters)),
      zqid_(zqid),
      allLoadedData_(allLoadedData),
      pageSize_(pageSize),
      orderIndex_(orderIndex),
      searchText_(std::move(searchText)),
      searchFieldIndex_(searchFieldIndex),
      advancedFilterValues_(std::move(advancedFilterValues)) {}

std::shared_ptr<ZQEntityDataQueryCollectionInfo> ZQEntityDataQueryCollectionInfo::create(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
    bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
    std::optional<std::string> searchText, uint64_t searchFieldIndex,
    std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues) {
    return std::make_shared<ZQEntityDataQueryCollectionInfo>(
        std::move(dataSource), type, std::move(parameters), zqid, allLoadedData, pageSize,
        orderIndex, std::move(searchText), searchFieldIndex, std::move(advancedFilterValues));
}

std::shared_ptr<const ZQEntityDataSourceDescriptor> ZQEntityDataQueryCollectionInfo::dataSource()
    const {
    return dataSource_;
}
