// A structured data type of the application model: a named list of members, each with its own
// type information (members may themselves be structured types or collections of them). Built by
// the model loader; immutable afterwards, so any thread reads it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"

class ZQStructuredDataTypeInfo : public ZQTypedObjectInfo {
  public:
    explicit ZQStructuredDataTypeInfo(std::string name)
        : ZQTypedObjectInfo(std::move(name), ZQDataTypeSDT, 0, 0) {}

    const std::vector<std::shared_ptr<const ZQTypedObjectInfo>>& members() const {
        return members_;
    }
    // None when no member has that name (exact match).
    std::shared_ptr<const ZQTypedObjectInfo> memberNamed(const std::string& name) const {
        for (const auto& member : members_)
            if (member->name() == name) return member;
        return nullptr;
    }

    // Loader only.
    void addMember(std::shared_ptr<const ZQTypedObjectInfo> member) {
        members_.push_back(std::move(member));
    }

  private:
    std::vector<std::shared_ptr<const ZQTypedObjectInfo>> members_;
};
