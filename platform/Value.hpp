// The dynamic value that crosses the system: absent, null, boolean, integer, double, decimal,
// string, date, bytes, array, dictionary, object identifier or a platform object reference.
// Immutable payloads are shared, so copies are cheap; a Value is safe to read from any thread.
#pragma once

#include <cassert>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Date.hpp"

namespace platform {

class Value;
class DictionaryBlock;
class BlockStore;
class ManagedObject;

// Base of platform objects that a Value may refer to (managed objects, ordered sets, object
// identifiers). Identity equality unless a subclass says otherwise.
class Object {
  public:
    virtual ~Object() = default;
    virtual std::string description() const;
    virtual bool isEqualTo(const Object& other) const { return this == &other; }
    // The managed object this is, without a cross-cast: the classes of managed objects derive
    // from several bases, and a dynamic cast to them costs hundreds of instructions.
    virtual ManagedObject* asManagedObject() { return nullptr; }
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

// The text of a string Value: this header, then the bytes and a terminating zero. Texts live in
// shared blocks (one string's own, the strings of an array, or a parsed object's block); a text in
// an object's block names the block so that a copy of the string can hold it.
class StringText {
  public:
    std::string_view view() const { return {reinterpret_cast<const char*>(this + 1), size_}; }
    // Bytes a text of this length takes in a block, keeping the next header aligned.
    static constexpr size_t space(size_t length) {
        return (sizeof(StringText) + length + 1 + alignof(StringText) - 1) &
               ~(alignof(StringText) - 1);
    }

  private:
    friend class Value;
    friend class DictionaryBuilder;
    friend class StringBlockBuilder;
    StringText(const DictionaryBlock* block, size_t size) : block_(block), size_(size) {}
    // Writes a text into space(text.size()) bytes at place.
    static const StringText* write(char* place, std::string_view text,
                                   const DictionaryBlock* block);
    const DictionaryBlock* block_;  // the object's block holding this text, or null
    size_t size_;
};

// A dictionary with string keys, kept sorted by key (binary search on look-up). Setting an absent
// value removes the key. Its entries are its own, or (for an object a reader made with
// DictionaryBuilder) in the block that holds the dictionary; a copy always owns its entries.
class Dictionary {
  public:
    using Entry = std::pair<std::string, Value>;
    using const_iterator = const Entry*;

    Dictionary() = default;
    Dictionary(const Dictionary& other);
    Dictionary(Dictionary&& other) noexcept;
    Dictionary& operator=(const Dictionary& other);
    Dictionary& operator=(Dictionary&& other) noexcept;
    ~Dictionary() = default;
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
    friend class DictionaryBuilder;
    std::span<const Entry> entries() const;
    void ownEntries();  // before a change, so that a dictionary in a block is never edited there

    std::vector<Entry> entries_;
    const Entry* blockEntries_ = nullptr;  // the entries in this dictionary's block, when not null
    size_t blockSize_ = 0;
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
    Value(const char* s) : Value(std::string_view(s)) {}
    Value(const std::string& s) : Value(std::string_view(s)) {}
    Value(std::string_view s);
    Value(platform::Date d) : v_(d) {}
    Value(platform::Decimal d) : v_(std::make_shared<const platform::Decimal>(std::move(d))) {}
    Value(platform::Array a) : v_(std::make_shared<const platform::Array>(std::move(a))) {}
    Value(platform::Dictionary d)
        : v_(std::make_shared<const platform::Dictionary>(std::move(d))) {}
    // Only DictionaryBuilder can name the argument: an object's own entry holding its text.
    struct UncountedText;
    explicit Value(const UncountedText& text);

    static Value null();
    static Value bytes(Bytes data);
    static Value array(std::initializer_list<Value> items);
    static Value dictionary(std::initializer_list<Dictionary::Entry> entries);
    static Value objectID(std::shared_ptr<const platform::Object> identifier);
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
    // The text of a string; it lives as long as this Value or any copy of it.
    std::optional<std::string_view> string() const;
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
    friend class DictionaryBuilder;
    friend class StringBlockBuilder;
    friend class DictionaryBlock;
    // True when destroying this Value would release nothing (a scalar, or an object's own text
    // held uncounted), so that a parsed object's block can skip the destructor of such members.
    bool releasesNothing() const;
    // A string's text in its block. The entry of a parsed object that holds one of the object's
    // own texts holds it uncounted (the block cannot count a reference to itself, it would never
    // be freed); a copy or move of such a string counts a reference to the block.
    class StringRef {
      public:
        explicit StringRef(std::shared_ptr<const StringText> text) : text_(std::move(text)) {}
        StringRef(const StringRef& other) : text_(other.counted()) {}
        StringRef(StringRef&& other) noexcept
            : text_(other.uncounted() ? other.counted() : std::move(other.text_)) {}
        StringRef& operator=(const StringRef& other) {
            text_ = other.counted();
            return *this;
        }
        StringRef& operator=(StringRef&& other) noexcept {
            text_ = other.uncounted() ? other.counted() : std::move(other.text_);
            return *this;
        }
        ~StringRef() = default;
        const StringText* get() const { return text_.get(); }
        bool uncounted() const {
            const std::shared_ptr<const StringText> none;
            return text_ && !none.owner_before(text_) && !text_.owner_before(none);
        }

      private:
        std::shared_ptr<const StringText> counted() const noexcept;
        std::shared_ptr<const StringText> text_;
    };
    explicit Value(StringRef text) : v_(std::move(text)) {}
    explicit Value(std::shared_ptr<const platform::Dictionary> d) : v_(std::move(d)) {}

    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct ObjectIDRef {
        std::shared_ptr<const platform::Object> ptr;
    };
    std::variant<std::monostate, NullTag, bool, int64_t, double,
                 std::shared_ptr<const platform::Decimal>, StringRef, platform::Date,
                 std::shared_ptr<const Bytes>, std::shared_ptr<const platform::Array>,
                 std::shared_ptr<const platform::Dictionary>, ObjectIDRef,
                 std::shared_ptr<platform::Object>>
        v_;
    void describeInto(std::string& out) const;
};

inline std::span<const Dictionary::Entry> Dictionary::entries() const {
    if (blockEntries_) return {blockEntries_, blockSize_};
    return {entries_.data(), entries_.size()};
}
inline size_t Dictionary::size() const {
    return blockEntries_ ? blockSize_ : entries_.size();
}
inline bool Dictionary::empty() const {
    return size() == 0;
}
inline Dictionary::const_iterator Dictionary::begin() const {
    return entries().data();
}
inline Dictionary::const_iterator Dictionary::end() const {
    return entries().data() + entries().size();
}

// Where a reader puts the objects of one array (the rows of an answer): their blocks share
// allocations of up to kChunkSize bytes, so that a long array costs one allocation per chunk
// instead of one per object and its rows lie together in memory, whatever state the heap is in. A
// row, or a string taken from it, keeps its whole chunk alive, and with it what the chunk's other
// rows refer to. One thread builds with it. A dictionary built in an arena must not hold another
// dictionary of the same arena: the chunk would hold itself and never be freed.
class DictionaryArena {
  public:
    static constexpr size_t kChunkSize = 8192;
    // objects: how many objects the array holds, so that its last chunk is no larger than they
    // need.
    explicit DictionaryArena(size_t objects) : left_(objects) {}
    DictionaryArena(const DictionaryArena&) = delete;
    DictionaryArena& operator=(const DictionaryArena&) = delete;
    ~DictionaryArena();

  private:
    friend class DictionaryBuilder;
    std::shared_ptr<BlockStore> chunk_;
    size_t left_;  // objects not yet begun
};

// Makes a dictionary the way a reader makes an object of its text: the dictionary, its entries and
// the texts of its string members share one allocation (its own, or a chunk of an arena), the
// entries being added in strictly increasing key order with no absent value (checked in debug
// builds). A string taken from the dictionary holds that allocation, so it keeps the object alive
// (with its keys, sibling texts and the values its members refer to) while it lives. One thread
// builds; the result is immutable.
class DictionaryBuilder {
  public:
    // textSpace: the sum of StringText::space() of the texts addString will take.
    DictionaryBuilder(size_t count, size_t textSpace, DictionaryArena* arena = nullptr);
    DictionaryBuilder(const DictionaryBuilder&) = delete;
    DictionaryBuilder& operator=(const DictionaryBuilder&) = delete;
    ~DictionaryBuilder();

    // The member made in place from what makes a Value (a bool, an int64_t, a double, a Value).
    template <class... Made>
    void add(std::string_view key, Made&&... made) {
        Dictionary::Entry* entry = nextEntry(key);
        new (entry) Dictionary::Entry(std::piecewise_construct, std::forward_as_tuple(key),
                                      std::forward_as_tuple(std::forward<Made>(made)...));
        ++*made_;
        checkLast();
    }
    void addString(std::string_view key, std::string_view text);
    // The dictionary Value; the builder is done.
    [[nodiscard]] Value finish();

  private:
    Dictionary::Entry* nextEntry([[maybe_unused]] std::string_view key) const {
        assert(*made_ < capacity_);
        assert(*made_ == 0 || entries_[*made_ - 1].first < key);
        return entries_ + *made_;
    }
    void checkLast() const { assert(!entries_[*made_ - 1].second.isAbsent()); }

    std::shared_ptr<BlockStore> store_;
    DictionaryBlock* block_;
    Dictionary::Entry* entries_;
    size_t* made_;  // entries made so far, kept by the block, which destroys them
    size_t capacity_;
    char* nextText_;
};

// Makes string Values whose texts share one allocation, as a reader makes the strings of an array:
// a string kept from it keeps the others' texts alive too, so readers bound how many share one.
class StringBlockBuilder {
  public:
    // textSpace: the sum of StringText::space() of the texts take will get.
    explicit StringBlockBuilder(size_t textSpace);
    Value take(std::string_view text);

  private:
    std::shared_ptr<const char> block_;
    char* next_;
};

const char* kindName(Value::Kind kind);

}  // namespace platform
