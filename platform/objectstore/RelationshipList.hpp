// The members of one to-many relationship of one managed object, as its context sees them: once
// loaded, an ordered list without repeats with a membership index, made on the first look-up of a
// list that is not short (a list that is only read, or a short one, never pays for it); before
// loading, the members added and removed since, applied when the stored members arrive. Removal
// leaves a hole that is swept later, so removing many members stays linear. Owned by its object;
// used on the thread of the object's context.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/TemporaryIDMap.hpp"

namespace platform {

class ManagedObject;

class RelationshipList {
  public:
    // A set of identifiers for callers that need one (the members wanted by a to-many set).
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
    // Whether the list is loaded and holds exactly `count` members, the i-th being idAt(i).
    template <typename IDAt>
    bool holdsExactly(size_t count, IDAt idAt) const {
        if (!loaded_ || count != count_) return false;
        size_t i = 0;
        for (const auto& id : items_.ids()) {
            if (!id) continue;
            if (!(*id == *idAt(i))) return false;
            ++i;
        }
        return true;
    }

    // Replaces identifiers (temporary ones by permanent ones after a save).
    void remap(const TemporaryIDMap& replacements);

    // Keeps the members' objects, in the list's order, until the membership changes or the list
    // is unloaded (for relationships that keep their loaded members).
    void hold(std::vector<std::shared_ptr<ManagedObject>> members) { held_ = std::move(members); }
    // The objects kept, or none; all of the members when non-empty.
    const std::vector<std::shared_ptr<ManagedObject>>& held() const { return held_; }

    static constexpr size_t kNone = ~size_t{0};

  private:
    // Identifiers in a vector, null for holes, with the position of each found by scanning while
    // the vector is short and through an open-addressing table of (hash, position) slots once it
    // is not: no allocation per member, unlike a node-based map.
    class IDVector {
      public:
        const std::vector<ManagedObjectIDPtr>& ids() const { return ids_; }
        std::vector<ManagedObjectIDPtr>& mutableIDs() { return ids_; }
        bool empty() const { return ids_.empty(); }
        size_t find(const ManagedObjectID& id);
        void push(const ManagedObjectIDPtr& id);
        // Leaves a hole at position i (from find).
        void erase(size_t i);
        void clear();
        // After the identifiers changed in place: the table is made again on the next look-up.
        void dropIndex();

      private:
        struct Slot {
            uint64_t hash = 0;
            size_t position = 0;  // 0 empty, else position in ids_ + 1
        };
        static uint64_t hashOf(const ManagedObjectID& id);
        void buildIndex();
        void place(uint64_t hash, size_t position);

        std::vector<ManagedObjectIDPtr> ids_;
        bool indexed_ = false;
        size_t indexedCount_ = 0;  // slots in use
        std::vector<Slot> slots_;  // indexed: a power of two at most half full
    };

    // Not loaded: changes since the last load. Apart, and made on the first change, because
    // most lists never have any (an inserted object's lists are loaded from the start).
    struct Pending {
        IDVector added;
        IDVector removed;
    };
    Pending& pending();
    void sweep();

    bool loaded_ = false;
    IDVector items_;    // loaded: members in order, null for holes
    size_t count_ = 0;  // loaded: members in items_
    std::unique_ptr<Pending> pending_;
    std::vector<std::shared_ptr<ManagedObject>> held_;
};

}  // namespace platform
