// What a cache load operation reads: the cached record of a query only, or its rows too.
// A plain enumeration; no state.
#pragma once

#include <cstdint>

enum class ZQEntityDataCacheLoadResultType : uint8_t {
    record = 0,  // the query's cached record and the number of its rows
    rows = 1,    // the record and its rows (collection) or its entity data (single item)
};
