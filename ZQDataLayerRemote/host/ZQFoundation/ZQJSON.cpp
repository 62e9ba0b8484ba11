#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

#include <simdjson.h>
#include <yajl/yajl_gen.h>
#include <yajl/yajl_parse.h>

#include <cstring>
#include <memory>

#include "platform/DateFormat.hpp"

using platform::Value;

namespace {

Value convert(simdjson::dom::element element) {
    using simdjson::dom::element_type;
    switch (element.type()) {
        case element_type::ARRAY: {
            simdjson::dom::array array = element.get_array().value_unsafe();
            platform::Array items;
            items.reserve(array.size());
            for (simdjson::dom::element child : array) items.push_back(convert(child));
            return Value(std::move(items));
        }
        case element_type::OBJECT: {
            simdjson::dom::object object = element.get_object().value_unsafe();
            std::vector<platform::Dictionary::Entry> entries;
            entries.reserve(object.size());
            for (simdjson::dom::key_value_pair field : object) {
                entries.emplace_back(std::string(field.key), convert(field.value));
            }
            return Value(platform::Dictionary::fromEntries(std::move(entries)));
        }
        case element_type::INT64:
            return Value(element.get_int64().value_unsafe());
        case element_type::UINT64:
            return Value(static_cast<double>(element.get_uint64().value_unsafe()));
        case element_type::DOUBLE:
            return Value(element.get_double().value_unsafe());
        case element_type::STRING:
            return Value(element.get_string().value_unsafe());
        case element_type::BOOL:
            return Value(element.get_bool().value_unsafe());
        case element_type::NULL_VALUE:
            return Value::null();
    }
    return Value();
}

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
    auto str = [g](const std::string& s) {
        return yajl_gen_string(g, reinterpret_cast<const unsigned char*>(s.data()), s.size()) ==
               yajl_gen_status_ok;
    };
    switch (value.kind()) {
        case Value::Kind::Null:
            return yajl_gen_null(g) == yajl_gen_status_ok;
        case Value::Kind::Bool:
            return yajl_gen_bool(g, *value.boolean()) == yajl_gen_status_ok;
        case Value::Kind::Integer:
            return yajl_gen_integer(g, *value.integer()) == yajl_gen_status_ok;
        case Value::Kind::Double:
            return yajl_gen_double(g, *value.number()) == yajl_gen_status_ok;
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
// buffer. Each thread keeps its buffer for texts up to kKeptBufferSize, so that answers of usual
// size cost no large allocation (which would also make malloc consolidate its free lists).
constexpr size_t kKeptBufferSize = 4u << 20;

struct PaddedBuffer {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
};

}  // namespace

ZQJSONParseResult ZQJSON::parse(std::string_view text, std::string_view source) {
    thread_local simdjson::dom::parser parser;
    thread_local PaddedBuffer kept;
    ZQJSONParseResult result;
    size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    PaddedBuffer oneOff;
    PaddedBuffer& buffer = text.size() <= kKeptBufferSize ? kept : oneOff;
    if (buffer.capacity < needed) {
        buffer.bytes = std::make_unique_for_overwrite<char[]>(needed);
        buffer.capacity = needed;
    }
    if (!text.empty()) std::memcpy(buffer.bytes.get(), text.data(), text.size());
    std::memset(buffer.bytes.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    simdjson::dom::element root;
    auto code = parser.parse(buffer.bytes.get(), text.size(), false).get(root);
    if (!code) {
        result.value = convert(root);
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
    yajl_gen_config(g.get(), yajl_gen_validate_utf8, 1);
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
