// An operation that parses a JSON body into a platform::Value on its worker thread. The text
// comes from data() when a step set it (a data setter writing "data"), else from the source
// request operation's data. Empty bytes (a 304 or any answer without a body) parse to an absent
// value without error; no bytes at all (the request failed) is ZQErrorCodeNoData. The parse of a
// cancelled source reports nothing. A text of at least streamsArraysFrom() bytes that opens an
// array is not parsed: arrayReader() keeps it for its reader to take in runs of elements, and
// parsedData() stays absent. The delegate is
// held weakly. Any thread; the mutex guards every field. Key-value keys: "data", "parsedData".
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/Error.hpp"
#include "platform/KeyValueCoding.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"

class ZQParseJsonOperation : public platform::Operation, public platform::KeyValueCoding {
  public:
    [[nodiscard]] static std::shared_ptr<ZQParseJsonOperation> create(
        std::weak_ptr<ZQParseJsonOperationDelegate> delegate = {});
    ZQParseJsonOperation();

    void setDelegate(std::weak_ptr<ZQParseJsonOperationDelegate> delegate) EXCLUDES(mutex_);
    std::shared_ptr<ZQParseJsonOperationDelegate> delegate() const EXCLUDES(mutex_);
    // The request operation whose body is parsed when no data was set. Add it as a dependency
    // too; addURLRequestAndParseJSONOperationsForRequest does both.
    void setSource(std::shared_ptr<ZQURLRequestOperation> source) EXCLUDES(mutex_);
    std::shared_ptr<ZQURLRequestOperation> source() const EXCLUDES(mutex_);

    // Bytes (or a string) to parse.
    void setData(platform::Value data) EXCLUDES(mutex_);
    platform::Value data() const EXCLUDES(mutex_);
    platform::Value parsedData() const EXCLUDES(mutex_);
    platform::ErrorPtr error() const EXCLUDES(mutex_);
    // 0 (the default): every text is parsed.
    void setStreamsArraysFrom(size_t bytes) EXCLUDES(mutex_);
    size_t streamsArraysFrom() const EXCLUDES(mutex_);
    // The unparsed array text, when it was kept instead of parsed.
    std::shared_ptr<const ZQJSONArrayReader> arrayReader() const EXCLUDES(mutex_);

    void main() override EXCLUDES(mutex_);

  private:
    static std::span<const Key> keyTable();

    mutable platform::Mutex mutex_;
    std::weak_ptr<ZQParseJsonOperationDelegate> delegate_ GUARDED_BY(mutex_);
    std::shared_ptr<ZQURLRequestOperation> source_ GUARDED_BY(mutex_);
    platform::Value data_ GUARDED_BY(mutex_);
    platform::Value parsedData_ GUARDED_BY(mutex_);
    platform::ErrorPtr error_ GUARDED_BY(mutex_);
    size_t streamsArraysFrom_ GUARDED_BY(mutex_) = 0;
    std::shared_ptr<const ZQJSONArrayReader> arrayReader_ GUARDED_BY(mutex_);
};
