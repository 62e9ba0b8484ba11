// Protocol of an object that makes business-component handlers: one new handler per request,
// owned by the caller, which sets its delegate or completion and starts it. Implementations say
// which threads may call them.
#pragma once

#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentDefaultLoadHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentDeleteHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentLoadHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentSaveHandler.hpp"

class ZQBusinessComponentHandlerBuilder {
  public:
    virtual ~ZQBusinessComponentHandlerBuilder() = default;

    // Handlers of the model's root level.
    virtual std::shared_ptr<ZQBusinessComponentLoadHandler> newBusinessComponentLoadHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::shared_ptr<const ZQEntityDataKey>& key) = 0;
    virtual std::shared_ptr<ZQBusinessComponentDefaultLoadHandler>
    newBusinessComponentDefaultLoadHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::optional<platform::Dictionary>& inferredFieldValuesByName) = 0;
    // Save handlers join with the save handlers themselves; until then none is made.
    virtual std::shared_ptr<ZQBusinessComponentSaveHandler>
    newBusinessComponentInsertHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) = 0;
    virtual std::shared_ptr<ZQBusinessComponentSaveHandler>
    newBusinessComponentInsertOrUpdateHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) = 0;
    virtual std::shared_ptr<ZQBusinessComponentSaveHandler>
    newBusinessComponentUpdateHandlerForLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) = 0;
    virtual std::shared_ptr<ZQBusinessComponentDeleteHandler>
    newBusinessComponentDeleteHandlerForLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<const ZQEntityDataKey>& key) = 0;
    // Gives back an instance made by a default-load handler: it leaves the context it was made in
    // (nothing is saved).
    virtual void releaseBusinessComponentEntityDataWithDefaults(
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData,
        const std::shared_ptr<const ZQBusinessComponentModel>& ofModel) = 0;
};
