#include "platform/objectstore/RelationshipList.hpp"

#include "platform/objectstore/HashSlots.hpp"

namespace platform {

namespace {

// Below this many entries a list is searched in place: most lists (an order's lines, an object's
// inverse of a to-one) are short, and an index would cost them memory of their own.
constexpr size_t kIndexFrom = 16;

}  // namespace

// ---- IDVector

uint64_t RelationshipList::IDVector::hashOf(const ManagedObjectID& id) {
    // Equal identifiers agree on number, store and kind; the members of one list share their
    // entity, so it is left out.
    uint64_t h = static_cast<uint64_t>(id.number()) * 0x9e3779b97f4a7c15ull;
    h ^= (id.storeSerial() * 2 + (id.isTemporaryID() ? 1 : 0)) * 0xc2b2ae3d27d4eb4full;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return h;
}

void RelationshipList::IDVector::place(uint64_t hash, size_t position) {
    placeSlot(slots_, Slot{hash, position});
}

void RelationshipList::IDVector::buildIndex() {
    size_t capacity = 32;
    while (capacity < 2 * ids_.size() + 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    indexedCount_ = 0;
    for (size_t i = 0; i < ids_.size(); ++i) {
        if (!ids_[i]) continue;
        place(hashOf(*ids_[i]), i + 1);
        ++indexedCount_;
    }
    indexed_ = true;
}

size_t RelationshipList::IDVector::find(const ManagedObjectID& id) {
    if (!indexed_) {
        if (ids_.size() < kIndexFrom) {
            for (size_t i = 0; i < ids_.size(); ++i) {
                if (ids_[i] && *ids_[i] == id) return i;
            }
            return kNone;
        }
        buildIndex();
    }
    size_t slot =
        findSlot(slots_, hashOf(id), [&](size_t position) { return *ids_[position] == id; });
    return slot == kNoSlot ? kNone : slots_[slot].position - 1;
}

void RelationshipList::IDVector::push(const ManagedObjectIDPtr& id) {
    ids_.push_back(id);
    if (!indexed_) return;
    if (2 * (indexedCount_ + 1) > slots_.size()) resizeSlots(slots_, slots_.size() * 2);
    place(hashOf(*id), ids_.size());
    ++indexedCount_;
}

void RelationshipList::IDVector::erase(size_t position) {
    if (indexed_) {
        eraseSlotWithBackwardShift(
            slots_, findSlot(slots_, hashOf(*ids_[position]),
                             [position](size_t listed) { return listed == position; }));
        --indexedCount_;
    }
    ids_[position] = nullptr;
}

void RelationshipList::IDVector::clear() {
    ids_.clear();
    dropIndex();
}

void RelationshipList::IDVector::dropIndex() {
    indexed_ = false;
    indexedCount_ = 0;
}

// ---- RelationshipList

RelationshipList::Pending& RelationshipList::pending() {
    if (!pending_) pending_ = std::make_unique<Pending>();
    return *pending_;
}

void RelationshipList::load(const std::vector<ManagedObjectIDPtr>& stored) {
    if (!pending_ || (pending_->added.empty() && pending_->removed.empty())) {
        // Stored members have no repeats: they take the list as they are.
        assign({});
        items_.mutableIDs() = stored;
        count_ = stored.size();
        return;
    }
    Pending& changes = *pending_;
    std::vector<ManagedObjectIDPtr> members;
    members.reserve(stored.size() + changes.added.ids().size());
    for (const auto& id : stored) {
        if (changes.removed.find(*id) == kNone) members.push_back(id);
    }
    for (const auto& id : changes.added.ids()) {
        if (id) members.push_back(id);
    }
    assign(members);
}

void RelationshipList::assign(const std::vector<ManagedObjectIDPtr>& members) {
    // The objects kept may end as they go: after the list is consistent again.
    auto released = std::move(held_);
    held_.clear();
    items_.clear();
    count_ = 0;
    pending_.reset();
    loaded_ = true;
    for (const auto& id : members) add(id);
}

void RelationshipList::unload() {
    assign({});
    loaded_ = false;
}

bool RelationshipList::add(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        if (items_.find(*id) != kNone) return false;
        items_.push(id);
        ++count_;
        held_.clear();
        return true;
    }
    Pending& changes = pending();
    if (!changes.removed.empty()) {
        if (size_t i = changes.removed.find(*id); i != kNone) changes.removed.erase(i);
    }
    if (changes.added.find(*id) != kNone) return false;
    changes.added.push(id);
    return true;
}

void RelationshipList::remove(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        size_t i = items_.find(*id);
        if (i == kNone) return;
        items_.erase(i);
        --count_;
        if (items_.ids().size() > 32 && count_ < items_.ids().size() / 2) sweep();
        // The removed member may end here; the list is consistent already.
        held_.clear();
        return;
    }
    Pending& changes = pending();
    if (size_t i = changes.added.find(*id); i != kNone) changes.added.erase(i);
    if (changes.removed.find(*id) == kNone) changes.removed.push(id);
}

bool RelationshipList::contains(const ManagedObjectIDPtr& id) {
    return items_.find(*id) != kNone;
}

std::vector<ManagedObjectIDPtr> RelationshipList::members() const {
    std::vector<ManagedObjectIDPtr> out;
    out.reserve(count_);
    for (const auto& id : items_.ids()) {
        if (id) out.push_back(id);
    }
    return out;
}

void RelationshipList::sweep() {
    auto kept = members();
    items_.clear();  // the index is made again on the next look-up
    items_.mutableIDs() = std::move(kept);
    count_ = items_.ids().size();
}

void RelationshipList::remap(const TemporaryIDMap& replacements) {
    auto replace = [&](IDVector& list) {
        bool changed = false;
        for (auto& id : list.mutableIDs()) {
            // Only temporary identifiers are ever replaced: the others skip the look-up.
            if (!id || !id->isTemporaryID()) continue;
            if (const auto* permanent = replacements.find(*id)) {
                id = *permanent;
                changed = true;
            }
        }
        // Positions stay as they are; only the index, keyed by identifier, is stale. It is made
        // again on the next look-up, which a list that is only read never makes.
        if (changed) list.dropIndex();
    };
    if (loaded_) {
        replace(items_);
        return;
    }
    if (pending_) replace(pending_->added);
}

}  // namespace platform
