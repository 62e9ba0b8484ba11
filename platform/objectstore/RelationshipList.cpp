#include "platform/objectstore/RelationshipList.hpp"

namespace platform {

void RelationshipList::load(const std::vector<ManagedObjectIDPtr>& stored) {
    if (added_.empty() && removed_.empty()) {
        // Stored members have no repeats: they take the list as they are.
        assign({});
        items_ = stored;
        count_ = items_.size();
        // assign() left an empty index marked as made: the first look-up makes the real one.
        indexed_ = false;
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
    index_.clear();
    indexed_ = true;
    count_ = 0;
    added_.clear();
    addedIndex_.clear();
    removed_.clear();
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

void RelationshipList::add(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        ensureIndex();
        if (index_.emplace(id, items_.size()).second) {
            items_.push_back(id);
            ++count_;
        }
        return;
    }
    removed_.erase(id);
    if (addedIndex_.emplace(id, added_.size()).second) added_.push_back(id);
}

void RelationshipList::remove(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        ensureIndex();
        auto it = index_.find(id);
        if (it == index_.end()) return;
        items_[it->second] = nullptr;
        index_.erase(it);
        --count_;
        if (items_.size() > 32 && count_ < items_.size() / 2) sweep();
        return;
    }
    auto it = addedIndex_.find(id);
    if (it != addedIndex_.end()) {
        added_[it->second] = nullptr;
        addedIndex_.erase(it);
    }
    removed_.emplace(id, 0);
}

bool RelationshipList::contains(const ManagedObjectIDPtr& id) {
    ensureIndex();
    return index_.count(id) != 0;
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
    indexed_ = false;
    ensureIndex();
}

void RelationshipList::remap(
    const std::unordered_map<ManagedObjectIDPtr, ManagedObjectIDPtr, ManagedObjectIDHash,
                             ManagedObjectIDEqual>& replacements) {
    auto replace = [&](std::vector<ManagedObjectIDPtr>& ids) {
        bool changed = false;
        for (auto& id : ids) {
            // Only temporary identifiers are ever replaced: the others skip the look-up.
            if (!id || !id->isTemporaryID()) continue;
            auto it = replacements.find(id);
            if (it != replacements.end()) {
                id = it->second;
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
        for (size_t i = 0; i < added_.size(); ++i) {
            if (added_[i]) addedIndex_.emplace(added_[i], i);
        }
    }
}

}  // namespace platform
