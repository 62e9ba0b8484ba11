// Inserts one business-component instance on the REST server: a POST of the instance to its URL,
// then as every save handler. Tells its insert delegate (held weakly) after the handler's own
// report, on the main thread. Made by ZQBusinessComponentRESTManager; threads as its base.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTSaveHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentInsertHandlerDelegate.hpp"

class ZQBusinessComponentRESTInsertHandler : public ZQBusinessComponentRESTSaveHandler {
  public:
    // The instance of the component's root level.
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTInsertHandler> create(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData);
    ZQBusinessComponentRESTInsertHandler(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData)
        : ZQBusinessComponentRESTSaveHandler(std::move(level), std::move(entityData)) {}

    // Set before start, on the main thread.
    void setInsertDelegate(std::weak_ptr<ZQBusinessComponentInsertHandlerDelegate> delegate) {
        insertDelegate_ = std::move(delegate);
    }

  protected:
    std::string httpMethod() const override { return "POST"; }
    void handlerDidSucceed(
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) override;
    void handlerDidFail(const platform::ErrorPtr& error) override;

  private:
    std::weak_ptr<ZQBusinessComponentInsertHandlerDelegate> insertDelegate_;
};
