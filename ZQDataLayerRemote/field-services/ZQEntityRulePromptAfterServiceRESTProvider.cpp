#include "ZQDataLayerRemote/field-services/ZQEntityRulePromptAfterServiceRESTProvider.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/MainLoop.hpp"

namespace {

const ZQActionParameterDescriptors& descriptorsOf(
    const std::shared_ptr<const ZQActionParameters>& parameters) {
    static const ZQActionParameterDescriptors none;
    return parameters ? parameters->actionParametersDescriptors() : none;
}

}  // namespace

std::shared_ptr<ZQEntityRulePromptAfterServiceRESTProvider>
ZQEntityRulePromptAfterServiceRESTProvider::create(
    std::shared_ptr<ZQEntityData> entityData, std::shared_ptr<const ZQEntityRulePrompt> promptRule,
    platform::Dictionary userInfo) {
    return std::make_shared<ZQEntityRulePromptAfterServiceRESTProvider>(
        std::move(entityData), std::move(promptRule), std::move(userInfo));
}

bool ZQEntityRulePromptAfterServiceRESTProvider::load() {
    if (!promptRule()) return false;
    const auto& inputs = descriptorsOf(promptRule()->entityRulePromptAfterServiceInputParameters());
    if (!inputs.empty() && !entityData()) return false;
    auto queue = requests_.beginLoad();
    ZQEntityHelper::parametersStringFromEntityData(
        entityData(), nullptr, inputs,
        [weak = weak_from_this(), queue](std::optional<std::string> parameters) {
            if (auto self = weak.lock()) self->parametersArrived(queue, parameters);
        });
    return true;
}

std::optional<std::string> ZQEntityRulePromptAfterServiceRESTProvider::serviceURLString(
    const ZQEntityRulePrompt& rule, const std::optional<std::string>& parameters) {
    const auto& uri = rule.entityRulePromptAfterServiceURI();
    if (!uri || uri->empty()) return std::nullopt;
    std::string path = *uri;
    std::replace(path.begin(), path.end(), '.', '/');
    return parameters ? "rest/" + path + "?" + *parameters : "rest/" + path;
}

void ZQEntityRulePromptAfterServiceRESTProvider::parametersArrived(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const std::optional<std::string>& parameters) {
    auto urlString = serviceURLString(*promptRule(), parameters);
    auto url = urlString ? ZQFieldServiceRequestQueue::serviceURL(*urlString) : std::nullopt;
    auto self = shared_from_this();
    // A rule whose service cannot be addressed must not leave its caller waiting for ever.
    if (requests_.resumeWithRequest(queue, url, self, self))
        platform::dispatchAsyncOnMain([self, name = promptRule()->name()] {
            self->failOnMain(defaultZQErrorWithDeveloperDescription("the prompt rule \"" + name +
                                                                    "\" has no service URL"));
        });
}

void ZQEntityRulePromptAfterServiceRESTProvider::failOnMain(const platform::ErrorPtr& error) {
    requests_.cancelOperations();
    if (auto listener = delegate())
        listener->entityRulePromptAfterServiceProviderDidFailLoadingWithError(*this, error);
}

void ZQEntityRulePromptAfterServiceRESTProvider::deliver(const platform::Value& parsedData) {
    requests_.cancelOperations();
    const auto& outputs =
        descriptorsOf(promptRule()->entityRulePromptAfterServiceOutputParameters());
    // A rule without outputs expects nothing back.
    if (outputs.empty()) return;
    if (!parsedData.isArray()) return failOnMain(platform::Error::create(ZQErrorDomain, 0, ""));
    const auto& elements = *parsedData.array();
    platform::Dictionary values;
    for (size_t i = 0; i < outputs.size() && i < elements.size(); ++i) {
        if (!outputs[i]) continue;
        platform::Value value = coreDataFieldValueForParameterDescriptor(*outputs[i], elements[i]);
        std::string name =
            ZQEntityHelper::entityDataFieldNameFromActionParameterDescriptor(*outputs[i])
                .value_or(outputs[i]->actionParameterCalledTargetParameterName());
        if (value.isNothing())
            values.erase(name);
        else
            values.set(std::move(name), std::move(value));
    }
    if (auto listener = delegate())
        listener->entityRulePromptAfterServiceProviderDidLoadValues(*this, values);
}

void ZQEntityRulePromptAfterServiceRESTProvider::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation);
    // Ending the load here keeps the error body from being parsed and reported a second time.
    if (error)
        ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] { failOnMain(error); });
}

void ZQEntityRulePromptAfterServiceRESTProvider::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (auto error = operation->error())
        ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] { failOnMain(error); });
}

void ZQEntityRulePromptAfterServiceRESTProvider::parseJsonOperationDidFinishParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation,
                                                      [&] { deliver(operation->parsedData()); });
}

void ZQEntityRulePromptAfterServiceRESTProvider::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    if (auto error = operation->error())
        ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] { failOnMain(error); });
}
