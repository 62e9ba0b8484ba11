// The choices a field's data service answers (a dynamic combo's items, a hide-code field's codes
// and suggestions), read from the parsed JSON reply. Plain values; the reading is a pure function,
// any thread. docs/host.md gives the shapes a reply may take.
#pragma once

#include <string>
#include <vector>

#include "platform/Error.hpp"
#include "platform/Value.hpp"

struct ZQDynamicDataChoice {
    platform::Value code;     // the value the field stores
    std::string description;  // the text shown for it
};

struct ZQDynamicDataChoicesResult {
    std::vector<ZQDynamicDataChoice> choices;
    platform::ErrorPtr error;  // none when the reply had the documented shape
};

// A JSON array whose elements are each an object with "code" (or "value") and an optional
// "description" (or "text"), an array [code, description], or a scalar that is both. Anything
// else is an error (ZQErrorDomain, naming the element), with no choices.
[[nodiscard]] ZQDynamicDataChoicesResult ZQDynamicDataChoicesFromParsedData(
    const platform::Value& parsedData);
