// The permanent identifiers that one save gave the objects it inserted, found by the temporary
// number each object had before. Temporary numbers are process-unique, so the number alone names
// the object; a context hands them out in increasing order, so a save's numbers usually form one
// dense run, which is looked up by position (else by binary search). Made on the stack by the
// saving context's ContextSaver and read on that thread only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/objectstore/ManagedObjectID.hpp"

namespace platform {

class TemporaryIDMap {
  public:
    void reserve(size_t n) { entries_.reserve(n); }
    // Before seal() only.
    void add(int64_t temporaryNumber, ManagedObjectIDPtr permanent) {
        if (!entries_.empty() && temporaryNumber <= entries_.back().first) sorted_ = false;
        entries_.emplace_back(temporaryNumber, std::move(permanent));
    }
    // Readies the look-ups; nothing is added afterwards.
    void seal() {
        if (entries_.empty()) return;
        if (!sorted_) {
            std::sort(entries_.begin(), entries_.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        first_ = entries_.front().first;
        auto span = static_cast<uint64_t>(entries_.back().first - first_) + 1;
        // A run with few gaps (objects inserted and deleted before the save, or inserted by
        // other contexts meanwhile) is still cheaper to index by position.
        if (span <= 2 * entries_.size() + 64 && entries_.size() < kAbsent) {
            dense_.assign(span, kAbsent);
            for (size_t i = 0; i < entries_.size(); ++i) {
                dense_[static_cast<size_t>(entries_[i].first - first_)] = static_cast<uint32_t>(i);
            }
        }
    }
    bool empty() const { return entries_.empty(); }

    // The permanent identifier replacing `id`, or null when `id` is not a temporary identifier of
    // this save.
    const ManagedObjectIDPtr* find(const ManagedObjectID& id) const {
        if (!id.isTemporaryID() || entries_.empty()) return nullptr;
        int64_t number = id.number();
        if (!dense_.empty()) {
            if (number < first_) return nullptr;
            auto offset = static_cast<uint64_t>(number - first_);
            if (offset >= dense_.size() || dense_[offset] == kAbsent) return nullptr;
            return &entries_[dense_[offset]].second;
        }
        auto it = std::lower_bound(entries_.begin(), entries_.end(), number,
                                   [](const auto& entry, int64_t n) { return entry.first < n; });
        return it != entries_.end() && it->first == number ? &it->second : nullptr;
    }

  private:
    static constexpr uint32_t kAbsent = ~uint32_t{0};

    std::vector<std::pair<int64_t, ManagedObjectIDPtr>> entries_;
    bool sorted_ = true;
    int64_t first_ = 0;
    std::vector<uint32_t> dense_;  // per number from first_: position in entries_, or kAbsent
};

}  // namespace platform
