// Reads an application model from its JSON file (format in docs/application-model.md). A file
// that cannot be read, is not JSON or does not have the documented shape gives an error of
// ZQModelErrorDomain, code 0, naming the file and the place (line and column, or the JSON path of
// the offending value), never a crash. Stateless; any thread; each load builds a new model.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Error.hpp"

struct ZQApplicationModelLoadResult {
    std::shared_ptr<const ZQApplicationModel> model;  // none on error
    platform::ErrorPtr error;                         // none on success
};

// User-information keys of a model error.
inline constexpr const char* ZQModelErrorFileKey = "file";      // the file (or source) name
inline constexpr const char* ZQModelErrorPathKey = "path";      // JSON path of a shape error
inline constexpr const char* ZQModelErrorLineKey = "line";      // of a syntax error, 1-based
inline constexpr const char* ZQModelErrorColumnKey = "column";  // of a syntax error, 1-based

class ZQApplicationModelLoader {
  public:
    [[nodiscard]] static ZQApplicationModelLoadResult loadFromFile(
        const std::filesystem::path& path);
    // sourceName names the text in errors; modelFilePath is recorded on the model.
    [[nodiscard]] static ZQApplicationModelLoadResult loadFromString(
        std::string_view text, std::string_view sourceName,
        const std::filesystem::path& modelFilePath = {});

    // Which kinds of type specification readTypeSpec accepts.
    enum TypeSpec : unsigned {
        kTypeSpecOwn = 1,        // "type" with "length" and "decimals"
        kTypeSpecDomain = 2,     // "domain"
        kTypeSpecAttribute = 4,  // "attribute"
        kTypeSpecSDT = 8,        // "sdt" with "collection"
        kTypeSpecAny = 15,
    };
    // The members a type specification may use, for allowMembers lists.
    static bool isTypeSpecMember(std::string_view key);
    // Reads the type specification of the object at path for a thing called name. None when the
    // object has none and required is false. References are left unresolved.
    static std::shared_ptr<ZQTypedObjectInfo> readTypeSpec(const platform::Dictionary& object,
                                                           const std::string& path,
                                                           std::string name, unsigned allowed,
                                                           bool required);
    // Resolves a reference against the model; false when the referenced definition is absent.
    static bool resolve(ZQTypedObjectInfo& info, const ZQApplicationModel& model);
};
