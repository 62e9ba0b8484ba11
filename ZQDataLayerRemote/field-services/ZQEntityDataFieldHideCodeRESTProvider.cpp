#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldHideCodeRESTProvider.hpp"

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/DelayedCall.hpp"
#include "platform/MainLoop.hpp"

std::shared_ptr<ZQEntityDataFieldHideCodeRESTProvider>
ZQEntityDataFieldHideCodeRESTProvider::create(
    std::shared_ptr<ZQEntityData> entityData,
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
    std::shared_ptr<const ZQDynamicDataService> hideCodeService,
    std::shared_ptr<const ZQDynamicDataService> suggestService,
    std::shared_ptr<const ZQDynamicDataService> hideCodeRevService) {
    for (const auto* service : {&hideCodeService, &suggestService, &hideCodeRevService}) {
        if (*service && !std::dynamic_pointer_cast<const ZQRemoteDynamicDataService>(*service)) {
            static_cast<void>(ZQUtilities::tryHandleFatalError(
                "ZQEntityDataFieldHideCodeRESTProvider must be created with services of type "
                "ZQRemoteDynamicDataService"));
            return nullptr;
        }
    }
    return std::make_shared<ZQEntityDataFieldHideCodeRESTProvider>(
        std::move(entityData), std::move(fieldDescriptor), std::move(hideCodeService),
        std::move(suggestService), std::move(hideCodeRevService));
}

ZQEntityDataFieldHideCodeRESTProvider::~ZQEntityDataFieldHideCodeRESTProvider() {
    platform::cancelPreviousPerformRequestsWithTarget(this);
}

void ZQEntityDataFieldHideCodeRESTProvider::loadHideCodeForText(const std::string& text) {
    startLookup(ZQHideCodeServiceTypeHideCode, serviceHideCode(), text);
}

void ZQEntityDataFieldHideCodeRESTProvider::loadTextForHideCode() {
    startLookup(ZQHideCodeServiceTypeHideCodeRev, serviceHideCodeRev(), std::nullopt);
}

void ZQEntityDataFieldHideCodeRESTProvider::loadSuggestWithText(const std::string& text) {
    platform::cancelPreviousPerformRequestsWithTarget(this);
    platform::performAfterDelay(this, kSuggestDelaySeconds, [weak = weak_from_this(), text] {
        if (auto self = weak.lock()) self->loadSuggestDelayedWithText(text);
    });
}

void ZQEntityDataFieldHideCodeRESTProvider::loadSuggestDelayedWithText(const std::string& text) {
    startLookup(ZQHideCodeServiceTypeSuggest, serviceSuggest(), text);
}

void ZQEntityDataFieldHideCodeRESTProvider::startLookup(
    ZQHideCodeServiceType kind, const std::shared_ptr<const ZQDynamicDataService>& service,
    const std::optional<std::string>& typedText) {
    auto remote = std::dynamic_pointer_cast<const ZQRemoteDynamicDataService>(service);
    if (!remote) return;
    auto queue = requests_.beginLoad();
    currentService_ = kind;
    const auto& parameters = remote->dynamicDataServiceParameters();
    std::optional<std::string> pair;
    ZQActionParameterDescriptors fromEntity = parameters;
    if (typedText) {
        // The typed text fills the first parameter; a service without any has nowhere to put
        // it, and the queue waits for the next look-up.
        if (parameters.empty() || !parameters.front()) return;
        pair = parameters.front()->actionParameterCalledTargetParameterName() + "=" +
               ZQEntityHelper::urlSimpleEscapeString(*typedText);
        fromEntity.erase(fromEntity.begin());
    }
    ZQEntityHelper::parametersStringFromEntityData(
        entityData(), nullptr, fromEntity,
        [weak = weak_from_this(), queue, remote, pair](std::optional<std::string> fromEntity) {
            std::string text = fromEntity.value_or("");
            if (pair) text = text.empty() ? *pair : text + "&" + *pair;
            if (auto self = weak.lock()) self->parametersArrived(queue, *remote, text);
        });
}

void ZQEntityDataFieldHideCodeRESTProvider::parametersArrived(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const ZQRemoteDynamicDataService& service, const std::string& parameters) {
    std::string urlString = service.dynamicDataServiceUrlString() + parameters;
    auto url = ZQFieldServiceRequestQueue::serviceURL(urlString);
    auto self = shared_from_this();
    if (requests_.resumeWithRequest(queue, url, self, self))
        platform::dispatchAsyncOnMain([self, urlString] {
            self->failOnMain(defaultZQErrorWithDeveloperDescription("the look-up's service URL \"" +
                                                                    urlString + "\" is not a URL"));
        });
}

void ZQEntityDataFieldHideCodeRESTProvider::failOnMain(const platform::ErrorPtr& error) {
    requests_.cancelOperations();
    notifyErrorToDelegate(error);
}

void ZQEntityDataFieldHideCodeRESTProvider::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation);
    if (!error) return;
    // The field hears of errors on the main thread, as of everything else.
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] { failOnMain(error); });
}

void ZQEntityDataFieldHideCodeRESTProvider::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation,
                                                      [&] { failOnMain(operation->error()); });
}

void ZQEntityDataFieldHideCodeRESTProvider::parseJsonOperationDidFinishParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] {
        requests_.cancelOperations();
        notifyDelegateWithParsedData(operation->parsedData(), currentService_);
    });
}

void ZQEntityDataFieldHideCodeRESTProvider::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation,
                                                      [&] { failOnMain(operation->error()); });
}
