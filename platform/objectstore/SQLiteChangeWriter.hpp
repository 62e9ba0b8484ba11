// Writes one save's changes for one SQLite store inside the writer's open transaction: gives the
// save its version (above every earlier one of the file) and the inserted objects their row
// numbers (from the per-entity maxima kept in the file), then inserts, updates, rewrites link
// tables and deletes, with one prepared statement per shape of row. Made on the stack by the
// store's save, which holds the writer connection under its write mutex for the whole call.
// Throws SQLiteError; the store rolls back and reports it.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/objectstore/PersistentStore.hpp"
#include "platform/objectstore/PropertyMask.hpp"
#include "platform/objectstore/SQLiteSchema.hpp"
#include "platform/objectstore/StoreRows.hpp"

namespace platform {

class SQLiteConnection;
class SQLiteStatement;

class SQLiteChangeWriter {
  public:
    SQLiteChangeWriter(const SQLiteSchema& schema, SQLiteConnection& writer,
                       std::shared_ptr<PersistentStore> store);
    void write(const StoreChangeSet& changes, StoreSaveOutcome& outcome);

  private:
    int64_t advanceSaveVersion();
    void assignRows(const StoreChangeSet& changes, StoreSaveOutcome& outcome);
    void writeInserts(const StoreChangeSet& changes, const StoreSaveOutcome& outcome);
    void writeUpdates(const StoreChangeSet& changes, StoreSaveOutcome& outcome);
    void writeLinks(const StoreChangeSet& changes);
    void writeDeletes(const StoreChangeSet& changes);
    // The row number of an object of this store: stored, or given to it by this save.
    int64_t rowIDOf(const ManagedObjectIDPtr& id) const;
    // Binds the stored columns of a row (only the changed ones with `changed`) from `first`.
    void bindRow(SQLiteStatement& statement, int first, const SQLiteSchema::Table& table,
                 const std::vector<Value>& values, const PropertyMask* changed) const;

    const SQLiteSchema& schema_;
    SQLiteConnection& writer_;
    std::shared_ptr<PersistentStore> store_;
    std::vector<std::pair<int64_t, int64_t>> temporaries_;  // (temporary, row number), sorted
    // When the temporaries are dense: the row number per temporary from firstTemporary_, or 0.
    int64_t firstTemporary_ = 0;
    std::vector<int64_t> denseRows_;
};

}  // namespace platform
