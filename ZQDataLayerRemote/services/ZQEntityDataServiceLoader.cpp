#include "ZQDataLayerRemote/services/ZQEntityDataServiceLoader.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQDateFormatter.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"

using platform::MutexLock;

namespace {

const ZQDateFormatter& httpDateFormatter() {
    static const std::shared_ptr<const ZQDateFormatter> formatter =
        dateFormatterWithTimeZone_UTC_Locale_en_US_POSIX_forDateFormat(
            ZQEntityDataServiceLoader::kHTTPDateFormat);
    return *formatter;
}

bool hasBody(const platform::Value& data) {
    const platform::Value::Bytes* bytes = data.bytes();
    if (bytes) return !bytes->empty();
    std::optional<std::string_view> text = data.string();
    return text && !text->empty();
}

}  // namespace

ZQEntityDataServiceLoader::ZQEntityDataServiceLoader(
    std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
    std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate)
    : queryInfo_(std::move(queryInfo)), delegate_(std::move(delegate)) {}

std::shared_ptr<ZQEntityDataServiceLoader> ZQEntityDataServiceLoader::create(
    std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
    std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate) {
    return std::make_shared<ZQEntityDataServiceLoader>(std::move(queryInfo), std::move(delegate));
}

ZQEntityDataServiceLoader::~ZQEntityDataServiceLoader() {
    std::shared_ptr<ZQAuthorizationRequest> pending;
    std::shared_ptr<platform::OperationQueue> queue;
    {
        MutexLock lock(mutex_);
        pending = std::move(authRequestObject_);
        queue = opQueue_;
    }
    if (pending) ZQObjectsModelServices::securityService()->cancelAutorizationRequest(pending);
    if (queue) queue->cancelAllOperations();
}

void ZQEntityDataServiceLoader::start() {
    bool sent = true;
    {
        MutexLock lock(mutex_);
        if (cancelled_ || finished_) return;
        opQueue_ = platform::OperationQueue::create("ZQEntityDataServiceLoader");
        sent = sendRequestLocked();
    }
    if (!sent)
        finish(defaultZQErrorWithDeveloperDescription("No request for the data-service URL"),
               nullptr);
}

void ZQEntityDataServiceLoader::cancel() {
    std::shared_ptr<ZQAuthorizationRequest> pending;
    std::shared_ptr<platform::OperationQueue> queue;
    {
        MutexLock lock(mutex_);
        cancelled_ = true;
        pendingAuthorization_ = 0;
        pending = std::move(authRequestObject_);
        queue = opQueue_;
    }
    if (pending) ZQObjectsModelServices::securityService()->cancelAutorizationRequest(pending);
    if (queue) queue->cancelAllOperations();
}

std::shared_ptr<ZQEntityDataServiceLoaderDelegate> ZQEntityDataServiceLoader::delegate() const {
    MutexLock lock(mutex_);
    return delegate_.lock();
}

void ZQEntityDataServiceLoader::setDelegate(
    std::weak_ptr<ZQEntityDataServiceLoaderDelegate> delegate) {
    MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<platform::OperationQueue> ZQEntityDataServiceLoader::opQueue() const {
    MutexLock lock(mutex_);
    return opQueue_;
}

int64_t ZQEntityDataServiceLoader::statusCode() const {
    MutexLock lock(mutex_);
    return statusCode_;
}

std::optional<platform::Date> ZQEntityDataServiceLoader::lastModified() const {
    MutexLock lock(mutex_);
    return lastModified_;
}

platform::Value ZQEntityDataServiceLoader::parsedData() const {
    MutexLock lock(mutex_);
    return parsedData_;
}

bool ZQEntityDataServiceLoader::sendRequestLocked() {
    if (cancelled_ || finished_ || !opQueue_) return true;
    opQueue_->setSuspended(true);
    std::shared_ptr<ZQURLRequest> request = ZQApplicationHelper::requestWithURL(queryInfo_->url());
    if (!request) return false;
    if (std::optional<platform::Date> since = queryInfo_->ifModifiedSince()) {
        request->setValue(httpDateFormatter().stringFromDate(*since), "If-Modified-Since");
    }
    auto parse =
        addURLRequestAndParseJSONOperationsForRequest(opQueue_, request, shared_from_this());
    // A large list goes to the cache as text, a run of rows at a time.
    if (parse && queryInfo_->isCollection()) {
        parse->setStreamsArraysFrom(
            static_cast<size_t>(std::max<int64_t>(0, ZQUndocumentedConfig::streamedAnswerBytes())));
    }
    // Resuming hands ready operations to the worker pool; none runs on this thread, so holding
    // mutex_ here cannot deadlock with a callback.
    opQueue_->setSuspended(false);
    return true;
}

void ZQEntityDataServiceLoader::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    std::shared_ptr<const ZQHTTPURLResponse> response = operation->response();
    if (!response) {
        finish(defaultZQError(), operation.get());
        return;
    }
    const int64_t status = response->statusCode();
    {
        MutexLock lock(mutex_);
        statusCode_ = status;
    }
    const platform::Value data = operation->data();
    platform::ErrorPtr securityError;
    platform::Value recoveryOptions;
    ZQSecurityHelper::handleSecurityErrorFromResponse(response, data, &securityError,
                                                      &recoveryOptions);
    if (!recoveryOptions.isAbsent()) {
        authorize(recoveryOptions);  // the result comes after the request is sent again
        return;
    }
    if (securityError) {
        finish(securityError, operation.get());
        return;
    }
    const bool notModified = status == ZQEntityDataServiceResult::kStatusNotModified;
    const bool body = hasBody(data);
    // The host reports every HTTP status as an answer. A refusal or a server failure must not
    // become a successful result: its body (an error document) would be saved as the rows.
    if (!notModified && (status < 200 || status > 299)) {
        platform::ErrorPtr serverError = body ? ZQUtilities::errorFromResponseData(data) : nullptr;
        finish(serverError ? serverError : errorForHTTPURLResponseStatusCode(status),
               operation.get());
        return;
    }
    if (notModified || body) readLastModified(*response);
    if (notModified) {
        finish(nullptr, operation.get());  // nothing to parse; the cached rows stand
    } else if (!body) {
        finish(errorForHTTPURLResponseStatusCode(status), operation.get());
    }
    // Otherwise the parse operation reports next.
}

void ZQEntityDataServiceLoader::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    platform::ErrorPtr error = operation->error();
    finish(error ? error : defaultZQError(), operation.get());
}

void ZQEntityDataServiceLoader::parseJsonOperationDidFinishParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    if (operation->isCancelled()) return;
    if (auto rows = operation->arrayReader()) {
        {
            MutexLock lock(mutex_);
            streamedRows_ = std::move(rows);
        }
        finish(nullptr, operation.get());
        return;
    }
    platform::Value parsed = operation->parsedData();
    // Valid JSON of another shape (an object, a string, null, white space only) is no answer:
    // read as "no rows" it would empty the cached query.
    if (platform::ErrorPtr shapeError = ZQEntityDataServiceResult::shapeErrorForParsedData(
            queryInfo_->isCollection(), parsed)) {
        finish(shapeError, operation.get());
        return;
    }
    {
        MutexLock lock(mutex_);
        parsedData_ = std::move(parsed);
    }
    finish(nullptr, operation.get());
}

void ZQEntityDataServiceLoader::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    if (operation->isCancelled()) return;
    platform::ErrorPtr error = operation->error();
    finish(error ? error : defaultZQError(), operation.get());
}

void ZQEntityDataServiceLoader::readLastModified(const ZQHTTPURLResponse& response) {
    std::optional<std::string> text =
        ZQUtilities::nonEmptyStringFromObject(response.allHeaderFields().get("Last-Modified"));
    if (!text) return;  // without the header the earlier value stands
    std::optional<platform::Date> date = httpDateFormatter().dateFromString(*text);
    MutexLock lock(mutex_);
    lastModified_ = date;
}

void ZQEntityDataServiceLoader::authorize(const platform::Value& options) {
    std::shared_ptr<platform::OperationQueue> queue;
    std::shared_ptr<ZQAuthorizationRequest> previous;
    uint64_t ticket = 0;
    {
        MutexLock lock(mutex_);
        if (cancelled_ || finished_) return;
        queue = opQueue_;
        previous = std::move(authRequestObject_);
        ticket = ++authorizationCount_;
        pendingAuthorization_ = ticket;
    }
    // Keeps the parse of the refused answer from running while authorisation is pending.
    if (queue) queue->setSuspended(true);
    std::shared_ptr<ZQSecurityService> security = ZQObjectsModelServices::securityService();
    if (previous) security->cancelAutorizationRequest(previous);
    std::weak_ptr<ZQEntityDataServiceLoader> weakSelf = weak_from_this();
    std::shared_ptr<ZQAuthorizationRequest> request = security->requestAuthorizationWithOptions(
        options, [weakSelf, ticket](bool success, platform::ErrorPtr error) {
            if (auto self = weakSelf.lock()) {
                self->authorizationDidComplete(ticket, success, std::move(error));
            }
        });
    bool keep = false;
    {
        MutexLock lock(mutex_);
        // Not kept when the completion already ran, or when cancel() came meanwhile.
        keep = pendingAuthorization_ == ticket;
        if (keep) authRequestObject_ = request;
    }
    if (!keep && request) security->cancelAutorizationRequest(request);
}

void ZQEntityDataServiceLoader::authorizationDidComplete(uint64_t ticket, bool success,
                                                         platform::ErrorPtr error) {
    std::shared_ptr<platform::OperationQueue> queue;
    {
        MutexLock lock(mutex_);
        if (pendingAuthorization_ != ticket || cancelled_ || finished_) return;
        pendingAuthorization_ = 0;
        authRequestObject_.reset();
        queue = opQueue_;
    }
    if (!success) {
        finish(error ? error : defaultZQError(), nullptr);
        return;
    }
    // Always ask again, even when some operation of the queue was cancelled meanwhile: reporting
    // success without an answer would read as "no rows" and empty the cached query.
    if (queue) queue->cancelAllOperations();
    bool sent = true;
    {
        MutexLock lock(mutex_);
        sent = sendRequestLocked();  // sends nothing once cancel() came
    }
    if (!sent) {
        finish(defaultZQErrorWithDeveloperDescription("No request for the data-service URL"),
               nullptr);
    }
}

void ZQEntityDataServiceLoader::finish(platform::ErrorPtr error,
                                       const platform::Operation* fromOperation) {
    if (fromOperation && fromOperation->isCancelled()) return;
    std::shared_ptr<platform::OperationQueue> queue;
    std::shared_ptr<ZQEntityDataServiceLoaderDelegate> delegate;
    platform::Value data;
    std::shared_ptr<const ZQJSONArrayReader> rows;
    int64_t status = 0;
    std::optional<platform::Date> lastModified;
    {
        MutexLock lock(mutex_);
        if (cancelled_ || finished_) return;
        finished_ = true;
        queue = opQueue_;
        delegate = delegate_.lock();
        data = parsedData_;
        rows = std::move(streamedRows_);  // the result holds the text from now on
        status = statusCode_;
        lastModified = lastModified_;
    }
    if (queue) queue->cancelAllOperations();
    if (!delegate) return;
    std::shared_ptr<ZQEntityDataServiceResult> result = ZQEntityDataServiceResult::create(
        queryInfo_->isCollection(), std::move(data), status, lastModified, std::move(error));
    if (rows && !result->error()) result->setStreamedRows(std::move(rows));
    delegate->entityDataServiceLoaderDidFinishLoadingQuery(shared_from_this(), queryInfo_, result);
}

std::string ZQEntityDataServiceLoader::description() const {
    return "ZQEntityDataServiceLoader " + queryInfo_->description();
}
