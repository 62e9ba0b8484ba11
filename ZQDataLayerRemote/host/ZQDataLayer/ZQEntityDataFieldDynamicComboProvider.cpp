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

void ZQEntityDataFieldDynamicComboProvider::notifyDelegateWithParsedData(
    const platform::Value& parsedData) {
    auto result = ZQDynamicDataChoicesFromParsedData(parsedData);
    if (result.error) return notifyErrorToDelegate(result.error);
    if (auto delegate = delegate_.lock())
        delegate->dynamicComboProviderDidLoadChoices(*this, result.choices);
}

void ZQEntityDataFieldDynamicComboProvider::notifyErrorToDelegate(const platform::ErrorPtr& error) {
    if (auto delegate = delegate_.lock())
        delegate->dynamicComboProviderDidFailWithError(*this, error);
}
