#include "platform/objectstore/ContextDidSaveNotification.hpp"

namespace platform {

namespace {

Array identifiers(const std::vector<ManagedObjectIDPtr>& ids) {
    Array out;
    out.reserve(ids.size());
    for (const auto& id : ids) out.push_back(Value::objectID(id));
    return out;
}

Array identifiers(const std::vector<ContextDidSaveNotification::Snapshot>& snapshots) {
    Array out;
    out.reserve(snapshots.size());
    for (const auto& s : snapshots) out.push_back(Value::objectID(s.objectID));
    return out;
}

std::vector<ManagedObjectIDPtr> identifiersOf(
    const std::vector<ContextDidSaveNotification::Snapshot>& snapshots) {
    std::vector<ManagedObjectIDPtr> out;
    out.reserve(snapshots.size());
    for (const auto& s : snapshots) out.push_back(s.objectID);
    return out;
}

}  // namespace

ContextDidSaveNotification::ContextDidSaveNotification(std::weak_ptr<ManagedObjectContext> sender,
                                                       std::vector<Snapshot> inserted,
                                                       std::vector<Snapshot> updated,
                                                       std::vector<ManagedObjectIDPtr> deleted)
    : sender_(std::move(sender)),
      inserted_(std::move(inserted)),
      updated_(std::move(updated)),
      deleted_(std::move(deleted)) {}

std::vector<ManagedObjectIDPtr> ContextDidSaveNotification::insertedObjectIDs() const {
    return identifiersOf(inserted_);
}

std::vector<ManagedObjectIDPtr> ContextDidSaveNotification::updatedObjectIDs() const {
    return identifiersOf(updated_);
}

Dictionary ContextDidSaveNotification::userInfo(
    const std::shared_ptr<ContextDidSaveNotification>& self) const {
    return Dictionary{{kInsertedObjectIDsKey, Value(identifiers(inserted_))},
                      {kUpdatedObjectIDsKey, Value(identifiers(updated_))},
                      {kDeletedObjectIDsKey, Value(identifiers(deleted_))},
                      {kContextDidSaveChangesKey, Value::object(self)}};
}

std::shared_ptr<const ContextDidSaveNotification> ContextDidSaveNotification::fromNotification(
    const Notification& notification) {
    const Value* changes = notification.userInfo().find(kContextDidSaveChangesKey);
    if (!changes) return nullptr;
    return std::dynamic_pointer_cast<const ContextDidSaveNotification>(changes->object());
}

std::string ContextDidSaveNotification::description() const {
    return "<did save: " + std::to_string(inserted_.size()) + " inserted, " +
           std::to_string(updated_.size()) + " updated, " + std::to_string(deleted_.size()) +
           " deleted>";
}

}  // namespace platform
