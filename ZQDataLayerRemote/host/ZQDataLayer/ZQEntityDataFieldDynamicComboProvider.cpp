#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDynamicComboProvider.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
ZQRegistration<ZQEntityDataFieldDynamicComboProvider::Factory>& slot() {
    static auto* registration =
        new ZQRegistration<ZQEntityDataFieldDynamicComboProvider::Factory>();
    return *registration;
}
}  // namespace

void ZQEntityDataFieldDynamicComboProvider::registerOnlineEntityDataFieldDynamicComboProvider(
    Factory factory) {
    slot().set(std::move(factory));
}

ZQEntityDataFieldDynamicComboProvider::Factory
ZQEntityDataFieldDynamicComboProvider::onlineEntityDataFieldDynamicComboProviderFactory() {
    return slot().get();
}
