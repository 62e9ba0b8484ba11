// Base of the providers of a prompt rule's after-prompt service, made per entity and rule from
// the registered online provider class: holds what the host gives every provider, its delegate,
// and the conversion of a returned element into a field's value. Made and used on the main
// thread; the registry is safe from any thread.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityRulePromptAfterServiceProviderDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityRulePrompt.hpp"

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

    // Starts (or restarts) the service; false when nothing was started.
    virtual bool load() = 0;
    virtual void cancel() = 0;

    const std::shared_ptr<ZQEntityData>& entityData() const { return entityData_; }
    const std::shared_ptr<const ZQEntityRulePrompt>& promptRule() const { return promptRule_; }
    const platform::Dictionary& userInfo() const { return userInfo_; }

    void setDelegate(std::weak_ptr<ZQEntityRulePromptAfterServiceProviderDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<ZQEntityRulePromptAfterServiceProviderDelegate> delegate() const {
        return delegate_.lock();
    }

    // The field value for a returned element, typed by the descriptor's field information
    // (ZQEntityHelper::coreDataFieldValueForFieldInfo); absent for null.
    virtual platform::Value coreDataFieldValueForParameterDescriptor(
        const ZQActionParameterDescriptor& descriptor, const platform::Value& value) const;

  private:
    std::shared_ptr<ZQEntityData> entityData_;
    std::shared_ptr<const ZQEntityRulePrompt> promptRule_;
    platform::Dictionary userInfo_;
    std::weak_ptr<ZQEntityRulePromptAfterServiceProviderDelegate> delegate_;
};
