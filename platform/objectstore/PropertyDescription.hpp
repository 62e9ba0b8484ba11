// Base of the properties of an entity: a named attribute or relationship, optional or not. Owned
// by its entity (shared); built on one thread, then read-only and shared by every thread once the
// model is frozen by a coordinator.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class EntityDescription;

class PropertyDescription {
  public:
    virtual ~PropertyDescription() = default;

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    bool isOptional() const { return optional_; }
    void setOptional(bool optional) { optional_ = optional; }

    virtual bool isAttribute() const = 0;
    bool isRelationship() const { return !isAttribute(); }
    // Equal by content (name, kind and every setting), not by identity.
    virtual bool isEqualTo(const PropertyDescription& other) const;

    // Position among the entity's properties; set when the entity's properties are set.
    size_t index() const { return index_; }

  protected:
    PropertyDescription() = default;
    PropertyDescription(const PropertyDescription&) = default;

  private:
    friend class EntityDescription;
    std::string name_;
    bool optional_ = true;
    size_t index_ = 0;
};

}  // namespace platform
