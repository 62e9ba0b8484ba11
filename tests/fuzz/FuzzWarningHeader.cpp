// A "Warning" header value into its warnings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string header(reinterpret_cast<const char*>(data), size);
    auto warnings = ZQUtilities::httpWarningsFromHeader(header);
    if (warnings)
        for (const auto& warning : *warnings) static_cast<void>(warning);
    return 0;
}
