// One save of a context: validates the changed objects, sorts their rows by store, has each store
// write its share in one transaction, then gives inserted objects their permanent identifiers,
// lets deleted ones go and builds the did-save notification. Made on the stack by the context's
// save on the context's thread.
#pragma once

#include <memory>
#include <vector>

#include "platform/Error.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "platform/objectstore/ManagedObject.hpp"
#include "platform/objectstore/PersistentStore.hpp"
#include "platform/objectstore/TemporaryIDMap.hpp"

namespace platform {

class ManagedObjectContext;

class ContextSaver {
  public:
    explicit ContextSaver(ManagedObjectContext& context) : context_(context) {}
    // The notification to post, or the error that stopped the save (nothing changed then).
    [[nodiscard]] ErrorPtr save(std::shared_ptr<ContextDidSaveNotification>& notification);

  private:
    struct StoreWork {
        std::shared_ptr<PersistentStore> store;
        StoreChangeSet changes;
        std::vector<std::shared_ptr<ManagedObject>> inserted, updated, deleted;
        StoreSaveOutcome outcome;
    };
    ErrorPtr validate(ManagedObject& object);
    StoreWork& workFor(const std::shared_ptr<PersistentStore>& store);
    ErrorPtr addLinks(ManagedObject& object, StoreWork& work);
    using Replacements = TemporaryIDMap;
    // Gives the inserted objects their permanent identifiers; the temporary ones map to them.
    Replacements rekeyInserted();
    // A saved object: identifiers of inserted objects made permanent, no changes, new version.
    void settle(ManagedObject& object, int64_t version, const Replacements& replacements);
    // The to-many relationships whose members this save changes, for the snapshot (before
    // settle clears the changes).
    static std::vector<size_t> changedToManyOf(const ManagedObject& object);
    void finish(std::vector<std::shared_ptr<ManagedObject>>& dropped,
                std::shared_ptr<ContextDidSaveNotification>& notification);

    ManagedObjectContext& context_;
    std::vector<StoreWork> work_;
    // Of the context's changed objects: how many of each kind, for sizing the lists.
    struct Counts {
        size_t inserted = 0, updated = 0, deleted = 0;
    } counts_;
};

}  // namespace platform
