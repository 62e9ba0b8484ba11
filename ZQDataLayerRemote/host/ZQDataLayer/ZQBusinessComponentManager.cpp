#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentManager.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
ZQRegistration<ZQBusinessComponentManager::OnlineManagerFactory>& slot() {
    static auto* registration =
        new ZQRegistration<ZQBusinessComponentManager::OnlineManagerFactory>();
    return *registration;
}
}  // namespace

void ZQBusinessComponentManager::registerOnlineBusinessComponentManager(
    OnlineManagerFactory factory) {
    slot().set(std::move(factory));
}

ZQBusinessComponentManager::OnlineManagerFactory
ZQBusinessComponentManager::onlineBusinessComponentManagerFactory() {
    return slot().get();
}

std::shared_ptr<ZQInternalBusinessComponentManager>
ZQBusinessComponentManager::newOnlineBusinessComponentManager() {
    auto factory = onlineBusinessComponentManagerFactory();
    return factory ? factory() : nullptr;
}
