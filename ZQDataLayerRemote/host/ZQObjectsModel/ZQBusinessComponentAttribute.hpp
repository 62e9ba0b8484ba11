// One attribute of a business-component level: its name, whether it is part of the level's key,
// and its type: the application model's attribute definition of the same name, which the model
// loader resolves once every definition is read (as it does for Work With elements). Built by the
// loader; immutable afterwards; any thread.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"

class ZQBusinessComponentAttribute {
  public:
    ZQBusinessComponentAttribute(std::string name, bool isKey)
        : name_(std::move(name)), isKey_(isKey) {}

    const std::string& name() const { return name_; }
    bool isKey() const { return isKey_; }
    // The attribute's definition; none when the model does not define it.
    const std::shared_ptr<const ZQTypedObjectInfo>& fieldInfo() const { return fieldInfo_; }

    // Loader only, before the model is published.
    void setFieldInfo(std::shared_ptr<const ZQTypedObjectInfo> info) {
        fieldInfo_ = std::move(info);
    }

  private:
    std::string name_;
    bool isKey_;
    std::shared_ptr<const ZQTypedObjectInfo> fieldInfo_;
};
