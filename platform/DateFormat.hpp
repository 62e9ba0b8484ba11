// Text forms of dates: the HTTP date (RFC 1123), the platform's standard description and the
// ISO 8601 forms found in JSON. Free functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Date.hpp"

namespace platform {

// "Wed, 31 Jan 2024 12:00:00 GMT" (whole seconds, always GMT, English names).
std::string httpDateString(Date date);
// Parses an HTTP date with libcurl's date parser; text that does not parse gives no date.
std::optional<Date> parseHTTPDate(std::string_view text);

// "2024-01-31 12:00:00 +0000".
std::string standardDateDescription(Date date);

// "2024-01-31T12:00:00" in UTC; with fractionDigits > 0, that many digits of fraction.
std::string iso8601String(Date date, int fractionDigits = 0);
// "2024-01-31", "2024-01-31T12:00:00", with an optional fraction (".5", ".123456") and an
// optional zone ("Z", "+01:00", "-0530"); without a zone the text is read as UTC.
std::optional<Date> parseISO8601(std::string_view text);

}  // namespace platform
