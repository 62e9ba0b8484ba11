// The rows the sample server answers, per data provider, each with the time it last changed (the
// Last-Modified of its answers). Owned by the server; read by its request threads and changed by
// any thread (the server's own data endpoint, tests, tools); mutex_ guards every entry. Values are
// immutable and shared, so a snapshot is taken under the lock and read without it.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "examples/sample-server/ZQSampleProvider.hpp"
#include "examples/sample-server/ZQSampleRowCache.hpp"
#include "platform/Date.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/Value.hpp"

inline constexpr const char* ZQSampleServerErrorDomain = "ZQSampleServerErrorDomain";

enum ZQSampleServerErrorCode : int64_t {
    ZQSampleServerErrorUnknownProvider = 1,
    ZQSampleServerErrorBadData = 2,  // data of the wrong shape for the provider or the change
    ZQSampleServerErrorFile = 3,     // a model or data file that cannot be read or parsed
    ZQSampleServerErrorBind = 4,     // the listening socket could not be opened
};

struct ZQSampleSnapshot {
    platform::Value data;
    platform::Date lastModified;
    // For data that is an array of rows: what answers derive from this version of it.
    std::shared_ptr<ZQSampleRowCache> cache;
};

struct ZQSampleChange {
    size_t rows = 0;  // rows added, changed or removed (replace: rows in the new data)
    platform::Date lastModified;
    platform::ErrorPtr error;
};

class ZQSampleDataStore {
  public:
    using Catalog = std::map<std::string, std::shared_ptr<const ZQSampleProvider>>;

    // Every provider of the catalog starts empty ([] or {}), modified now.
    explicit ZQSampleDataStore(Catalog catalog);

    const Catalog& catalog() const { return catalog_; }

    // Reads "<directory>/<provider name>.json" for every provider that has one; its modification
    // time becomes the provider's (whole seconds), so that a restarted server answers the same
    // Last-Modified for the same files. The first file that does not parse is the error.
    [[nodiscard]] platform::ErrorPtr loadDirectory(const std::filesystem::path& directory)
        EXCLUDES(mutex_);

    std::optional<ZQSampleSnapshot> snapshot(const std::string& provider) const EXCLUDES(mutex_);

    // Each change that touches a row moves the provider's modification time to now, and at
    // least one second past the previous one: HTTP dates have whole seconds, and a client that
    // asked within the same second must not be told its copy is still current.
    //
    // The data as the data files lay it out (ZQSampleQuery::evaluate): an array of rows, or an
    // object.
    [[nodiscard]] ZQSampleChange replace(const std::string& provider, platform::Value data)
        EXCLUDES(mutex_);
    // Appends rows (objects) to an array of rows; with a key, to the array under that key of a
    // keyed collection (made when missing).
    [[nodiscard]] ZQSampleChange append(const std::string& provider, platform::Array rows,
                                        const std::optional<std::string>& key = std::nullopt)
        EXCLUDES(mutex_);
    // Sets the members of `changes` on every row whose members equal those of `match` (an empty
    // match takes every row); with a key, only among the rows under that key. Rows are the
    // elements of arrays and the items of keyed single items; nested sublevels are not searched.
    [[nodiscard]] ZQSampleChange patch(const std::string& provider,
                                       const platform::Dictionary& match,
                                       const platform::Dictionary& changes,
                                       const std::optional<std::string>& key = std::nullopt)
        EXCLUDES(mutex_);
    // Removes the rows that match, as patch selects them.
    [[nodiscard]] ZQSampleChange remove(const std::string& provider,
                                        const platform::Dictionary& match,
                                        const std::optional<std::string>& key = std::nullopt)
        EXCLUDES(mutex_);

    // Rewrites the whole data under the lock, so that no other change lands between the read and
    // the write: edit answers the new data (an array or an object), or none to leave the data and
    // its modification time alone. rows is 1 when the data changed.
    using DataEdit = std::function<std::optional<platform::Value>(const platform::Value&)>;
    [[nodiscard]] ZQSampleChange update(const std::string& provider, const DataEdit& edit)
        EXCLUDES(mutex_);

  private:
    struct Entry {
        platform::Value data;
        platform::Date lastModified;
        std::shared_ptr<ZQSampleRowCache> cache;

        // Every new version of the data gets a cache of its own.
        void setData(platform::Value newData);
    };
    // Rewrites the rows that match: edit gives the new row, or none to drop it.
    using RowEdit = std::function<std::optional<platform::Value>(const platform::Value&)>;
    ZQSampleChange editRows(const std::string& provider, const platform::Dictionary& match,
                            const std::optional<std::string>& key, const RowEdit& edit)
        EXCLUDES(mutex_);
    // The entry of a known provider; none (and the error set) otherwise.
    Entry* entryLocked(const std::string& provider, ZQSampleChange& change) REQUIRES(mutex_);
    void bumpLocked(Entry& entry, ZQSampleChange& change) REQUIRES(mutex_);

    const Catalog catalog_;
    mutable platform::Mutex mutex_;
    std::map<std::string, Entry> entries_ GUARDED_BY(mutex_);
};
