#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevelEntityData.hpp"

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevel.hpp"

std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData>
ZQEntityDataCacheSaveOperationContextLevelEntityData::create(
    const std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>& level) {
    return std::make_shared<ZQEntityDataCacheSaveOperationContextLevelEntityData>(level);
}

void ZQEntityDataCacheSaveOperationContextLevelEntityData::addEntityCoreDataValue(
    platform::Value value, std::string fieldName) {
    if (!values_) values_.emplace();
    values_->set(std::move(fieldName), std::move(value));
}

void ZQEntityDataCacheSaveOperationContextLevelEntityData::addEntitySublevel(
    std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> sublevel) {
    if (!sublevels_) sublevels_.emplace();
    sublevels_->push_back(std::move(sublevel));
}
