// The decision that ends a remote query's cache check: what the cached record says (time stamp,
// Last-Modified, complete), whether the server must be asked, the cache read back, or the waiting
// next pages told at once that they hold everything, and which rows the request asks for.
// Stateless static functions; the record is read on the calling thread (a cache-queue thread)
// in a context of its own, the rest is pure.
#pragma once

#include <cstdint>
#include <optional>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRange.hpp"
#include "platform/Date.hpp"

class ZQRemoteEntityDataManagerCacheCheck {
  public:
    struct Record {
        // False when the operation found a record that cannot be read now.
        bool readable = true;
        std::optional<platform::Date> timeStamp;
        std::optional<platform::Date> lastModified;
        // Collections only: no more rows on the server. False without a record.
        bool complete = false;
    };
    enum class Decision { Server, Cache, UpToDate };

    // The record the operation found, read in a new private context on its coordinator; all
    // absent when it found none.
    [[nodiscard]] static Record readRecord(const ZQEntityDataCacheLoadOperation& operation);

    // force: some waiting query is forced; refresh: some is First or Refresh. The cache is fresh
    // only for a refresh within the data source's window (frequency type 1, minutes > 0) after
    // the record's time stamp; a complete collection needs no request for next pages alone.
    [[nodiscard]] static Decision decide(const Record& record, bool force, bool refresh,
                                         const ZQRemoteEntityDataSourceDescriptor* dataSource,
                                         platform::Date now);

    // The rows to ask for: everything when a query has no page size, every row held (at least a
    // page) when one wants all it loaded again, else the next page, or the first on a refresh.
    [[nodiscard]] static ZQRange pageRange(uint64_t maxPageSize, uint64_t cachedCount,
                                           bool anyAllLoadedData, bool refresh);
};
