// The dynamic value that crosses the system: absent, null, boolean, integer, double, decimal,
// string, date, bytes, array, dictionary, object identifier or a platform object reference.
// Immutable payloads are shared, so copies are cheap; a Value is safe to read from any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Date.hpp"

namespace platform {

class Value;

// Base of platform objects that a Value may refer to (managed objects, ordered sets, object
// identifiers). Identity equality unless a subclass says otherwise.
class Object {
  public:
    virtual ~Object() = default;
    virtual std::string description() const;
    virtual bool isEqualTo(const Object& other) const { return this == &other; }
};

// A decimal number kept as its exact text ("12.30" and "12.3" are equal).
class Decimal {
  public:
    // Accepts an optional sign, digits, an optional fraction and an optional exponent.
    static std::optional<Decimal> fromString(std::string_view text);
    static Decimal fromDouble(double value);
    const std::string& text() const { return text_; }
    double toDouble() const;
    bool operator==(const Decimal& other) const;

  private:
    explicit Decimal(std::string text) : text_(std::move(text)) {}
    std::string text_;
};

using Array = std::vector<Value>;

// A dictionary with string keys, kept sorted by key (binary search on look-up). Setting an absent
// value removes the key.
class Dictionary {
  public:
    using Entry = std::pair<std::string, Value>;
    using const_iterator = std::vector<Entry>::const_iterator;

    Dictionary() = default;
    Dictionary(std::initializer_list<Entry> entries);
    // Takes entries in any order; for a repeated key the later entry wins.
    static Dictionary fromEntries(std::vector<Entry> entries);
    // Takes entries already in strictly increasing key order with no absent value (as a reader that
    // sorted its members makes them) without sorting or copying them. Checked in debug builds only.
    static Dictionary fromSortedEntries(std::vector<Entry> entries);

    const Value* find(std::string_view key) const;
    Value get(std::string_view key) const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    void set(std::string key, Value value);
    void erase(std::string_view key);
    std::vector<std::string> keys() const;
    // Defined below Value: with clang these need Value complete.
    size_t size() const;
    bool empty() const;
    const_iterator begin() const;
    const_iterator end() const;
    bool operator==(const Dictionary& other) const;

  private:
    std::vector<Entry> entries_;
};

class Value {
  public:
    enum class Kind {
        Absent,
        Null,
        Bool,
        Integer,
        Double,
        Decimal,
        String,
        Date,
        Bytes,
        Array,
        Dictionary,
        ObjectID,
        Object
    };
    using Bytes = std::vector<uint8_t>;

    Value() = default;  // absent
    Value(bool b) : v_(b) {}
    Value(int i) : v_(int64_t{i}) {}
    Value(long i) : v_(int64_t{i}) {}
    Value(long long i) : v_(int64_t{i}) {}
    Value(unsigned i) : v_(int64_t{i}) {}
    Value(unsigned long i) : v_(static_cast<int64_t>(i)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::make_shared<const std::string>(s)) {}
    Value(std::string s) : v_(std::make_shared<const std::string>(std::move(s))) {}
    Value(std::string_view s) : v_(std::make_shared<const std::string>(s)) {}
    Value(platform::Date d) : v_(d) {}
    Value(platform::Decimal d) : v_(std::make_shared<const platform::Decimal>(std::move(d))) {}
    Value(platform::Array a) : v_(std::make_shared<const platform::Array>(std::move(a))) {}
    Value(platform::Dictionary d)
        : v_(std::make_shared<const platform::Dictionary>(std::move(d))) {}

    static Value null();
    static Value bytes(Bytes data);
    static Value array(std::initializer_list<Value> items);
    static Value dictionary(std::initializer_list<Dictionary::Entry> entries);
    static Value objectID(std::shared_ptr<const platform::Object> identifier);
    // A string whose text is owned elsewhere, such as one of the strings of a parsed object kept in
    // one shared block (an aliasing pointer); absent when text is null.
    static Value sharedString(std::shared_ptr<const std::string> text);
    static Value object(std::shared_ptr<platform::Object> object);

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isAbsent() const { return kind() == Kind::Absent; }
    bool isNull() const { return kind() == Kind::Null; }
    // Absent or null: "no usable value".
    bool isNothing() const { return isAbsent() || isNull(); }
    bool isString() const { return kind() == Kind::String; }
    bool isNumber() const;
    bool isArray() const { return kind() == Kind::Array; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }

    std::optional<bool> boolean() const;
    // Integers, and doubles/decimals with no fractional part.
    std::optional<int64_t> integer() const;
    // Any number as a double.
    std::optional<double> number() const;
    const platform::Decimal* decimal() const;
    const std::string* string() const;
    std::optional<platform::Date> date() const;
    const Bytes* bytes() const;
    const platform::Array* array() const;
    const platform::Dictionary* dictionary() const;
    std::shared_ptr<const platform::Object> objectID() const;
    std::shared_ptr<platform::Object> object() const;

    // Member of a dictionary (absent otherwise) and element of an array (absent when out of range).
    Value operator[](std::string_view key) const;
    Value at(size_t index) const;
    // Number of elements of an array or dictionary, 0 otherwise.
    size_t count() const;

    // Deep equality; numbers compare by value across integer, double and decimal.
    bool operator==(const Value& other) const;
    // Readable text: JSON-like, dates in the standard description, bytes as <n bytes>.
    std::string description() const;

  private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct ObjectIDRef {
        std::shared_ptr<const platform::Object> ptr;
    };
    std::variant<
        std::monostate, NullTag, bool, int64_t, double, std::shared_ptr<const platform::Decimal>,
        std::shared_ptr<const std::string>, platform::Date, std::shared_ptr<const Bytes>,
        std::shared_ptr<const platform::Array>, std::shared_ptr<const platform::Dictionary>,
        ObjectIDRef, std::shared_ptr<platform::Object>>
        v_;
    void describeInto(std::string& out) const;
};

inline size_t Dictionary::size() const {
    return entries_.size();
}
inline bool Dictionary::empty() const {
    return entries_.empty();
}
inline Dictionary::const_iterator Dictionary::begin() const {
    return entries_.begin();
}
inline Dictionary::const_iterator Dictionary::end() const {
    return entries_.end();
}

const char* kindName(Value::Kind kind);

}  // namespace platform
