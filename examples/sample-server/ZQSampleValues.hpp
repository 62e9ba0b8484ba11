// How the sample server reads request texts against row values: the text of a value, case
// folding for search, typed comparison of a row member with a parameter or filter text, and sort
// keys that order rows by byte comparison. Stateless functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"
#include "platform/Value.hpp"

class ZQSampleValues {
  public:
    // Strings as they are, whole numbers in decimal, other numbers in their shortest form,
    // booleans true/false, dates as ISO 8601 in UTC, null and absent as the empty text, arrays
    // and objects as JSON.
    static std::string text(const platform::Value& value);
    // Unicode case folding, so that "ÁLV" finds "Álvarez".
    static std::string folded(std::string_view text);
    // A whole text that reads as a number / boolean (true, false, 1, 0).
    static std::optional<double> number(std::string_view text);
    static std::optional<bool> boolean(std::string_view text);
    // Whether a request text can be compared as the type: numbers, ISO 8601 dates and booleans
    // must read as such; anything goes for text and unknown types.
    static bool readsAs(std::string_view text, std::optional<ZQDataType> type);

    // The row value against the text under the field's type (numbers numerically, dates as
    // moments, booleans as truth values, everything else as case-folded text; without a type,
    // numbers in the row compare numerically). Negative, zero or positive; none when the row has
    // no value there or one of another kind.
    static std::optional<int> compare(const platform::Value& rowValue, std::string_view text,
                                      std::optional<ZQDataType> type);

    // A byte string whose order is the sort order of the value: absent and null first, then
    // booleans and numbers by value, then texts (dates by their ISO text, others by the given
    // collation key). Keys of successive fields may be concatenated: each is self-delimiting.
    static std::string sortKeyOfNumber(double number);
    static std::string sortKeyOfText(std::string_view bytes);
    static std::string sortKeyOfNothing();
};
