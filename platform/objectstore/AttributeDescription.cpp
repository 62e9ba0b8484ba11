#include "platform/objectstore/AttributeDescription.hpp"

#include <cmath>
#include <limits>

namespace platform {

namespace {

// Decimals are stored as canonical text so that equal numbers ("12.30", "12.3", "1.23e1") match in
// SQL comparisons: no exponent, no leading or trailing zeros, "-" only for non-zero values.
Decimal canonicalDecimal(const Decimal& d) {
    const std::string& text = d.text();
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string digits;
    long exponent = 0;  // value = digits * 10^exponent
    bool inFraction = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.') {
            inFraction = true;
        } else if (c >= '0' && c <= '9') {
            digits += c;
            if (inFraction) --exponent;
        } else {
            break;
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        long e = std::strtol(text.c_str() + i + 1, nullptr, 10);
        if (e > 100000 || e < -100000) return d;  // out of any useful range: keep as given
        exponent += e;
    }
    size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return *Decimal::fromString("0");
    digits.erase(0, first);
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    std::string out = negative ? "-" : "";
    if (exponent >= 0) {
        out += digits;
        out.append(static_cast<size_t>(exponent), '0');
    } else {
        size_t fraction = static_cast<size_t>(-exponent);
        if (digits.size() > fraction) {
            out += digits.substr(0, digits.size() - fraction) + "." +
                   digits.substr(digits.size() - fraction);
        } else {
            out += "0." + std::string(fraction - digits.size(), '0') + digits;
        }
    }
    return *Decimal::fromString(out);
}

// Whether canonicalDecimal would give the text back unchanged, so that the value can be kept.
bool isCanonicalDecimal(const std::string& text) {
    size_t i = 0, n = text.size();
    bool negative = n > 0 && text[0] == '-';
    if (negative) ++i;
    size_t start = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    size_t whole = i - start;
    if (whole == 0 || (whole > 1 && text[start] == '0')) return false;
    if (i == n) return !(negative && text[start] == '0');  // "0", never "-0"
    if (text[i] != '.') return false;
    size_t fraction = ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    return i == n && i > fraction && text[n - 1] != '0';
}

bool toInteger(const Value& value, int64_t min, int64_t max, Value& out) {
    std::optional<int64_t> i;
    if (auto b = value.boolean(); b && value.kind() == Value::Kind::Bool) {
        i = *b ? 1 : 0;
    } else if (value.isNumber()) {
        i = value.integer();
        if (!i) {
            double d = *value.number();
            if (!std::isfinite(d) || d < -9.2e18 || d > 9.2e18) return false;
            i = static_cast<int64_t>(d);  // the integer types drop the fraction
        }
    }
    if (!i || *i < min || *i > max) return false;
    out = Value(static_cast<long long>(*i));
    return true;
}

}  // namespace

const char* attributeTypeName(AttributeType type) {
    switch (type) {
        case AttributeType::Undefined:
            return "undefined";
        case AttributeType::Integer16:
            return "integer16";
        case AttributeType::Integer32:
            return "integer32";
        case AttributeType::Integer64:
            return "integer64";
        case AttributeType::Decimal:
            return "decimal";
        case AttributeType::Double:
            return "double";
        case AttributeType::Float:
            return "float";
        case AttributeType::String:
            return "string";
        case AttributeType::Boolean:
            return "boolean";
        case AttributeType::Date:
            return "date";
        case AttributeType::Binary:
            return "binary";
        case AttributeType::ObjectID:
            return "objectID";
    }
    return "undefined";
}

bool isStorableAttributeType(AttributeType type) {
    return type != AttributeType::Undefined && type != AttributeType::ObjectID;
}

std::shared_ptr<AttributeDescription> AttributeDescription::create(std::string name,
                                                                   AttributeType type,
                                                                   bool optional) {
    auto a = std::make_shared<AttributeDescription>();
    a->setName(std::move(name));
    a->setAttributeType(type);
    a->setOptional(optional);
    return a;
}

bool AttributeDescription::isEqualTo(const PropertyDescription& other) const {
    if (!PropertyDescription::isEqualTo(other)) return false;
    return type_ == static_cast<const AttributeDescription&>(other).type_;
}

bool AttributeDescription::coerce(const Value& value, Value& out) const {
    if (value.isNothing()) {
        out = Value();
        return true;
    }
    switch (type_) {
        case AttributeType::Integer16:
            return toInteger(value, INT16_MIN, INT16_MAX, out);
        case AttributeType::Integer32:
            return toInteger(value, INT32_MIN, INT32_MAX, out);
        case AttributeType::Integer64:
            return toInteger(value, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max(), out);
        case AttributeType::Decimal:
            if (const Decimal* d = value.decimal()) {
                out = isCanonicalDecimal(d->text()) ? value : Value(canonicalDecimal(*d));
            } else if (value.kind() == Value::Kind::Integer) {
                out = Value(*Decimal::fromString(std::to_string(*value.integer())));
            } else if (value.kind() == Value::Kind::Double) {
                out = Value(canonicalDecimal(Decimal::fromDouble(*value.number())));
            } else {
                return false;
            }
            return true;
        case AttributeType::Double:
        case AttributeType::Float: {
            if (!value.isNumber() && value.kind() != Value::Kind::Bool) return false;
            double d = value.isNumber() ? *value.number() : (*value.boolean() ? 1.0 : 0.0);
            if (type_ == AttributeType::Float) d = static_cast<double>(static_cast<float>(d));
            out = Value(d);
            return true;
        }
        case AttributeType::String:
            if (!value.isString()) return false;
            out = value;
            return true;
        case AttributeType::Boolean:
            if (value.kind() == Value::Kind::Bool) {
                out = value;
            } else if (value.isNumber()) {
                out = Value(*value.number() != 0);
            } else {
                return false;
            }
            return true;
        case AttributeType::Date:
            if (value.kind() != Value::Kind::Date) return false;
            out = value;
            return true;
        case AttributeType::Binary:
            if (value.kind() != Value::Kind::Bytes) return false;
            out = value;
            return true;
        case AttributeType::Undefined:
        case AttributeType::ObjectID:
            return false;
    }
    return false;
}

}  // namespace platform
