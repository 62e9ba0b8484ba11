#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"

#include <cstdio>
#include <cstdlib>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceCollectionResult.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceSingleItemResult.hpp"
#include "platform/DateFormat.hpp"

using platform::MutexLock;

std::shared_ptr<ZQEntityDataServiceResult> ZQEntityDataServiceResult::create(
    bool isCollection, platform::Value data, int64_t statusCode,
    std::optional<platform::Date> lastModified, platform::ErrorPtr error) {
    if (isCollection) {
        return ZQEntityDataServiceCollectionResult::create(std::move(data), statusCode,
                                                           lastModified, std::move(error));
    }
    return ZQEntityDataServiceSingleItemResult::create(std::move(data), statusCode, lastModified,
                                                       std::move(error));
}

platform::ErrorPtr ZQEntityDataServiceResult::shapeErrorForParsedData(bool isCollection,
                                                                      const platform::Value& data) {
    if (isCollection ? data.isArray() : data.isDictionary()) return nullptr;
    std::string came = data.isAbsent() ? std::string("an answer without JSON text")
                                       : std::string("a JSON ") + platform::kindName(data.kind());
    if (data.isDictionary()) came = "a JSON object";
    return platform::Error::create(
        ZQJSONErrorDomain, ZQJSONErrorShape,
        std::string("The server's answer is not ") +
            (isCollection ? "a JSON array of rows" : "a JSON object for the item") + ": it is " +
            came);
}

ZQEntityDataServiceResult::ZQEntityDataServiceResult() {
    stopWithFatalMessage("ZQEntityDataServiceResult invalid init");
}

ZQEntityDataServiceResult::ZQEntityDataServiceResult(platform::Value shapedData, int64_t statusCode,
                                                     std::optional<platform::Date> lastModified,
                                                     platform::ErrorPtr error)
    : data_(std::move(shapedData)),
      statusCode_(statusCode),
      lastModified_(lastModified),
      error_(std::move(error)) {}

void ZQEntityDataServiceResult::stopWithFatalMessage(const char* message) {
    // The host hears of it first (and may log it); going on would hand callers a result that
    // answers nothing.
    (void)ZQUtilities::tryHandleFatalError(message);
    std::fprintf(stderr, "%s\n", message);
    std::fflush(stderr);
    std::abort();
}

platform::Value ZQEntityDataServiceResult::data() const {
    std::shared_ptr<const ZQJSONArrayReader> rows;
    {
        MutexLock lock(mutex_);
        if (!data_.isAbsent() || !streamedRows_) return data_;
        rows = streamedRows_;
    }
    // Parsed outside the lock: the text may be large. A text that does not parse has no rows.
    ZQJSONParseResult parsed = rows->parseWhole();
    platform::Value shaped = parsed.error ? platform::Value() : shapedData(std::move(parsed.value));
    MutexLock lock(mutex_);
    if (data_.isAbsent()) data_ = std::move(shaped);
    return data_;
}

std::shared_ptr<const ZQJSONArrayReader> ZQEntityDataServiceResult::streamedRows() const {
    MutexLock lock(mutex_);
    return streamedRows_;
}

void ZQEntityDataServiceResult::setStreamedRows(std::shared_ptr<const ZQJSONArrayReader> rows) {
    MutexLock lock(mutex_);
    streamedRows_ = std::move(rows);
}

void ZQEntityDataServiceResult::setData(platform::Value data) {
    platform::Value shaped = shapedData(std::move(data));
    MutexLock lock(mutex_);
    data_ = std::move(shaped);
}

int64_t ZQEntityDataServiceResult::statusCode() const {
    MutexLock lock(mutex_);
    return statusCode_;
}

void ZQEntityDataServiceResult::setStatusCode(int64_t statusCode) {
    MutexLock lock(mutex_);
    statusCode_ = statusCode;
}

std::optional<platform::Date> ZQEntityDataServiceResult::lastModified() const {
    MutexLock lock(mutex_);
    return lastModified_;
}

void ZQEntityDataServiceResult::setLastModified(std::optional<platform::Date> date) {
    MutexLock lock(mutex_);
    lastModified_ = date;
}

platform::ErrorPtr ZQEntityDataServiceResult::error() const {
    MutexLock lock(mutex_);
    return error_;
}

void ZQEntityDataServiceResult::setError(platform::ErrorPtr error) {
    MutexLock lock(mutex_);
    error_ = std::move(error);
}

bool ZQEntityDataServiceResult::isSuccessful() const {
    MutexLock lock(mutex_);
    return error_ == nullptr;
}

bool ZQEntityDataServiceResult::isUpToDate() const {
    MutexLock lock(mutex_);
    return statusCode_ == kStatusNotModified;
}

bool ZQEntityDataServiceResult::isCollection() const {
    stopWithFatalMessage("Abstract property");
}

std::string ZQEntityDataServiceResult::description() const {
    bool collection = isCollection();
    MutexLock lock(mutex_);
    std::string text = collection ? "collection result" : "single-item result";
    text += ", status " + std::to_string(statusCode_);
    if (lastModified_) {
        text += ", Last-Modified " + platform::standardDateDescription(*lastModified_);
    }
    if (error_) {
        text += ", error " + error_->description();
    } else if (data_.isAbsent() && streamedRows_) {
        text += ", data " + std::to_string(streamedRows_->text().size()) + " bytes of rows as text";
    } else {
        text += ", data " + data_.description();
    }
    return text;
}
