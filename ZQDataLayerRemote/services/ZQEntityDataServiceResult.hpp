// The outcome of one data-service load: the parsed JSON answer or an error, with the HTTP status
// and the server's Last-Modified time. Abstract: a load makes a collection or a single-item result
// (create() picks the class), and that one object is shared by every requester of the load, so
// several threads may read it while one sets a field; mutex_ guards the five fields.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"
#include "platform/Date.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/Value.hpp"

class ZQEntityDataServiceResult : public platform::Object {
  public:
    static constexpr int64_t kStatusNotModified = 304;

    // A ZQEntityDataServiceCollectionResult when isCollection, else a
    // ZQEntityDataServiceSingleItemResult; data is shaped by the class chosen.
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceResult> create(
        bool isCollection, platform::Value data, int64_t statusCode,
        std::optional<platform::Date> lastModified, platform::ErrorPtr error);

    // None when a parsed answer has the shape a result of its kind holds: an array of rows for a
    // collection, an object for a single item. Otherwise a ZQJSONErrorShape error saying what was
    // expected and what came, so that an answer of another shape never reads as "no rows".
    [[nodiscard]] static platform::ErrorPtr shapeErrorForParsedData(bool isCollection,
                                                                    const platform::Value& data);

    // The parsed answer; absent when there was none (a 304, an error). Setting it shapes it as
    // the class does at construction. An answer kept as text (streamedRows) is parsed whole by
    // the first call, and kept so.
    platform::Value data() const EXCLUDES(mutex_);
    void setData(platform::Value data) EXCLUDES(mutex_);
    // A collection's answer kept unparsed, for the cache to save a run of rows at a time; none
    // when the answer was parsed (or there was none).
    std::shared_ptr<const ZQJSONArrayReader> streamedRows() const EXCLUDES(mutex_);
    void setStreamedRows(std::shared_ptr<const ZQJSONArrayReader> rows) EXCLUDES(mutex_);
    // 0 when no answer was received.
    int64_t statusCode() const EXCLUDES(mutex_);
    void setStatusCode(int64_t statusCode) EXCLUDES(mutex_);
    std::optional<platform::Date> lastModified() const EXCLUDES(mutex_);
    void setLastModified(std::optional<platform::Date> date) EXCLUDES(mutex_);
    [[nodiscard]] platform::ErrorPtr error() const EXCLUDES(mutex_);
    void setError(platform::ErrorPtr error) EXCLUDES(mutex_);

    // No error. A 304 answer is successful and up to date at once.
    bool isSuccessful() const EXCLUDES(mutex_);
    bool isUpToDate() const EXCLUDES(mutex_);
    // Answered by the concrete class; the abstract class has no answer and stops the process.
    virtual bool isCollection() const;

    std::string description() const override EXCLUDES(mutex_);

  protected:
    // A result without its values is a programming error: stops the process with
    // "ZQEntityDataServiceResult invalid init".
    ZQEntityDataServiceResult();
    ZQEntityDataServiceResult(platform::Value shapedData, int64_t statusCode,
                              std::optional<platform::Date> lastModified, platform::ErrorPtr error);

    // How this class keeps a JSON answer; the value unchanged unless a subclass says otherwise.
    virtual platform::Value shapedData(platform::Value data) const { return data; }

    // Reports the condition to the host and ends the process.
    [[noreturn]] static void stopWithFatalMessage(const char* message);

  private:
    mutable platform::Mutex mutex_;
    mutable platform::Value data_ GUARDED_BY(mutex_);
    std::shared_ptr<const ZQJSONArrayReader> streamedRows_ GUARDED_BY(mutex_);
    int64_t statusCode_ GUARDED_BY(mutex_) = 0;
    std::optional<platform::Date> lastModified_ GUARDED_BY(mutex_);
    platform::ErrorPtr error_ GUARDED_BY(mutex_);
};
