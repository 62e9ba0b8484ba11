// A range of positions: location and length, both unsigned 64-bit. Value type; any thread.
#pragma once

#include <cstdint>

struct ZQRange {
    uint64_t location = 0;
    uint64_t length = 0;
    bool operator==(const ZQRange&) const = default;
};
