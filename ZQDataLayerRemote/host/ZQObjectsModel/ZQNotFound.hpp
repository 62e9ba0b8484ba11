// The "no index" marker used wherever an index is optional (no order, no search field, no
// group-by limit): the largest signed 64-bit value. A constant; any thread.
#pragma once

#include <cstdint>

inline constexpr uint64_t ZQNotFound = 0x7FFFFFFFFFFFFFFFull;
