#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityRulePromptAfterServiceProvider.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
ZQRegistration<ZQEntityRulePromptAfterServiceProvider::Factory>& slot() {
    static auto* registration =
        new ZQRegistration<ZQEntityRulePromptAfterServiceProvider::Factory>();
    return *registration;
}
}  // namespace

void ZQEntityRulePromptAfterServiceProvider::registerOnlineEntityRulePromptAfterServiceProvider(
    Factory factory) {
    slot().set(std::move(factory));
}

ZQEntityRulePromptAfterServiceProvider::Factory
ZQEntityRulePromptAfterServiceProvider::onlineEntityRulePromptAfterServiceProviderFactory() {
    return slot().get();
}

platform::Value ZQEntityRulePromptAfterServiceProvider::coreDataFieldValueForParameterDescriptor(
    const ZQActionParameterDescriptor& descriptor, const platform::Value& value) const {
    return ZQEntityHelper::coreDataFieldValueForFieldInfo(descriptor.actionParameterFieldInfo(),
                                                          value);
}
