// A remote query for rows of a collection data source that is also a remote data source; the
// class is its own protocol. Fixed after construction except force, which is atomic; any thread.
#pragma once

#include <atomic>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryInfo.hpp"

class ZQRemoteEntityDataQueryCollectionInfo : public ZQEntityDataQueryCollectionInfo,
                                              public virtual ZQRemoteEntityDataQueryInfo {
  public:
    // pageSize 0 asks for every row; orderIndex and searchFieldIndex ZQNotFound mean none; force
    // starts false.
    ZQRemoteEntityDataQueryCollectionInfo(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
        bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
        std::optional<std::string> searchText, uint64_t searchFieldIndex,
        std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues);
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> create(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid,
        bool allLoadedData, uint64_t pageSize, uint64_t orderIndex,
        std::optional<std::string> searchText, uint64_t searchFieldIndex,
        std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues);

    std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> remoteDataSource() const override;
    // The data source as a collection data source that is also remote; none otherwise.
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> remoteCollectionDataSource()
        const;
    bool force() const override { return force_.load(); }
    void setForce(bool force) override { force_.store(force); }

  private:
    std::atomic<bool> force_{false};
};
