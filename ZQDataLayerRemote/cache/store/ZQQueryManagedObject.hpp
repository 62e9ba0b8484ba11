// The cache's record of one server query: its base URI and parameters (how it is found again),
// when it was stored, when its data was stored and the server's Last-Modified. Base of the
// collection and single-item query classes. Used on the thread of its context only.
#pragma once

#include <optional>
#include <string>

#include "platform/Date.hpp"
#include "platform/Error.hpp"
#include "platform/objectstore/ManagedObject.hpp"

class ZQQueryManagedObject : public platform::ManagedObject {
  public:
    static constexpr const char* kQueryBaseUriKey = "queryBaseUri";
    static constexpr const char* kQueryParametersKey = "queryParameters";
    static constexpr const char* kTimeStampKey = "timeStamp";
    static constexpr const char* kDataTimeStampKey = "dataTimeStamp";
    static constexpr const char* kLastModifiedKey = "lastModified";

    std::optional<std::string> queryBaseUri();
    [[nodiscard]] platform::ErrorPtr setQueryBaseUri(const std::string& uri);
    std::optional<std::string> queryParameters();
    // Absent clears it.
    [[nodiscard]] platform::ErrorPtr setQueryParameters(
        const std::optional<std::string>& parameters);
    std::optional<platform::Date> timeStamp();
    [[nodiscard]] platform::ErrorPtr setTimeStamp(platform::Date date);
    std::optional<platform::Date> dataTimeStamp();
    [[nodiscard]] platform::ErrorPtr setDataTimeStamp(platform::Date date);
    std::optional<platform::Date> lastModified();
    // Absent clears it.
    [[nodiscard]] platform::ErrorPtr setLastModified(const std::optional<platform::Date>& date);
};
