// Helpers for open-addressing tables (the registry of a context, the index of a relationship
// list, the cache save's key maps): slots of (hash, position + 1), linear probing, a power-of-two
// size. Free functions over the caller's slots; no state, no locking of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

inline constexpr size_t kNoSlot = ~size_t{0};

// The slot of the first member of `hash`'s probe run with that hash whose position (0-based)
// `accept` takes; kNoSlot when none does or there are no slots.
template <typename Slot, typename Accept>
size_t findSlot(const std::vector<Slot>& slots, uint64_t hash, Accept&& accept) {
    if (slots.empty()) return kNoSlot;
    const size_t mask = slots.size() - 1;
    for (size_t i = hash & mask; slots[i].position; i = (i + 1) & mask) {
        if (slots[i].hash == hash && accept(slots[i].position - 1)) return i;
    }
    return kNoSlot;
}

// Puts `slot` in the first empty slot of its probe run. Slot has `hash` and `position` (0 for
// empty) members.
template <typename Slot>
void placeSlot(std::vector<Slot>& slots, const Slot& slot) {
    const size_t mask = slots.size() - 1;
    size_t i = slot.hash & mask;
    while (slots[i].position) i = (i + 1) & mask;
    slots[i] = slot;
}

// Makes the table `capacity` slots (a power of two) and places the used slots again. The slots
// keep their hashes, so that growing does not visit the keys.
template <typename Slot>
void resizeSlots(std::vector<Slot>& slots, size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots);
    for (const Slot& slot : old) {
        if (slot.position) placeSlot(slots, slot);
    }
}

// Empties the slot at `hole` and moves later members of its probe run back into the gap when
// their home slot lies at or before it, so that look-ups never stop early at an empty slot.
// Slot has `hash` and `position` (0 for empty) members.
template <typename Slot>
void eraseSlotWithBackwardShift(std::vector<Slot>& slots, size_t hole) {
    const size_t mask = slots.size() - 1;
    slots[hole] = Slot();
    for (size_t i = (hole + 1) & mask; slots[i].position; i = (i + 1) & mask) {
        const size_t home = slots[i].hash & mask;
        const bool movable = hole < i ? (home <= hole || home > i) : (home <= hole && home > i);
        if (movable) {
            slots[hole] = slots[i];
            slots[i] = Slot();
            hole = i;
        }
    }
}

}  // namespace platform
