// A remote query for the one item of a single-item data source that is also a remote data
// source. Fixed after construction except force, which is atomic; any thread.
#pragma once

#include <atomic>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryInfo.hpp"

class ZQRemoteEntityDataQuerySingleItemInfoClass : public ZQEntityDataQuerySingleItemInfo,
                                                   public ZQRemoteEntityDataQuerySingleItemInfo {
  public:
    // force starts false.
    ZQRemoteEntityDataQuerySingleItemInfoClass(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid);
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQuerySingleItemInfoClass> create(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid);

    std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> remoteDataSource() const override;
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> remoteSingleItemDataSource()
        const override;
    bool force() const override { return force_.load(); }
    void setForce(bool force) override { force_.store(force); }

  private:
    std::atomic<bool> force_{false};
};
