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

void ZQEntityDataFieldHideCodeProvider::notifyDelegateWithParsedData(
    const platform::Value& parsedData, ZQHideCodeServiceType serviceType) {
    auto result = ZQDynamicDataChoicesFromParsedData(parsedData);
    if (result.error) return notifyErrorToDelegate(result.error);
    auto delegate = delegate_.lock();
    if (!delegate) return;
    const ZQDynamicDataChoice* first = result.choices.empty() ? nullptr : &result.choices.front();
    switch (serviceType) {
        case ZQHideCodeServiceTypeHideCode:
            return delegate->hideCodeProviderDidLoadCode(
                *this, first ? first->code : platform::Value(),
                first ? std::optional(first->description) : std::nullopt);
        case ZQHideCodeServiceTypeHideCodeRev:
            return delegate->hideCodeProviderDidLoadText(
                *this, first ? std::optional(first->description) : std::nullopt);
        case ZQHideCodeServiceTypeSuggest:
            return delegate->hideCodeProviderDidLoadSuggestions(*this, result.choices);
        case ZQHideCodeServiceTypeNone:
            return;
    }
}

void ZQEntityDataFieldHideCodeProvider::notifyErrorToDelegate(const platform::ErrorPtr& error) {
    if (auto delegate = delegate_.lock()) delegate->hideCodeProviderDidFailWithError(*this, error);
}
