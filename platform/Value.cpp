#include "platform/Value.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/DateFormat.hpp"

namespace platform {

// Every cached row holds Values; keep them at a shared pointer plus the kind.
static_assert(sizeof(Value) == 24);

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

// ---- Blocks

namespace {

// An allocator for allocate_shared that adds tail bytes after the shared object (and its
// reference counts), so that one allocation holds an object together with its variable parts. The
// allocation writes where the tail starts to *tail.
template <class T>
class TailAllocator {
  public:
    using value_type = T;
    TailAllocator(size_t tailSize, char** tail) : tailSize_(tailSize), tail_(tail) {}
    template <class U>
    TailAllocator(const TailAllocator<U>& other) : tailSize_(other.tailSize_), tail_(other.tail_) {}

    T* allocate(size_t n) {
        constexpr size_t align = alignof(std::max_align_t);
        const size_t head = (n * sizeof(T) + align - 1) & ~(align - 1);
        char* bytes = static_cast<char*>(::operator new(head + tailSize_));
        *tail_ = bytes + head;
        return reinterpret_cast<T*>(bytes);
    }
    void deallocate(T* p, size_t) noexcept { ::operator delete(static_cast<void*>(p)); }
    template <class U>
    bool operator==(const TailAllocator<U>&) const {
        return true;
    }

  private:
    template <class U>
    friend class TailAllocator;
    size_t tailSize_;
    char** tail_;
};

// Most texts of a parsed row are short: fixed-size copies from each end compile to a few moves
// where memcpy would be a call.
void copyBytes(char* to, const char* from, size_t n) {
    auto copy = [&]<size_t size>(std::integral_constant<size_t, size>) {
        char head[size], tail[size];
        std::memcpy(head, from, size);
        std::memcpy(tail, from + n - size, size);
        std::memcpy(to, head, size);
        std::memcpy(to + n - size, tail, size);
    };
    if (n > 32) {
        std::memcpy(to, from, n);
    } else if (n >= 16) {
        copy(std::integral_constant<size_t, 16>());
    } else if (n >= 8) {
        copy(std::integral_constant<size_t, 8>());
    } else if (n >= 4) {
        copy(std::integral_constant<size_t, 4>());
    } else if (n >= 2) {
        copy(std::integral_constant<size_t, 2>());
    } else if (n == 1) {
        *to = *from;
    }
}

}  // namespace

// A block DictionaryBuilder makes, in a store: the dictionary, then its entries and the texts of
// its string members. Its own entries hold those texts uncounted; a copy of one of the strings
// counts a reference to the block's store.
class DictionaryBlock {
  public:
    DictionaryBlock(const BlockStore& store, Dictionary::Entry* entries)
        : store_(store), entries_(entries) {}
    DictionaryBlock(const DictionaryBlock&) = delete;
    DictionaryBlock& operator=(const DictionaryBlock&) = delete;
    // Most members of a parsed row are scalars or the row's own texts, whose Values release
    // nothing: skipping their destructors saves a dispatch on the kind per member.
    ~DictionaryBlock() {
        for (Dictionary::Entry& entry : std::span(entries_, count_)) {
            if (entry.second.releasesNothing()) {
                std::destroy_at(&entry.first);
            } else {
                std::destroy_at(&entry);
            }
        }
    }

    const BlockStore& store_;
    Dictionary dictionary_;
    Dictionary::Entry* entries_;
    size_t count_ = 0;                 // entries made so far
    DictionaryBlock* next_ = nullptr;  // in the same store
};

namespace {
// Where a block's entries start, after the block itself.
constexpr size_t kBlockHead =
    (sizeof(DictionaryBlock) + alignof(Dictionary::Entry) - 1) & ~(alignof(Dictionary::Entry) - 1);
// Bytes a block of count entries and textSpace bytes of texts takes in its store; a multiple of
// the entries' alignment, so that the next block in a chunk is aligned too.
constexpr size_t blockSpace(size_t count, size_t textSpace) {
    return kBlockHead + count * sizeof(Dictionary::Entry) + textSpace;
}
static_assert(alignof(DictionaryBlock) <= alignof(Dictionary::Entry));
static_assert(alignof(StringText) == alignof(Dictionary::Entry));
static_assert(sizeof(Dictionary::Entry) % alignof(Dictionary::Entry) == 0);
}  // namespace

// One allocation holding DictionaryBlocks one after another: a single object's, or a chunk of the
// objects of an array (DictionaryArena). The blocks go when the last reference to the store does.
class BlockStore : public std::enable_shared_from_this<BlockStore> {
  public:
    BlockStore(char* const* tail, size_t capacity) : next_(*tail), end_(*tail + capacity) {}
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;
    ~BlockStore() {
        for (DictionaryBlock* block = first_; block;) {
            DictionaryBlock* next = block->next_;
            std::destroy_at(block);
            block = next;
        }
    }

    static std::shared_ptr<BlockStore> create(size_t capacity);
    bool fits(size_t bytes) const { return static_cast<size_t>(end_ - next_) >= bytes; }
    // A new empty block of count entries and textSpace bytes of texts; the caller checked fits().
    DictionaryBlock* place(size_t count, size_t textSpace) {
        char* at = next_;
        next_ += blockSpace(count, textSpace);
        auto* entries = reinterpret_cast<Dictionary::Entry*>(at + kBlockHead);
        auto* block = ::new (static_cast<void*>(at)) DictionaryBlock(*this, entries);
        (last_ ? last_->next_ : first_) = block;
        last_ = block;
        return block;
    }

  private:
    char* next_;
    char* const end_;
    DictionaryBlock* first_ = nullptr;
    DictionaryBlock* last_ = nullptr;
};

std::shared_ptr<BlockStore> BlockStore::create(size_t capacity) {
    char* tail = nullptr;
    return std::allocate_shared<BlockStore>(TailAllocator<BlockStore>(capacity, &tail), &tail,
                                            capacity);
}

DictionaryArena::~DictionaryArena() = default;

const StringText* StringText::write(char* place, std::string_view text,
                                    const DictionaryBlock* block) {
    auto* header = new (place) StringText(block, text.size());
    char* bytes = place + sizeof(StringText);
    copyBytes(bytes, text.data(), text.size());
    bytes[text.size()] = '\0';
    return header;
}

std::shared_ptr<const StringText> Value::StringRef::counted() const noexcept {
    if (!uncounted()) return text_;
    // Only an entry of a live object holds an uncounted text, so the block is alive here.
    return std::shared_ptr<const StringText>(text_->block_->store_.shared_from_this(), text_.get());
}

static_assert(std::is_trivially_destructible_v<Date>, "a Date member's destructor is skipped");

bool Value::releasesNothing() const {
    switch (kind()) {
        case Kind::Absent:
        case Kind::Null:
        case Kind::Bool:
        case Kind::Integer:
        case Kind::Double:
        case Kind::Date:
            return true;
        case Kind::String:
            return std::get_if<StringRef>(&v_)->uncounted();
        default:
            return false;
    }
}

struct Value::UncountedText {
  private:
    friend class Value;
    friend class DictionaryBuilder;
    explicit UncountedText(const StringText* t) : text(t) {}
    const StringText* text;
};

// Aliasing an empty pointer: the text is held without counting (see StringRef).
Value::Value(const UncountedText& text)
    : v_(std::in_place_type<StringRef>,
         std::shared_ptr<const StringText>(std::shared_ptr<const StringText>(), text.text)) {}

DictionaryBuilder::DictionaryBuilder(size_t count, size_t textSpace, DictionaryArena* arena)
    : capacity_(count) {
    const size_t bytes = blockSpace(count, textSpace);
    if (arena && bytes <= DictionaryArena::kChunkSize / 2) {
        // A chunk no larger than the objects still to come need if they are like this one.
        const size_t objects = std::max<size_t>(arena->left_, 1);
        if (!arena->chunk_ || !arena->chunk_->fits(bytes)) {
            arena->chunk_ =
                BlockStore::create(bytes * std::min(objects, DictionaryArena::kChunkSize / bytes));
        }
        store_ = arena->chunk_;
    } else {
        // Alone, or too large to share a chunk well.
        store_ = BlockStore::create(bytes);
    }
    if (arena && arena->left_ > 0) --arena->left_;
    block_ = store_->place(count, textSpace);
    entries_ = block_->entries_;
    made_ = &block_->count_;
    nextText_ = reinterpret_cast<char*>(entries_ + count);
}

DictionaryBuilder::~DictionaryBuilder() = default;

void DictionaryBuilder::addString(std::string_view key, std::string_view text) {
    const StringText* header = StringText::write(nextText_, text, block_);
    nextText_ += StringText::space(text.size());
    // Made in place: moving an uncounted reference in would count it (see StringRef), and a block
    // counting a reference to itself is never freed.
    add(key, Value::UncountedText(header));
}

Value DictionaryBuilder::finish() {
    DictionaryBlock& block = *block_;
    block.dictionary_.blockEntries_ = block.entries_;
    block.dictionary_.blockSize_ = block.count_;
    const Dictionary* dictionary = &block.dictionary_;
    return Value(std::shared_ptr<const Dictionary>(std::move(store_), dictionary));
}

StringBlockBuilder::StringBlockBuilder(size_t textSpace) {
    char* tail = nullptr;
    block_ = std::allocate_shared<char>(TailAllocator<char>(textSpace, &tail));
    next_ = tail;
}

Value StringBlockBuilder::take(std::string_view text) {
    const StringText* header = StringText::write(next_, text, nullptr);
    next_ += StringText::space(text.size());
    return Value(Value::StringRef(std::shared_ptr<const StringText>(block_, header)));
}

Value::Value(std::string_view s) : Value(StringBlockBuilder(StringText::space(s.size())).take(s)) {}

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

Dictionary::Dictionary(const Dictionary& other) : entries_(other.begin(), other.end()) {}

Dictionary::Dictionary(Dictionary&& other) noexcept {
    *this = std::move(other);
}

Dictionary& Dictionary::operator=(const Dictionary& other) {
    if (this != &other) {
        entries_.assign(other.begin(), other.end());
        blockEntries_ = nullptr;
        blockSize_ = 0;
    }
    return *this;
}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
    if (this == &other) return *this;
    if (other.blockEntries_) {
        // Only its block holds a dictionary with entries there, and the block hands it out const,
        // so this is not reached; copying keeps it right if it ever is.
        entries_.assign(other.begin(), other.end());
    } else {
        entries_ = std::move(other.entries_);
    }
    blockEntries_ = nullptr;
    blockSize_ = 0;
    return *this;
}

void Dictionary::ownEntries() {
    if (!blockEntries_) return;
    entries_.assign(blockEntries_, blockEntries_ + blockSize_);
    blockEntries_ = nullptr;
    blockSize_ = 0;
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
    auto it = std::lower_bound(begin(), end(), key, keyLess);
    if (it == end() || it->first != key) return nullptr;
    return &it->second;
}

Value Dictionary::get(std::string_view key) const {
    const Value* v = find(key);
    return v ? *v : Value();
}

void Dictionary::set(std::string key, Value value) {
    ownEntries();
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
    ownEntries();
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key, keyLess);
    if (it != entries_.end() && it->first == key) entries_.erase(it);
}

std::vector<std::string> Dictionary::keys() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (const auto& e : *this) out.push_back(e.first);
    return out;
}

bool Dictionary::operator==(const Dictionary& other) const {
    return std::equal(begin(), end(), other.begin(), other.end());
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

std::optional<std::string_view> Value::string() const {
    if (auto* p = std::get_if<StringRef>(&v_)) return p->get()->view();
    return std::nullopt;
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
void appendQuoted(std::string& out, std::string_view s) {
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
