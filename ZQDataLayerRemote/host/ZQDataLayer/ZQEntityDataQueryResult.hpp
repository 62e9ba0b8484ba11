// Protocol of the answer to one query: when the data was last written from the server, and the
// error when the query failed. A result is built on one thread and then handed to the delegates;
// nobody changes it after it is delivered.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/Date.hpp"
#include "platform/Error.hpp"

// Where a result came from; the entity data manager names the values it sets.
using ZQEntityDataQueryResultSourceType = uint8_t;

class ZQEntityDataQueryResult {
  public:
    virtual ~ZQEntityDataQueryResult() = default;
    virtual std::optional<platform::Date> timeStamp() const = 0;
    // None for a successful result.
    virtual platform::ErrorPtr error() const = 0;
};
