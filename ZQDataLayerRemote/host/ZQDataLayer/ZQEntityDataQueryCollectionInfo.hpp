// A query for rows of a collection data source: paging (page size, or all rows already loaded),
// the chosen order, free-text search and advanced filter values. Fields are fixed at
// construction, so any thread may read them.
#pragma once

#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"

class ZQEntityDataQueryCollectionInfo : public virtual ZQEntityDataQueryInfo {
  public:
    // pageSize 0 asks for every row; orderIndex and searchFieldIndex ZQNotFound mean none.
    ZQEntityDataQueryCollectionInfo(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
        bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
        std::optional<std::string> searchText, uint64_t searchFieldIndex,
        std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataQueryCollectionInfo> create(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
        bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
        std::optional<std::string> searchText, uint64_t searchFieldIndex,
        std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues);

    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource() const override;
    const std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor>& collectionDataSource()
        const {
        return dataSource_;
    }
    ZQEntityDataQueryType type() const override { return type_; }
    const std::optional<platform::Array>& parameters() const override { return parameters_; }
    uint64_t zqid() const override { return zqid_; }

    bool allLoadedData() const { return allLoadedData_; }
    uint64_t pageSize() const { return pageSize_; }
    uint64_t orderIndex() const { return orderIndex_; }
    const std::optional<std::string>& searchText() const { return searchText_; }
    uint64_t searchFieldIndex() const { return searchFieldIndex_; }
    const std::optional<ZQEntityListFilterAdvancedFieldValues>& advancedFilterValues() const {
        return advancedFilterValues_;
    }

  private:
    const std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource_;
    const ZQEntityDataQueryType type_;
    const std::optional<platform::Array> parameters_;
    const uint64_t zqid_;
    const bool allLoadedData_;
    const uint64_t pageSize_;
    const uint64_t orderIndex_;
    const std::optional<std::string> searchText_;
    const uint64_t searchFieldIndex_;
    const std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues_;
};
