#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevel.hpp"

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevelEntityData.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"

std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>
ZQEntityDataCacheSaveOperationContextLevel::create(
    std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource, std::string entityName) {
    return create(std::move(dataSource),
                  std::make_shared<const std::string>(std::move(entityName)));
}

std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>
ZQEntityDataCacheSaveOperationContextLevel::create(
    std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource,
    std::shared_ptr<const std::string> entityName) {
    if (!entityName) entityName = std::make_shared<const std::string>();
    return std::make_shared<ZQEntityDataCacheSaveOperationContextLevel>(std::move(dataSource),
                                                                        std::move(entityName));
}

std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>
ZQEntityDataCacheSaveOperationContextLevel::createWithDataSourceLevel(
    std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource) {
    std::optional<std::string> name =
        ZQCoreDataEntityHelper::coreDataEntityNameForDataSourceLevel(dataSource);
    if (!name) return nullptr;
    return create(std::move(dataSource), std::move(*name));
}

void ZQEntityDataCacheSaveOperationContextLevel::addEntity(
    std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData> entity) {
    if (!entities_) entities_.emplace();
    entities_->push_back(std::move(entity));
}
