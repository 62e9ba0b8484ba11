// One line of JSON text written through YAJL's generator, members in the order they are written
// (platform::Dictionary would sort them). Owned by whoever writes one line; one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Date.hpp"
#include "platform/Value.hpp"

struct yajl_gen_t;

namespace zqdl {

class ZqdlJsonWriter {
  public:
    ZqdlJsonWriter();
    ~ZqdlJsonWriter();
    ZqdlJsonWriter(const ZqdlJsonWriter&) = delete;
    ZqdlJsonWriter& operator=(const ZqdlJsonWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // A member name; the next value written is its value.
    void key(std::string_view name);
    void string(std::string_view text);
    void integer(int64_t number);
    void boolean(bool value);
    void null();
    // ISO 8601 text in UTC ("2024-03-01T09:00:00Z"), or null when absent.
    void date(const std::optional<platform::Date>& date);
    // A field value: scalars as JSON, dates as ISO 8601 text, bytes as their size, arrays and
    // dictionaries as JSON; absent and values without a JSON form (platform objects) as null.
    void value(const platform::Value& value);

    // The text written so far, without a line break; false in ok() when the generator refused a
    // call (unbalanced nesting, a key outside an object).
    std::string text() const;
    bool ok() const { return ok_; }

  private:
    void check(int status);

    std::unique_ptr<yajl_gen_t, void (*)(yajl_gen_t*)> gen_;
    bool ok_ = true;
};

}  // namespace zqdl
