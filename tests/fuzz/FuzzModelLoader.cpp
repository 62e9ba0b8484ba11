// An application model file: any text gives a model or an error, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto result = ZQApplicationModelLoader::loadFromString(text, "fuzz.json");
    if ((result.model == nullptr) == (result.error == nullptr)) std::abort();
    return 0;
}
