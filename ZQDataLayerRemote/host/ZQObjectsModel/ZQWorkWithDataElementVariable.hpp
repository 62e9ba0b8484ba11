// A variable data element: its typed object info says whether it has a type of its own or is
// based on an attribute, a domain or a structured type. Immutable once loaded; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataElement.hpp"

class ZQWorkWithDataElementVariable : public ZQWorkWithDataElement {
  public:
    ZQWorkWithDataElementVariable(std::string name, std::shared_ptr<const ZQTypedObjectInfo> info)
        : ZQWorkWithDataElement(ZQWorkWithDataElementTypeVariable, std::move(name)) {
        setFieldInfo(std::move(info));
    }
    const std::shared_ptr<const ZQTypedObjectInfo>& typedObjectInfo() const { return fieldInfo(); }
};
