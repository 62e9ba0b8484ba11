// A scratch pad of managed objects on a shared coordinator: it registers the objects it fetched,
// inserted or was asked for (holding them, unless told to hold them weakly), tracks their changes
// and saves them, one transaction per store. A context is confined to one thread at a time: a
// private-queue context to whichever thread is using it (an operation's), a main-queue context to
// the main thread; the objects it hands out follow the same confinement, except that the last
// reference to one may be dropped on any thread. Locks: the registry's own (taken by that
// dropping thread too, innermost: nothing is locked under it) and the did-save observer list's,
// which the NotificationCenter it owns guards. Fetches read the stores as last saved: they do not
// match unsaved inserts or changes, and leave out objects this context deleted but has not saved.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "platform/objectstore/FetchRequest.hpp"
#include "platform/objectstore/ManagedObject.hpp"
#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "platform/objectstore/ObjectRegistry.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

namespace platform {

class ManagedObjectContext : public std::enable_shared_from_this<ManagedObjectContext> {
  public:
    // The numbers are the platform's concurrency type codes.
    enum class ConcurrencyType : int { PrivateQueue = 1, MainQueue = 2 };

    [[nodiscard]] static std::shared_ptr<ManagedObjectContext> create(ConcurrencyType type);
    ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext&) = delete;
    ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

    ConcurrencyType concurrencyType() const { return type_; }
    void setPersistentStoreCoordinator(std::shared_ptr<PersistentStoreCoordinator> coordinator);
    const std::shared_ptr<PersistentStoreCoordinator>& persistentStoreCoordinator() const {
        return coordinator_;
    }
    // Runs the block at once on the calling thread, which thereby holds the context.
    void performBlockAndWait(const std::function<void()>& block) { block(); }

    // A new object of the entity with a temporary identifier; none for an unknown entity.
    std::shared_ptr<ManagedObject> insertNewObject(const std::string& entityName);
    // The registered object, or a fault loaded on first access; none for a temporary identifier
    // this context does not know or an identifier of a store no longer in the coordinator. A
    // fault whose row is gone reads as empty.
    std::shared_ptr<ManagedObject> objectWithID(const ManagedObjectIDPtr& id);
    // The same for the permanent identifier of row `rowID` of `entity` in `store`, which is made
    // only when no object of that row is registered yet.
    std::shared_ptr<ManagedObject> objectWithRowID(
        const std::shared_ptr<const EntityDescription>& entity,
        const std::shared_ptr<PersistentStore>& store, int64_t rowID);
    struct ObjectResult {
        std::shared_ptr<ManagedObject> object;
        ErrorPtr error;
    };
    // The object with its values loaded, or an error when it does not exist.
    [[nodiscard]] ObjectResult existingObjectWithID(const ManagedObjectIDPtr& id);
    // Marks the object deleted and applies the delete rules at once: cascade deletes the related
    // objects, nullify removes the object from their inverse relationships.
    void deleteObject(const std::shared_ptr<ManagedObject>& object);

    struct FetchResult {
        // Value::object of ManagedObject, Value::objectID, Dictionary, or one count.
        Array results;
        ErrorPtr error;
        std::vector<std::shared_ptr<ManagedObject>> objects() const;
    };
    [[nodiscard]] FetchResult executeFetchRequest(const FetchRequest& request);
    // A dictionary fetch read row by row, for a caller that looks at each row once: no
    // dictionaries are made. `visit` sees the rows in order (false stops the fetch); the fetch
    // limit applies as in executeFetchRequest. After an error the rows seen are not to be used.
    using RowVisitor = std::function<bool(const FetchedRow&)>;
    [[nodiscard]] ErrorPtr enumerateFetchRequest(const FetchRequest& request,
                                                 const RowVisitor& visit);
    struct CountResult {
        int64_t count = 0;
        ErrorPtr error;
    };
    [[nodiscard]] CountResult countForFetchRequest(const FetchRequest& request);

    bool hasChanges() const { return !changed_.empty(); }
    std::vector<std::shared_ptr<ManagedObject>> insertedObjects() const;
    std::vector<std::shared_ptr<ManagedObject>> updatedObjects() const;
    std::vector<std::shared_ptr<ManagedObject>> deletedObjects() const;
    size_t registeredObjectCount() const { return objects_.size(); }
    // A context that retains its objects (the default) keeps every object it registered until
    // it is reset or the object leaves it; one that does not keeps only the objects someone
    // else holds, and those with unsaved changes, so that a long list read once and let go of
    // costs nothing afterwards (the main context, which serves the screens). An object let go
    // of comes back as a new fault, with the values as saved.
    bool retainsRegisteredObjects() const { return objects_.isRetaining(); }
    void setRetainsRegisteredObjects(bool retains) { objects_.setRetaining(retains); }

    // Writes the changes, one transaction per store (stores are written in order; a failure in
    // a later store leaves the earlier ones saved). On success the objects get permanent
    // identifiers and the did-save notification goes out before this returns.
    [[nodiscard]] ErrorPtr save();

    // Without merging: drops the object's values and changes (it becomes a fault). With merging:
    // reloads the values it has not changed.
    void refreshObject(const std::shared_ptr<ManagedObject>& object, bool mergeChanges);
    // Brings another context's save in: registered objects that it updated take the saved values
    // (their own unsaved changes win), those it deleted leave this context, those it inserted are
    // reachable through objectWithID and fetches.
    void mergeChangesFromContextDidSaveNotification(const ContextDidSaveNotification& notification);
    void mergeChangesFromContextDidSaveNotification(const Notification& notification);
    // Brings in saves known only by the identifiers they changed (a write batch's, whose
    // notifications would hold every saved value): registered objects among `updated` reload the
    // values they have not changed from the store, those among `deleted` leave this context.
    void mergeChangedObjectIDs(const std::vector<ManagedObjectIDPtr>& updated,
                               const std::vector<ManagedObjectIDPtr>& deleted);
    // Forgets every registered object and every unsaved change.
    void reset();

    using DidSaveObserver = std::function<void(const ContextDidSaveNotification&)>;
    // Called synchronously on the saving thread after each successful save of this context.
    [[nodiscard]] ObserverToken addDidSaveObserver(DidSaveObserver observer);

    explicit ManagedObjectContext(ConcurrencyType type);

  private:
    friend class ManagedObject;
    friend class ObjectGraphEditor;
    friend class ContextSaver;

    // A new registered object; its values are `values` when given (a fetched row), else absent.
    std::shared_ptr<ManagedObject> makeObject(
        const std::shared_ptr<const EntityDescription>& entity, ManagedObjectIDPtr id,
        std::vector<Value>* values = nullptr);
    std::shared_ptr<ManagedObject> registered(const ManagedObjectIDPtr& id) const;
    // Loads a fault's values; false when they cannot be had (row or store gone, read error).
    bool fulfill(ManagedObject& object);
    // Loads a to-many list from the store if needed; `withRows` also registers (or fills) its
    // members with their values, read in the same statement, and adds them to `members` when
    // given (as it does with the members of a list loaded earlier that are all here): a context
    // that holds its objects weakly would otherwise let them go at once, and each would be read
    // again, row by row, when its values are asked for. For the same reason a list loaded earlier
    // whose members have gone is read again `withRows` (unless it holds unsaved changes).
    RelationshipList& loadedList(ManagedObject& object, size_t index, ErrorPtr* error = nullptr,
                                 bool withRows = false,
                                 std::vector<std::shared_ptr<ManagedObject>>* members = nullptr);
    // Whether every member is registered here with its values; if so, adds them to `members`
    // (when given) in the list's order.
    bool membersAreLoaded(const RelationshipList& list,
                          std::vector<std::shared_ptr<ManagedObject>>* members) const;
    // The registered object of a row, or a new one; a new object or a fault takes the row's
    // values from `source`.
    std::shared_ptr<ManagedObject> objectForRow(
        const std::shared_ptr<const EntityDescription>& entity,
        const std::shared_ptr<PersistentStore>& store, int64_t rowID, RowSource& source);
    void noteChanged(ManagedObject& object);
    // Called by a dying object of this context, on the thread that let go of it.
    void objectDidEnd(const ManagedObject& object);
    void forget(ManagedObject& object);
    // Registered objects among the identifiers, deleted by another context's save, leave.
    void forgetDeleted(const std::vector<ManagedObjectIDPtr>& deleted);
    void turnIntoFault(ManagedObject& object);
    void applySnapshot(ManagedObject& object, const ContextDidSaveNotification::Snapshot& snapshot);
    void post(const std::shared_ptr<ContextDidSaveNotification>& notification);

    ConcurrencyType type_;
    std::shared_ptr<PersistentStoreCoordinator> coordinator_;
    ObjectRegistry objects_;
    std::vector<std::shared_ptr<ManagedObject>> changed_;  // objects with inChangeList_ set
    NotificationCenter observers_;
    // The class of the entity whose object was made last, so that a run of rows of one entity
    // looks the class registry up once (again after any registration).
    struct ClassCache {
        std::shared_ptr<const EntityDescription> entity;
        uint64_t generation = 0;
        ManagedObjectClassRegistry::Factory factory;
    };
    ClassCache classCache_;
};

}  // namespace platform
