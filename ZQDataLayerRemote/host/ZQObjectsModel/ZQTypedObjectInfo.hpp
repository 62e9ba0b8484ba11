// Type information of one named thing of the application model: an attribute, a domain, a
// variable, a parameter or a structured-type member. Either it has a type of its own or it is
// based on an attribute, a domain or a structured type, whose type it takes once the model loader
// has resolved the reference. Built by the loader; immutable afterwards, so any thread reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"

enum ZQTypedObjectBasedOnType : uint8_t {
    ZQTypedObjectBasedOnNone = 0,           // own data type, length and decimals
    ZQTypedObjectBasedOnAttribute = 1,      // basedOnName names an attribute
    ZQTypedObjectBasedOnDomain = 2,         // basedOnName names a domain
    ZQTypedObjectBasedOnSDT = 3,            // basedOnName names a structured type
    ZQTypedObjectBasedOnSDTCollection = 4,  // a collection of that structured type
};

class ZQTypedObjectInfo : public ZQEntityDataFieldInfo {
  public:
    // Own type.
    ZQTypedObjectInfo(std::string name, ZQDataType dataType, uint32_t length, uint32_t decimals);
    // Based on another definition; the type is unknown (character) until resolveBasedOn.
    ZQTypedObjectInfo(std::string name, ZQTypedObjectBasedOnType basedOnType,
                      std::string basedOnName);

    const std::string& name() const { return name_; }
    ZQTypedObjectBasedOnType basedOnType() const { return basedOnType_; }
    const std::string& basedOnName() const { return basedOnName_; }
    // The definition this info is based on, once resolved; none for own types.
    const std::shared_ptr<const ZQTypedObjectInfo>& basedOnInfo() const { return basedOnInfo_; }
    bool isCollection() const { return basedOnType_ == ZQTypedObjectBasedOnSDTCollection; }

    // True when the type is known: an own type, or a reference the loader resolved. References
    // are resolved when the model is loaded, so this never loads anything later.
    bool ensureBasedOnInfoIsLoaded() const {
        return basedOnType_ == ZQTypedObjectBasedOnNone || basedOnInfo_;
    }

    ZQDataType dataType() const { return dataType_; }
    uint32_t length() const { return length_; }
    uint32_t decimals() const { return decimals_; }

    ZQDataType entityDataFieldInfoDataType() const override { return dataType_; }
    uint32_t entityDataFieldInfoLength() const override { return length_; }
    uint32_t entityDataFieldInfoDecimals() const override { return decimals_; }

    // Loader only, before the model is published: takes the type of the resolved definition
    // (a structured type makes the data type ZQDataTypeSDT).
    void resolveBasedOn(std::shared_ptr<const ZQTypedObjectInfo> info);

  private:
    std::string name_;
    ZQTypedObjectBasedOnType basedOnType_ = ZQTypedObjectBasedOnNone;
    std::string basedOnName_;
    std::shared_ptr<const ZQTypedObjectInfo> basedOnInfo_;
    ZQDataType dataType_ = ZQDataTypeCharacter;
    uint32_t length_ = 0;
    uint32_t decimals_ = 0;
};
