// A value of a structured data type (or a collection of one), as screens read it from entity
// data: the type information of its field and the parsed JSON value (an object, or an array for a
// collection). Made from the JSON text that the cache stores; immutable once made, so any thread
// reads it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"
#include "platform/Value.hpp"

class ZQSDTData : public platform::Object {
  public:
    // Whether the field's type is a structured data type or a collection of one.
    static bool fieldInfoIsSDTData(const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo);

    // The structured value of a field of structured type: the value is its JSON text (as stored
    // in the cache) or an already parsed object or array. None when the field is not of a
    // structured type, or the value is absent, null, not JSON, or JSON that is neither an object
    // nor an array.
    [[nodiscard]] static std::shared_ptr<ZQSDTData> sdtDataFromFieldInfo(
        const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo,
        const platform::Value& value);

    ZQSDTData(std::shared_ptr<const ZQEntityDataFieldInfo> fieldInfo, platform::Value value)
        : fieldInfo_(std::move(fieldInfo)), value_(std::move(value)) {}

    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo() const { return fieldInfo_; }
    // A dictionary, or an array for a collection.
    const platform::Value& value() const { return value_; }

    // The member at a dotted path ("Address.City"): each step names a member of an object (its
    // exact name first, else the first member equal to it in any letter case) or, on an array, a
    // 0-based position in decimal ("Lines.0.Amount"). The empty path is the whole value. Absent
    // when a step finds nothing or the path has an empty step.
    platform::Value valueForFieldSpecifier(std::string_view fieldSpecifier) const;

    // Equal when the other is a ZQSDTData with an equal value.
    bool isEqualTo(const platform::Object& other) const override;
    std::string description() const override;

  private:
    std::shared_ptr<const ZQEntityDataFieldInfo> fieldInfo_;
    platform::Value value_;
};
