#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

#include <charconv>
#include <cmath>

#include <simdjson.h>
#include <yajl/yajl_gen.h>
#include <yajl/yajl_parse.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/DateFormat.hpp"

using platform::Value;

namespace {

using Member = std::pair<std::string_view, simdjson::dom::element>;

// What the converter of one thread keeps between texts: only capacity, since every view in it
// refers to the text being converted and is dropped before the next one.
struct ConverterScratch {
    std::vector<Member> members;  // members of the objects being converted, innermost last
    // Per nesting depth of objects: the keys of the last object converted there, in text order,
    // and the positions of the members it took, in key order.
    struct Shape {
        std::vector<std::string_view> keys;
        std::vector<uint32_t> order;
    };
    std::vector<Shape> shapes;
};

// Turns simdjson's document into Values. The members of an object are gathered on a scratch stack
// shared by all nesting levels and converted in key order straight into the dictionary's own
// storage. The rows of an answer mostly have the same keys in the same order, so an object whose
// keys are those of the previous object at its depth reuses that object's order without sorting.
// An object takes one allocation for itself, its entries and its strings (DictionaryBuilder), and
// the objects of an array share chunks of an arena; the strings of an array share blocks of up to
// kStringsPerBlock.
class Converter {
  public:
    explicit Converter(ConverterScratch& scratch)
        : members_(scratch.members), shapes_(scratch.shapes) {
        for (ConverterScratch::Shape& shape : shapes_) {
            shape.keys.clear();
            shape.order.clear();  // an empty object takes no member
        }
    }

    Value convert(simdjson::dom::element element) {
        using simdjson::dom::element_type;
        switch (element.type()) {
            case element_type::ARRAY:
                return convertArray(element.get_array().value_unsafe());
            case element_type::OBJECT:
                return convertObject(element.get_object().value_unsafe());
            case element_type::STRING:
                return Value(element.get_string().value_unsafe());
            default:
                return scalar(element);
        }
    }

  private:
    // A string kept from a long array of strings holds the texts of the strings that share its
    // block; this bounds how many do.
    static constexpr size_t kStringsPerBlock = 32;

    static Value scalar(simdjson::dom::element element) {
        using simdjson::dom::element_type;
        switch (element.type()) {
            case element_type::INT64:
                return Value(element.get_int64().value_unsafe());
            case element_type::UINT64:
                return Value(static_cast<double>(element.get_uint64().value_unsafe()));
            case element_type::DOUBLE:
                return Value(element.get_double().value_unsafe());
            case element_type::BOOL:
                return Value(element.get_bool().value_unsafe());
            case element_type::NULL_VALUE:
                return Value::null();
            default:
                return Value();
        }
    }

    static bool isString(simdjson::dom::element element) {
        return element.type() == simdjson::dom::element_type::STRING;
    }

    static std::string_view text(simdjson::dom::element element) {
        return element.get_string().value_unsafe();
    }

    Value convertArray(simdjson::dom::array array) {
        platform::Array items;
        items.reserve(array.size());
        std::optional<platform::StringBlockBuilder> block;
        // Only this array's own objects go in its arena: a nested one in the same chunk as the
        // object holding it would keep the chunk alive for ever.
        platform::DictionaryArena arena(array.size());
        size_t left = 0;  // strings the current block still takes
        for (auto it = array.begin(); it != array.end(); ++it) {
            simdjson::dom::element child = *it;
            if (child.type() == simdjson::dom::element_type::OBJECT) {
                items.push_back(convertObject(child.get_object().value_unsafe(), &arena));
                continue;
            }
            if (!isString(child)) {
                items.push_back(convert(child));
                continue;
            }
            if (left == 0) {
                size_t space = 0;
                for (auto ahead = it; ahead != array.end() && left < kStringsPerBlock; ++ahead) {
                    if (!isString(*ahead)) continue;
                    space += platform::StringText::space(text(*ahead).size());
                    ++left;
                }
                block.emplace(space);
            }
            items.push_back(block->take(text(child)));
            --left;
        }
        return Value(std::move(items));
    }

    // One allocation for the dictionary, its entries and the texts of its strings.
    Value convertObject(simdjson::dom::object object, platform::DictionaryArena* arena = nullptr) {
        const size_t base = members_.size();
        Level level{*this, base};
        size_t textSpace = 0;  // room for repeated keys' strings too, which is harmless
        for (simdjson::dom::key_value_pair field : object) {
            members_.emplace_back(field.key, field.value);
            if (isString(field.value)) {
                textSpace += platform::StringText::space(text(field.value).size());
            }
        }
        const size_t count = members_.size() - base;
        if (shapes_.size() <= depth_) shapes_.resize(depth_ + 1);
        ConverterScratch::Shape& shape = shapes_[depth_];
        if (!sameKeys(shape.keys, base, count)) takeShape(shape, base, count);
        // Deeper objects use deeper shapes, and a vector keeps its buffer when the shapes move.
        const uint32_t* order = shape.order.data();
        const size_t distinct = shape.order.size();
        ++depth_;
        platform::DictionaryBuilder builder(distinct, textSpace, arena);
        for (size_t i = 0; i < distinct; ++i) {
            Member m = members_[base + order[i]];  // the scratch may grow (and move) meanwhile
            addMember(builder, m.first, m.second);
        }
        return builder.finish();
    }

    // Scalars and strings are made in place in the dictionary's entry.
    void addMember(platform::DictionaryBuilder& builder, std::string_view key,
                   simdjson::dom::element element) {
        using simdjson::dom::element_type;
        switch (element.type()) {
            case element_type::STRING:
                return builder.addString(key, text(element));
            case element_type::INT64:
                return builder.add(key, element.get_int64().value_unsafe());
            case element_type::UINT64:
                return builder.add(key, static_cast<double>(element.get_uint64().value_unsafe()));
            case element_type::DOUBLE:
                return builder.add(key, element.get_double().value_unsafe());
            case element_type::BOOL:
                return builder.add(key, element.get_bool().value_unsafe());
            default:
                return builder.add(key, convert(element));
        }
    }

    // Pops an object's members and depth when it is done, or when converting it throws.
    struct Level {
        Converter& converter;
        size_t base;
        size_t depth = converter.depth_;
        ~Level() {
            converter.members_.resize(base);
            converter.depth_ = depth;
        }
    };

    bool sameKeys(const std::vector<std::string_view>& keys, size_t base, size_t count) const {
        if (keys.size() != count) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!sameKey(keys[i], members_[base + i].first)) return false;
        }
        return true;
    }

    // Records the object's keys and the positions of its members in key order; of members with the
    // same key only the last one in the text is taken.
    void takeShape(ConverterScratch::Shape& shape, size_t base, size_t count) {
        shape.keys.clear();
        shape.order.clear();
        for (size_t i = 0; i < count; ++i) {
            shape.keys.push_back(members_[base + i].first);
            shape.order.push_back(static_cast<uint32_t>(i));
        }
        const std::vector<std::string_view>& keys = shape.keys;
        auto less = [&keys](uint32_t a, uint32_t b) { return keyLess(keys[a], keys[b]); };
        std::vector<uint32_t>& order = shape.order;
        if (count > 24) {
            std::stable_sort(order.begin(), order.end(), less);
        } else {
            for (size_t i = 1; i < count; ++i) {  // stable insertion sort for a usual row
                uint32_t position = order[i];
                size_t j = i;
                for (; j > 0 && less(position, order[j - 1]); --j) order[j] = order[j - 1];
                order[j] = position;
            }
        }
        auto repeated = [&](size_t i) {
            return i + 1 < count && sameKey(keys[order[i]], keys[order[i + 1]]);
        };
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            if (!repeated(i)) order[kept++] = order[i];
        }
        order.resize(kept);
    }

    // The order of std::string's operator< (bytes compared unsigned), inline: keys are short and
    // usually differ early, where a call to memcmp costs more than the comparison.
    static bool keyLess(std::string_view a, std::string_view b) {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            if (a[i] != b[i]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
            }
        }
        return a.size() < b.size();
    }
    // Every row's keys are compared with the previous row's, so this avoids a call to memcmp and
    // a byte loop: two fixed-size loads from each end cover any key of up to twice their size.
    static bool sameKey(std::string_view a, std::string_view b) {
        const size_t n = a.size();
        if (n != b.size()) return false;
        const char* x = a.data();
        const char* y = b.data();
        if (n >= 8) {
            for (size_t i = 0; i + 8 < n; i += 8) {
                if (load<uint64_t>(x + i) != load<uint64_t>(y + i)) return false;
            }
            return load<uint64_t>(x + n - 8) == load<uint64_t>(y + n - 8);
        }
        if (n >= 4) {
            return load<uint32_t>(x) == load<uint32_t>(y) &&
                   load<uint32_t>(x + n - 4) == load<uint32_t>(y + n - 4);
        }
        if (n >= 2) {
            return load<uint16_t>(x) == load<uint16_t>(y) &&
                   load<uint16_t>(x + n - 2) == load<uint16_t>(y + n - 2);
        }
        return n == 0 || *x == *y;
    }
    template <class Word>
    static Word load(const char* bytes) {
        Word word;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }

    std::vector<Member>& members_;
    std::vector<ConverterScratch::Shape>& shapes_;
    size_t depth_ = 0;  // of the object being converted, counting objects only
};

struct YajlHandleDeleter {
    void operator()(yajl_handle h) const { yajl_free(h); }
};

// Reads the text with YAJL only to find where it stops being JSON.
std::string locateSyntaxError(std::string_view text, size_t& line, size_t& column) {
    static const yajl_callbacks callbacks{};
    std::unique_ptr<yajl_handle_t, YajlHandleDeleter> handle(
        yajl_alloc(&callbacks, nullptr, nullptr));
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    yajl_status status = yajl_parse(handle.get(), bytes, text.size());
    if (status == yajl_status_ok) status = yajl_complete_parse(handle.get());
    size_t offset = status == yajl_status_ok ? text.size() : yajl_get_bytes_consumed(handle.get());
    if (offset > text.size()) offset = text.size();
    std::string message = "unexpected end of text";
    if (status != yajl_status_ok) {
        unsigned char* raw = yajl_get_error(handle.get(), 0, bytes, text.size());
        if (raw) {
            message = reinterpret_cast<char*>(raw);
            yajl_free_error(handle.get(), raw);
        }
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
            message.pop_back();
        }
    }
    line = 1;
    column = 1;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return message;
}

std::string base64(const Value::Bytes& data) {
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += table[(n >> 6) & 63];
        out += table[n & 63];
    }
    if (i < data.size()) {
        uint32_t n = data[i] << 16;
        if (i + 1 < data.size()) n |= data[i + 1] << 8;
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += i + 1 < data.size() ? table[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

struct YajlGenDeleter {
    void operator()(yajl_gen g) const { yajl_gen_free(g); }
};

bool generate(yajl_gen g, const Value& value) {
    // Text that is not UTF-8 has no JSON form. simdjson checks it: the generator's own check
    // walks the text a byte at a time, and costs more than the rest of writing a short string.
    auto str = [g](std::string_view s) {
        return simdjson::validate_utf8(s.data(), s.size()) &&
               yajl_gen_string(g, reinterpret_cast<const unsigned char*>(s.data()), s.size()) ==
                   yajl_gen_status_ok;
    };
    switch (value.kind()) {
        case Value::Kind::Null:
            return yajl_gen_null(g) == yajl_gen_status_ok;
        case Value::Kind::Bool:
            return yajl_gen_bool(g, *value.boolean()) == yajl_gen_status_ok;
        case Value::Kind::Integer: {
            // The same digits as the generator's own, which formats them with sprintf.
            char text[24];
            auto written = std::to_chars(text, text + sizeof text, *value.integer());
            return yajl_gen_number(g, text, static_cast<size_t>(written.ptr - text)) ==
                   yajl_gen_status_ok;
        }
        case Value::Kind::Double: {
            // The shortest text that reads back as the same double (YAJL's own writes 20
            // significant digits: 307.8 came out as 307.80000000000001137); ".0" keeps a whole
            // number a double when it is read again. Infinities and NaN have no JSON text.
            double number = *value.number();
            if (!std::isfinite(number)) return false;
            char text[40];
            auto written = std::to_chars(text, text + sizeof text - 2, number);
            if (written.ec != std::errc()) return false;
            std::string_view digits(text, static_cast<size_t>(written.ptr - text));
            if (digits.find_first_not_of("-0123456789") == std::string_view::npos) {
                *written.ptr++ = '.';
                *written.ptr++ = '0';
            }
            return yajl_gen_number(g, text, static_cast<size_t>(written.ptr - text)) ==
                   yajl_gen_status_ok;
        }
        case Value::Kind::Decimal: {
            const std::string& t = value.decimal()->text();
            return yajl_gen_number(g, t.data(), t.size()) == yajl_gen_status_ok;
        }
        case Value::Kind::String:
            return str(*value.string());
        case Value::Kind::Date:
            return str(platform::iso8601String(*value.date()));
        case Value::Kind::Bytes:
            return str(base64(*value.bytes()));
        case Value::Kind::Array:
            if (yajl_gen_array_open(g) != yajl_gen_status_ok) return false;
            for (const Value& item : *value.array()) {
                if (!generate(g, item)) return false;
            }
            return yajl_gen_array_close(g) == yajl_gen_status_ok;
        case Value::Kind::Dictionary:
            if (yajl_gen_map_open(g) != yajl_gen_status_ok) return false;
            for (const auto& [key, item] : *value.dictionary()) {
                if (!str(key) || !generate(g, item)) return false;
            }
            return yajl_gen_map_close(g) == yajl_gen_status_ok;
        default:
            return false;
    }
}

// simdjson reads up to SIMDJSON_PADDING bytes past the text, so the text is copied into a padded
// buffer. Each thread keeps its buffer and its parser for texts up to kKeptBufferSize, so that
// answers of usual size cost no large allocation (which would also make malloc consolidate its
// free lists). A larger text gets a parser of its own, freed once its values are made: a kept
// parser would hold the pages of its largest document (several times the text) for the thread's
// life.
constexpr size_t kKeptBufferSize = 4u << 20;
constexpr size_t kKeptScratchSize = 16u << 10;  // members
constexpr size_t kKeptShapes = 64;              // depths of nested objects

struct PaddedBuffer {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
};

}  // namespace

ZQJSONParseResult ZQJSON::parse(std::string_view text, std::string_view source) {
    thread_local simdjson::dom::parser keptParser;
    thread_local PaddedBuffer kept;
    thread_local ConverterScratch scratch;
    ZQJSONParseResult result;
    size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    const bool usual = text.size() <= kKeptBufferSize;
    PaddedBuffer oneOff;
    PaddedBuffer& buffer = usual ? kept : oneOff;
    std::optional<simdjson::dom::parser> oneOffParser;
    if (!usual) oneOffParser.emplace();
    simdjson::dom::parser& parser = usual ? keptParser : *oneOffParser;
    if (buffer.capacity < needed) {
        buffer.bytes = std::make_unique_for_overwrite<char[]>(needed);
        buffer.capacity = needed;
    }
    if (!text.empty()) std::memcpy(buffer.bytes.get(), text.data(), text.size());
    std::memset(buffer.bytes.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    simdjson::dom::element root;
    auto code = parser.parse(buffer.bytes.get(), text.size(), false).get(root);
    if (!code) {
        result.value = Converter(scratch).convert(root);
        // Like the text buffer, the scratch is kept only up to a usual size.
        if (scratch.members.capacity() > kKeptScratchSize || scratch.shapes.size() > kKeptShapes) {
            scratch = {};
        }
        return result;
    }
    std::string prefix = source.empty() ? std::string() : std::string(source) + ": ";
    if (code == simdjson::CAPACITY || code == simdjson::DEPTH_ERROR || code == simdjson::MEMALLOC) {
        result.error = platform::Error::create(ZQJSONErrorDomain, ZQJSONErrorCapacity,
                                               prefix + simdjson::error_message(code));
        return result;
    }
    std::string message = locateSyntaxError(text, result.line, result.column);
    result.error = platform::Error::create(
        ZQJSONErrorDomain, ZQJSONErrorSyntax,
        prefix + "line " + std::to_string(result.line) + ", column " +
            std::to_string(result.column) + ": " + message,
        platform::Dictionary{{"line", Value(result.line)}, {"column", Value(result.column)}});
    return result;
}

ZQJSON::WriteResult ZQJSON::write(const Value& value, bool pretty) {
    WriteResult result;
    std::unique_ptr<struct yajl_gen_t, YajlGenDeleter> g(yajl_gen_alloc(nullptr));
    yajl_gen_config(g.get(), yajl_gen_beautify, pretty ? 1 : 0);
    if (!generate(g.get(), value)) {
        result.error = platform::Error::create(
            ZQJSONErrorDomain, ZQJSONErrorWrite,
            std::string("a ") + platform::kindName(value.kind()) + " value has no JSON form");
        return result;
    }
    const unsigned char* buffer = nullptr;
    size_t length = 0;
    yajl_gen_get_buf(g.get(), &buffer, &length);
    result.text.assign(reinterpret_cast<const char*>(buffer), length);
    return result;
}
