// Base of the providers of a prompt rule's after-prompt service, made per entity and rule from
// the registered online provider class. Holds what the host gives every provider; the loading
// interface and the delegate are added with the providers. The registry is safe from any thread;
// a provider is used on the main thread.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"

// A prompt rule of the application model; declared with the rule services.
class ZQEntityRulePrompt;

class ZQEntityRulePromptAfterServiceProvider {
  public:
    // Registering a class: a factory taking the constructor's arguments.
    using Factory = std::function<std::shared_ptr<ZQEntityRulePromptAfterServiceProvider>(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityRulePrompt> promptRule, platform::Dictionary userInfo)>;

    static void registerOnlineEntityRulePromptAfterServiceProvider(Factory factory);
    static Factory onlineEntityRulePromptAfterServiceProviderFactory();

    ZQEntityRulePromptAfterServiceProvider(std::shared_ptr<ZQEntityData> entityData,
                                           std::shared_ptr<const ZQEntityRulePrompt> promptRule,
                                           platform::Dictionary userInfo)
        : entityData_(std::move(entityData)),
          promptRule_(std::move(promptRule)),
          userInfo_(std::move(userInfo)) {}
    virtual ~ZQEntityRulePromptAfterServiceProvider() = default;

    const std::shared_ptr<ZQEntityData>& entityData() const { return entityData_; }
    const std::shared_ptr<const ZQEntityRulePrompt>& promptRule() const { return promptRule_; }
    const platform::Dictionary& userInfo() const { return userInfo_; }

  private:
    std::shared_ptr<ZQEntityData> entityData_;
    std::shared_ptr<const ZQEntityRulePrompt> promptRule_;
    platform::Dictionary userInfo_;
};
