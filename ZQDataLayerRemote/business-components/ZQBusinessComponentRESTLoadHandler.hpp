// Loads one business-component instance by key from the REST server (GET of its instance URL),
// writes it into the cache through the write-through and reports the cached object of the main
// context. Made by ZQBusinessComponentRESTManager for the host, which starts it on the main
// thread; its steps run on its private queue and its callbacks on that queue's workers. It keeps
// no state of its own beyond its base's (whose mutex guards the report).
#pragma once

#include <memory>

#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentLoadHandler.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"

class ZQBusinessComponentRESTLoadHandler : public ZQBusinessComponentLoadHandler,
                                           public ZQURLRequestOperationDelegate,
                                           public ZQParseJsonOperationDelegate,
                                           public ZQCoreDataBusinessComponentSaveOperationDelegate {
  public:
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTLoadHandler> create(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::shared_ptr<const ZQEntityDataKey> withKey);

    // Queues GET, parse, write-through and the last step; with no root level and key, no cache
    // or no URL it reports defaultZQError and sends nothing.
    void start() override;
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }

    // The last step: the cached object by its identifier, fetched on the main thread.
    void loadingFinished(const std::shared_ptr<ZQInvocationWithSelfOperation>& operation);

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;
    void businessComponentSaveOperationDidFailWithError(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation,
        const platform::ErrorPtr& error) override;

    ZQBusinessComponentRESTLoadHandler(std::shared_ptr<const ZQBusinessComponentLevel> level,
                                       std::shared_ptr<const ZQEntityDataKey> withKey)
        : ZQBusinessComponentLoadHandler(std::move(level), std::move(withKey)) {}
};
