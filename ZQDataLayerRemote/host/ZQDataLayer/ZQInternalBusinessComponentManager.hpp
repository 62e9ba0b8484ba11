// Protocol of the online business-component manager that a framework registers with
// ZQBusinessComponentManager: a handler builder (load by key, default values, insert, update,
// insert-or-update, delete). The host makes one instance per use from the registered factory.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandlerBuilder.hpp"

class ZQInternalBusinessComponentManager : public ZQBusinessComponentHandlerBuilder {
  public:
    ~ZQInternalBusinessComponentManager() override = default;
};
