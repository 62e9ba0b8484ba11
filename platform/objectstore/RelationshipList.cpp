#include "platform/objectstore/RelationshipList.hpp"

namespace platform {

namespace {

// Below this many entries a list is searched in place: most lists (an order's lines, an object's
// inverse of a to-one) are short, and an index would cost them an allocation per member.
constexpr size_t kIndexFrom = 16;

size_t scan(const std::vector<ManagedObjectIDPtr>& ids, const ManagedObjectID& id) {
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] && *ids[i] == id) return i;
    }
    return RelationshipList::kNone;
}

}  // namespace

void RelationshipList::load(const std::vector<ManagedObjectIDPtr>& stored) {
    if (added_.empty() && removed_.empty()) {
        // Stored members have no repeats: they take the list as they are.
        assign({});
        items_ = stored;
        count_ = items_.size();
        return;
    }
    std::vector<ManagedObjectIDPtr> members;
    members.reserve(stored.size() + added_.size());
    for (const auto& id : stored) {
        if (!removed_.count(id)) members.push_back(id);
    }
    for (const auto& id : added_) {
        if (id) members.push_back(id);
    }
    assign(members);
}

void RelationshipList::assign(const std::vector<ManagedObjectIDPtr>& members) {
    items_.clear();
    if (!index_.empty()) index_.clear();
    indexed_ = false;
    count_ = 0;
    added_.clear();
    if (!addedIndex_.empty()) addedIndex_.clear();
    addedIndexed_ = false;
    if (!removed_.empty()) removed_.clear();
    loaded_ = true;
    for (const auto& id : members) add(id);
}

void RelationshipList::unload() {
    assign({});
    loaded_ = false;
}

void RelationshipList::ensureIndex() {
    if (indexed_) return;
    index_.clear();
    index_.reserve(count_);
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]) index_.emplace(items_[i], i);
    }
    indexed_ = true;
}

size_t RelationshipList::find(const ManagedObjectIDPtr& id) {
    if (!indexed_ && items_.size() < kIndexFrom) return scan(items_, *id);
    ensureIndex();
    auto it = index_.find(id);
    return it == index_.end() ? kNone : it->second;
}

size_t RelationshipList::findAdded(const ManagedObjectIDPtr& id) {
    if (!addedIndexed_) {
        if (added_.size() < kIndexFrom) return scan(added_, *id);
        addedIndex_.clear();
        for (size_t i = 0; i < added_.size(); ++i) {
            if (added_[i]) addedIndex_.emplace(added_[i], i);
        }
        addedIndexed_ = true;
    }
    auto it = addedIndex_.find(id);
    return it == addedIndex_.end() ? kNone : it->second;
}

bool RelationshipList::add(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        if (find(id) != kNone) return false;
        if (indexed_) index_.emplace(id, items_.size());
        items_.push_back(id);
        ++count_;
        return true;
    }
    if (!removed_.empty()) removed_.erase(id);
    if (findAdded(id) != kNone) return false;
    if (addedIndexed_) addedIndex_.emplace(id, added_.size());
    added_.push_back(id);
    return true;
}

void RelationshipList::remove(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        size_t i = find(id);
        if (i == kNone) return;
        items_[i] = nullptr;
        if (indexed_) index_.erase(id);
        --count_;
        if (items_.size() > 32 && count_ < items_.size() / 2) sweep();
        return;
    }
    if (size_t i = findAdded(id); i != kNone) {
        added_[i] = nullptr;
        if (addedIndexed_) addedIndex_.erase(id);
    }
    removed_.emplace(id, 0);
}

bool RelationshipList::contains(const ManagedObjectIDPtr& id) {
    return find(id) != kNone;
}

std::vector<ManagedObjectIDPtr> RelationshipList::members() const {
    std::vector<ManagedObjectIDPtr> out;
    out.reserve(count_);
    for (const auto& id : items_) {
        if (id) out.push_back(id);
    }
    return out;
}

void RelationshipList::sweep() {
    items_ = members();
    count_ = items_.size();
    index_.clear();
    indexed_ = false;  // made again on the next look-up
}

void RelationshipList::remap(const TemporaryIDMap& replacements) {
    auto replace = [&](std::vector<ManagedObjectIDPtr>& ids) {
        bool changed = false;
        for (auto& id : ids) {
            // Only temporary identifiers are ever replaced: the others skip the look-up.
            if (!id || !id->isTemporaryID()) continue;
            if (const auto* permanent = replacements.find(*id)) {
                id = *permanent;
                changed = true;
            }
        }
        return changed;
    };
    if (loaded_) {
        // Positions stay as they are; only the index, keyed by identifier, is stale. It is made
        // again on the next look-up, which a list that is only read never makes.
        if (replace(items_)) {
            index_.clear();
            indexed_ = false;
        }
        return;
    }
    if (replace(added_)) {
        addedIndex_.clear();
        addedIndexed_ = false;
    }
}

}  // namespace platform
