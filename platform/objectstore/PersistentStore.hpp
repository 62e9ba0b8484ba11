// A store of rows of the entities of one model configuration, added to and owned by a coordinator.
// Contexts reach it through the coordinator and call the row-level operations below from their
// own threads at the same time; each store says in its header how it keeps them apart. The
// descriptive fields are fixed once the store is open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.hpp"
#include "platform/objectstore/FetchRequest.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"
#include "platform/objectstore/StoreRows.hpp"

namespace platform {

class PersistentStore : public std::enable_shared_from_this<PersistentStore> {
  public:
    enum class StoreType { SQLite, InMemory };

    virtual ~PersistentStore();
    PersistentStore(const PersistentStore&) = delete;
    PersistentStore& operator=(const PersistentStore&) = delete;

    StoreType type() const { return type_; }
    // Empty for the default configuration (every entity).
    const std::string& configurationName() const { return configuration_; }
    // The file of an SQLite store; empty for the in-memory store.
    const std::string& path() const { return path_; }
    // Unique identifier, kept in the file: the host part of object identifier URIs.
    const std::string& identifier() const { return identifier_; }
    // Unique in the process, never reused: tells identifiers of this store object from others.
    uint64_t serial() const { return serial_; }
    const std::shared_ptr<const ManagedObjectModel>& model() const { return model_; }
    const std::vector<std::shared_ptr<EntityDescription>>& entities() const { return entities_; }
    bool containsEntity(const EntityDescription& entity) const;

    // Row-level operations for contexts. Errors come back as values, never as exceptions.
    // A row that does not exist leaves `found` false.
    [[nodiscard]] virtual ErrorPtr loadRow(const EntityDescription& entity, int64_t rowID,
                                           RowSnapshot& out, bool& found) = 0;
    // The row numbers of the destination objects of a to-many relationship, in order.
    [[nodiscard]] virtual ErrorPtr loadRelated(const RelationshipDescription& relationship,
                                               int64_t rowID, std::vector<int64_t>& out) = 0;
    // The same objects with their rows (number, version and values), in the same order. This
    // base version reads them one at a time.
    [[nodiscard]] virtual ErrorPtr loadRelatedRows(const RelationshipDescription& relationship,
                                                   int64_t rowID, std::vector<RowSnapshot>& out);
    [[nodiscard]] virtual ErrorPtr fetch(const FetchRequest& request,
                                         const EntityDescription& entity, FetchSink& sink) = 0;
    // Writes the changes in one transaction: all of them or none.
    [[nodiscard]] virtual ErrorPtr save(const StoreChangeSet& changes,
                                        StoreSaveOutcome& outcome) = 0;
    // A write batch: one transaction that takes every save the calling thread makes until
    // endWriteBatch, whose reads (faults, relationships, fetches) see those saves while no other
    // thread does. Other threads' saves wait for the batch to end. endWriteBatch commits (or,
    // with commit false, rolls back everything the batch saved); it must come from the thread
    // that began. The base store has no batches: beginWriteBatch fails.
    [[nodiscard]] virtual ErrorPtr beginWriteBatch();
    [[nodiscard]] virtual ErrorPtr endWriteBatch(bool commit);

    ManagedObjectIDPtr objectIDFor(const EntityDescription& entity, int64_t rowID);

  protected:
    PersistentStore(StoreType type, std::shared_ptr<const ManagedObjectModel> model,
                    std::string configuration, std::string path);
    // While opening only.
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    static std::string makeUUID();

  private:
    StoreType type_;
    std::shared_ptr<const ManagedObjectModel> model_;
    std::string configuration_;
    std::string path_;
    std::string identifier_;
    uint64_t serial_;
    std::vector<std::shared_ptr<EntityDescription>> entities_;
};

}  // namespace platform
