// The members of one to-many relationship of one managed object, as its context sees them: once
// loaded, an ordered list without repeats with a membership index; before loading, the members
// added and removed since, applied when the stored members arrive. Removal leaves a hole that is
// swept later, so removing many members stays linear. Owned by its object; used on the thread of
// the object's context.
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/objectstore/ManagedObjectID.hpp"

namespace platform {

class RelationshipList {
  public:
    using Index =
        std::unordered_map<ManagedObjectIDPtr, size_t, ManagedObjectIDHash, ManagedObjectIDEqual>;

    bool isLoaded() const { return loaded_; }
    // Takes the stored members and applies what was added and removed before.
    void load(const std::vector<ManagedObjectIDPtr>& stored);
    // Replaces everything; the list is loaded afterwards.
    void assign(const std::vector<ManagedObjectIDPtr>& members);
    // Forgets the members (a refresh): the next read loads them again.
    void unload();

    void add(const ManagedObjectIDPtr& id);
    void remove(const ManagedObjectIDPtr& id);
    // Loaded lists only.
    bool contains(const ManagedObjectIDPtr& id) const;
    std::vector<ManagedObjectIDPtr> members() const;
    size_t size() const { return index_.size(); }

    // Replaces identifiers (temporary ones by permanent ones after a save).
    void remap(const std::unordered_map<ManagedObjectIDPtr, ManagedObjectIDPtr, ManagedObjectIDHash,
                                        ManagedObjectIDEqual>& replacements);

  private:
    void sweep();

    bool loaded_ = false;
    std::vector<ManagedObjectIDPtr> items_;  // loaded: members in order, null for holes
    Index index_;                            // loaded: member -> position in items_
    // Not loaded: changes since the last load.
    std::vector<ManagedObjectIDPtr> added_;
    Index addedIndex_;
    Index removed_;
};

}  // namespace platform
