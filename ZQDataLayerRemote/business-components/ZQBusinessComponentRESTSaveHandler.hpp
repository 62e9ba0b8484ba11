// The shared base of the handlers that write one business-component instance to the REST server
// (insert, update, insert-or-update): the instance as a JSON object made when the handler is, the
// request (method and URL chosen by the subclass) with that body, the reply written into the cache
// through the write-through, and the cached object of the main context reported; binary values
// are uploaded first and their identifiers patched into the JSON. Made by
// ZQBusinessComponentRESTManager and started by the host on the main thread; its steps run on its
// private queue. json_ is read and patched on the main thread only (the body step and the
// uploader's callbacks run there); mutex_ guards requestOp_.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentSaveHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"

class ZQBusinessComponentRESTSaveHandler : public ZQBusinessComponentSaveHandler,
                                           public ZQURLRequestOperationDelegate,
                                           public ZQParseJsonOperationDelegate,
                                           public ZQCoreDataBusinessComponentSaveOperationDelegate,
                                           public ZQObjectUploaderDelegate {
  public:
    // Why uploaded identifiers could not be patched into the JSON (codes of
    // ZQBusinessComponentRESTSaveHandlerErrorDomain).
    enum class JsonLevelUpdateError {
        wrongAttributeName = 1,
        bcLevelNotFound,
        unknownBinaryRefType
    };

    // Queues the body step, the request, its parse, the write-through and the last step. Without
    // a URL or a cache it reports defaultZQError and sends nothing.
    void start() override;
    ZQConnectivitySupport connectivitySupport() const override {
        return ZQConnectivitySupportOnline;
    }
    // Where the uploader sends this level's binary values.
    std::optional<std::string> uploaderRestPath() const override;
    // The binary values to upload before the request; none without any.
    const std::shared_ptr<ZQBinaryDataFieldReference>& binaryDataFieldRef() const {
        return binaryDataFieldRef_;
    }
    // Main thread: writes the uploaded identifiers of the reference's members into `json` (the
    // JSON of `level`); the first error stops it.
    [[nodiscard]] static platform::ErrorPtr applyReferences(
        const ZQBinaryDataFieldReference& reference, const ZQBusinessComponentLevel& level,
        platform::Dictionary& json);

    void objectUploaderDidFinishUploading(
        const std::shared_ptr<ZQObjectUploader>& uploader) override;
    void objectUploaderDidFailUploadingWithError(const std::shared_ptr<ZQObjectUploader>& uploader,
                                                 const platform::ErrorPtr& error) override;
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
    std::shared_ptr<ZQBinaryDataFieldReference> binaryDataFieldRef_;
    std::shared_ptr<const ZQEntityDataKey> saveKey_;
    mutable platform::Mutex mutex_;
    std::shared_ptr<ZQURLRequestOperation> requestOp_ GUARDED_BY(mutex_);
};
