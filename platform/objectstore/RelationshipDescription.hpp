// A relationship of an entity: destination entity, inverse, to-one or to-many with minimum and
// maximum counts, ordered flag and delete rule. Owned by its entity (shared); built on one thread,
// then read-only and shared by every thread once its model is frozen by a coordinator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/objectstore/PropertyDescription.hpp"

namespace platform {

enum class DeleteRule : int { Nullify = 1, Cascade = 2 };

// How the store keeps a relationship; decided when the model is frozen.
enum class RelationshipStorage {
    ForeignKey,         // to-one: a column of the entity's table
    InverseForeignKey,  // unordered to-many whose inverse is to-one: read through that column
    LinkTable,          // this side writes a link table (owner, member, position)
    InverseLinkTable,   // unordered to-many whose inverse writes the link table
};

class RelationshipDescription : public PropertyDescription {
  public:
    // A to-one relationship has maximum count 1; a to-many one has maximum 0 (no limit) or more
    // than 1.
    [[nodiscard]] static std::shared_ptr<RelationshipDescription> create(
        std::string name, std::string destinationEntityName, bool toMany,
        DeleteRule deleteRule = DeleteRule::Nullify);

    const std::string& destinationEntityName() const { return destination_; }
    void setDestinationEntityName(std::string name) { destination_ = std::move(name); }
    // Empty when the relationship has no inverse.
    const std::string& inverseName() const { return inverse_; }
    void setInverseName(std::string name) { inverse_ = std::move(name); }

    int64_t minCount() const { return minCount_; }
    void setMinCount(int64_t count) { minCount_ = count; }
    int64_t maxCount() const { return maxCount_; }
    void setMaxCount(int64_t count) { maxCount_ = count; }
    bool isToMany() const { return maxCount_ != 1; }
    bool isOrdered() const { return ordered_; }
    void setOrdered(bool ordered) { ordered_ = ordered; }
    DeleteRule deleteRule() const { return deleteRule_; }
    void setDeleteRule(DeleteRule rule) { deleteRule_ = rule; }
    // Whether an object keeps the members of this to-many relationship that were read with their
    // rows while it lives and its list is unchanged, so that reading them again (after a merge
    // that left the list alone) finds them in memory, even in a context that holds its objects
    // weakly. Meant for a tree of small lists kept whole (an instance and its lines), not for
    // long lists read a page at a time. Not stored: it changes nothing in the store.
    bool keepsLoadedMembers() const { return keepsLoadedMembers_; }
    void setKeepsLoadedMembers(bool keeps) { keepsLoadedMembers_ = keeps; }

    bool isAttribute() const override { return false; }
    bool isEqualTo(const PropertyDescription& other) const override;

    // Resolved when the model is frozen (null before, or when the names do not resolve). The
    // pointers live as long as the model.
    const EntityDescription* sourceEntity() const { return sourceEntity_; }
    const EntityDescription* destinationEntity() const { return destinationEntity_; }
    const RelationshipDescription* inverseRelationship() const { return inverseRelationship_; }
    RelationshipStorage storage() const { return storage_; }

  private:
    friend class ManagedObjectModel;
    std::string destination_;
    std::string inverse_;
    int64_t minCount_ = 0;
    int64_t maxCount_ = 1;
    bool ordered_ = false;
    DeleteRule deleteRule_ = DeleteRule::Nullify;
    bool keepsLoadedMembers_ = false;

    const EntityDescription* sourceEntity_ = nullptr;
    const EntityDescription* destinationEntity_ = nullptr;
    const RelationshipDescription* inverseRelationship_ = nullptr;
    RelationshipStorage storage_ = RelationshipStorage::ForeignKey;
};

}  // namespace platform
