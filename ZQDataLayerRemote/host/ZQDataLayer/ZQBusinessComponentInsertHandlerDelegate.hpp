// The delegate protocol of an insert (and insert-or-update) handler: one optional callback per
// outcome, on the main thread, at most one call per handler. Held weakly.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "platform/Error.hpp"

class ZQBusinessComponentSaveHandler;

class ZQBusinessComponentInsertHandlerDelegate {
  public:
    virtual ~ZQBusinessComponentInsertHandlerDelegate() = default;
    virtual void businessComponentInsertHandlerDidInsert(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>& handler,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {}
    virtual void businessComponentInsertHandlerDidFailInsertingWithError(
        const std::shared_ptr<ZQBusinessComponentSaveHandler>& handler,
        const platform::ErrorPtr& error) {}
};
