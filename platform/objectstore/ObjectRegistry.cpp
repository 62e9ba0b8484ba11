#include "platform/objectstore/ObjectRegistry.hpp"

#include <algorithm>
#include <utility>

#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/HashSlots.hpp"
#include "platform/objectstore/ManagedObject.hpp"

namespace platform {

ObjectRegistry::Key ObjectRegistry::keyOf(const ManagedObjectID& id) {
    return Key{id.entity().get(), id.storeSerial(), id.number(), id.isTemporaryID()};
}

uint64_t ObjectRegistry::hashOf(const Key& key) {
    // Identifiers with equal entity names are equal, so the entity enters the hash by its name;
    // its length and end letters part the row numbers of different entities cheaply. Rows are
    // mostly looked up in order (a list's rows, made in order): eight consecutive numbers share
    // their hash but for its low bits, so that they sit in neighbouring slots and a run of
    // look-ups walks the table instead of jumping about it.
    constexpr uint64_t kNeighbours = 8;
    const auto number = static_cast<uint64_t>(key.number);
    uint64_t h = (number / kNeighbours) * 0x9e3779b97f4a7c15ull;
    h ^= (key.storeSerial * 2 + (key.temporary ? 1 : 0)) * 0xc2b2ae3d27d4eb4full;
    if (key.entity && !key.entity->name().empty()) {
        const std::string& name = key.entity->name();
        h ^= (name.size() * 131 + static_cast<unsigned char>(name.front()) * 31 +
              static_cast<unsigned char>(name.back())) *
             0x165667b19e3779f9ull;
    }
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return (h & ~(kNeighbours - 1)) | (number % kNeighbours);
}

bool ObjectRegistry::matches(const ManagedObject& object, const Key& key) {
    const ManagedObjectID& id = *object.objectID();
    if (id.number() != key.number || id.storeSerial() != key.storeSerial ||
        id.isTemporaryID() != key.temporary) {
        return false;
    }
    const EntityDescription* entity = id.entity().get();
    return entity == key.entity || (entity && key.entity && entity->name() == key.entity->name());
}

template <typename Accept>
size_t ObjectRegistry::probe(uint64_t hash, Accept&& accept) const {
    // Taken here, under the lock the caller holds: the analysis cannot follow it into a lambda.
    const Entry* objects = objects_.data();
    return findSlot(slots_, hash,
                    [&](size_t position) { return accept(objects[position], position); });
}

size_t ObjectRegistry::slotOf(const Key& key) const {
    return probe(hashOf(key),
                 [&](const Entry& entry, size_t) { return matches(*entry.object, key); });
}

std::shared_ptr<ManagedObject> ObjectRegistry::liveObject(const Key& key) const {
    // A key can have a second entry while the first one's object is ending (a row let go of on
    // another thread and made again here before it unregistered): the live one answers.
    std::shared_ptr<ManagedObject> live;
    probe(hashOf(key), [&](const Entry& entry, size_t) {
        if (!matches(*entry.object, key)) return false;
        live = entry.strong ? entry.strong : entry.weak.lock();
        return live != nullptr;
    });
    return live;
}

size_t ObjectRegistry::slotOfObject(const ManagedObject& object) const {
    return probe(hashOf(keyOf(*object.objectID())),
                 [&](const Entry& entry, size_t) { return entry.object == &object; });
}

std::shared_ptr<ManagedObject> ObjectRegistry::find(const ManagedObjectID& id) const {
    MutexLock lock(mutex_);
    return liveObject(keyOf(id));
}

std::shared_ptr<ManagedObject> ObjectRegistry::findRow(const EntityDescription& entity,
                                                       uint64_t storeSerial, int64_t rowID) const {
    MutexLock lock(mutex_);
    return liveObject(Key{&entity, storeSerial, rowID, false});
}

void ObjectRegistry::place(uint64_t hash, size_t position) {
    placeSlot(slots_, Slot{hash, position});
}

void ObjectRegistry::grow() {
    resizeSlots(slots_, slots_.empty() ? 64 : slots_.size() * 2);
}

void ObjectRegistry::rebuild() {
    std::fill(slots_.begin(), slots_.end(), Slot());
    for (size_t i = 0; i < objects_.size(); ++i) {
        place(hashOf(keyOf(*objects_[i].object->objectID())), i + 1);
    }
}

void ObjectRegistry::insert(const std::shared_ptr<ManagedObject>& object) {
    const Key key = keyOf(*object->objectID());
    const uint64_t hash = hashOf(key);
    Entry replaced;  // let go of after unlocking
    MutexLock lock(mutex_);
    Entry entry{object.get(), retaining_ ? object : nullptr, object};
    if (!retaining_) {
        // The row's previous object may be ending on another thread and not have unregistered
        // yet: the new one takes its entry, and the old one's unregistering finds another object.
        size_t slot = probe(hash, [&](const Entry& old, size_t) {
            return !old.strong && old.weak.expired() && matches(*old.object, key);
        });
        if (slot != kNone) {
            replaced = std::exchange(objects_[slots_[slot].position - 1], std::move(entry));
            return;
        }
    }
    objects_.push_back(std::move(entry));
    if (objects_.size() * 2 > slots_.size()) grow();
    place(hash, objects_.size());
}

size_t ObjectRegistry::detach(const ManagedObjectID& id) {
    size_t hole = slotOf(keyOf(id));
    if (hole == kNone) return kNone;
    size_t position = slots_[hole].position - 1;
    eraseSlotWithBackwardShift(slots_, hole);
    return position;
}

void ObjectRegistry::attach(size_t position) {
    place(hashOf(keyOf(*objects_[position].object->objectID())), position + 1);
}

ObjectRegistry::Entry ObjectRegistry::removeSlot(size_t slot) {
    size_t position = slots_[slot].position - 1;
    eraseSlotWithBackwardShift(slots_, slot);
    // The last object takes the freed position.
    size_t last = objects_.size() - 1;
    if (position != last) {
        // By position: the last object's key may have a second entry.
        size_t moved = probe(hashOf(keyOf(*objects_[last].object->objectID())),
                             [&](const Entry&, size_t i) { return i == last; });
        slots_[moved].position = position + 1;
        std::swap(objects_[position], objects_[last]);
    }
    Entry gone = std::move(objects_.back());
    objects_.pop_back();
    return gone;
}

void ObjectRegistry::erase(const ManagedObject& object) {
    Entry gone;  // letting go of the object may end it: after unlocking
    MutexLock lock(mutex_);
    if (size_t slot = slotOfObject(object); slot != kNone) gone = removeSlot(slot);
}

bool ObjectRegistry::isRetaining() const {
    MutexLock lock(mutex_);
    return retaining_;
}

void ObjectRegistry::setRetaining(bool retaining) {
    // The objects only this registry held end after unlocking, each unregistering itself.
    std::vector<std::shared_ptr<ManagedObject>> released;
    MutexLock lock(mutex_);
    if (retaining == retaining_) return;
    retaining_ = retaining;
    if (!retaining) {
        released.reserve(objects_.size());
        for (Entry& entry : objects_) released.push_back(std::move(entry.strong));
        return;
    }
    // Entries whose object is ending go now, so that every entry is strong.
    size_t kept = 0;
    for (Entry& entry : objects_) {
        entry.strong = entry.weak.lock();
        if (!entry.strong) continue;
        if (&objects_[kept] != &entry) objects_[kept] = std::move(entry);
        ++kept;
    }
    objects_.resize(kept);
    rebuild();
}

std::vector<std::shared_ptr<ManagedObject>> ObjectRegistry::takeAll() {
    std::vector<std::shared_ptr<ManagedObject>> objects;
    MutexLock lock(mutex_);
    objects.reserve(objects_.size());
    for (Entry& entry : objects_) {
        auto object = entry.strong ? std::move(entry.strong) : entry.weak.lock();
        if (object) objects.push_back(std::move(object));
    }
    // Only weak references are dropped here; the objects go as the caller lets go of them.
    std::vector<Entry>().swap(objects_);
    std::vector<Slot>().swap(slots_);
    return objects;
}

size_t ObjectRegistry::size() const {
    MutexLock lock(mutex_);
    return objects_.size();
}

}  // namespace platform
