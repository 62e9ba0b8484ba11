#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTDefaultLoadHandler.hpp"
#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTDeleteHandler.hpp"
#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTInsertOrUpdateHandler.hpp"
#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTLoadHandler.hpp"
#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTUpdateHandler.hpp"

std::shared_ptr<ZQBusinessComponentRESTManager> ZQBusinessComponentRESTManager::create() {
    return std::make_shared<ZQBusinessComponentRESTManager>();
}

ZQBusinessComponentRESTManager::ZQBusinessComponentRESTManager()
    : newBusinessComponentTmpMoc_(platform::ManagedObjectContext::create(
          platform::ManagedObjectContext::ConcurrencyType::MainQueue)) {}

std::shared_ptr<ZQBusinessComponentLoadHandler>
ZQBusinessComponentRESTManager::newBusinessComponentLoadHandlerForModel(
    const std::shared_ptr<const ZQBusinessComponentModel>& model,
    const std::shared_ptr<const ZQEntityDataKey>& key) {
    return ZQBusinessComponentRESTLoadHandler::create(model ? model->rootLevel() : nullptr, key);
}

std::shared_ptr<ZQBusinessComponentDefaultLoadHandler>
ZQBusinessComponentRESTManager::newBusinessComponentDefaultLoadHandlerForModel(
    const std::shared_ptr<const ZQBusinessComponentModel>& model,
    const std::optional<platform::Dictionary>& inferredFieldValuesByName) {
    return ZQBusinessComponentRESTDefaultLoadHandler::create(model ? model->rootLevel() : nullptr,
                                                             inferredFieldValuesByName,
                                                             newBusinessComponentTmpMoc_);
}

std::shared_ptr<ZQBusinessComponentSaveHandler>
ZQBusinessComponentRESTManager::newBusinessComponentInsertHandlerForModel(
    const std::shared_ptr<const ZQBusinessComponentModel>& model,
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    return ZQBusinessComponentRESTInsertHandler::create(model, entityData);
}

std::shared_ptr<ZQBusinessComponentSaveHandler>
ZQBusinessComponentRESTManager::newBusinessComponentInsertOrUpdateHandlerForModel(
    const std::shared_ptr<const ZQBusinessComponentModel>& model,
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    return ZQBusinessComponentRESTInsertOrUpdateHandler::create(model, entityData);
}

std::shared_ptr<ZQBusinessComponentSaveHandler>
ZQBusinessComponentRESTManager::newBusinessComponentUpdateHandlerForLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    return ZQBusinessComponentRESTUpdateHandler::create(level, entityData);
}

std::shared_ptr<ZQBusinessComponentDeleteHandler>
ZQBusinessComponentRESTManager::newBusinessComponentDeleteHandlerForLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQEntityDataKey>& key) {
    return ZQBusinessComponentRESTDeleteHandler::create(level, key);
}

void ZQBusinessComponentRESTManager::releaseBusinessComponentEntityDataWithDefaults(
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData,
    const std::shared_ptr<const ZQBusinessComponentModel>& /*ofModel*/) {
    auto object = std::dynamic_pointer_cast<platform::ManagedObject>(entityData);
    if (!object) return;
    if (auto context = object->managedObjectContext()) context->deleteObject(object);
}
