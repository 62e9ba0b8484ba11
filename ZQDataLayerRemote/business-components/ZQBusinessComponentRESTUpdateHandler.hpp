// Updates one business-component instance on the REST server: a PUT of the instance to its URL,
// then as every save handler. Tells its update delegate (held weakly) after the handler's own
// report, on the main thread. Made by ZQBusinessComponentRESTManager; threads as its base.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTSaveHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentUpdateHandlerDelegate.hpp"

class ZQBusinessComponentRESTUpdateHandler : public ZQBusinessComponentRESTSaveHandler {
  public:
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTUpdateHandler> create(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData);
    ZQBusinessComponentRESTUpdateHandler(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData)
        : ZQBusinessComponentRESTSaveHandler(std::move(level), std::move(entityData)) {}

    // Set before start, on the main thread.
    void setUpdateDelegate(std::weak_ptr<ZQBusinessComponentUpdateHandlerDelegate> delegate) {
        updateDelegate_ = std::move(delegate);
    }

  protected:
    std::string httpMethod() const override { return "PUT"; }
    void handlerDidSucceed(
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) override;
    void handlerDidFail(const platform::ErrorPtr& error) override;

  private:
    std::weak_ptr<ZQBusinessComponentUpdateHandlerDelegate> updateDelegate_;
};
