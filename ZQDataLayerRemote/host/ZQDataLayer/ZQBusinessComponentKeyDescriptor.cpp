#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"

#include <string>
#include <utility>

namespace {

class AttributeFieldDescriptor : public ZQEntityDataFieldDescriptor {
  public:
    AttributeFieldDescriptor(std::string name, std::shared_ptr<const ZQEntityDataFieldInfo> info)
        : name_(std::move(name)), info_(std::move(info)) {}

    const std::string& entityDataFieldName() const override { return name_; }
    uint8_t entityDataFieldType() const override { return ZQEntityDataFieldTypeAttribute; }
    std::shared_ptr<const ZQEntityDataFieldInfo> entityDataFieldInfo() const override {
        return info_;
    }

  private:
    const std::string name_;
    const std::shared_ptr<const ZQEntityDataFieldInfo> info_;
};

}  // namespace

std::shared_ptr<const ZQEntityDataFieldDescriptor>
ZQBusinessComponentKeyDescriptor::fieldDescriptor(const ZQBusinessComponentAttribute& attribute) {
    return std::make_shared<AttributeFieldDescriptor>(attribute.name(), attribute.fieldInfo());
}

ZQBusinessComponentKeyDescriptor::ZQBusinessComponentKeyDescriptor(
    const ZQBusinessComponentLevel& level) {
    for (const auto& attribute : level.keyAttributes())
        fields_.push_back(fieldDescriptor(*attribute));
}
