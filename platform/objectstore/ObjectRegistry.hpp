// The objects a context has registered, found by identifier. The objects are held in a dense
// list in registration order (so that dropping them all frees memory in the order it was taken),
// indexed by an open-addressing table of (hash, position) slots keyed by each object's own
// identifier: registering an object allocates nothing of its own, and a look-up by entity, store
// and row number needs no identifier object. Owned by its context and used on the context's
// thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/objectstore/ManagedObjectID.hpp"

namespace platform {

class ManagedObject;

class ObjectRegistry {
  public:
    ObjectRegistry() = default;
    ObjectRegistry(ObjectRegistry&& other) noexcept;
    ObjectRegistry& operator=(ObjectRegistry&& other) noexcept;
    ObjectRegistry(const ObjectRegistry&) = delete;
    ObjectRegistry& operator=(const ObjectRegistry&) = delete;

    // The object registered under an identifier equal to `id` (ManagedObjectID::operator==).
    const std::shared_ptr<ManagedObject>* find(const ManagedObjectID& id) const;
    // The same for the permanent identifier of row `rowID` of `entity` in store `storeSerial`.
    const std::shared_ptr<ManagedObject>* findRow(const EntityDescription& entity,
                                                  uint64_t storeSerial, int64_t rowID) const;
    // Registers the object under its identifier, which must not be registered yet.
    void insert(std::shared_ptr<ManagedObject> object);
    // Unregisters the object registered under `id`, if any.
    void erase(const ManagedObjectID& id);
    // Moves the object registered under `id` to the identifier it has after `change` runs,
    // keeping its place in the registration order.
    template <typename F>
    void rekey(const ManagedObjectID& id, F&& change) {
        size_t position = detach(id);
        change();
        if (position != kNone) attach(position);
    }
    // The same for any number of objects whose identifiers `change` replaces: the table is made
    // again once, which costs less than moving each object when many change (a large save).
    template <typename F>
    void rekeyAll(F&& change) {
        change();
        rebuild();
    }
    // Calls `f` on each object, in registration order, and lets go of it at once.
    template <typename F>
    void drain(F&& f) {
        slots_.clear();
        auto objects = std::move(objects_);
        objects_.clear();
        for (auto& object : objects) {
            f(object);
            object.reset();
        }
    }

    size_t size() const { return objects_.size(); }

  private:
    // An empty slot has position 0; others hold the object's position + 1.
    struct Slot {
        uint64_t hash = 0;
        size_t position = 0;
    };
    struct Key {
        const EntityDescription* entity;
        uint64_t storeSerial;
        int64_t number;
        bool temporary;
    };
    static constexpr size_t kNone = ~size_t{0};
    static Key keyOf(const ManagedObjectID& id);
    static uint64_t hashOf(const Key& key);
    static bool matches(const ManagedObject& object, const Key& key);
    // The slot holding the key, or kNone.
    size_t slotOf(const Key& key) const;
    void place(uint64_t hash, size_t position);
    // Removes the slot of `id`; returns the object's position, or kNone.
    size_t detach(const ManagedObjectID& id);
    void attach(size_t position);
    void grow();
    // Places every object again under its current identifier.
    void rebuild();

    std::vector<std::shared_ptr<ManagedObject>> objects_;
    std::vector<Slot> slots_;  // empty, or a power of two at most half full
};

}  // namespace platform
