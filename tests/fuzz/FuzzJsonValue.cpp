// JSON text into platform::Value through the host's parser; what parses must write back and
// parse again to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = ZQJSON::parse(text, "fuzz");
    if (parsed.error) return 0;
    auto written = ZQJSON::write(parsed.value);
    if (written.error) return 0;  // values JSON cannot hold (a NaN read as a number)
    auto again = ZQJSON::parse(written.text, "fuzz");
    if (again.error || !(again.value == parsed.value)) std::abort();
    return 0;
}
