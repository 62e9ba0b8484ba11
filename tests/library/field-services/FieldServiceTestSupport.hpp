// Shared pieces of the field-service provider tests: a running model pointed at a server (the
// sample server with the sample application, or a loopback server with a small model of the
// test's own), delegates that record what they hear (and check it arrives on the main thread),
// and a scheduler that holds parameter strings back until the test releases them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDynamicComboProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldHideCodeProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityRulePromptAfterServiceProvider.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Mutex.hpp"

namespace zqtest {

// One thing a delegate heard, as text: "choices 1:Acme Corp,3:bluebird Ltd", "code 1 (Acme)",
// "text Acme", "suggestions ...", "values LineAmount=7.5", "error <domain> <code> <message>".
using Heard = std::vector<std::string>;

class FieldRecorder : public ZQEntityDataFieldDynamicComboProviderDelegate,
                      public ZQEntityDataFieldHideCodeProviderDelegate,
                      public ZQEntityRulePromptAfterServiceProviderDelegate {
  public:
    void dynamicComboProviderDidLoadChoices(
        ZQEntityDataFieldDynamicComboProvider&,
        const std::vector<ZQDynamicDataChoice>& choices) override;
    void dynamicComboProviderDidFailWithError(ZQEntityDataFieldDynamicComboProvider&,
                                              const platform::ErrorPtr& error) override;
    void hideCodeProviderDidLoadCode(ZQEntityDataFieldHideCodeProvider&,
                                     const platform::Value& code,
                                     const std::optional<std::string>& description) override;
    void hideCodeProviderDidLoadText(ZQEntityDataFieldHideCodeProvider&,
                                     const std::optional<std::string>& text) override;
    void hideCodeProviderDidLoadSuggestions(
        ZQEntityDataFieldHideCodeProvider&,
        const std::vector<ZQDynamicDataChoice>& suggestions) override;
    void hideCodeProviderDidFailWithError(ZQEntityDataFieldHideCodeProvider&,
                                          const platform::ErrorPtr& error) override;
    void entityRulePromptAfterServiceProviderDidLoadValues(
        ZQEntityRulePromptAfterServiceProvider&, const platform::Dictionary& values) override;
    void entityRulePromptAfterServiceProviderDidFailLoadingWithError(
        ZQEntityRulePromptAfterServiceProvider&, const platform::ErrorPtr& error) override;

    Heard heard() const;
    // Runs the main loop until something was heard (or the wait ends); what was heard.
    Heard waitForReport(double seconds = 30) const;
    bool offMainThread() const { return offMain_; }

  private:
    void hear(std::string text);
    mutable platform::Mutex mutex_;
    Heard heard_ GUARDED_BY(mutex_);
    bool offMain_ = false;  // written and read on the main thread only
};

// While alive, parameter strings wait here until release() hands them on, from a thread of its
// own, in the order asked.
class HeldParameterStrings {
  public:
    HeldParameterStrings();
    ~HeldParameterStrings();
    size_t held() const EXCLUDES(mutex_);
    // Runs the held completions (indices in order of arrival) on another thread and waits.
    void release(const std::vector<size_t>& order);

  private:
    mutable platform::Mutex mutex_;
    std::vector<std::function<void()>> tasks_ GUARDED_BY(mutex_);
};

// A model loaded from text, made the running model with its server base URL set to baseURL.
void runModel(std::shared_ptr<const ZQApplicationModel> model, const std::string& baseURL);
std::shared_ptr<const ZQApplicationModel> modelFromJSON(const std::string& json);
std::shared_ptr<ZQDictionaryEntityData> entity(platform::Dictionary values);

}  // namespace zqtest
