// The key descriptor of a business-component level: one field descriptor per key attribute, in
// attribute order, typed by the attribute's definition, so that a key built on it formats its
// values the way the level's attributes are typed. Immutable once built; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"

class ZQBusinessComponentKeyDescriptor : public ZQEntityDataKeyDescriptor {
  public:
    // A field descriptor for one attribute (kind: attribute; type: its definition, or none).
    [[nodiscard]] static std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor(
        const ZQBusinessComponentAttribute& attribute);

    explicit ZQBusinessComponentKeyDescriptor(const ZQBusinessComponentLevel& level);

    const ZQEntityDataFieldDescriptors& entityDataKeyFieldsDescriptors() const override {
        return fields_;
    }

  private:
    ZQEntityDataFieldDescriptors fields_;
};
