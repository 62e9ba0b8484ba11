#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTInsertOrUpdateHandler.hpp"

std::shared_ptr<ZQBusinessComponentRESTInsertOrUpdateHandler>
ZQBusinessComponentRESTInsertOrUpdateHandler::create(
    const std::shared_ptr<const ZQBusinessComponentModel>& model,
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData) {
    return std::make_shared<ZQBusinessComponentRESTInsertOrUpdateHandler>(
        model ? model->rootLevel() : nullptr, std::move(entityData));
}
