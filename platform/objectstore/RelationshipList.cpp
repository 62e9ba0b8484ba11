#include "platform/objectstore/RelationshipList.hpp"

namespace platform {

void RelationshipList::load(const std::vector<ManagedObjectIDPtr>& stored) {
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

void RelationshipList::add(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        if (index_.emplace(id, items_.size()).second) items_.push_back(id);
        return;
    }
    removed_.erase(id);
    if (addedIndex_.emplace(id, added_.size()).second) added_.push_back(id);
}

void RelationshipList::remove(const ManagedObjectIDPtr& id) {
    if (loaded_) {
        auto it = index_.find(id);
        if (it == index_.end()) return;
        items_[it->second] = nullptr;
        index_.erase(it);
        if (items_.size() > 32 && index_.size() < items_.size() / 2) sweep();
        return;
    }
    auto it = addedIndex_.find(id);
    if (it != addedIndex_.end()) {
        added_[it->second] = nullptr;
        addedIndex_.erase(it);
    }
    removed_.emplace(id, 0);
}

bool RelationshipList::contains(const ManagedObjectIDPtr& id) const {
    return index_.count(id) != 0;
}

std::vector<ManagedObjectIDPtr> RelationshipList::members() const {
    std::vector<ManagedObjectIDPtr> out;
    out.reserve(index_.size());
    for (const auto& id : items_) {
        if (id) out.push_back(id);
    }
    return out;
}

void RelationshipList::sweep() {
    std::vector<ManagedObjectIDPtr> members = this->members();
    items_ = members;
    index_.clear();
    for (size_t i = 0; i < items_.size(); ++i) index_.emplace(items_[i], i);
}

void RelationshipList::remap(
    const std::unordered_map<ManagedObjectIDPtr, ManagedObjectIDPtr, ManagedObjectIDHash,
                             ManagedObjectIDEqual>& replacements) {
    auto replace = [&](std::vector<ManagedObjectIDPtr>& ids) {
        bool changed = false;
        for (auto& id : ids) {
            if (!id) continue;
            auto it = replacements.find(id);
            if (it != replacements.end()) {
                id = it->second;
                changed = true;
            }
        }
        return changed;
    };
    if (loaded_) {
        if (replace(items_)) sweep();
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
