#include "tests/library/field-services/FieldServiceTestSupport.hpp"

#include <thread>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {

namespace {

std::string choicesText(const std::vector<ZQDynamicDataChoice>& choices) {
    std::string text;
    for (const auto& choice : choices) {
        if (!text.empty()) text += ",";
        text += ZQEntityHelper::plainTextFromValue(choice.code) + ":" + choice.description;
    }
    return text;
}

std::string errorText(const platform::ErrorPtr& error) {
    if (!error) return "error none";
    return "error " + error->domain() + " " + std::to_string(error->code()) + " " +
           error->localizedDescription();
}

}  // namespace

void FieldRecorder::hear(std::string text) {
    if (!platform::isMainThread()) offMain_ = true;
    platform::MutexLock lock(mutex_);
    heard_.push_back(std::move(text));
}

void FieldRecorder::dynamicComboProviderDidLoadChoices(
    ZQEntityDataFieldDynamicComboProvider&, const std::vector<ZQDynamicDataChoice>& choices) {
    hear("choices " + choicesText(choices));
}
void FieldRecorder::dynamicComboProviderDidFailWithError(ZQEntityDataFieldDynamicComboProvider&,
                                                         const platform::ErrorPtr& error) {
    hear(errorText(error));
}
void FieldRecorder::hideCodeProviderDidLoadCode(ZQEntityDataFieldHideCodeProvider&,
                                                const platform::Value& code,
                                                const std::optional<std::string>& description) {
    hear("code " + (code.isNothing() ? "none" : ZQEntityHelper::plainTextFromValue(code)) + " (" +
         description.value_or("") + ")");
}
void FieldRecorder::hideCodeProviderDidLoadText(ZQEntityDataFieldHideCodeProvider&,
                                                const std::optional<std::string>& text) {
    hear("text " + text.value_or("none"));
}
void FieldRecorder::hideCodeProviderDidLoadSuggestions(
    ZQEntityDataFieldHideCodeProvider&, const std::vector<ZQDynamicDataChoice>& suggestions) {
    hear("suggestions " + choicesText(suggestions));
}
void FieldRecorder::hideCodeProviderDidFailWithError(ZQEntityDataFieldHideCodeProvider&,
                                                     const platform::ErrorPtr& error) {
    hear(errorText(error));
}
void FieldRecorder::entityRulePromptAfterServiceProviderDidLoadValues(
    ZQEntityRulePromptAfterServiceProvider&, const platform::Dictionary& values) {
    std::string text = "values";
    for (const auto& key : values.keys())
        text += " " + key + "=" + ZQEntityHelper::plainTextFromValue(values.get(key));
    hear(text);
}
void FieldRecorder::entityRulePromptAfterServiceProviderDidFailLoadingWithError(
    ZQEntityRulePromptAfterServiceProvider&, const platform::ErrorPtr& error) {
    hear(errorText(error));
}

Heard FieldRecorder::heard() const {
    platform::MutexLock lock(mutex_);
    return heard_;
}

Heard FieldRecorder::waitForReport(double seconds) const {
    runMainLoopUntil([this] { return !heard().empty(); }, seconds);
    return heard();
}

HeldParameterStrings::HeldParameterStrings() {
    ZQEntityHelper::setParametersStringScheduler([this](std::function<void()> task) {
        platform::MutexLock lock(mutex_);
        tasks_.push_back(std::move(task));
    });
}

HeldParameterStrings::~HeldParameterStrings() {
    ZQEntityHelper::setParametersStringScheduler({});
}

size_t HeldParameterStrings::held() const {
    platform::MutexLock lock(mutex_);
    return tasks_.size();
}

void HeldParameterStrings::release(const std::vector<size_t>& order) {
    std::vector<std::function<void()>> tasks;
    {
        platform::MutexLock lock(mutex_);
        tasks = tasks_;
    }
    std::thread([&] {
        for (size_t index : order) tasks.at(index)();
    }).join();
}

std::shared_ptr<const ZQApplicationModel> modelFromJSON(const std::string& json) {
    auto loaded = ZQApplicationModelLoader::loadFromString(json, "field-service-tests");
    EXPECT_EQ(loaded.error, nullptr) << (loaded.error ? loaded.error->description() : "");
    return loaded.model;
}

void runModel(std::shared_ptr<const ZQApplicationModel> model, const std::string& baseURL) {
    std::const_pointer_cast<ZQApplicationModel>(model)->setAppServerBaseUrl(
        platform::URL::fromString(baseURL));
    ZQModel::setCurrentModel(ZQModel::create(std::move(model)));
}

std::shared_ptr<ZQDictionaryEntityData> entity(platform::Dictionary values) {
    return std::make_shared<ZQDictionaryEntityData>(std::move(values));
}

}  // namespace zqtest
