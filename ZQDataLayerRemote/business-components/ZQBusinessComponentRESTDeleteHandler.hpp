// Deletes one business-component instance on the REST server (DELETE of its instance URL) and
// removes its cached copy whatever the server answers. Made by ZQBusinessComponentRESTManager;
// started on the main thread; its steps run on its private queue and its callbacks on that
// queue's workers. No state beyond its base's (whose mutex guards the report).
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentDeleteHandler.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"

class ZQBusinessComponentRESTDeleteHandler : public ZQBusinessComponentDeleteHandler,
                                             public ZQURLRequestOperationDelegate {
  public:
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTDeleteHandler> create(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::shared_ptr<const ZQEntityDataKey> withKey);

    // Queues the cache delete, the DELETE request (sent once the cached copy is gone, so that a
    // failing answer, which ends the handler, cannot cancel the removal) and the last step.
    // Without an instance URL it reports defaultZQError and sends nothing.
    void start() override;
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }

    void deleteFinished(const std::shared_ptr<ZQInvocationWithSelfOperation>& operation);

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;

    ZQBusinessComponentRESTDeleteHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                                         std::shared_ptr<const ZQEntityDataKey> withKey)
        : ZQBusinessComponentDeleteHandler(std::move(level), std::move(withKey)) {}
};
