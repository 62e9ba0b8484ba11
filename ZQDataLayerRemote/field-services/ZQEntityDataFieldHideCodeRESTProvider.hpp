// The online provider of a hide-code field's look-ups: the code for a typed description, the
// description of the stored code, and suggestions while the user types (debounced: one request
// 0.5 s after the last keystroke), each one GET of the field's REST data service. One look-up
// runs at a time; a new one replaces the old. Made by the host through the registered factory,
// held by the field; look-ups and cancel on the main thread, requests on the private queue
// (ZQFieldServiceRequestQueue), results handed to the main thread. currentService_ is read and
// written on the main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/field-services/ZQFieldServiceRequestQueue.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldHideCodeProvider.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQRemoteDynamicDataService.hpp"

class ZQEntityDataFieldHideCodeRESTProvider
    : public ZQEntityDataFieldHideCodeProvider,
      public ZQURLRequestOperationDelegate,
      public ZQParseJsonOperationDelegate,
      public std::enable_shared_from_this<ZQEntityDataFieldHideCodeRESTProvider> {
  public:
    // The delay between the last typed text and its suggestion request.
    static constexpr double kSuggestDelaySeconds = 0.5;

    // None, after handing the host a fatal error, when a given service is not a REST data
    // service. Missing services are allowed: their look-ups do nothing.
    static std::shared_ptr<ZQEntityDataFieldHideCodeRESTProvider> create(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::shared_ptr<const ZQDynamicDataService> hideCodeService,
        std::shared_ptr<const ZQDynamicDataService> suggestService,
        std::shared_ptr<const ZQDynamicDataService> hideCodeRevService);
    ~ZQEntityDataFieldHideCodeRESTProvider() override;

    void loadHideCodeForText(const std::string& text) override;
    void loadTextForHideCode() override;
    void loadSuggestWithText(const std::string& text) override;
    // The suggestion look-up itself, without the delay.
    void loadSuggestDelayedWithText(const std::string& text);
    void cancel() override { requests_.cancel(); }
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }
    ZQHideCodeServiceType currentService() const { return currentService_; }

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;

    // Through create() only; public for make_shared.
    using ZQEntityDataFieldHideCodeProvider::ZQEntityDataFieldHideCodeProvider;

  private:
    // Starts a look-up of that kind with the service (none: nothing happens); typedText goes
    // into the service's first parameter.
    void startLookup(ZQHideCodeServiceType kind,
                     const std::shared_ptr<const ZQDynamicDataService>& service,
                     const std::optional<std::string>& typedText);
    void parametersArrived(const std::shared_ptr<platform::OperationQueue>& queue,
                           const ZQRemoteDynamicDataService& service,
                           const std::string& parameters);
    void failOnMain(const platform::ErrorPtr& error);

    ZQFieldServiceRequestQueue requests_;
    ZQHideCodeServiceType currentService_ = ZQHideCodeServiceTypeNone;
};
