#include "platform/objectstore/ManagedObjectID.hpp"

#include <atomic>

#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/PersistentStore.hpp"

namespace platform {

namespace {
std::atomic<int64_t> nextTemporaryNumber{1};
}

ManagedObjectIDPtr ManagedObjectID::temporary(std::shared_ptr<const EntityDescription> entity) {
    auto id = std::make_shared<ManagedObjectID>(Key());
    id->entity_ = std::move(entity);
    id->temporary_ = true;
    id->number_ = nextTemporaryNumber.fetch_add(1, std::memory_order_relaxed);
    return id;
}

ManagedObjectIDPtr ManagedObjectID::permanent(std::shared_ptr<const EntityDescription> entity,
                                              const std::shared_ptr<PersistentStore>& store,
                                              int64_t rowID) {
    auto id = std::make_shared<ManagedObjectID>(Key());
    id->entity_ = std::move(entity);
    id->store_ = store;
    id->storeSerial_ = store->serial();
    id->number_ = rowID;
    return id;
}

std::string ManagedObjectID::URIRepresentation() const {
    std::string entityName = entity_ ? entity_->name() : std::string();
    if (temporary_) return "x-zq-store:///" + entityName + "/t" + std::to_string(number_);
    auto store = store_.lock();
    return "x-zq-store://" + (store ? store->identifier() : std::string("removed")) + "/" +
           entityName + "/p" + std::to_string(number_);
}

bool ManagedObjectID::operator==(const ManagedObjectID& other) const {
    return number_ == other.number_ && temporary_ == other.temporary_ &&
           storeSerial_ == other.storeSerial_ &&
           (entity_ == other.entity_ ||
            (entity_ && other.entity_ && entity_->name() == other.entity_->name()));
}

bool ManagedObjectID::isEqualTo(const Object& other) const {
    auto* o = dynamic_cast<const ManagedObjectID*>(&other);
    return o && *this == *o;
}

size_t ManagedObjectID::hash() const {
    size_t h = std::hash<int64_t>()(number_);
    h ^= std::hash<uint64_t>()(storeSerial_ * 2 + (temporary_ ? 1 : 0)) + 0x9e3779b97f4a7c15ull +
         (h << 6) + (h >> 2);
    return h;
}

ManagedObjectIDPtr objectIDFromValue(const Value& value) {
    if (value.kind() != Value::Kind::ObjectID) return nullptr;
    return std::dynamic_pointer_cast<const ManagedObjectID>(value.objectID());
}

}  // namespace platform
