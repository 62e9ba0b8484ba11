// A map from storage-key text to a value for the cache save's key walks: the entries sit in one
// vector in the order they were added, found through an open-addressing table of (hash,
// position) slots. Against a node-based map it allocates nothing per key (short key texts fit in
// the string itself), and the look-ups of a result, made in about the order the keys were read,
// walk the entries mostly in order. Owned by the save's level-data walks; used by the thread that
// runs the save only, so nothing is locked.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/objectstore/HashSlots.hpp"

template <typename V>
class ZQEntityDataCacheSaveKeyMap {
  public:
    void reserve(size_t n) {
        entries_.reserve(n);
        if (2 * n > slots_.size()) rehash(capacityFor(n));
    }
    size_t size() const { return entries_.size(); }

    // The value of the key, or null.
    V* find(std::string_view key) {
        if (slots_.empty()) return nullptr;
        size_t i = slotOf(key, hashOf(key));
        return slots_[i].position ? &entries_[slots_[i].position - 1].second : nullptr;
    }
    // The value of the key, added as `value` when the key is new; true when it was added.
    std::pair<V*, bool> tryEmplace(std::string&& key, V value) {
        if (2 * (entries_.size() + 1) > slots_.size()) rehash(capacityFor(entries_.size() + 1));
        uint64_t hash = hashOf(key);
        size_t i = slotOf(key, hash);
        if (slots_[i].position) return {&entries_[slots_[i].position - 1].second, false};
        entries_.emplace_back(std::move(key), std::move(value));
        slots_[i] = Slot{hash, entries_.size()};
        return {&entries_.back().second, true};
    }
    // Sets the key's value, replacing an earlier one.
    void set(std::string&& key, V value) {
        auto [slot, added] = tryEmplace(std::move(key), value);
        if (!added) *slot = std::move(value);
    }

    // Calls f(key, value) for every entry in the order added; f may move from both.
    template <typename F>
    void forEach(F&& f) {
        for (auto& [key, value] : entries_) f(key, value);
    }

  private:
    struct Slot {
        uint64_t hash = 0;
        size_t position = 0;  // 0 empty, else position in entries_ + 1
    };
    static uint64_t hashOf(std::string_view key) { return std::hash<std::string_view>()(key); }
    static size_t capacityFor(size_t n) {
        size_t capacity = 64;
        while (capacity < 2 * n) capacity *= 2;
        return capacity;
    }
    // The slot holding the key, else the empty slot where it would go.
    size_t slotOf(std::string_view key, uint64_t hash) const {
        size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (!slot.position) return i;
            if (slot.hash == hash && entries_[slot.position - 1].first == key) return i;
        }
    }
    void rehash(size_t capacity) { platform::resizeSlots(slots_, capacity); }

    std::vector<std::pair<std::string, V>> entries_;
    std::vector<Slot> slots_;  // empty, or a power of two at most half full
};
