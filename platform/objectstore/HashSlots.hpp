// Helpers for the open-addressing tables of the object store (the registry of a context, the
// index of a relationship list): slots of (hash, position + 1), linear probing, a power-of-two
// size. Free functions over the caller's slots; no state, no locking of their own.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

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
