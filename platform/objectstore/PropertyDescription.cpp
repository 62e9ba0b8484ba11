#include "platform/objectstore/PropertyDescription.hpp"

namespace platform {

bool PropertyDescription::isEqualTo(const PropertyDescription& other) const {
    return name_ == other.name_ && optional_ == other.optional_ &&
           isAttribute() == other.isAttribute();
}

}  // namespace platform
