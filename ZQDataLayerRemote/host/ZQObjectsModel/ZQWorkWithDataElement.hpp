// One data element of a Work With data provider or sublevel: an attribute (type 0) or a variable
// (type 1, ZQWorkWithDataElementVariable), with the type information it resolves to. Owned by its
// data level. Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"

enum ZQWorkWithDataElementType : uint8_t {
    ZQWorkWithDataElementTypeAttribute = 0,
    ZQWorkWithDataElementTypeVariable = 1,
};

class ZQWorkWithDataElement {
  public:
    ZQWorkWithDataElement(ZQWorkWithDataElementType type, std::string name)
        : type_(type), name_(std::move(name)) {}
    virtual ~ZQWorkWithDataElement() = default;

    ZQWorkWithDataElementType type() const { return type_; }
    // Attribute name, or variable name with its leading "&".
    const std::string& name() const { return name_; }
    // The attribute's definition for an attribute element (none when the model does not define
    // it), the variable's own information for a variable.
    const std::shared_ptr<const ZQTypedObjectInfo>& fieldInfo() const { return fieldInfo_; }

    // Loader only.
    void setFieldInfo(std::shared_ptr<const ZQTypedObjectInfo> info) {
        fieldInfo_ = std::move(info);
    }

  private:
    ZQWorkWithDataElementType type_;
    std::string name_;
    std::shared_ptr<const ZQTypedObjectInfo> fieldInfo_;
};
