// The registered online business-component manager: makes the REST handlers (load by key,
// default values, insert, update, insert-or-update, delete) and owns the temporary main-queue
// context that default-value instances live in until the host releases them. Made by the host
// from the registration; used on the main thread only, which also confines the temporary context.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQInternalBusinessComponentManager.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

class ZQBusinessComponentRESTManager : public ZQInternalBusinessComponentManager {
  public:
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTManager> create();
    ZQBusinessComponentRESTManager();

    // Never saved and attached to no store.
    const std::shared_ptr<platform::ManagedObjectContext>& newBusinessComponentTmpMoc() const {
        return newBusinessComponentTmpMoc_;
    }

    std::shared_ptr<ZQBusinessComponentLoadHandler> newBusinessComponentLoadHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::shared_ptr<const ZQEntityDataKey>& key) override;
    std::shared_ptr<ZQBusinessComponentDefaultLoadHandler>
    newBusinessComponentDefaultLoadHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::optional<platform::Dictionary>& inferredFieldValuesByName) override;
    std::shared_ptr<ZQBusinessComponentSaveHandler> newBusinessComponentInsertHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) override;
    std::shared_ptr<ZQBusinessComponentSaveHandler>
    newBusinessComponentInsertOrUpdateHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) override;
    std::shared_ptr<ZQBusinessComponentSaveHandler> newBusinessComponentUpdateHandlerForLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) override;
    std::shared_ptr<ZQBusinessComponentDeleteHandler> newBusinessComponentDeleteHandlerForLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<const ZQEntityDataKey>& key) override;
    // A managed object still in a context leaves it (nothing is saved); anything else is ignored.
    void releaseBusinessComponentEntityDataWithDefaults(
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData,
        const std::shared_ptr<const ZQBusinessComponentModel>& ofModel) override;

  private:
    const std::shared_ptr<platform::ManagedObjectContext> newBusinessComponentTmpMoc_;
};
