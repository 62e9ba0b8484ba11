// Inserts a business-component instance, or updates it when the server already has one of that
// key: a POST to the instance URL with the query item insertorupdate=true. Reports through the
// insert delegate; the update delegate it is given is only kept (held strongly). Made by
// ZQBusinessComponentRESTManager; threads as its base.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTInsertHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentUpdateHandlerDelegate.hpp"

class ZQBusinessComponentRESTInsertOrUpdateHandler : public ZQBusinessComponentRESTInsertHandler {
  public:
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTInsertOrUpdateHandler> create(
        const std::shared_ptr<const ZQBusinessComponentModel>& model,
        std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData);
    using ZQBusinessComponentRESTInsertHandler::ZQBusinessComponentRESTInsertHandler;

    void setUpdateDelegate(std::shared_ptr<ZQBusinessComponentUpdateHandlerDelegate> delegate) {
        updateDelegate_ = std::move(delegate);
    }

  protected:
    std::optional<platform::URL> url() const override {
        auto base = ZQBusinessComponentRESTInsertHandler::url();
        if (!base) return base;
        return base->appendingQueryItems({{"insertorupdate", "true"}});
    }

  private:
    std::shared_ptr<ZQBusinessComponentUpdateHandlerDelegate> updateDelegate_;
};
