// The delegate protocol of an update handler: one optional callback per outcome, on the main
// thread, at most one call per handler. Held weakly (the insert-or-update handler keeps its update
// delegate strongly).
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "platform/Error.hpp"

class ZQBusinessComponentSaveHandler;

class ZQBusinessComponentUpdateHandlerDelegate {
  public:
    virtual ~ZQBusinessComponentUpdateHandlerDelegate() = default;
    virtual void businessComponentUpdateHandlerDidUpdate(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>& handler,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {}
    virtual void businessComponentUpdateHandlerDidFailUpdatingWithError(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>& handler,
        const platform::ErrorPtr& error) {}
};
