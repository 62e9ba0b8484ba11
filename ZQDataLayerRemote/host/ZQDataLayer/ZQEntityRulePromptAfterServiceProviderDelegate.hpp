// What the host hears from a prompt rule's after-prompt provider, on the main thread: the values
// the service computed by field name, or why it failed. Both have empty defaults, so a delegate
// implements what it wants to hear. Held weakly by the provider.
#pragma once

#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQEntityRulePromptAfterServiceProvider;

class ZQEntityRulePromptAfterServiceProviderDelegate {
  public:
    virtual ~ZQEntityRulePromptAfterServiceProviderDelegate() = default;
    virtual void entityRulePromptAfterServiceProviderDidLoadValues(
        ZQEntityRulePromptAfterServiceProvider& /*provider*/,
        const platform::Dictionary& /*valuesByFieldName*/) {}
    virtual void entityRulePromptAfterServiceProviderDidFailLoadingWithError(
        ZQEntityRulePromptAfterServiceProvider& /*provider*/, const platform::ErrorPtr& /*error*/) {
    }
};
