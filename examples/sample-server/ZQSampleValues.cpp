#include "examples/sample-server/ZQSampleValues.hpp"

#include <unicode/unistr.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/DateFormat.hpp"

using platform::Value;

namespace {

std::string shortestDouble(double number) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::optional<platform::Date> dateOf(const Value& value) {
    if (std::optional<platform::Date> date = value.date()) return date;
    if (std::optional<std::string_view> text = value.string()) return platform::parseISO8601(*text);
    return std::nullopt;
}

std::optional<double> numberOf(const Value& value) {
    if (std::optional<double> number = value.number()) return number;
    if (std::optional<std::string_view> text = value.string()) return ZQSampleValues::number(*text);
    return std::nullopt;
}

std::optional<bool> booleanOf(const Value& value) {
    if (std::optional<bool> flag = value.boolean()) return flag;
    if (std::optional<double> number = value.number()) return *number != 0;
    if (std::optional<std::string_view> text = value.string())
        return ZQSampleValues::boolean(*text);
    return std::nullopt;
}

template <typename T>
int order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool isDateType(std::optional<ZQDataType> type) {
    return type == ZQDataTypeDate || type == ZQDataTypeDateTime;
}

}  // namespace

std::string ZQSampleValues::text(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Absent:
        case Value::Kind::Null:
            return {};
        case Value::Kind::String:
            return std::string(*value.string());
        case Value::Kind::Bool:
            return *value.boolean() ? "true" : "false";
        case Value::Kind::Integer:
            return std::to_string(*value.integer());
        case Value::Kind::Double:
            return shortestDouble(*value.number());
        case Value::Kind::Decimal:
            return value.decimal()->text();
        case Value::Kind::Date:
            return platform::iso8601String(*value.date());
        default:
            return ZQJSON::write(value).text;
    }
}

std::string ZQSampleValues::folded(std::string_view text) {
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
        .foldCase()
        .toUTF8String(out);
    return out;
}

std::optional<double> ZQSampleValues::number(std::string_view text) {
    double number = 0;
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, number);
    if (text.empty() || ec != std::errc() || stop != end || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<bool> ZQSampleValues::boolean(std::string_view text) {
    if (text == "true" || text == "1") return true;
    if (text == "false" || text == "0") return false;
    return std::nullopt;
}

bool ZQSampleValues::readsAs(std::string_view text, std::optional<ZQDataType> type) {
    if (!type) return true;
    switch (*type) {
        case ZQDataTypeNumeric:
            return number(text).has_value();
        case ZQDataTypeDate:
        case ZQDataTypeDateTime:
            return platform::parseISO8601(text).has_value();
        case ZQDataTypeBoolean:
            return boolean(text).has_value();
        default:
            return true;
    }
}

std::optional<int> ZQSampleValues::compare(const Value& rowValue, std::string_view text,
                                           std::optional<ZQDataType> type) {
    if (rowValue.isNothing()) return std::nullopt;
    if (type == ZQDataTypeNumeric || (!type && rowValue.isNumber())) {
        std::optional<double> row = numberOf(rowValue), given = number(text);
        if (row && given) return order(*row, *given);
        if (type) return std::nullopt;
    } else if (isDateType(type)) {
        std::optional<platform::Date> row = dateOf(rowValue), given = platform::parseISO8601(text);
        if (!row || !given) return std::nullopt;
        return order(*row, *given);
    } else if (type == ZQDataTypeBoolean) {
        std::optional<bool> row = booleanOf(rowValue), given = boolean(text);
        if (!row || !given) return std::nullopt;
        return order(*row, *given);
    }
    if (rowValue.isArray() || rowValue.isDictionary()) return std::nullopt;
    return order(folded(ZQSampleValues::text(rowValue)), folded(text));
}

std::string ZQSampleValues::sortKeyOfNothing() {
    return std::string(1, '\x01');
}

std::string ZQSampleValues::sortKeyOfNumber(double number) {
    // IEEE 754 bits made to sort as unsigned integers: negatives have every bit flipped,
    // positives only the sign bit.
    uint64_t bits = std::bit_cast<uint64_t>(number == 0 ? 0.0 : number);
    bits = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
    std::string key(1, '\x02');
    for (int shift = 56; shift >= 0; shift -= 8) key += static_cast<char>((bits >> shift) & 0xFF);
    return key;
}

std::string ZQSampleValues::sortKeyOfText(std::string_view bytes) {
    // Collation keys hold no zero byte, nor do ISO dates; the terminator delimits the field.
    std::string key(1, '\x03');
    for (char c : bytes) {
        if (c != '\0') key += c;
    }
    key += '\0';
    return key;
}
