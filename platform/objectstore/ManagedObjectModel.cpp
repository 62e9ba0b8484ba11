#include "platform/objectstore/ManagedObjectModel.hpp"

#include <cstdio>
#include <set>

#include "platform/objectstore/ModelFile.hpp"

namespace platform {

namespace {

ErrorPtr invalidModel(const std::string& why) {
    return Error::create(kErrorDomain, errc::kValidation, "Invalid managed object model: " + why);
}

}  // namespace

std::shared_ptr<ManagedObjectModel> ManagedObjectModel::create() {
    return std::make_shared<ManagedObjectModel>();
}

void ManagedObjectModel::setEntities(std::vector<std::shared_ptr<EntityDescription>> entities) {
    entities_ = std::move(entities);
    byName_.clear();
    for (size_t i = 0; i < entities_.size(); ++i) byName_.emplace(entities_[i]->name(), i);
}

std::shared_ptr<EntityDescription> ManagedObjectModel::entityNamed(std::string_view name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : entities_[it->second];
}

std::map<std::string, std::shared_ptr<EntityDescription>> ManagedObjectModel::entitiesByName()
    const {
    std::map<std::string, std::shared_ptr<EntityDescription>> out;
    for (const auto& e : entities_) out.emplace(e->name(), e);
    return out;
}

std::vector<std::string> ManagedObjectModel::configurations() const {
    std::vector<std::string> names;
    for (const auto& c : configurations_) names.push_back(c.first);
    return names;
}

void ManagedObjectModel::setEntitiesForConfiguration(
    const std::vector<std::shared_ptr<EntityDescription>>& entities,
    const std::string& configuration) {
    std::vector<std::string> names;
    for (const auto& e : entities) names.push_back(e->name());
    for (auto& c : configurations_) {
        if (c.first == configuration) {
            c.second = std::move(names);
            return;
        }
    }
    configurations_.emplace_back(configuration, std::move(names));
}

std::vector<std::shared_ptr<EntityDescription>> ManagedObjectModel::entitiesForConfiguration(
    const std::string& configuration) const {
    if (configuration.empty()) return entities_;
    std::set<std::string, std::less<>> wanted;
    for (const auto& c : configurations_) {
        if (c.first == configuration) wanted.insert(c.second.begin(), c.second.end());
    }
    std::vector<std::shared_ptr<EntityDescription>> out;
    for (const auto& e : entities_) {
        if (wanted.count(e->name())) out.push_back(e);
    }
    return out;
}

std::string ManagedObjectModel::versionHash() const {
    // FNV-1a over the canonical file text: cheap, stable across runs and platforms.
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : ModelFile::serialize(*this, false)) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

bool ManagedObjectModel::isEqualTo(const Object& other) const {
    const auto* model = dynamic_cast<const ManagedObjectModel*>(&other);
    return model != nullptr && *this == *model;
}

std::string ManagedObjectModel::description() const {
    return "<ManagedObjectModel: " + std::to_string(entities_.size()) + " entities>";
}

bool ManagedObjectModel::operator==(const ManagedObjectModel& other) const {
    if (entities_.size() != other.entities_.size() || configurations_ != other.configurations_) {
        return false;
    }
    for (size_t i = 0; i < entities_.size(); ++i) {
        if (!entities_[i]->isEqualTo(*other.entities_[i])) return false;
    }
    return true;
}

ErrorPtr ManagedObjectModel::saveToFile(const std::string& path) const {
    return ModelFile::write(*this, path);
}

ManagedObjectModel::ReadResult ManagedObjectModel::readFromFile(const std::string& path) {
    ReadResult r;
    r.model = ModelFile::read(path, r.error);
    return r;
}

ErrorPtr ManagedObjectModel::freeze() {
    std::call_once(frozen_, [this] { freezeError_ = resolve(); });
    return freezeError_;
}

ErrorPtr ManagedObjectModel::resolve() {
    if (byName_.size() != entities_.size()) return invalidModel("two entities share a name");
    for (const auto& c : configurations_) {
        for (const auto& name : c.second) {
            if (!entityNamed(name)) {
                return invalidModel("configuration " + c.first + " names unknown entity " + name);
            }
        }
    }
    for (const auto& entity : entities_) {
        if (entity->name().empty()) return invalidModel("an entity has no name");
        std::set<std::string> names;
        for (const auto& p : entity->properties()) {
            if (p->name().empty() || !names.insert(p->name()).second) {
                return invalidModel("entity " + entity->name() +
                                    " has an unnamed or repeated property");
            }
            auto* a = dynamic_cast<const AttributeDescription*>(p.get());
            if (a && !isStorableAttributeType(a->attributeType())) {
                return invalidModel(entity->name() + "." + p->name() + " has no storable type");
            }
        }
        for (const auto& index : entity->indexes()) {
            for (const auto& element : index.elements()) {
                auto a = entity->attributeNamed(element.propertyName);
                auto r = entity->relationshipNamed(element.propertyName);
                if (!a && !(r && !r->isToMany())) {
                    return invalidModel("index " + index.name() + " of " + entity->name() +
                                        " names " + element.propertyName);
                }
            }
        }
    }
    for (const auto& entity : entities_) {
        for (const auto& p : entity->properties()) {
            auto* r = dynamic_cast<RelationshipDescription*>(p.get());
            if (!r) continue;
            std::string where = entity->name() + "." + r->name();
            auto destination = entityNamed(r->destinationEntityName());
            if (!destination) return invalidModel(where + " has an unknown destination");
            if (r->maxCount() < 0 || r->minCount() < 0) return invalidModel(where + " counts");
            r->sourceEntity_ = entity.get();
            r->destinationEntity_ = destination.get();
            const RelationshipDescription* inverse = nullptr;
            if (!r->inverseName().empty()) {
                auto inv = destination->relationshipNamed(r->inverseName());
                if (!inv || inv->destinationEntityName() != entity->name() ||
                    inv->inverseName() != r->name()) {
                    return invalidModel(where + " and its inverse do not match");
                }
                inverse = inv.get();
            }
            r->inverseRelationship_ = inverse;
            if (!r->isToMany()) {
                r->storage_ = RelationshipStorage::ForeignKey;
            } else if (r->isOrdered() || !inverse) {
                r->storage_ = RelationshipStorage::LinkTable;
            } else if (!inverse->isToMany()) {
                r->storage_ = RelationshipStorage::InverseForeignKey;
            } else if (inverse->isOrdered()) {
                r->storage_ = RelationshipStorage::InverseLinkTable;
            } else {
                // Two unordered to-many sides share one table, written by the side that sorts
                // first.
                bool owner = std::make_pair(entity->name(), r->name()) <
                             std::make_pair(destination->name(), inverse->name());
                r->storage_ =
                    owner ? RelationshipStorage::LinkTable : RelationshipStorage::InverseLinkTable;
            }
        }
    }
    return nullptr;
}

}  // namespace platform
