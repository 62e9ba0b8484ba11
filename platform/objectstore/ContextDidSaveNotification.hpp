// What one successful save of a context changed: the identifiers of the inserted, updated and
// deleted objects, and the saved values of the updated ones (so that merging needs no store read;
// inserted objects are read when first asked for). Made by the saving context, then immutable and
// shared by every observer on any thread. Delivered synchronously on the saving thread to the
// context's did-save observers and posted to the default NotificationCenter under
// kManagedObjectContextDidSaveNotification with the context as sender.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/NotificationCenter.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

namespace platform {

class ManagedObjectContext;

inline constexpr const char* kManagedObjectContextDidSaveNotification =
    "ManagedObjectContextDidSaveNotification";
// User-information keys of the posted notification: arrays of Value::objectID, and the
// ContextDidSaveNotification itself as Value::object.
inline constexpr const char* kInsertedObjectIDsKey = "insertedObjectIDs";
inline constexpr const char* kUpdatedObjectIDsKey = "updatedObjectIDs";
inline constexpr const char* kDeletedObjectIDsKey = "deletedObjectIDs";
inline constexpr const char* kContextDidSaveChangesKey = "changes";

class ContextDidSaveNotification : public Object {
  public:
    struct Snapshot {
        ManagedObjectIDPtr objectID;
        int64_t version = 0;
        // Per property; to-many slots absent. Unknown (empty) for an object that was saved as a
        // fault: only its to-many relationships changed.
        std::vector<Value> values;
        bool valuesKnown = true;
        // The to-many relationships (property indices) whose members the save changed. A merge
        // reloads only those of a loaded object's lists; without toManyKnown (a snapshot read
        // back from the store) it reloads every one.
        std::vector<size_t> changedToMany;
        bool toManyKnown = false;
    };

    ContextDidSaveNotification(std::weak_ptr<ManagedObjectContext> sender,
                               std::vector<Snapshot> inserted, std::vector<Snapshot> updated,
                               std::vector<ManagedObjectIDPtr> deleted);

    std::shared_ptr<ManagedObjectContext> sender() const { return sender_.lock(); }
    std::vector<ManagedObjectIDPtr> insertedObjectIDs() const;
    std::vector<ManagedObjectIDPtr> updatedObjectIDs() const;
    const std::vector<ManagedObjectIDPtr>& deletedObjectIDs() const { return deleted_; }
    const std::vector<Snapshot>& insertedSnapshots() const { return inserted_; }
    const std::vector<Snapshot>& updatedSnapshots() const { return updated_; }

    Dictionary userInfo(const std::shared_ptr<ContextDidSaveNotification>& self) const;
    // The save carried by a posted notification, or none.
    static std::shared_ptr<const ContextDidSaveNotification> fromNotification(
        const Notification& notification);
    std::string description() const override;

  private:
    std::weak_ptr<ManagedObjectContext> sender_;
    std::vector<Snapshot> inserted_;
    std::vector<Snapshot> updated_;
    std::vector<ManagedObjectIDPtr> deleted_;
};

}  // namespace platform
