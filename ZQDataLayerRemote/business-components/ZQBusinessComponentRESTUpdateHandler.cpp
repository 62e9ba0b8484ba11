#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTUpdateHandler.hpp"

std::shared_ptr<ZQBusinessComponentRESTUpdateHandler> ZQBusinessComponentRESTUpdateHandler::create(
    std::shared_ptr<const ZQBusinessComponentLevel> level,
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData) {
    return std::make_shared<ZQBusinessComponentRESTUpdateHandler>(std::move(level),
                                                                  std::move(entityData));
}

void ZQBusinessComponentRESTUpdateHandler::handlerDidSucceed(
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    if (auto delegate = updateDelegate_.lock())
        delegate->businessComponentUpdateHandlerDidUpdate(
            std::static_pointer_cast<ZQBusinessComponentSaveHandler>(shared_from_this()),
            entityData);
}

void ZQBusinessComponentRESTUpdateHandler::handlerDidFail(const platform::ErrorPtr& error) {
    if (auto delegate = updateDelegate_.lock())
        delegate->businessComponentUpdateHandlerDidFailUpdatingWithError(
            std::static_pointer_cast<ZQBusinessComponentSaveHandler>(shared_from_this()), error);
}
