// A date formatter fixed to the UTC time zone and the en_US_POSIX locale (English names, Gregorian
// calendar, ASCII digits), for the date patterns of the JSON and HTTP texts the host exchanges.
// Immutable after construction, so one formatter is shared by every thread; the process-wide
// cache of formatters by pattern has its own mutex.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.hpp"

// Pattern letters (as in the Unicode date patterns): y (yy: two digits), M (MMM short, MMMM full
// month name), d, H, h with a (AM/PM), m, s, S (fraction digits), E (EEE short, EEEE full weekday
// name), z ("GMT"), Z ("+0000"), X ("Z"). Text in single quotes is literal ('' is a quote); other
// characters are literal. Parsing is strict about the pattern, except that after the last field it
// also takes a fraction of seconds (".5", ".123456") when the pattern has none, and a zone ("Z",
// "GMT", "UTC", "+01:00", "-0530") when the pattern has none; a text without zone is UTC.
class ZQDateFormatter {
  public:
    explicit ZQDateFormatter(std::string dateFormat);

    const std::string& dateFormat() const { return format_; }
    std::string stringFromDate(platform::Date date) const;
    // None when the text does not match the pattern or names an impossible date.
    std::optional<platform::Date> dateFromString(std::string_view text) const;

    struct Element {
        char letter = 0;  // 0 for literal text
        int count = 0;
        std::string literal;
    };

  private:
    std::string format_;
    std::vector<Element> elements_;
    bool hasFraction_ = false;
    bool hasZone_ = false;
};

// The shared formatter for the pattern (made on first use and kept).
std::shared_ptr<const ZQDateFormatter>
dateFormatterWithTimeZone_UTC_Locale_en_US_POSIX_forDateFormat(const std::string& dateFormat);
