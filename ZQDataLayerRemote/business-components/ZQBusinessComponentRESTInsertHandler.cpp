#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTInsertHandler.hpp"

std::shared_ptr<ZQBusinessComponentRESTInsertHandler> ZQBusinessComponentRESTInsertHandler::create(
    const std::shared_ptr<const ZQBusinessComponentModel>& model,
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData) {
    return std::make_shared<ZQBusinessComponentRESTInsertHandler>(
        model ? model->rootLevel() : nullptr, std::move(entityData));
}

void ZQBusinessComponentRESTInsertHandler::handlerDidSucceed(
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    if (auto delegate = insertDelegate_.lock())
        delegate->businessComponentInsertHandlerDidInsert(
            std::static_pointer_cast<ZQBusinessComponentSaveHandler>(shared_from_this()),
            entityData);
}

void ZQBusinessComponentRESTInsertHandler::handlerDidFail(const platform::ErrorPtr& error) {
    if (auto delegate = insertDelegate_.lock())
        delegate->businessComponentInsertHandlerDidFailInsertingWithError(
            std::static_pointer_cast<ZQBusinessComponentSaveHandler>(shared_from_this()), error);
}
