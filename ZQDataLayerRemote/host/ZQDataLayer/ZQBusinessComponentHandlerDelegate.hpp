// The delegate protocol of the business-component handlers: one callback per outcome, on the main
// thread, at most one call per handler. Both are optional. Held weakly by the handler.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "platform/Error.hpp"

class ZQBusinessComponentHandler;

class ZQBusinessComponentHandlerDelegate {
  public:
    virtual ~ZQBusinessComponentHandlerDelegate() = default;
    // entityData is the loaded, defaulted or saved instance; none after a delete.
    virtual void businessComponentHandlerDidFinishWithEntityData(
        const std::shared_ptr<ZQBusinessComponentHandler>& handler,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {}
    virtual void businessComponentHandlerDidFailWithError(
        const std::shared_ptr<ZQBusinessComponentHandler>& handler,
        const platform::ErrorPtr& error) {}
};
