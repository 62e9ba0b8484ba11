// What the data layer asks of a field's type: data type, length and decimals. Implemented by the
// application model's typed object infos, which never change once the model is loaded, so any
// thread may read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Data types of attributes, domains, variables and structured-type members. The numbers are
// stable and follow the server protocol's numbering, which the object uploader branches on (9
// image, 12 audio, 13 video); 11 is free. Nothing stores them: the cache schema and the model
// files go by the type (or its name), never by the number.
enum ZQDataType : int32_t {
    ZQDataTypeNumeric = 0,
    ZQDataTypeCharacter = 1,
    ZQDataTypeDate = 2,
    ZQDataTypeDateTime = 3,
    ZQDataTypeVarChar = 4,
    ZQDataTypeLongVarChar = 5,
    ZQDataTypeBoolean = 6,
    ZQDataTypeGUID = 7,
    ZQDataTypeBlob = 8,
    ZQDataTypeImage = 9,
    ZQDataTypeSDT = 10,  // a structured data type (or a collection of one)
    ZQDataTypeAudio = 12,
    ZQDataTypeVideo = 13,
};

// The model file's name of a data type ("numeric", "datetime", ...) and back.
const char* ZQDataTypeName(ZQDataType type);
std::optional<ZQDataType> ZQDataTypeFromName(std::string_view name);

class ZQEntityDataFieldInfo {
  public:
    virtual ~ZQEntityDataFieldInfo() = default;
    virtual ZQDataType entityDataFieldInfoDataType() const = 0;
    // Total digits for numbers (decimals included, plus one for the point when there are
    // decimals), characters for text; 0 when the type has no length.
    virtual uint32_t entityDataFieldInfoLength() const = 0;
    virtual uint32_t entityDataFieldInfoDecimals() const = 0;
};
