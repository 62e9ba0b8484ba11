// One warning-value of an HTTP Warning header field (RFC 7234, section 5.5), and the parser of a
// whole field value. Value type; the parser is a pure function, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.hpp"

struct ZQHTTPWarningHeader {
    int64_t code = 0;                    // the three-digit warn-code
    std::string agent;                   // warn-agent: host[:port] or a pseudonym, "-" when unknown
    std::string warningText;             // warn-text, unquoted and unescaped
    std::optional<platform::Date> date;  // warn-date, when present and readable
    // Miscellaneous warnings (199 and 299) carry free text meant for a person; every other code
    // reports cache machinery with a fixed meaning and is not shown to users.
    bool isUserWarning = false;

    // Parses a field value: a comma-separated list of
    //   warn-code SP warn-agent SP warn-text [SP warn-date]
    // Tolerant: a value that does not parse is skipped up to the next comma outside quotes, a
    // text that is not quoted is read up to the next comma, an unreadable date is left out.
    // None when the value holds no readable warning at all.
    static std::optional<std::vector<ZQHTTPWarningHeader>> parseList(std::string_view value);
};
