// Loads the default values of a new business-component instance (GET rest/<component>/_default),
// lets the host's inferred values win, and reports a new unsaved instance of the root level's
// cached class, inserted into the manager's temporary main-queue context. Made by
// ZQBusinessComponentRESTManager; started on the main thread. The request and parse run on its
// private queue; the instance is made on the main thread. mutex_ guards the pending main-queue
// step, which cancel drops.
#pragma once

#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentDefaultLoadHandler.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"
#include "platform/Mutex.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

class ZQBusinessComponentRESTDefaultLoadHandler : public ZQBusinessComponentDefaultLoadHandler,
                                                  public ZQURLRequestOperationDelegate,
                                                  public ZQParseJsonOperationDelegate {
  public:
    [[nodiscard]] static std::shared_ptr<ZQBusinessComponentRESTDefaultLoadHandler> create(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::optional<platform::Dictionary> inferredValuesByFieldName,
        std::shared_ptr<platform::ManagedObjectContext> managedObjectContext);

    // Without a default-values URL (no name, no server base URL) it reports defaultZQError and
    // sends nothing.
    void start() override EXCLUDES(mutex_);
    void cancel() override EXCLUDES(mutex_);
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }

    const std::shared_ptr<platform::ManagedObjectContext>& managedObjectContext() const {
        return managedObjectContext_;
    }

    // The main-queue step, once the parse has finished whatever its outcome.
    void onBusinessComponentsDefautlsLoaded(
        const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) EXCLUDES(mutex_);

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    // Gathers the values by cache attribute name (inferred values first) for the main step.
    void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override EXCLUDES(mutex_);
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;

    ZQBusinessComponentRESTDefaultLoadHandler(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::optional<platform::Dictionary> inferredValuesByFieldName,
        std::shared_ptr<platform::ManagedObjectContext> managedObjectContext)
        : ZQBusinessComponentDefaultLoadHandler(std::move(level),
                                                std::move(inferredValuesByFieldName)),
          managedObjectContext_(std::move(managedObjectContext)) {}

  private:
    // Main thread: the new instance for the gathered values, or the failure.
    void makeInstance(const platform::Value& values);

    const std::shared_ptr<platform::ManagedObjectContext> managedObjectContext_;
    mutable platform::Mutex mutex_;
    std::shared_ptr<ZQInvocationWithSelfOperation> defaultsLoadedMainQueueOp_ GUARDED_BY(mutex_);
};
