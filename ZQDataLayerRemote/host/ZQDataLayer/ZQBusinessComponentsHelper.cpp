#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentsHelper.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"

std::shared_ptr<const ZQBusinessComponentLevel>
ZQBusinessComponentsHelper::businessComponentLevelWithName(
    const std::string& levelName, const std::string& businessComponentName) {
    auto model = ZQApplicationModel::currentModel();
    if (!model) return nullptr;
    auto component = model->businessComponentNamed(businessComponentName);
    return component ? component->levelWithName(levelName) : nullptr;
}

ZQBusinessComponentRootLevelAndKey ZQBusinessComponentsHelper::rootLevelAndKey(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQEntityDataKey>& key) {
    auto currentLevel = level;
    auto currentKey = key;
    while (currentLevel && currentKey) {
        auto parentLevel = currentLevel->parentLevel();
        auto parentKey = currentKey->parentEntityDataKey();
        if (!parentLevel && !parentKey) return {std::move(currentLevel), std::move(currentKey)};
        currentLevel = std::move(parentLevel);
        currentKey = std::move(parentKey);
    }
    return {};
}
