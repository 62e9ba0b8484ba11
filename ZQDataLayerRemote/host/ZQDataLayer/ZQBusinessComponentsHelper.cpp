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
