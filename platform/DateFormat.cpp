#include "platform/DateFormat.hpp"

#include <curl/curl.h>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace platform {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm utcParts(Date date, double* fraction = nullptr) {
    double seconds = date.timeIntervalSince1970();
    double whole = std::floor(seconds);
    if (fraction) *fraction = seconds - whole;
    std::time_t t = static_cast<std::time_t>(whole);
    std::tm parts{};
    gmtime_r(&t, &parts);
    return parts;
}

bool readDigits(std::string_view text, size_t& pos, size_t count, int& out) {
    if (pos + count > text.size()) return false;
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    out = value;
    return true;
}

bool expect(std::string_view text, size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

std::string httpDateString(Date date) {
    std::tm p = utcParts(date);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[p.tm_wday],
                  p.tm_mday, kMonths[p.tm_mon], p.tm_year + 1900, p.tm_hour, p.tm_min, p.tm_sec);
    return buf;
}

std::optional<Date> parseHTTPDate(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string copy(text);
    time_t t = curl_getdate(copy.c_str(), nullptr);
    if (t == -1) return std::nullopt;
    return Date(static_cast<double>(t));
}

std::string standardDateDescription(Date date) {
    std::tm p = utcParts(date);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d +0000", p.tm_year + 1900,
                  p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec);
    return buf;
}

std::string iso8601String(Date date, int fractionDigits) {
    if (fractionDigits > 9) fractionDigits = 9;
    long long scale = 1;
    for (int i = 0; i < fractionDigits; ++i) scale *= 10;
    double fraction = 0;
    std::tm p = utcParts(date, &fraction);
    // Without fraction digits the seconds are cut, as in the other text forms; with them the
    // last digit is rounded.
    long long digits =
        fractionDigits > 0 ? static_cast<long long>(std::floor(fraction * scale + 0.5)) : 0;
    if (fractionDigits > 0 && digits >= scale) {
        // The fraction rounds up to a whole second (59.9996 with three digits is 00.000 of the
        // next minute), so the carry goes into the date and time.
        p = utcParts(Date(std::floor(date.timeIntervalSince1970()) + 1));
        digits = 0;
    }
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.tm_year + 1900,
                          p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec);
    std::string out(buf, static_cast<size_t>(n));
    if (fractionDigits > 0) {
        std::snprintf(buf, sizeof buf, ".%0*lld", fractionDigits, digits);
        out += buf;
    }
    return out;
}

std::optional<Date> parseISO8601(std::string_view text) {
    size_t pos = 0;
    std::tm parts{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readDigits(text, pos, 4, year) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, month) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, day)) {
        return std::nullopt;
    }
    double fraction = 0;
    int offsetSeconds = 0;
    if (pos < text.size()) {
        if (!expect(text, pos, 'T') && !expect(text, pos, ' ')) return std::nullopt;
        if (!readDigits(text, pos, 2, hour) || !expect(text, pos, ':') ||
            !readDigits(text, pos, 2, minute)) {
            return std::nullopt;
        }
        if (expect(text, pos, ':') && !readDigits(text, pos, 2, second)) return std::nullopt;
        if (expect(text, pos, '.')) {
            double scale = 0.1;
            size_t start = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                fraction += (text[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
            if (pos == start) return std::nullopt;
        }
        if (pos < text.size()) {
            char sign = text[pos];
            if (sign == 'Z') {
                ++pos;
            } else if (sign == '+' || sign == '-') {
                ++pos;
                int oh = 0, om = 0;
                if (!readDigits(text, pos, 2, oh)) return std::nullopt;
                // "+01", "+0100" or "+01:00"; a colon needs the minutes after it.
                bool colon = expect(text, pos, ':');
                if ((colon || pos < text.size()) && !readDigits(text, pos, 2, om)) {
                    return std::nullopt;
                }
                if (oh > 23 || om > 59) return std::nullopt;
                offsetSeconds = (oh * 3600 + om * 60) * (sign == '-' ? -1 : 1);
            } else {
                return std::nullopt;
            }
        }
    }
    if (pos != text.size()) return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    std::time_t t = timegm(&parts);
    if (parts.tm_mday != day) return std::nullopt;  // 31 February and friends
    return Date(static_cast<double>(t) + fraction - offsetSeconds);
}

}  // namespace platform
