// Base of the handlers that write one business-component instance to the server (insert, update,
// insert-or-update). It keeps the instance it was made with; reports go through
// ZQBusinessComponentHandler (onSuccess with the saved instance, or onError), and subclasses tell
// their insert or update delegates from handlerDidSucceed / handlerDidFail on the main thread. The
// entity data belongs to the host's thread that made it; otherwise threads and locking as its base.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"

class ZQBusinessComponentSaveHandler : public ZQBusinessComponentHandler {
  public:
    // None for a handler made from a key alone.
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData() const {
        return entityData_;
    }

  protected:
    ZQBusinessComponentSaveHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                                   std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData)
        : ZQBusinessComponentHandler(std::move(level), nullptr),
          entityData_(std::move(entityData)) {}
    ZQBusinessComponentSaveHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                                   std::shared_ptr<const ZQEntityDataKey> withKey)
        : ZQBusinessComponentHandler(std::move(level), std::move(withKey)) {}

  private:
    const std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData_;
};
