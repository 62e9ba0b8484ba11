#include "platform/objectstore/EntityDescription.hpp"

namespace platform {

std::shared_ptr<EntityDescription> EntityDescription::create(std::string name,
                                                             std::string className) {
    auto e = std::make_shared<EntityDescription>();
    e->setName(std::move(name));
    e->setManagedObjectClassName(std::move(className));
    return e;
}

void EntityDescription::setProperties(
    std::vector<std::shared_ptr<PropertyDescription>> properties) {
    properties_ = std::move(properties);
    reindex();
}

void EntityDescription::addProperty(std::shared_ptr<PropertyDescription> property) {
    properties_.push_back(std::move(property));
    reindex();
}

void EntityDescription::reindex() {
    byName_.clear();
    for (size_t i = 0; i < properties_.size(); ++i) {
        properties_[i]->index_ = i;
        byName_.emplace(properties_[i]->name(), i);  // a repeated name keeps the first
    }
}

int EntityDescription::propertyIndex(std::string_view name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? -1 : static_cast<int>(it->second);
}

std::shared_ptr<PropertyDescription> EntityDescription::propertyNamed(std::string_view name) const {
    int i = propertyIndex(name);
    return i < 0 ? nullptr : properties_[static_cast<size_t>(i)];
}

std::shared_ptr<AttributeDescription> EntityDescription::attributeNamed(
    std::string_view name) const {
    return std::dynamic_pointer_cast<AttributeDescription>(propertyNamed(name));
}

std::shared_ptr<RelationshipDescription> EntityDescription::relationshipNamed(
    std::string_view name) const {
    return std::dynamic_pointer_cast<RelationshipDescription>(propertyNamed(name));
}

std::map<std::string, std::shared_ptr<PropertyDescription>> EntityDescription::propertiesByName()
    const {
    std::map<std::string, std::shared_ptr<PropertyDescription>> out;
    for (const auto& p : properties_) out.emplace(p->name(), p);
    return out;
}

std::map<std::string, std::shared_ptr<AttributeDescription>> EntityDescription::attributesByName()
    const {
    std::map<std::string, std::shared_ptr<AttributeDescription>> out;
    for (const auto& p : properties_) {
        if (auto a = std::dynamic_pointer_cast<AttributeDescription>(p)) out.emplace(a->name(), a);
    }
    return out;
}

std::map<std::string, std::shared_ptr<RelationshipDescription>>
EntityDescription::relationshipsByName() const {
    std::map<std::string, std::shared_ptr<RelationshipDescription>> out;
    for (const auto& p : properties_) {
        if (auto r = std::dynamic_pointer_cast<RelationshipDescription>(p))
            out.emplace(r->name(), r);
    }
    return out;
}

bool EntityDescription::isEqualTo(const EntityDescription& other) const {
    if (name_ != other.name_ || className_ != other.className_ ||
        properties_.size() != other.properties_.size() || indexes_ != other.indexes_) {
        return false;
    }
    for (size_t i = 0; i < properties_.size(); ++i) {
        if (!properties_[i]->isEqualTo(*other.properties_[i])) return false;
    }
    return true;
}

}  // namespace platform
