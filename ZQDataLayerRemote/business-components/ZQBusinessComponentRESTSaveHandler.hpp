// The shared base of the handlers that write one business-component instance to the REST server
// (insert, update, insert-or-update): the instance as a JSON object made when the handler is, the
// request (method and URL chosen by the subclass) with that body, the reply written into the cache
// through the write-through, and the cached object of the main context reported. Made by
// ZQBusinessComponentRESTManager and started by the host on the main thread; its steps run on its
// private queue. json_ is read on the main thread only (the body step hops there); mutex_ guards
// requestOp_.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentSaveHandler.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"

class ZQBusinessComponentRESTSaveHandler : public ZQBusinessComponentSaveHandler,
                                           public ZQURLRequestOperationDelegate,
                                           public ZQParseJsonOperationDelegate,
                                           public ZQCoreDataBusinessComponentSaveOperationDelegate {
  public:
    // Queues the body step, the request, its parse, the write-through and the last step. Without
    // a URL or a cache it reports defaultZQError and sends nothing.
    void start() override;
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }
    // Where the uploader sends this level's binary values.
    std::string uploaderRestPath() const;
    // The request body; none for a handler made from a key alone or without entity data.
    const std::optional<platform::Dictionary>& json() const { return json_; }

    // Steps of the chain (names as the chain calls them).
    void setRequestBodyOp(const std::shared_ptr<ZQInvocationWithSelfOperation>& operation);
    void saveUnespectedFinished(const std::shared_ptr<ZQInvocationWithSelfOperation>& operation);

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;
    void businessComponentSaveOperationDidSave(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation) override;
    void businessComponentSaveOperationDidFailWithError(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation,
        const platform::ErrorPtr& error) override;

  protected:
    // The JSON comes from the entity data at the business component's root level; the key from
    // the entity data's values of the level's key attributes.
    ZQBusinessComponentRESTSaveHandler(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData);

    virtual std::string httpMethod() const { return {}; }
    // The instance URL of the level and the key; subclasses may add to it.
    virtual std::optional<platform::URL> url() const;
    // The key the URL names: the handler's own, or the one read from its entity data.
    const std::shared_ptr<const ZQEntityDataKey>& saveKey() const { return saveKey_; }

  private:
    std::optional<platform::Dictionary> json_;
    std::shared_ptr<const ZQEntityDataKey> saveKey_;
    mutable platform::Mutex mutex_;
    std::shared_ptr<ZQURLRequestOperation> requestOp_ GUARDED_BY(mutex_);
};
