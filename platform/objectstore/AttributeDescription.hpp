// A stored attribute of an entity: name, type and optional flag. Owned by its entity (shared);
// built on one thread, then read-only and shared by every thread once its model is frozen.
#pragma once

#include <memory>
#include <string>

#include "platform/Value.hpp"
#include "platform/objectstore/PropertyDescription.hpp"

namespace platform {

// The numbers are the platform's attribute type codes, which callers compare against (a string
// attribute is type 700). ObjectID is only a result type of expression descriptions.
enum class AttributeType : int {
    Undefined = 0,
    Integer16 = 100,
    Integer32 = 200,
    Integer64 = 300,
    Decimal = 400,
    Double = 500,
    Float = 600,
    String = 700,
    Boolean = 800,
    Date = 900,
    Binary = 1000,
    ObjectID = 2000,
};

const char* attributeTypeName(AttributeType type);
bool isStorableAttributeType(AttributeType type);

class AttributeDescription : public PropertyDescription {
  public:
    [[nodiscard]] static std::shared_ptr<AttributeDescription> create(std::string name,
                                                                      AttributeType type,
                                                                      bool optional = true);

    AttributeType attributeType() const { return type_; }
    void setAttributeType(AttributeType type) { type_ = type; }

    bool isAttribute() const override { return true; }
    bool isEqualTo(const PropertyDescription& other) const override;

    // The value as stored for this type: numbers converted between integer, floating and boolean
    // kinds, a decimal kept in canonical text; absent and null both become absent. Returns false
    // (and leaves `out` alone) for a value of a kind the type cannot hold.
    bool coerce(const Value& value, Value& out) const;

  private:
    AttributeType type_ = AttributeType::Undefined;
};

}  // namespace platform
