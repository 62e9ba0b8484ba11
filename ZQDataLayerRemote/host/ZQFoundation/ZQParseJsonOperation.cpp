#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

using platform::MutexLock;
using platform::Value;

std::shared_ptr<ZQParseJsonOperation> ZQParseJsonOperation::create(
    std::weak_ptr<ZQParseJsonOperationDelegate> delegate) {
    auto operation = std::make_shared<ZQParseJsonOperation>();
    operation->setDelegate(std::move(delegate));
    return operation;
}

ZQParseJsonOperation::ZQParseJsonOperation() : KeyValueCoding(keyTable()) {}

std::span<const platform::KeyValueCoding::Key> ZQParseJsonOperation::keyTable() {
    using Self = ZQParseJsonOperation;
    static constexpr Key kKeys[] = {
        {"data", [](const KeyValueCoding& self) { return static_cast<const Self&>(self).data(); },
         [](KeyValueCoding& self, const Value& value) { static_cast<Self&>(self).setData(value); }},
        {"parsedData",
         [](const KeyValueCoding& self) { return static_cast<const Self&>(self).parsedData(); },
         [](KeyValueCoding& self, const Value& value) {
             auto& op = static_cast<Self&>(self);
             MutexLock lock(op.mutex_);
             op.parsedData_ = value;
         }},
    };
    return kKeys;
}

void ZQParseJsonOperation::setDelegate(std::weak_ptr<ZQParseJsonOperationDelegate> delegate) {
    MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ZQParseJsonOperationDelegate> ZQParseJsonOperation::delegate() const {
    MutexLock lock(mutex_);
    return delegate_.lock();
}

void ZQParseJsonOperation::setSource(std::shared_ptr<ZQURLRequestOperation> source) {
    MutexLock lock(mutex_);
    source_ = std::move(source);
}

std::shared_ptr<ZQURLRequestOperation> ZQParseJsonOperation::source() const {
    MutexLock lock(mutex_);
    return source_;
}

void ZQParseJsonOperation::setData(Value data) {
    MutexLock lock(mutex_);
    data_ = std::move(data);
}

Value ZQParseJsonOperation::data() const {
    MutexLock lock(mutex_);
    return data_;
}

Value ZQParseJsonOperation::parsedData() const {
    MutexLock lock(mutex_);
    return parsedData_;
}

platform::ErrorPtr ZQParseJsonOperation::error() const {
    MutexLock lock(mutex_);
    return error_;
}

void ZQParseJsonOperation::setStreamsArraysFrom(size_t bytes) {
    MutexLock lock(mutex_);
    streamsArraysFrom_ = bytes;
}

size_t ZQParseJsonOperation::streamsArraysFrom() const {
    MutexLock lock(mutex_);
    return streamsArraysFrom_;
}

std::shared_ptr<const ZQJSONArrayReader> ZQParseJsonOperation::arrayReader() const {
    MutexLock lock(mutex_);
    return arrayReader_;
}

void ZQParseJsonOperation::main() {
    auto self = std::static_pointer_cast<ZQParseJsonOperation>(shared_from_this());
    Value input;
    std::shared_ptr<ZQURLRequestOperation> source;
    size_t streamsFrom = 0;
    {
        MutexLock lock(mutex_);
        streamsFrom = streamsArraysFrom_;
        input = data_;
        source = source_;
    }
    // The parse of a cancelled request is cancelled too, even when the queue has not got to it.
    if (source && source->isCancelled()) return;
    if (input.isAbsent() && source) input = source->data();

    Value parsed;
    platform::ErrorPtr error;
    std::string_view text;
    if (const Value::Bytes* bytes = input.bytes()) {
        text = std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    } else if (std::optional<std::string_view> string = input.string()) {
        text = *string;
    } else {
        error = platform::Error::create(
            ZQErrorDomain, ZQErrorCodeNoData, "There is no data to read.",
            platform::Dictionary{
                {ZQDeveloperDescriptionErrorKey,
                 Value(source && source->error() ? source->error()->localizedDescription()
                                                 : std::string("no data was given to parse"))}});
    }
    // A large array stays text for its reader; nothing but white space is an answer without a
    // body.
    std::shared_ptr<const ZQJSONArrayReader> reader;
    if (!error && streamsFrom > 0 && text.size() >= streamsFrom &&
        ZQJSONArrayReader::startsWithArray(text)) {
        reader = std::make_shared<const ZQJSONArrayReader>(input);
    } else if (!error && text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
        ZQJSONParseResult result = ZQJSON::parse(text);
        parsed = std::move(result.value);
        error = std::move(result.error);
    }
    std::shared_ptr<ZQParseJsonOperationDelegate> delegate;
    {
        MutexLock lock(mutex_);
        parsedData_ = parsed;
        arrayReader_ = std::move(reader);
        error_ = error;
        delegate = delegate_.lock();
    }
    if (!delegate || isCancelled()) return;
    if (error) {
        delegate->parseJsonOperationDidFailParsing(self);
    } else {
        delegate->parseJsonOperationDidFinishParsing(self);
    }
}
