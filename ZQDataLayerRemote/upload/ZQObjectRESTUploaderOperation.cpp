#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderOperation.hpp"

#include <fstream>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQImageUploadHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQMIMETypes.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQDataSetterOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/MainLoop.hpp"

using platform::Value;
using Step = std::shared_ptr<ZQInvocationWithSelfOperation>;
using SingleRef = std::shared_ptr<ZQSingleBinaryDataFieldReference>;

namespace {

// The Content-Type of a body whose file name says nothing: the field's kind, else octet stream.
std::string contentTypeForField(const SingleRef& reference) {
    std::shared_ptr<const ZQEntityDataFieldInfo> info = reference->typeInfo();
    switch (info ? info->entityDataFieldInfoDataType() : ZQDataTypeBlob) {
        case ZQDataTypeImage:
            return "image";
        case ZQDataTypeAudio:
            return "audio";
        case ZQDataTypeVideo:
            return "video";
        default:
            return ZQMIMETypes::mimeTypeApplicationOctetStream();
    }
}

platform::ErrorPtr notUploadable(const ZQSingleBinaryDataFieldReference& reference) {
    return defaultZQErrorWithDeveloperDescription("Nothing to upload for " +
                                                  reference.objectReferenceName() +
                                                  ": only bytes and file URLs can be uploaded.");
}

// An image field's body: the host's check that it is an image, then the bytes or the file
// unchanged; a file keeps the content type its name gives.
platform::ErrorPtr setImageBody(ZQURLRequest& request,
                                const ZQSingleBinaryDataFieldReference& reference,
                                std::optional<std::string>* contentType) {
    ZQImageUploadHelper::ImageUpload upload;
    if (reference.objectData().bytes()) {
        upload = ZQImageUploadHelper::imageUploadDataFromData(
            reference.objectData(), reference.typeInfo(), reference.callerTypeInfo(),
            reference.objectReferenceName());
    } else if (reference.objectURL()) {
        upload = ZQImageUploadHelper::imageUploadDataFromURL(
            *reference.objectURL(), reference.typeInfo(), reference.callerTypeInfo());
    } else {
        return notUploadable(reference);
    }
    if (upload.error) return upload.error;
    if (upload.data.bytes()) {
        request.setHTTPBodyValue(upload.data);
    } else {
        request.setHTTPBodyFile(upload.file);
        *contentType = ZQMIMETypes::mimeTypeForPathExtension(reference.objectURL()->path());
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<ZQObjectRESTUploaderOperation>
ZQObjectRESTUploaderOperation::createWithBinaryDataFieldReferences(References references) {
    return std::make_shared<ZQObjectRESTUploaderOperation>(std::move(references));
}

ZQObjectRESTUploaderOperation::ZQObjectRESTUploaderOperation(References references)
    : references_(std::move(references)) {}

ZQObjectRESTUploaderOperation::~ZQObjectRESTUploaderOperation() {
    std::shared_ptr<platform::OperationQueue> queue;
    {
        platform::MutexLock lock(mutex_);
        queue = std::move(queue_);
    }
    if (queue) queue->cancelAllOperations();
}

std::shared_ptr<ZQObjectRESTUploaderOperation> ZQObjectRESTUploaderOperation::self() {
    return std::static_pointer_cast<ZQObjectRESTUploaderOperation>(shared_from_this());
}

platform::ErrorPtr ZQObjectRESTUploaderOperation::error() const {
    platform::MutexLock lock(mutex_);
    return error_;
}

void ZQObjectRESTUploaderOperation::setDelegate(std::weak_ptr<ZQObjectUploaderDelegate> delegate) {
    platform::MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

void ZQObjectRESTUploaderOperation::setProgressObserver(ProgressObserver observer) {
    platform::MutexLock lock(mutex_);
    progressObserver_ = std::move(observer);
}

std::shared_ptr<ZQObjectUploaderDelegate> ZQObjectRESTUploaderOperation::delegate() const {
    platform::MutexLock lock(mutex_);
    return delegate_.lock();
}

int ZQObjectRESTUploaderOperation::configuredMaxConcurrentUploads() {
    std::shared_ptr<ZQBundle> bundle = ZQBundle::mainBundle();
    Value setting =
        bundle ? bundle->objectForInfoDictionaryKey(ZQObjectRESTUploaderMaxConcurrentUploadsInfoKey)
               : Value();
    std::optional<double> number = setting.number();
    if (!number || setting.boolean()) return kDefaultMaxConcurrentUploads;
    if (*number < 1) return platform::OperationQueue::kDefaultMaxConcurrentOperationCount;
    return *number > 1000 ? 1000 : static_cast<int>(*number);
}

void ZQObjectRESTUploaderOperation::main() {
    if (isCancelled()) {
        finishUploader();
        return;
    }
    {
        platform::MutexLock lock(mutex_);
        started_ = true;
    }
    if (!platform::isMainThread()) {
        auto strong = self();
        platform::dispatchAsyncOnMain([strong] { strong->startOnMain(); });
        return;
    }
    startOnMain();
}

void ZQObjectRESTUploaderOperation::startOnMain() {
    if (isCancelled()) {
        finishUploader();
        return;
    }
    std::shared_ptr<platform::OperationQueue> queue;
    {
        platform::MutexLock lock(mutex_);
        if (ended_) return;
        if (queue_) queue_->cancelAllOperations();
        queue_ = platform::OperationQueue::create("ZQObjectRESTUploaderOperation");
        queue_->setMaxConcurrentOperationCount(configuredMaxConcurrentUploads());
        queue = queue_;
    }
    queue->setSuspended(true);
    Step finalStep = ZQInvocationWithSelfOperation::create(
        self(), &ZQObjectRESTUploaderOperation::finishUploading);
    std::optional<platform::URL> url;
    bool noURL = false;
    for (const auto& reference : references_) {
        enumerateSingleObjectsToUploadReferenceIn(reference, [&](const SingleRef& single) {
            if (noURL || single->uploadedObjectId()) return;
            if (!single->isValidReference()) {
                std::shared_ptr<ZQLoggerService> logger = ZQLog::loggerService();
                if (logger->isLogEnabled()) {
                    logger->logMessage(
                        "File upload aborted, file not found: " + single->objectReferenceName(),
                        ZQLogTypeData, ZQLogLevelWarning, true);
                }
                return;
            }
            if (!url) url = uploadURL();
            if (!url) {
                noURL = true;
                return;
            }
            addUploadSteps(queue, *url, single, finalStep);
        });
    }
    if (noURL) {
        onError(defaultZQErrorWithDeveloperDescription(
            "The object uploader has no server URL: the application has no server base URL."));
        return;
    }
    queue->addOperation(finalStep);
    queue->setSuspended(false);
}

std::optional<platform::URL> ZQObjectRESTUploaderOperation::uploadURL() const {
    std::shared_ptr<ZQObjectUploaderDelegate> target = delegate();
    std::optional<std::string> restPath = target ? target->uploaderRestPath() : std::nullopt;
    return ZQEntityHelper::urlRelativeToServerBaseURL(
        restPath && !restPath->empty() ? "rest/" + *restPath + "/zqobject" : "zqobject");
}

void ZQObjectRESTUploaderOperation::addUploadSteps(
    const std::shared_ptr<platform::OperationQueue>& queue, const platform::URL& url,
    const SingleRef& reference, const Step& finalStep) {
    std::shared_ptr<ZQURLRequest> request = ZQApplicationHelper::requestWithURL(url);
    request->setHTTPMethod("POST");
    if (double timeout = ZQUndocumentedConfig::restUploaderTimeout(); timeout > 0) {
        request->setTimeoutInterval(timeout);
    }
    ProgressObserver observer;
    {
        platform::MutexLock lock(mutex_);
        observer = progressObserver_;
    }
    if (observer) {
        // The request does not own the reference: the uploader's array keeps it.
        std::weak_ptr<ZQSingleBinaryDataFieldReference> weakReference = reference;
        request->setUploadProgressHandler(
            [observer = std::move(observer), weakReference](int64_t sent, int64_t total) {
                if (SingleRef strong = weakReference.lock()) observer(strong, sent, total);
            });
    }
    auto strong = self();
    Step setup = ZQInvocationWithSelfOperation::create([strong, request, reference](const Step& s) {
        strong->setupFileUploadRequest(s, request, reference);
    });
    std::weak_ptr<ZQObjectRESTUploaderOperation> weak = strong;
    auto send = ZQURLRequestOperation::create(request, weak);
    auto parse = ZQParseJsonOperation::create(weak);
    auto setter = ZQDataSetterOperation::create(send, {{"data", "data"}}, parse);
    std::weak_ptr<ZQParseJsonOperation> weakParse = parse;
    Step read =
        ZQInvocationWithSelfOperation::create([strong, weakParse, reference](const Step& s) {
            strong->readObjectId(s, weakParse.lock(), reference);
        });
    send->addDependency(setup);
    setter->addDependency(send);
    parse->addDependency(setter);
    read->addDependency(parse);
    finalStep->addDependency(read);
    for (const std::shared_ptr<platform::Operation>& step :
         std::vector<std::shared_ptr<platform::Operation>>{setup, send, setter, parse, read}) {
        queue->addOperation(step);
    }
}

void ZQObjectRESTUploaderOperation::enumerateSingleObjectsToUploadReferenceIn(
    const std::shared_ptr<ZQBinaryDataFieldReference>& reference,
    const std::function<void(const SingleRef&)>& block) {
    if (!reference) return;
    if (reference->type() == ZQBinaryDataFieldReference::kTypeSingle) {
        if (auto single = std::dynamic_pointer_cast<ZQSingleBinaryDataFieldReference>(reference)) {
            block(single);
        }
    } else if (reference->type() == ZQBinaryDataFieldReference::kTypeComposite) {
        reference->enumerateObjectReferencesWithBlock(
            [&](const ZQBinaryDataFieldReferenceMember& member, bool&) {
                enumerateSingleObjectsToUploadReferenceIn(member.reference, block);
            });
    }
}

void ZQObjectRESTUploaderOperation::setupFileUploadRequest(
    const Step& step, const std::shared_ptr<ZQURLRequest>& request, const SingleRef& reference) {
    if (step->isCancelled()) return;
    std::optional<std::string> contentType;
    platform::ErrorPtr error;
    if (ZQEntityHelper::isImageFieldInfo(reference->typeInfo())) {
        error = setImageBody(*request, *reference, &contentType);
    } else if (reference->objectData().bytes()) {
        request->setHTTPBodyValue(reference->objectData());
    } else if (std::optional<std::filesystem::path> path = reference->filePath()) {
        // Sent from disk as libcurl reads it; opening it here reports an unreadable file as this
        // upload's error before anything is sent.
        if (std::ifstream(*path, std::ios::binary)) {
            request->setHTTPBodyFile(*path);
            contentType = ZQMIMETypes::mimeTypeForPathExtension(reference->objectURL()->path());
        } else {
            error = defaultZQErrorWithDeveloperDescription("The file " + path->string() +
                                                           " could not be read for upload.");
        }
    } else {
        error = notUploadable(*reference);
    }
    if (!error) {
        request->setValue(contentType ? *contentType : contentTypeForField(reference),
                          "Content-Type");
        return;
    }
    onErrorAndCancelOperationsOnMainThread(step, error);
}

void ZQObjectRESTUploaderOperation::readObjectId(const Step& step,
                                                 const std::shared_ptr<ZQParseJsonOperation>& parse,
                                                 const SingleRef& reference) {
    if (step->isCancelled()) return;
    Value parsed = parse ? parse->parsedData() : Value();
    Value objectId = parsed.isDictionary() ? parsed["object_id"] : Value();
    std::optional<std::string> text;
    if (std::optional<std::string_view> string = objectId.string()) {
        if (!string->empty()) text = std::string(*string);
    } else if (!objectId.boolean() && objectId.integer()) {
        // A server that numbers its objects answers a number; its decimal text is the same id.
        text = std::to_string(*objectId.integer());
    }
    reference->setUploadedObjectId(text);
    if (!text) {
        onErrorAndCancelOperationsOnMainThread(
            step, defaultZQErrorWithDeveloperDescription("The upload of " +
                                                         reference->objectReferenceName() +
                                                         " was answered without an object_id."));
    }
}

void ZQObjectRESTUploaderOperation::finishUploading(const Step& step) {
    if (step->isCancelled()) return;
    if (!platform::isMainThread()) {
        auto strong = self();
        platform::dispatchSyncOnMain([&] { strong->finishUploading(step); });
        return;
    }
    if (isCancelled()) {
        finishUploader();
        return;
    }
    std::shared_ptr<platform::OperationQueue> queue;
    if (!takeQueue(&queue, true)) return;
    if (queue) queue->cancelAllOperations();
    if (std::shared_ptr<ZQObjectUploaderDelegate> target = delegate()) {
        target->objectUploaderDidFinishUploading(self());
    }
    finish();
}

void ZQObjectRESTUploaderOperation::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    std::shared_ptr<const ZQHTTPURLResponse> response = operation->response();
    int64_t status = response ? response->statusCode() : 0;
    if (status >= 200 && status <= 299) return;
    platform::ErrorPtr error = ZQUtilities::errorFromResponseData(operation->data());
    onErrorAndCancelOperationsOnMainThread(
        operation, error ? error : errorForHTTPURLResponseStatusCode(status));
}

void ZQObjectRESTUploaderOperation::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    onErrorAndCancelOperationsOnMainThread(operation, operation->error());
}

void ZQObjectRESTUploaderOperation::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    if (operation->isCancelled()) return;
    onErrorAndCancelOperationsOnMainThread(operation, operation->error());
}

void ZQObjectRESTUploaderOperation::onErrorAndCancelOperationsOnMainThread(
    const std::shared_ptr<platform::Operation>& step, platform::ErrorPtr error) {
    if (!platform::isMainThread()) {
        // Waited for, so that the failing step's dependents find themselves cancelled.
        auto strong = self();
        platform::dispatchSyncOnMain(
            [&] { strong->onErrorAndCancelOperationsOnMainThread(step, error); });
        return;
    }
    if (step && step->isCancelled()) {
        finishUploader();
        return;
    }
    onError(error ? std::move(error) : defaultZQError());
}

void ZQObjectRESTUploaderOperation::onError(platform::ErrorPtr error) {
    std::shared_ptr<platform::OperationQueue> queue;
    if (!takeQueue(&queue, true)) return;
    {
        platform::MutexLock lock(mutex_);
        error_ = error;
    }
    if (queue) queue->cancelAllOperations();
    if (std::shared_ptr<ZQObjectUploaderDelegate> target = delegate()) {
        target->objectUploaderDidFailUploadingWithError(self(), error);
    }
    finish();
}

void ZQObjectRESTUploaderOperation::finishUploader() {
    std::shared_ptr<platform::OperationQueue> queue;
    static_cast<void>(takeQueue(&queue, true));
    if (queue) queue->cancelAllOperations();
    finish();
}

bool ZQObjectRESTUploaderOperation::takeQueue(std::shared_ptr<platform::OperationQueue>* queue,
                                              bool end) {
    platform::MutexLock lock(mutex_);
    *queue = std::move(queue_);
    queue_.reset();
    if (ended_) return false;
    if (end) ended_ = true;
    return true;
}

void ZQObjectRESTUploaderOperation::cancel() {
    platform::Operation::cancel();
    std::shared_ptr<platform::OperationQueue> queue;
    bool started = false;
    {
        platform::MutexLock lock(mutex_);
        queue = std::move(queue_);
        queue_.reset();
        started = started_;
        if (started) ended_ = true;
    }
    if (queue) queue->cancelAllOperations();
    // A cancelled step never runs, so the final step cannot end a started operation.
    if (started) finish();
}
