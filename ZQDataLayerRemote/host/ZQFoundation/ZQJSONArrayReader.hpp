// A JSON text kept unparsed whose top-level array is read a run of elements at a time, each run
// turned into Values by ZQJSON::parse exactly as the whole text would be, so that a large answer
// never exists as one tree of Values (nor as one parsed document). Immutable once made and
// shared by whoever holds the answer; any thread, several at once.
#pragma once

#include <functional>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQJSONArrayReader {
  public:
    // text holds bytes or a string; it is shared, not copied.
    explicit ZQJSONArrayReader(platform::Value text);

    // Whether the first character past white space opens an array.
    static bool startsWithArray(std::string_view text);

    std::string_view text() const;

    // Calls `batch` with the array's next elements (an array Value of elementsPerRun elements,
    // fewer in the last run, none for an empty array), in order, until the array ends or `batch`
    // returns false. The text is checked as it is read: where it is not JSON (or not an array) the
    // error is the one ZQJSON::parse gives for the whole text (a ZQJSONErrorShape error for valid
    // JSON that is no array), returned after the batches before the fault were handed over.
    [[nodiscard]] platform::ErrorPtr read(
        size_t elementsPerRun,
        const std::function<bool(const platform::Value& items)>& batch) const;

    // The whole text at once, as ZQJSON::parse gives it.
    [[nodiscard]] ZQJSONParseResult parseWhole() const;

  private:
    // The error of a text that the scan or a run's parse found faulty.
    platform::ErrorPtr wholeTextError() const;

    platform::Value text_;
};
