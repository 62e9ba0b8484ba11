// JSON text to and from platform::Value. Parsing goes through simdjson straight into Values (a
// parser per thread, reused); on a syntax error the text is read again by YAJL to name the line and
// column. Writing goes through YAJL's generator. Stateless functions; any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/Error.hpp"
#include "platform/Value.hpp"

inline constexpr const char* ZQJSONErrorDomain = "ZQJSONErrorDomain";

enum ZQJSONErrorCode : int64_t {
    ZQJSONErrorSyntax = 1,    // not JSON text; the description names line and column
    ZQJSONErrorCapacity = 2,  // too large or too deeply nested to parse
    ZQJSONErrorWrite = 3,     // a value that has no JSON form (objects, absent)
    ZQJSONErrorShape = 4,     // valid JSON of another shape than the reader expects
};

struct ZQJSONParseResult {
    platform::Value value;        // absent on error
    platform::ErrorPtr error;     // none on success
    size_t line = 0, column = 0;  // 1-based place of a syntax error, 0 otherwise
};

class ZQJSON {
  public:
    // source names the text in error descriptions ("model.json"); may be empty.
    [[nodiscard]] static ZQJSONParseResult parse(std::string_view text,
                                                 std::string_view source = {});

    struct WriteResult {
        std::string text;
        platform::ErrorPtr error;
    };
    // Dates are written as ISO 8601 text in UTC, bytes as base64 text, decimals as numbers.
    [[nodiscard]] static WriteResult write(const platform::Value& value, bool pretty = false);
};
