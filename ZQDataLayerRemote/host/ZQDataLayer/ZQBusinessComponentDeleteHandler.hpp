// Base of the handlers that delete one business-component instance by key. Reports go through
// ZQBusinessComponentHandler: the argument-less onSuccess, or onError. Threads and locking as
// its base.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"

class ZQBusinessComponentDeleteHandler : public ZQBusinessComponentHandler {
  protected:
    ZQBusinessComponentDeleteHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                                     std::shared_ptr<const ZQEntityDataKey> withKey)
        : ZQBusinessComponentHandler(std::move(level), std::move(withKey)) {}
};
