// An entity of a managed-object model: name, class name of its objects, ordered properties
// (attributes and relationships) and fetch indexes. Owned by its model (shared); built on one
// thread, then read-only and shared by every thread once the model is frozen by a coordinator.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/objectstore/AttributeDescription.hpp"
#include "platform/objectstore/FetchIndexDescription.hpp"
#include "platform/objectstore/RelationshipDescription.hpp"

namespace platform {

class EntityDescription {
  public:
    [[nodiscard]] static std::shared_ptr<EntityDescription> create(std::string name,
                                                                   std::string className = "");

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    // The class registered with ManagedObjectClassRegistry that the objects of this entity are
    // made of; empty (or unregistered) gives plain managed objects.
    const std::string& managedObjectClassName() const { return className_; }
    void setManagedObjectClassName(std::string name) { className_ = std::move(name); }

    const std::vector<std::shared_ptr<PropertyDescription>>& properties() const {
        return properties_;
    }
    void setProperties(std::vector<std::shared_ptr<PropertyDescription>> properties);
    void addProperty(std::shared_ptr<PropertyDescription> property);

    std::shared_ptr<PropertyDescription> propertyNamed(std::string_view name) const;
    std::shared_ptr<AttributeDescription> attributeNamed(std::string_view name) const;
    std::shared_ptr<RelationshipDescription> relationshipNamed(std::string_view name) const;
    // Index in properties(), or -1.
    int propertyIndex(std::string_view name) const;
    std::map<std::string, std::shared_ptr<PropertyDescription>> propertiesByName() const;
    std::map<std::string, std::shared_ptr<AttributeDescription>> attributesByName() const;
    std::map<std::string, std::shared_ptr<RelationshipDescription>> relationshipsByName() const;

    const std::vector<FetchIndexDescription>& indexes() const { return indexes_; }
    void setIndexes(std::vector<FetchIndexDescription> indexes) { indexes_ = std::move(indexes); }

    // Equal by content: name, class name, properties in order, indexes.
    bool isEqualTo(const EntityDescription& other) const;

  private:
    void reindex();

    std::string name_;
    std::string className_;
    std::vector<std::shared_ptr<PropertyDescription>> properties_;
    // Hashed, found by string_view without a copy: key-value access looks names up per call.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>()(name);
        }
    };
    std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> byName_;
    std::vector<FetchIndexDescription> indexes_;
};

}  // namespace platform
