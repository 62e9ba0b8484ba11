#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"

using platform::MutexLock;
using platform::Value;

std::shared_ptr<ZQURLRequestOperation> ZQURLRequestOperation::create(
    std::shared_ptr<ZQURLRequest> request, std::weak_ptr<ZQURLRequestOperationDelegate> delegate) {
    auto operation = std::make_shared<ZQURLRequestOperation>();
    operation->setRequest(std::move(request));
    operation->setDelegate(std::move(delegate));
    return operation;
}

ZQURLRequestOperation::ZQURLRequestOperation() : KeyValueCoding(keyTable()) {}

std::span<const platform::KeyValueCoding::Key> ZQURLRequestOperation::keyTable() {
    using Self = ZQURLRequestOperation;
    static constexpr Key kKeys[] = {
        {"data", [](const KeyValueCoding& self) { return static_cast<const Self&>(self).data(); },
         nullptr},
        {"response",
         [](const KeyValueCoding& self) {
             const auto& op = static_cast<const Self&>(self);
             MutexLock lock(op.mutex_);
             return op.response_ ? Value::object(op.response_) : Value();
         },
         nullptr},
        {"request",
         [](const KeyValueCoding& self) {
             std::shared_ptr<ZQURLRequest> request = static_cast<const Self&>(self).request();
             return request ? Value::object(std::move(request)) : Value();
         },
         [](KeyValueCoding& self, const Value& value) {
             static_cast<Self&>(self).setRequest(
                 std::dynamic_pointer_cast<ZQURLRequest>(value.object()));
         }},
    };
    return kKeys;
}

ZQURLRequestOperation::~ZQURLRequestOperation() = default;

void ZQURLRequestOperation::setRequest(std::shared_ptr<ZQURLRequest> request) {
    MutexLock lock(mutex_);
    request_ = std::move(request);
}

std::shared_ptr<ZQURLRequest> ZQURLRequestOperation::request() const {
    MutexLock lock(mutex_);
    return request_;
}

void ZQURLRequestOperation::setDelegate(std::weak_ptr<ZQURLRequestOperationDelegate> delegate) {
    MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ZQURLRequestOperationDelegate> ZQURLRequestOperation::delegate() const {
    MutexLock lock(mutex_);
    return delegate_.lock();
}

std::shared_ptr<const ZQHTTPURLResponse> ZQURLRequestOperation::response() const {
    MutexLock lock(mutex_);
    return response_;
}

Value ZQURLRequestOperation::data() const {
    MutexLock lock(mutex_);
    return data_;
}

platform::ErrorPtr ZQURLRequestOperation::error() const {
    MutexLock lock(mutex_);
    return error_;
}

void ZQURLRequestOperation::main() {
    auto self = std::static_pointer_cast<ZQURLRequestOperation>(shared_from_this());
    std::shared_ptr<ZQURLRequest> request = this->request();
    if (!request) {
        ZQURLTransport::Result result;
        result.error =
            defaultZQErrorWithDeveloperDescription("A URL request operation has no request.");
        didComplete(std::move(result));
        return;
    }
    if (auto logger = ZQLog::loggerService(); logger && logger->isLogEnabled()) {
        logger->logMessage(request->httpMethod() + " " + request->url().absoluteString(),
                           ZQLogTypeNetwork, ZQLogLevelInfo, false);
    }
    // A copy: later changes to the caller's request do not reach a transfer in flight.
    ZQURLTransport& transport = ZQURLTransport::shared();
    std::shared_ptr<ZQURLTransport::Transfer> transfer = transport.prepare(
        *request, [self](ZQURLTransport::Result result) { self->didComplete(std::move(result)); });
    bool cancelledMeanwhile = false;
    {
        MutexLock lock(mutex_);
        transfer_ = transfer;
        cancelledMeanwhile = isCancelled();
    }
    // cancel() ran before the transfer was stored; the cancelled completion finishes us.
    if (cancelledMeanwhile) transport.cancel(transfer);
    // When no worker drives the transport, this one does, so that a lone request goes out and
    // its answer is handled without waking two other threads on the way.
    transport.begin(transfer, true);
}

void ZQURLRequestOperation::cancel() {
    Operation::cancel();
    std::shared_ptr<ZQURLTransport::Transfer> transfer;
    {
        MutexLock lock(mutex_);
        transfer = std::move(transfer_);
    }
    // The transfer's cancelled completion finishes the operation, a moment later on a worker:
    // finishing here would start dependent operations before a cancelAllOperations() that is
    // still going through the queue has cancelled them too.
    if (transfer) ZQURLTransport::shared().cancel(transfer);
}

void ZQURLRequestOperation::didComplete(ZQURLTransport::Result result) {
    auto self = std::static_pointer_cast<ZQURLRequestOperation>(shared_from_this());
    if (result.response && result.response->requestAuthorization() &&
        result.response->statusCode() != 401) {
        ZQSecurityService::sharedInstance()->noteAuthorizationAccepted(
            *result.response->requestAuthorization());
    }
    std::shared_ptr<ZQURLRequestOperationDelegate> delegate;
    bool answered = result.response != nullptr;
    {
        MutexLock lock(mutex_);
        transfer_.reset();
        response_ = std::move(result.response);
        data_ = std::move(result.data);
        error_ = std::move(result.error);
        delegate = delegate_.lock();
    }
    if (delegate && !isCancelled()) {
        if (answered) {
            delegate->urlRequestOperationDidFinishLoading(self);
        } else {
            delegate->urlRequestOperationDidFailLoading(self);
        }
    }
    finish();
}
