// A query for the one item of a single-item data source. Fields are fixed at construction, so any
// thread may read them.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"

class ZQEntityDataQuerySingleItemInfo : public virtual ZQEntityDataQueryInfo {
  public:
    ZQEntityDataQuerySingleItemInfo(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataQuerySingleItemInfo> create(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
        ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid);

    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource() const override;
    const std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor>& singleItemDataSource()
        const {
        return dataSource_;
    }
    ZQEntityDataQueryType type() const override { return type_; }
    const std::optional<platform::Array>& parameters() const override { return parameters_; }
    uint64_t zqid() const override { return zqid_; }

  private:
    const std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource_;
    const ZQEntityDataQueryType type_;
    const std::optional<platform::Array> parameters_;
    const uint64_t zqid_;
};
