#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"

#include <array>
#include <utility>

namespace {
struct DataTypeName {
    ZQDataType type;
    const char* name;
};
// "sdt" is last: it is not a type a definition may name (structured types are referenced with
// "sdt": name).
constexpr std::array<DataTypeName, 13> kDataTypeNames = {{{ZQDataTypeNumeric, "numeric"},
                                                          {ZQDataTypeCharacter, "character"},
                                                          {ZQDataTypeDate, "date"},
                                                          {ZQDataTypeDateTime, "datetime"},
                                                          {ZQDataTypeVarChar, "varchar"},
                                                          {ZQDataTypeLongVarChar, "longvarchar"},
                                                          {ZQDataTypeBoolean, "boolean"},
                                                          {ZQDataTypeGUID, "guid"},
                                                          {ZQDataTypeBlob, "blob"},
                                                          {ZQDataTypeImage, "image"},
                                                          {ZQDataTypeAudio, "audio"},
                                                          {ZQDataTypeVideo, "video"},
                                                          {ZQDataTypeSDT, "sdt"}}};
}  // namespace

const char* ZQDataTypeName(ZQDataType type) {
    for (const DataTypeName& entry : kDataTypeNames) {
        if (entry.type == type) return entry.name;
    }
    return "unknown";
}

std::optional<ZQDataType> ZQDataTypeFromName(std::string_view name) {
    for (size_t i = 0; i + 1 < kDataTypeNames.size(); ++i) {
        if (name == kDataTypeNames[i].name) return kDataTypeNames[i].type;
    }
    return std::nullopt;
}

ZQTypedObjectInfo::ZQTypedObjectInfo(std::string name, ZQDataType dataType, uint32_t length,
                                     uint32_t decimals)
    : name_(std::move(name)), dataType_(dataType), length_(length), decimals_(decimals) {}

ZQTypedObjectInfo::ZQTypedObjectInfo(std::string name, ZQTypedObjectBasedOnType basedOnType,
                                     std::string basedOnName)
    : name_(std::move(name)), basedOnType_(basedOnType), basedOnName_(std::move(basedOnName)) {
    if (basedOnType_ == ZQTypedObjectBasedOnSDT ||
        basedOnType_ == ZQTypedObjectBasedOnSDTCollection)
        dataType_ = ZQDataTypeSDT;
}

void ZQTypedObjectInfo::resolveBasedOn(std::shared_ptr<const ZQTypedObjectInfo> info) {
    basedOnInfo_ = std::move(info);
    if (!basedOnInfo_) return;
    if (basedOnType_ == ZQTypedObjectBasedOnSDT ||
        basedOnType_ == ZQTypedObjectBasedOnSDTCollection) {
        dataType_ = ZQDataTypeSDT;
        length_ = 0;
        decimals_ = 0;
        return;
    }
    dataType_ = basedOnInfo_->dataType();
    length_ = basedOnInfo_->length();
    decimals_ = basedOnInfo_->decimals();
}
