#include "platform/Value.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/DateFormat.hpp"

namespace platform {

std::string Object::description() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "<object %p>", static_cast<const void*>(this));
    return buf;
}

// ---- Decimal

std::optional<Decimal> Decimal::fromString(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        size_t expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    return Decimal(std::string(text));
}

Decimal Decimal::fromDouble(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    // Prefer the shortest text that reads back as the same double.
    for (int precision = 1; precision <= 17; ++precision) {
        char shorter[32];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
        if (std::strtod(shorter, nullptr) == value) return Decimal(shorter);
    }
    return Decimal(buf);
}

double Decimal::toDouble() const {
    return std::strtod(text_.c_str(), nullptr);
}

bool Decimal::operator==(const Decimal& other) const {
    return text_ == other.text_ || toDouble() == other.toDouble();
}

// ---- Dictionary

namespace {
bool keyLess(const Dictionary::Entry& e, std::string_view key) {
    return e.first < key;
}
}  // namespace

Dictionary::Dictionary(std::initializer_list<Entry> entries)
    : Dictionary(fromEntries(std::vector<Entry>(entries))) {}

Dictionary Dictionary::fromEntries(std::vector<Entry> entries) {
    Dictionary d;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    d.entries_.reserve(entries.size());
    for (auto& e : entries) {
        bool repeated = !d.entries_.empty() && d.entries_.back().first == e.first;
        if (e.second.isAbsent()) {
            if (repeated) d.entries_.pop_back();  // a later absent value removes the key
        } else if (repeated) {
            d.entries_.back().second = std::move(e.second);  // later entry wins
        } else {
            d.entries_.push_back(std::move(e));
        }
    }
    return d;
}

Dictionary Dictionary::fromSortedEntries(std::vector<Entry> entries) {
#ifndef NDEBUG
    for (size_t i = 0; i < entries.size(); ++i) {
        assert(!entries[i].second.isAbsent());
        assert(i == 0 || entries[i - 1].first < entries[i].first);
    }
#endif
    Dictionary d;
    d.entries_ = std::move(entries);
    return d;
}

const Value* Dictionary::find(std::string_view key) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key, keyLess);
    if (it == entries_.end() || it->first != key) return nullptr;
    return &it->second;
}

Value Dictionary::get(std::string_view key) const {
    const Value* v = find(key);
    return v ? *v : Value();
}

void Dictionary::set(std::string key, Value value) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key, keyLess);
    bool exists = it != entries_.end() && it->first == key;
    if (value.isAbsent()) {
        if (exists) entries_.erase(it);
    } else if (exists) {
        it->second = std::move(value);
    } else {
        entries_.emplace(it, std::move(key), std::move(value));
    }
}

void Dictionary::erase(std::string_view key) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key, keyLess);
    if (it != entries_.end() && it->first == key) entries_.erase(it);
}

std::vector<std::string> Dictionary::keys() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.first);
    return out;
}

bool Dictionary::operator==(const Dictionary& other) const {
    return entries_ == other.entries_;
}

// ---- Value

namespace {
// The integer a decimal's text spells exactly ("-42"), read without going through double.
std::optional<int64_t> exactInteger(const std::string& text) {
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    int64_t value = 0;
    auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}
}  // namespace

Value Value::null() {
    Value v;
    v.v_ = NullTag{};
    return v;
}

Value Value::bytes(Bytes data) {
    Value v;
    v.v_ = std::make_shared<const Bytes>(std::move(data));
    return v;
}

Value Value::array(std::initializer_list<Value> items) {
    return Value(platform::Array(items));
}

Value Value::dictionary(std::initializer_list<Dictionary::Entry> entries) {
    return Value(platform::Dictionary(entries));
}

Value Value::objectID(std::shared_ptr<const platform::Object> identifier) {
    Value v;
    if (identifier) v.v_ = ObjectIDRef{std::move(identifier)};
    return v;
}

Value Value::object(std::shared_ptr<platform::Object> object) {
    Value v;
    if (object) v.v_ = std::move(object);
    return v;
}

Value Value::sharedString(std::shared_ptr<const std::string> text) {
    Value v;
    if (text) v.v_ = std::move(text);
    return v;
}

bool Value::isNumber() const {
    auto k = kind();
    return k == Kind::Integer || k == Kind::Double || k == Kind::Decimal;
}

std::optional<bool> Value::boolean() const {
    if (auto* b = std::get_if<bool>(&v_)) return *b;
    return std::nullopt;
}

std::optional<int64_t> Value::integer() const {
    switch (kind()) {
        case Kind::Integer:
            return std::get<int64_t>(v_);
        case Kind::Double:
        case Kind::Decimal: {
            double d = *number();
            if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 9.2e18) {
                return static_cast<int64_t>(d);
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<double> Value::number() const {
    switch (kind()) {
        case Kind::Integer:
            return static_cast<double>(std::get<int64_t>(v_));
        case Kind::Double:
            return std::get<double>(v_);
        case Kind::Decimal:
            return std::get<std::shared_ptr<const platform::Decimal>>(v_)->toDouble();
        default:
            return std::nullopt;
    }
}

const platform::Decimal* Value::decimal() const {
    auto* p = std::get_if<std::shared_ptr<const platform::Decimal>>(&v_);
    return p ? p->get() : nullptr;
}

const std::string* Value::string() const {
    auto* p = std::get_if<std::shared_ptr<const std::string>>(&v_);
    return p ? p->get() : nullptr;
}

std::optional<platform::Date> Value::date() const {
    if (auto* d = std::get_if<platform::Date>(&v_)) return *d;
    return std::nullopt;
}

const Value::Bytes* Value::bytes() const {
    auto* p = std::get_if<std::shared_ptr<const Bytes>>(&v_);
    return p ? p->get() : nullptr;
}

const platform::Array* Value::array() const {
    auto* p = std::get_if<std::shared_ptr<const platform::Array>>(&v_);
    return p ? p->get() : nullptr;
}

const platform::Dictionary* Value::dictionary() const {
    auto* p = std::get_if<std::shared_ptr<const platform::Dictionary>>(&v_);
    return p ? p->get() : nullptr;
}

std::shared_ptr<const platform::Object> Value::objectID() const {
    auto* p = std::get_if<ObjectIDRef>(&v_);
    return p ? p->ptr : nullptr;
}

std::shared_ptr<platform::Object> Value::object() const {
    auto* p = std::get_if<std::shared_ptr<platform::Object>>(&v_);
    return p ? *p : nullptr;
}

Value Value::operator[](std::string_view key) const {
    const platform::Dictionary* d = dictionary();
    return d ? d->get(key) : Value();
}

Value Value::at(size_t index) const {
    const platform::Array* a = array();
    return a && index < a->size() ? (*a)[index] : Value();
}

size_t Value::count() const {
    if (const platform::Array* a = array()) return a->size();
    if (const platform::Dictionary* d = dictionary()) return d->size();
    return 0;
}

bool Value::operator==(const Value& other) const {
    if (isNumber() && other.isNumber()) {
        if (kind() == Kind::Integer && other.kind() == Kind::Integer) {
            return std::get<int64_t>(v_) == std::get<int64_t>(other.v_);
        }
        if (kind() == Kind::Decimal && other.kind() == Kind::Decimal) {
            return *decimal() == *other.decimal();
        }
        if (kind() == Kind::Integer || other.kind() == Kind::Integer) {
            // Integers past 2^53 do not survive the trip through double (2^53 + 1 would equal
            // 2^53), so the other side must be a whole number converting to the same integer.
            const Value& integerSide = kind() == Kind::Integer ? *this : other;
            const Value& numberSide = kind() == Kind::Integer ? other : *this;
            std::optional<int64_t> asInteger;
            if (const platform::Decimal* d = numberSide.decimal()) {
                asInteger = exactInteger(d->text());
            }
            if (!asInteger) asInteger = numberSide.integer();
            return asInteger && *asInteger == std::get<int64_t>(integerSide.v_);
        }
        return *number() == *other.number();
    }
    if (kind() != other.kind()) return false;
    switch (kind()) {
        case Kind::Absent:
        case Kind::Null:
            return true;
        case Kind::Bool:
            return std::get<bool>(v_) == std::get<bool>(other.v_);
        case Kind::String:
            return *string() == *other.string();
        case Kind::Date:
            return *date() == *other.date();
        case Kind::Bytes:
            return *bytes() == *other.bytes();
        case Kind::Array:
            return array() == other.array() || *array() == *other.array();
        case Kind::Dictionary:
            return dictionary() == other.dictionary() || *dictionary() == *other.dictionary();
        case Kind::ObjectID: {
            auto a = objectID(), b = other.objectID();
            return a == b || a->isEqualTo(*b);
        }
        case Kind::Object: {
            auto a = object(), b = other.object();
            return a == b || a->isEqualTo(*b);
        }
        default:
            return false;
    }
}

namespace {
void appendQuoted(std::string& out, const std::string& s) {
    out += '"';
    for (char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    out += '"';
}
}  // namespace

void Value::describeInto(std::string& out) const {
    switch (kind()) {
        case Kind::Absent:
            out += "<absent>";
            break;
        case Kind::Null:
            out += "null";
            break;
        case Kind::Bool:
            out += std::get<bool>(v_) ? "true" : "false";
            break;
        case Kind::Integer:
            out += std::to_string(std::get<int64_t>(v_));
            break;
        case Kind::Double:
            // The shortest text that reads back as the same double: 0.1, not 0.10000000000000001.
            out += Decimal::fromDouble(std::get<double>(v_)).text();
            break;
        case Kind::Decimal:
            out += decimal()->text();
            break;
        case Kind::String:
            appendQuoted(out, *string());
            break;
        case Kind::Date:
            out += standardDateDescription(*date());
            break;
        case Kind::Bytes:
            out += "<" + std::to_string(bytes()->size()) + " bytes>";
            break;
        case Kind::Array: {
            out += '[';
            bool first = true;
            for (const auto& item : *array()) {
                if (!first) out += ", ";
                first = false;
                item.describeInto(out);
            }
            out += ']';
            break;
        }
        case Kind::Dictionary: {
            out += '{';
            bool first = true;
            for (const auto& [key, item] : *dictionary()) {
                if (!first) out += ", ";
                first = false;
                appendQuoted(out, key);
                out += ": ";
                item.describeInto(out);
            }
            out += '}';
            break;
        }
        case Kind::ObjectID:
            out += objectID()->description();
            break;
        case Kind::Object:
            out += object()->description();
            break;
    }
}

std::string Value::description() const {
    std::string out;
    describeInto(out);
    return out;
}

const char* kindName(Value::Kind kind) {
    static const char* const names[] = {
        "absent", "null",  "boolean",    "integer",           "double", "decimal", "string", "date",
        "bytes",  "array", "dictionary", "object identifier", "object"};
    return names[static_cast<int>(kind)];
}

}  // namespace platform
