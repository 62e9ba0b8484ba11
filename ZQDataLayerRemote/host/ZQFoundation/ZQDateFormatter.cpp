#include "ZQDataLayerRemote/host/ZQFoundation/ZQDateFormatter.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>

#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace {

constexpr const char* kMonthsShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kMonthsFull[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDaysShort[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kDaysFull[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

int daysInMonth(int64_t y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

void pad(std::string& out, int64_t value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (value < 0) out += '-';
    for (int i = static_cast<int>(digits.size()); i < width; ++i) out += '0';
    out += digits;
}

bool isNumericLetter(char c) {
    return c == 'y' || c == 'M' || c == 'd' || c == 'H' || c == 'h' || c == 'm' || c == 's' ||
           c == 'S';
}

class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    bool literal(std::string_view lit) {
        if (text_.substr(pos_, lit.size()) != lit) return false;
        pos_ += lit.size();
        return true;
    }
    // Between minDigits and maxDigits digits.
    std::optional<int64_t> number(int minDigits, int maxDigits) {
        int64_t value = 0;
        int n = 0;
        while (n < maxDigits && !atEnd() && peek() >= '0' && peek() <= '9') {
            value = value * 10 + (peek() - '0');
            ++pos_;
            ++n;
        }
        if (n < minDigits) return std::nullopt;
        return value;
    }
    // Any digits, as a fraction of a second.
    std::optional<double> fraction() {
        double value = 0;
        double scale = 0.1;
        int n = 0;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            value += (peek() - '0') * scale;
            scale /= 10;
            ++pos_;
            ++n;
        }
        if (n == 0) return std::nullopt;
        return value;
    }
    // One of the names (case-insensitive), longest first; its index.
    std::optional<int> name(const char* const* names, int count) {
        int best = -1;
        size_t bestLength = 0;
        for (int i = 0; i < count; ++i) {
            std::string_view candidate(names[i]);
            if (candidate.size() <= bestLength || pos_ + candidate.size() > text_.size()) continue;
            bool same = true;
            for (size_t k = 0; k < candidate.size() && same; ++k) {
                same = std::tolower(static_cast<unsigned char>(text_[pos_ + k])) ==
                       std::tolower(static_cast<unsigned char>(candidate[k]));
            }
            if (same) {
                best = i;
                bestLength = candidate.size();
            }
        }
        if (best < 0) return std::nullopt;
        pos_ += bestLength;
        return best;
    }
    // "Z", "GMT", "UTC", "UT", optionally followed by an offset, or a bare offset "+hh[[:]mm]";
    // the offset in seconds east of UTC.
    std::optional<int64_t> zone() {
        if (literal("Z")) return 0;
        bool named = literal("GMT") || literal("UTC") || literal("UT");
        if (peek() != '+' && peek() != '-') {
            if (named) return 0;
            return std::nullopt;
        }
        int sign = peek() == '-' ? -1 : 1;
        ++pos_;
        std::optional<int64_t> hours = number(1, 2);
        if (!hours) return std::nullopt;
        int64_t minutes = 0;
        bool colon = literal(":");
        if (colon || (peek() >= '0' && peek() <= '9')) {
            std::optional<int64_t> m = number(2, 2);
            if (!m) return std::nullopt;
            minutes = *m;
        }
        if (*hours > 23 || minutes > 59) return std::nullopt;
        return sign * (*hours * 3600 + minutes * 60);
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

ZQDateFormatter::ZQDateFormatter(std::string dateFormat) : format_(std::move(dateFormat)) {
    const std::string& f = format_;
    for (size_t i = 0; i < f.size();) {
        char c = f[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            size_t j = i;
            while (j < f.size() && f[j] == c) ++j;
            elements_.push_back(Element{c, static_cast<int>(j - i), {}});
            if (c == 'S') hasFraction_ = true;
            if (c == 'z' || c == 'Z' || c == 'X') hasZone_ = true;
            i = j;
        } else if (c == '\'') {
            std::string literal;
            size_t j = i + 1;
            if (j < f.size() && f[j] == '\'') {
                literal = "'";
                j += 1;
            } else {
                while (j < f.size()) {
                    if (f[j] == '\'' && j + 1 < f.size() && f[j + 1] == '\'') {
                        literal += '\'';
                        j += 2;
                    } else if (f[j] == '\'') {
                        ++j;
                        break;
                    } else {
                        literal += f[j++];
                    }
                }
            }
            elements_.push_back(Element{0, 0, std::move(literal)});
            i = j;
        } else {
            elements_.push_back(Element{0, 0, std::string(1, c)});
            ++i;
        }
    }
}

std::string ZQDateFormatter::stringFromDate(platform::Date date) const {
    // Whole microseconds, so that 0.999999... does not show as the previous second.
    int64_t micros = std::llround(date.timeIntervalSince1970() * 1e6);
    int64_t seconds = micros >= 0 ? micros / 1000000 : -((-micros + 999999) / 1000000);
    int64_t fraction = micros - seconds * 1000000;
    int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    int64_t secondOfDay = seconds - days * 86400;
    int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    int hour = static_cast<int>(secondOfDay / 3600);
    int minute = static_cast<int>(secondOfDay / 60 % 60);
    int second = static_cast<int>(secondOfDay % 60);

    std::string out;
    for (const Element& e : elements_) {
        switch (e.letter) {
            case 0:
                out += e.literal;
                break;
            case 'y':
                e.count == 2 ? pad(out, year % 100, 2) : pad(out, year, e.count);
                break;
            case 'M':
                if (e.count >= 4)
                    out += kMonthsFull[month - 1];
                else if (e.count == 3)
                    out += kMonthsShort[month - 1];
                else
                    pad(out, month, e.count);
                break;
            case 'd':
                pad(out, day, e.count);
                break;
            case 'H':
                pad(out, hour, e.count);
                break;
            case 'h':
                pad(out, hour % 12 == 0 ? 12 : hour % 12, e.count);
                break;
            case 'a':
                out += hour < 12 ? "AM" : "PM";
                break;
            case 'm':
                pad(out, minute, e.count);
                break;
            case 's':
                pad(out, second, e.count);
                break;
            case 'S': {
                std::string digits;
                pad(digits, fraction, 6);
                digits.resize(static_cast<size_t>(e.count), '0');
                out += digits;
                break;
            }
            case 'E':
                out += e.count >= 4 ? kDaysFull[weekday] : kDaysShort[weekday];
                break;
            case 'z':
                out += "GMT";
                break;
            case 'Z':
                out += e.count >= 5 ? "Z" : "+0000";
                break;
            case 'X':
                out += "Z";
                break;
            default:
                out.append(static_cast<size_t>(e.count), e.letter);
                break;
        }
    }
    return out;
}

namespace {

// The fields read from a text, with the defaults of a pattern that leaves them out.
struct Fields {
    int64_t year = 1970;
    int64_t month = 1;
    int64_t day = 1;
    int64_t hour = 0;
    int64_t minute = 0;
    int64_t second = 0;
    double fraction = 0;
    int64_t offset = 0;  // seconds east of UTC
    std::optional<bool> pm;
    bool twoDigitYear = false;

    std::optional<platform::Date> toDate() {
        if (twoDigitYear) year += year < 70 ? 2000 : 1900;
        if (pm) {
            if (hour < 1 || hour > 12) return std::nullopt;
            hour = hour % 12 + (*pm ? 12 : 0);
        }
        if (month < 1 || month > 12 || day < 1 ||
            day > daysInMonth(year, static_cast<int>(month)) || hour > 23 || minute > 59 ||
            second > 59) {
            return std::nullopt;
        }
        int64_t seconds =
            daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
        return platform::Date(static_cast<double>(seconds - offset) + fraction);
    }
};

// Reads one pattern element; fixed when the next element is numeric too ("yyyyMMdd"), so that
// this one takes exactly its width.
bool readElement(Scanner& in, const ZQDateFormatter::Element& e, bool fixed, Fields& f) {
    int width = std::max(e.count, 2);
    auto num = [&](int64_t& out) {
        std::optional<int64_t> n = fixed ? in.number(e.count, e.count) : in.number(1, width);
        if (n) out = *n;
        return n.has_value();
    };
    switch (e.letter) {
        case 0:
            return in.literal(e.literal);
        case 'y': {
            f.twoDigitYear = e.count == 2;
            std::optional<int64_t> n = f.twoDigitYear ? in.number(2, 2)
                                       : fixed        ? in.number(e.count, e.count)
                                                      : in.number(1, std::max(e.count, 4));
            if (n) f.year = *n;
            return n.has_value();
        }
        case 'M': {
            if (e.count < 3) return num(f.month);
            std::optional<int> index =
                e.count == 3 ? in.name(kMonthsShort, 12) : in.name(kMonthsFull, 12);
            if (index) f.month = *index + 1;
            return index.has_value();
        }
        case 'd':
            return num(f.day);
        case 'H':
        case 'h':
            return num(f.hour);
        case 'm':
            return num(f.minute);
        case 's':
            return num(f.second);
        case 'S': {
            std::optional<double> fraction = in.fraction();
            if (fraction) f.fraction = *fraction;
            return fraction.has_value();
        }
        case 'a': {
            static const char* const marks[] = {"AM", "PM"};
            std::optional<int> index = in.name(marks, 2);
            if (index) f.pm = *index == 1;
            return index.has_value();
        }
        case 'E':
            return (e.count >= 4 ? in.name(kDaysFull, 7) : in.name(kDaysShort, 7)).has_value();
        case 'z':
        case 'Z':
        case 'X': {
            std::optional<int64_t> zone = in.zone();
            if (zone) f.offset = *zone;
            return zone.has_value();
        }
        default:
            return false;
    }
}

}  // namespace

std::optional<platform::Date> ZQDateFormatter::dateFromString(std::string_view text) const {
    Scanner in(text);
    Fields fields;
    for (size_t i = 0; i < elements_.size(); ++i) {
        bool fixed = i + 1 < elements_.size() && isNumericLetter(elements_[i + 1].letter);
        if (!readElement(in, elements_[i], fixed, fields)) return std::nullopt;
    }
    if (!hasFraction_ && in.peek() == '.') {
        in.literal(".");
        std::optional<double> fraction = in.fraction();
        if (!fraction) return std::nullopt;
        fields.fraction = *fraction;
    }
    if (!hasZone_ && !in.atEnd()) {
        std::optional<int64_t> zone = in.zone();
        if (!zone) return std::nullopt;
        fields.offset = *zone;
    }
    if (!in.atEnd()) return std::nullopt;
    return fields.toDate();
}

std::shared_ptr<const ZQDateFormatter>
dateFormatterWithTimeZone_UTC_Locale_en_US_POSIX_forDateFormat(const std::string& dateFormat) {
    struct Cache {
        platform::Mutex mutex;
        std::map<std::string, std::shared_ptr<const ZQDateFormatter>> formatters GUARDED_BY(mutex);
    };
    static platform::Immortal<Cache> cache;
    Cache& c = cache.get();
    platform::MutexLock lock(c.mutex);
    auto& slot = c.formatters[dateFormat];
    if (!slot) slot = std::make_shared<const ZQDateFormatter>(dateFormat);
    return slot;
}
