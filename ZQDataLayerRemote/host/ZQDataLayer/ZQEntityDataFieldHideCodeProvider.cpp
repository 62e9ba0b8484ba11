#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldHideCodeProvider.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
ZQRegistration<ZQEntityDataFieldHideCodeProvider::Factory>& slot() {
    static auto* registration = new ZQRegistration<ZQEntityDataFieldHideCodeProvider::Factory>();
    return *registration;
}
}  // namespace

void ZQEntityDataFieldHideCodeProvider::registerOnlineEntityDataFieldHideCodeProvider(
    Factory factory) {
    slot().set(std::move(factory));
}

ZQEntityDataFieldHideCodeProvider::Factory
ZQEntityDataFieldHideCodeProvider::onlineEntityDataFieldHideCodeProviderFactory() {
    return slot().get();
}
