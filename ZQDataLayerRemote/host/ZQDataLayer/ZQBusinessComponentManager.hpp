// The host's registry of the online business-component manager class. Registration and look-up
// are safe from any thread.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQInternalBusinessComponentManager.hpp"

class ZQBusinessComponentManager {
  public:
    // Registering a class: a factory that makes a new instance.
    using OnlineManagerFactory =
        std::function<std::shared_ptr<ZQInternalBusinessComponentManager>()>;

    static void registerOnlineBusinessComponentManager(OnlineManagerFactory factory);
    static OnlineManagerFactory onlineBusinessComponentManagerFactory();
    // A new instance of the registered class; none when nothing is registered.
    static std::shared_ptr<ZQInternalBusinessComponentManager> newOnlineBusinessComponentManager();
};
