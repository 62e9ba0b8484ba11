#include "platform/objectstore/ObjectRegistry.hpp"

#include <algorithm>

#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/HashSlots.hpp"
#include "platform/objectstore/ManagedObject.hpp"

namespace platform {

ObjectRegistry::ObjectRegistry(ObjectRegistry&& other) noexcept
    : objects_(std::move(other.objects_)), slots_(std::move(other.slots_)) {
    other.objects_.clear();
    other.slots_.clear();
}

ObjectRegistry& ObjectRegistry::operator=(ObjectRegistry&& other) noexcept {
    objects_ = std::move(other.objects_);
    slots_ = std::move(other.slots_);
    other.objects_.clear();
    other.slots_.clear();
    return *this;
}

ObjectRegistry::Key ObjectRegistry::keyOf(const ManagedObjectID& id) {
    return Key{id.entity().get(), id.storeSerial(), id.number(), id.isTemporaryID()};
}

uint64_t ObjectRegistry::hashOf(const Key& key) {
    // Identifiers with equal entity names are equal, so the entity enters the hash by its name;
    // its length and end letters part the row numbers of different entities cheaply.
    uint64_t h = static_cast<uint64_t>(key.number) * 0x9e3779b97f4a7c15ull;
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
    return h;
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

size_t ObjectRegistry::slotOf(const Key& key) const {
    if (slots_.empty()) return kNone;
    size_t mask = slots_.size() - 1;
    uint64_t hash = hashOf(key);
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.position == 0) return kNone;
        if (slot.hash == hash && matches(*objects_[slot.position - 1], key)) return i;
    }
}

const std::shared_ptr<ManagedObject>* ObjectRegistry::find(const ManagedObjectID& id) const {
    size_t i = slotOf(keyOf(id));
    return i == kNone ? nullptr : &objects_[slots_[i].position - 1];
}

const std::shared_ptr<ManagedObject>* ObjectRegistry::findRow(const EntityDescription& entity,
                                                              uint64_t storeSerial,
                                                              int64_t rowID) const {
    size_t i = slotOf(Key{&entity, storeSerial, rowID, false});
    return i == kNone ? nullptr : &objects_[slots_[i].position - 1];
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
        place(hashOf(keyOf(*objects_[i]->objectID())), i + 1);
    }
}

void ObjectRegistry::insert(std::shared_ptr<ManagedObject> object) {
    uint64_t hash = hashOf(keyOf(*object->objectID()));
    objects_.push_back(std::move(object));
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
    place(hashOf(keyOf(*objects_[position]->objectID())), position + 1);
}

void ObjectRegistry::erase(const ManagedObjectID& id) {
    size_t position = detach(id);
    if (position == kNone) return;
    // The last object takes the freed position.
    size_t last = objects_.size() - 1;
    if (position != last) {
        slots_[slotOf(keyOf(*objects_[last]->objectID()))].position = position + 1;
        std::swap(objects_[position], objects_[last]);
    }
    objects_.pop_back();
}

}  // namespace platform
