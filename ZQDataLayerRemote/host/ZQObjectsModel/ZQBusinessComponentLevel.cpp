#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"

#include <utility>

ZQBusinessComponentLevel::ZQBusinessComponentLevel(std::string name, std::string levelName)
    : name_(std::move(name)), levelName_(std::move(levelName)) {
    if (levelName_.empty()) levelName_ = name_;
}

std::vector<std::shared_ptr<const ZQBusinessComponentAttribute>>
ZQBusinessComponentLevel::keyAttributes() const {
    std::vector<std::shared_ptr<const ZQBusinessComponentAttribute>> keys;
    for (const auto& attribute : attributes_)
        if (attribute->isKey()) keys.push_back(attribute);
    return keys;
}

std::shared_ptr<const ZQBusinessComponentAttribute> ZQBusinessComponentLevel::attributeNamed(
    const std::string& name) const {
    for (const auto& attribute : attributes_)
        if (attribute->name() == name) return attribute;
    return nullptr;
}
