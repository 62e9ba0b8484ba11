#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemInfo.hpp"

ZQEntityDataQuerySingleItemInfo::ZQEntityDataQuerySingleItemInfo(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid)
    : dataSource_(std::move(dataSource)),
      type_(type),
      parameters_(std::move(parameters)),
      zqid_(zqid) {}

std::shared_ptr<ZQEntityDataQuerySingleItemInfo> ZQEntityDataQuerySingleItemInfo::create(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid) {
    return std::make_shared<ZQEntityDataQuerySingleItemInfo>(std::move(dataSource), type,
                                                             std::move(parameters), zqid);
}

std::shared_ptr<const ZQEntityDataSourceDescriptor> ZQEntityDataQuerySingleItemInfo::dataSource()
    const {
    return dataSource_;
}
