#include "tools/zqdl/ZqdlJsonWriter.hpp"

#include <yajl/yajl_gen.h>

#include <charconv>
#include <cmath>

#include "platform/DateFormat.hpp"

namespace zqdl {

namespace {

void freeGenerator(yajl_gen_t* gen) {
    if (gen) yajl_gen_free(gen);
}

}  // namespace

ZqdlJsonWriter::ZqdlJsonWriter() : gen_(yajl_gen_alloc(nullptr), freeGenerator) {
    // Field texts come from the server as they are; invalid UTF-8 must not end the line.
    yajl_gen_config(gen_.get(), yajl_gen_validate_utf8, 0);
}

ZqdlJsonWriter::~ZqdlJsonWriter() = default;

void ZqdlJsonWriter::check(int status) {
    if (status != yajl_gen_status_ok) ok_ = false;
}

void ZqdlJsonWriter::beginObject() {
    check(yajl_gen_map_open(gen_.get()));
}

void ZqdlJsonWriter::endObject() {
    check(yajl_gen_map_close(gen_.get()));
}

void ZqdlJsonWriter::beginArray() {
    check(yajl_gen_array_open(gen_.get()));
}

void ZqdlJsonWriter::endArray() {
    check(yajl_gen_array_close(gen_.get()));
}

void ZqdlJsonWriter::key(std::string_view name) {
    string(name);
}

void ZqdlJsonWriter::string(std::string_view text) {
    check(yajl_gen_string(gen_.get(), reinterpret_cast<const unsigned char*>(text.data()),
                          text.size()));
}

void ZqdlJsonWriter::integer(int64_t number) {
    check(yajl_gen_integer(gen_.get(), number));
}

void ZqdlJsonWriter::boolean(bool value) {
    check(yajl_gen_bool(gen_.get(), value ? 1 : 0));
}

void ZqdlJsonWriter::null() {
    check(yajl_gen_null(gen_.get()));
}

void ZqdlJsonWriter::date(const std::optional<platform::Date>& date) {
    if (date) {
        string(platform::iso8601String(*date) + "Z");
    } else {
        null();
    }
}

void ZqdlJsonWriter::value(const platform::Value& value) {
    using Kind = platform::Value::Kind;
    switch (value.kind()) {
        case Kind::Bool:
            return boolean(*value.boolean());
        case Kind::Integer:
            return integer(*value.integer());
        case Kind::Double: {
            double number = *value.number();
            // YAJL refuses NaN and infinities; JSON has no form for them.
            if (!std::isfinite(number)) return null();
            // The shortest text that reads back as the same double (YAJL writes 17+ digits).
            char text[32];
            auto written = std::to_chars(text, text + sizeof text, number);
            return check(
                yajl_gen_number(gen_.get(), text, static_cast<size_t>(written.ptr - text)));
        }
        case Kind::Decimal: {
            const std::string& text = value.decimal()->text();
            return check(yajl_gen_number(gen_.get(), text.data(), text.size()));
        }
        case Kind::String:
            return string(*value.string());
        case Kind::Date:
            return date(*value.date());
        case Kind::Bytes:
            return integer(static_cast<int64_t>(value.bytes()->size()));
        case Kind::Array:
            beginArray();
            for (const platform::Value& item : *value.array()) this->value(item);
            return endArray();
        case Kind::Dictionary:
            beginObject();
            for (const auto& [name, item] : *value.dictionary()) {
                key(name);
                this->value(item);
            }
            return endObject();
        default:
            return null();
    }
}

std::string ZqdlJsonWriter::text() const {
    const unsigned char* buffer = nullptr;
    size_t length = 0;
    yajl_gen_get_buf(gen_.get(), &buffer, &length);
    return std::string(reinterpret_cast<const char*>(buffer), length);
}

}  // namespace zqdl
