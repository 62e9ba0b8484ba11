// The online provider of a dynamic combo's choices: one GET of the field's REST data service with
// the parameters the host builds from the entity being edited; the parsed reply goes to the base
// class, which tells the field. Made by the host through the registered factory, held by the
// field; load and cancel on the main thread, the request on its private queue
// (ZQFieldServiceRequestQueue), whose callbacks hand their results to the main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/field-services/ZQFieldServiceRequestQueue.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDynamicComboProvider.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQRemoteDynamicDataService.hpp"

class ZQEntityDataFieldDynamicComboRESTProvider
    : public ZQEntityDataFieldDynamicComboProvider,
      public ZQURLRequestOperationDelegate,
      public ZQParseJsonOperationDelegate,
      public std::enable_shared_from_this<ZQEntityDataFieldDynamicComboRESTProvider> {
  public:
    // None, after handing the host a fatal error, when the service is not a REST data service.
    static std::shared_ptr<ZQEntityDataFieldDynamicComboRESTProvider> create(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::optional<std::string> fieldSpecifier,
        std::shared_ptr<const ZQDynamicDataService> service);

    bool load() override;
    void cancel() override { requests_.cancel(); }
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;

    // Through create() only; public for make_shared.
    ZQEntityDataFieldDynamicComboRESTProvider(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::optional<std::string> fieldSpecifier,
        std::shared_ptr<const ZQRemoteDynamicDataService> service);

  private:
    void parametersArrived(const std::shared_ptr<platform::OperationQueue>& queue,
                           const std::optional<std::string>& parameters);
    // Main thread: ends the load and tells the field of the error.
    void failOnMain(const platform::ErrorPtr& error);

    std::shared_ptr<const ZQRemoteDynamicDataService> remoteService_;
    ZQFieldServiceRequestQueue requests_;
};
