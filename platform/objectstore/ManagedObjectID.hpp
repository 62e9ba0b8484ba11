// The identifier of a managed object: its entity and, once saved, its store and row number;
// before the first save, a process-unique temporary number. Immutable and compared by value, so
// any thread may hold and compare it; rides in a Value as Value::objectID. Holds the store weakly:
// the identifier of a removed store resolves to nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Value.hpp"

namespace platform {

class EntityDescription;
class PersistentStore;

class ManagedObjectID : public Object {
    struct Key {
        explicit Key() = default;
    };

  public:
    [[nodiscard]] static std::shared_ptr<const ManagedObjectID> temporary(
        std::shared_ptr<const EntityDescription> entity);
    [[nodiscard]] static std::shared_ptr<const ManagedObjectID> permanent(
        std::shared_ptr<const EntityDescription> entity,
        const std::shared_ptr<PersistentStore>& store, int64_t rowID);

    const std::shared_ptr<const EntityDescription>& entity() const { return entity_; }
    // None for a temporary identifier, or when the store is gone.
    std::shared_ptr<PersistentStore> persistentStore() const { return store_.lock(); }
    bool isTemporaryID() const { return temporary_; }
    // Row number in the store (permanent) or the temporary number.
    int64_t number() const { return number_; }
    uint64_t storeSerial() const { return storeSerial_; }

    // "x-zq-store://<store identifier>/<entity>/p<row>" or "x-zq-store:///<entity>/t<number>".
    std::string URIRepresentation() const;
    std::string description() const override { return URIRepresentation(); }
    bool isEqualTo(const Object& other) const override;
    bool operator==(const ManagedObjectID& other) const;
    size_t hash() const;

    // Only the factories above can make the key: one allocation holds identifier and count.
    explicit ManagedObjectID(Key) {}

  private:
    std::shared_ptr<const EntityDescription> entity_;
    std::weak_ptr<PersistentStore> store_;
    uint64_t storeSerial_ = 0;
    int64_t number_ = 0;
    bool temporary_ = false;
};

using ManagedObjectIDPtr = std::shared_ptr<const ManagedObjectID>;

// Hash and equality by value, for maps keyed by identifier.
struct ManagedObjectIDHash {
    size_t operator()(const ManagedObjectIDPtr& id) const { return id->hash(); }
};
struct ManagedObjectIDEqual {
    bool operator()(const ManagedObjectIDPtr& a, const ManagedObjectIDPtr& b) const {
        return *a == *b;
    }
};

// The identifier inside a Value (Value::objectID), or none.
ManagedObjectIDPtr objectIDFromValue(const Value& value);

}  // namespace platform
