#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"

ZQRemoteEntityDataQuerySingleItemInfoClass::ZQRemoteEntityDataQuerySingleItemInfoClass(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid)
    : ZQEntityDataQuerySingleItemInfo(std::move(dataSource), type, std::move(parameters), zqid) {}

std::shared_ptr<ZQRemoteEntityDataQuerySingleItemInfoClass>
ZQRemoteEntityDataQuerySingleItemInfoClass::create(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource,
    ZQEntityDataQueryType type, std::optional<platform::Array> parameters, uint64_t zqid) {
    return std::make_shared<ZQRemoteEntityDataQuerySingleItemInfoClass>(
        std::move(dataSource), type, std::move(parameters), zqid);
}

std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>
ZQRemoteEntityDataQuerySingleItemInfoClass::remoteDataSource() const {
    return std::dynamic_pointer_cast<const ZQRemoteEntityDataSourceDescriptor>(
        singleItemDataSource());
}

std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor>
ZQRemoteEntityDataQuerySingleItemInfoClass::remoteSingleItemDataSource() const {
    return remoteDataSource() ? singleItemDataSource() : nullptr;
}
