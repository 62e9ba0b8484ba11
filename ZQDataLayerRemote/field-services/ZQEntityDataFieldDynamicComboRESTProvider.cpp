#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldDynamicComboRESTProvider.hpp"

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/MainLoop.hpp"

std::shared_ptr<ZQEntityDataFieldDynamicComboRESTProvider>
ZQEntityDataFieldDynamicComboRESTProvider::create(
    std::shared_ptr<ZQEntityData> entityData,
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
    std::optional<std::string> fieldSpecifier,
    std::shared_ptr<const ZQDynamicDataService> service) {
    auto remote = std::dynamic_pointer_cast<const ZQRemoteDynamicDataService>(service);
    if (!remote) {
        static_cast<void>(ZQUtilities::tryHandleFatalError(
            "ZQEntityDataFieldDynamicComboRESTProvider must be created with a service of type "
            "ZQRemoteDynamicDataService"));
        return nullptr;
    }
    return std::make_shared<ZQEntityDataFieldDynamicComboRESTProvider>(
        std::move(entityData), std::move(fieldDescriptor), std::move(fieldSpecifier),
        std::move(remote));
}

ZQEntityDataFieldDynamicComboRESTProvider::ZQEntityDataFieldDynamicComboRESTProvider(
    std::shared_ptr<ZQEntityData> entityData,
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
    std::optional<std::string> fieldSpecifier,
    std::shared_ptr<const ZQRemoteDynamicDataService> service)
    : ZQEntityDataFieldDynamicComboProvider(std::move(entityData), std::move(fieldDescriptor),
                                            std::move(fieldSpecifier), service),
      remoteService_(std::move(service)) {}

bool ZQEntityDataFieldDynamicComboRESTProvider::load() {
    if (!canLoad()) return false;
    auto queue = requests_.beginLoad();
    ZQEntityHelper::parametersStringFromEntityData(
        entityData(), nullptr, remoteService_->dynamicDataServiceParameters(),
        [weak = weak_from_this(), queue](std::optional<std::string> parameters) {
            // A provider destroyed meanwhile has nothing left to load for.
            if (auto self = weak.lock()) self->parametersArrived(queue, parameters);
        });
    return true;
}

void ZQEntityDataFieldDynamicComboRESTProvider::parametersArrived(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const std::optional<std::string>& parameters) {
    std::string urlString = remoteService_->dynamicDataServiceUrlString();
    if (parameters) urlString += *parameters;
    auto url = ZQFieldServiceRequestQueue::serviceURL(urlString);
    auto self = shared_from_this();
    // A service whose URL cannot be formed must not leave the field waiting for ever.
    if (requests_.resumeWithRequest(queue, url, self, self))
        platform::dispatchAsyncOnMain([self, urlString] {
            self->failOnMain(defaultZQErrorWithDeveloperDescription("the combo's service URL \"" +
                                                                    urlString + "\" is not a URL"));
        });
}

void ZQEntityDataFieldDynamicComboRESTProvider::failOnMain(const platform::ErrorPtr& error) {
    requests_.cancelOperations();
    notifyErrorToDelegate(error);
}

void ZQEntityDataFieldDynamicComboRESTProvider::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation);
    if (error)
        ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] { failOnMain(error); });
}

void ZQEntityDataFieldDynamicComboRESTProvider::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation,
                                                      [&] { failOnMain(operation->error()); });
}

void ZQEntityDataFieldDynamicComboRESTProvider::parseJsonOperationDidFinishParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation, [&] {
        requests_.cancelOperations();
        notifyDelegateWithParsedData(operation->parsedData());
    });
}

void ZQEntityDataFieldDynamicComboRESTProvider::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    ZQFieldServiceRequestQueue::onMainUnlessCancelled(operation,
                                                      [&] { failOnMain(operation->error()); });
}
