// The objects a context has registered, found by identifier. The objects are held in a dense
// list in registration order (so that dropping them all frees memory in the order it was taken),
// indexed by an open-addressing table of (hash, position) slots keyed by each object's own
// identifier: registering an object allocates nothing of its own, and a look-up by entity, store
// and row number needs no identifier object. A retaining registry (the default) holds its objects
// strongly; one that does not holds them weakly, and an object that dies unregisters itself
// through its context (erase), so that a list read into the main context costs nothing
// once the screen lets go of it.
//
// Owned by its context and used on the context's thread, except erase, which also runs on
// whichever thread drops an object's last reference. `mutex_` guards the list and the table on
// every call. It is the innermost lock: nothing else is locked while it is held, and no object is
// let go of under it (letting go may end the object, whose destructor takes it again), so it
// cannot invert with any lock of the context's users. A weak entry can be expired before its
// object has unregistered; look-ups pass over it and insert takes its place, and an identifier
// may then have two entries for a moment (a new object's after a save took a row number whose
// old object is still ending), so entries are removed by identity, never by identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

namespace platform {

class ManagedObject;

class ObjectRegistry {
  public:
    ObjectRegistry() = default;
    ObjectRegistry(const ObjectRegistry&) = delete;
    ObjectRegistry& operator=(const ObjectRegistry&) = delete;

    // The live object registered under an identifier equal to `id` (ManagedObjectID::operator==).
    std::shared_ptr<ManagedObject> find(const ManagedObjectID& id) const EXCLUDES(mutex_);
    // The same for the permanent identifier of row `rowID` of `entity` in store `storeSerial`.
    std::shared_ptr<ManagedObject> findRow(const EntityDescription& entity, uint64_t storeSerial,
                                           int64_t rowID) const EXCLUDES(mutex_);
    // Registers the object under its identifier, which must not be registered to a live object.
    void insert(const std::shared_ptr<ManagedObject>& object) EXCLUDES(mutex_);
    // Unregisters `object` if it is registered (found by identity, not by identifier): called by
    // its context, and by the object as it dies, on any thread.
    void erase(const ManagedObject& object) EXCLUDES(mutex_);
    bool isRetaining() const EXCLUDES(mutex_);
    // Holds the objects strongly or weakly from now on; the objects only this registry held go
    // when it stops retaining.
    void setRetaining(bool retaining) EXCLUDES(mutex_);
    // Moves the object registered under `id` to the identifier it has after `change` runs,
    // keeping its place in the registration order. `change` runs under the lock: it may only
    // replace identifiers.
    template <typename F>
    void rekey(const ManagedObjectID& id, F&& change) EXCLUDES(mutex_) {
        MutexLock lock(mutex_);
        size_t position = detach(id);
        change();
        if (position != kNone) attach(position);
    }
    // The same for any number of objects whose identifiers `change` replaces: the table is made
    // again once, which costs less than moving each object when many change (a large save).
    template <typename F>
    void rekeyAll(F&& change) EXCLUDES(mutex_) {
        MutexLock lock(mutex_);
        change();
        rebuild();
    }
    // Empties the registry, then calls `f` on each object still alive, in registration order,
    // and lets go of it at once.
    template <typename F>
    void drain(F&& f) EXCLUDES(mutex_) {
        for (auto& object : takeAll()) {
            f(object);
            object.reset();
        }
    }

    // Entries, counting weak ones whose object is ending right now.
    size_t size() const EXCLUDES(mutex_);

  private:
    // `object` stays valid while its entry is listed: the registry holds it (`strong`), or it
    // is alive or inside its destructor, which unregisters it under the lock before its members
    // go.
    struct Entry {
        ManagedObject* object = nullptr;
        std::shared_ptr<ManagedObject> strong;
        std::weak_ptr<ManagedObject> weak;
    };
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
    // The first slot with the hash whose entry `accept` takes (given the entry and its
    // position), or kNone.
    template <typename Accept>
    size_t probe(uint64_t hash, Accept&& accept) const REQUIRES(mutex_);
    // The first slot holding the key, or kNone.
    size_t slotOf(const Key& key) const REQUIRES(mutex_);
    // The object of the first entry of the key whose object is alive.
    std::shared_ptr<ManagedObject> liveObject(const Key& key) const REQUIRES(mutex_);
    size_t slotOfObject(const ManagedObject& object) const REQUIRES(mutex_);
    void place(uint64_t hash, size_t position) REQUIRES(mutex_);
    // Removes the slot of `id`; returns the object's position, or kNone.
    size_t detach(const ManagedObjectID& id) REQUIRES(mutex_);
    void attach(size_t position) REQUIRES(mutex_);
    // Removes the entry in `slot`, the last entry taking its position; the caller lets go of
    // the returned entry after unlocking.
    Entry removeSlot(size_t slot) REQUIRES(mutex_);
    void grow() REQUIRES(mutex_);
    // Places every object again under its current identifier.
    void rebuild() REQUIRES(mutex_);
    // Empties the registry; the objects still alive, in registration order.
    std::vector<std::shared_ptr<ManagedObject>> takeAll() EXCLUDES(mutex_);

    mutable Mutex mutex_;
    std::vector<Entry> objects_ GUARDED_BY(mutex_);
    std::vector<Slot> slots_ GUARDED_BY(mutex_);  // empty, or a power of two at most half full
    // When set, every entry is strong.
    bool retaining_ GUARDED_BY(mutex_) = true;
};

}  // namespace platform
