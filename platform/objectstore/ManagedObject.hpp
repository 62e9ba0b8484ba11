// An object of an entity, registered in one managed-object context. Its values are the row's
// columns, read from the store on first access when it starts as a fault; relationships read as
// objects (to-one) or ManagedObjectSets (to-many). Subclasses, made through
// ManagedObjectClassRegistry by the entity's class name, may override the hooks. Owned by its
// context (shared); holds the context weakly. Used only on the thread of its context.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Error.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/PropertyMask.hpp"
#include "platform/objectstore/RelationshipList.hpp"

namespace platform {

class ManagedObjectContext;

class ManagedObject : public Object, public std::enable_shared_from_this<ManagedObject> {
  public:
    ManagedObject() = default;
    ~ManagedObject() override;
    ManagedObject(const ManagedObject&) = delete;
    ManagedObject& operator=(const ManagedObject&) = delete;

    // Attribute values; to-one relationships as Value::object of the related object; to-many
    // relationships as Value::object of a ManagedObjectSet (empty when there are none). Absent
    // for an unknown key, and for every key once the object has left its context or its row is
    // gone.
    Value valueForKey(std::string_view key);
    // The values of the properties at these indices (EntityDescription::propertyIndex), as
    // valueForKey gives them, replacing `values`; a negative index reads as absent. For callers
    // that read the same properties of many objects and look the names up once.
    void valuesAtIndices(std::span<const int> indices, std::vector<Value>& values);
    // Sets an attribute (converted to its type; absent or null clears it) or a relationship (a
    // managed object of this context or nothing for a to-one; a ManagedObjectSet or an Array of
    // objects, or nothing for empty, for a to-many). Inverse relationships follow.
    [[nodiscard]] ErrorPtr setValueForKey(const Value& value, std::string_view key);
    // Sets every entry; stops at the first error. The null value clears, as for setValueForKey.
    [[nodiscard]] ErrorPtr setValuesForKeysWithDictionary(const Dictionary& values);
    // As setValuesForKeysWithDictionary, with each property given by its index in the entity
    // (EntityDescription::propertyIndex), for callers that set the same properties of many
    // objects and look the names up once.
    using IndexedValue = std::pair<size_t, Value>;
    [[nodiscard]] ErrorPtr setValuesAtIndices(std::span<const IndexedValue> values);

    const ManagedObjectIDPtr& objectID() const { return id_; }
    const std::shared_ptr<const EntityDescription>& entity() const { return entity_; }
    // None once the object was deleted and saved, merged away, reset, or its context is gone.
    std::shared_ptr<ManagedObjectContext> managedObjectContext() const { return context_.lock(); }

    bool isInserted() const { return inserted_ && !deleted_; }
    bool isUpdated() const { return !inserted_ && !deleted_ && hasChangedKeys(); }
    bool isDeleted() const { return deleted_; }
    bool isFault() const { return state_ != State::Loaded; }
    bool hasChanges() const { return inserted_ || deleted_ || hasChangedKeys(); }
    // The changed attributes and to-one relationships with their new values.
    Dictionary changedValues() const;

    // Called after the value of `key` changed: set here, by inverse maintenance, or by a merge.
    virtual void didChangeValueForKey(const std::string& key) {}
    // Called when the object drops its values: refreshed, deleted by a save or a merge, reset.
    virtual void didTurnIntoFault() {}

    std::string description() const override;
    ManagedObject* asManagedObject() final { return this; }

  private:
    friend class ManagedObjectContext;
    friend class ObjectGraphEditor;
    friend class ContextSaver;

    enum class State : uint8_t { Fault, Loaded, Gone };
    bool hasChangedKeys() const;
    // Sets each entry through one editor, the row read on the first: `locate` gives an entry's
    // property index and value, or an error for a property the entity lacks.
    template <typename Entries, typename Locate>
    ErrorPtr setEach(const Entries& entries, Locate locate);
    void markChanged(size_t index);
    RelationshipList& list(size_t index);
    // The list of a to-many relationship if it was ever touched, else null.
    RelationshipList* existingList(size_t index) const {
        return index < lists_.size() ? lists_[index].get() : nullptr;
    }

    std::weak_ptr<ManagedObjectContext> context_;
    std::shared_ptr<const EntityDescription> entity_;
    ManagedObjectIDPtr id_;
    State state_ = State::Fault;
    bool inserted_ = false;
    bool deleted_ = false;
    bool inChangeList_ = false;
    size_t changedCount_ = 0;
    int64_t version_ = 0;
    std::vector<Value> values_;  // per property: attribute value or to-one identifier
    PropertyMask changed_;       // per property, since the last save
    // Per property, to-many ones only; empty until a relationship list is first needed.
    std::vector<std::unique_ptr<RelationshipList>> lists_;
};

// The managed object a value holds (Value::object), or null.
inline std::shared_ptr<ManagedObject> managedObjectIn(const Value& value) {
    auto object = value.object();
    ManagedObject* managed = object ? object->asManagedObject() : nullptr;
    return managed ? std::shared_ptr<ManagedObject>(std::move(object), managed) : nullptr;
}

}  // namespace platform
