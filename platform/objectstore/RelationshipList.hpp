// The members of one to-many relationship of one managed object, as its context sees them: once
// loaded, an ordered list without repeats with a membership index, made on the first look-up of a
// list that is not short (a list that is only read, or a short one, never pays for it); before
// loading, the members added and removed since, applied when the stored members arrive. Removal
// leaves a hole that is swept later, so removing many members stays linear. Owned by its object;
// used on the thread of the object's context.
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/TemporaryIDMap.hpp"

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

    // False when the id was a member (or, not loaded, already added) before.
    bool add(const ManagedObjectIDPtr& id);
    void remove(const ManagedObjectIDPtr& id);
    // Loaded lists only.
    bool contains(const ManagedObjectIDPtr& id);
    std::vector<ManagedObjectIDPtr> members() const;
    size_t size() const { return count_; }

    // Replaces identifiers (temporary ones by permanent ones after a save).
    void remap(const TemporaryIDMap& replacements);

    static constexpr size_t kNone = ~size_t{0};

  private:
    void sweep();
    void ensureIndex();
    // Position in items_ (loaded) or added_ (not loaded), or kNone; short lists are scanned.
    size_t find(const ManagedObjectIDPtr& id);
    size_t findAdded(const ManagedObjectIDPtr& id);

    bool loaded_ = false;
    std::vector<ManagedObjectIDPtr> items_;  // loaded: members in order, null for holes
    size_t count_ = 0;                       // loaded: members in items_
    bool indexed_ = false;                   // whether index_ is made
    Index index_;                            // loaded and indexed: member -> position in items_
    // Not loaded: changes since the last load.
    std::vector<ManagedObjectIDPtr> added_;
    bool addedIndexed_ = false;  // whether addedIndex_ is made
    Index addedIndex_;
    Index removed_;
};

}  // namespace platform
