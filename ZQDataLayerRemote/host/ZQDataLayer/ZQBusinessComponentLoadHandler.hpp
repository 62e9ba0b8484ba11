// Base of the handlers that load one business-component instance by key. The online manager
// makes one per request; reports go through ZQBusinessComponentHandler (onSuccess with the
// instance, or onError). Threads and locking as its base.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"

class ZQBusinessComponentLoadHandler : public ZQBusinessComponentHandler {
  protected:
    ZQBusinessComponentLoadHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                                   std::shared_ptr<const ZQEntityDataKey> withKey)
        : ZQBusinessComponentHandler(std::move(level), std::move(withKey)) {}
};
