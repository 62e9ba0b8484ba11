// The SQLite file store: one table per entity of its configuration (SQLiteSchema.hpp) in a file
// in write-ahead-log mode, with the model's version hash in a metadata table.
//
// Connection policy. One writer connection, used only under writeMutex_: saves are serialised,
// each one a single IMMEDIATE transaction (row numbers come from a table of per-entity maxima
// inside that transaction, so two coordinators on one file never hand out the same number).
// Reads (fault fulfilment, relationship loads, fetches) take a reader connection from a pool
// guarded by poolMutex_ (made on demand, kept for reuse) and never touch the writer, so in WAL
// mode they are never blocked by a save, however long, and see the store as of the last commit.
// Each connection caches its prepared statements. The mutexes are never held together.
// The file belongs to one process: connections use SQLite's "unix-excl" VFS, which locks the file
// against other processes while the store is open and keeps the log index in process memory, so a
// read begins and ends without a system call. Connections within the process share file and log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/objectstore/PersistentStore.hpp"

namespace platform {

class SQLiteConnection;
class SQLiteSchema;
class SQLiteStatement;

class SQLiteStore : public PersistentStore {
  public:
    // Opens the store at `path`, creating the file and its tables when it has none. Fails with
    // kIncompatibleVersion (file of another model version), kIncompatibleSchema (tables that do
    // not match), kInvalidFile (not a database) or kStoreOpen (cannot be opened at all).
    [[nodiscard]] static std::shared_ptr<PersistentStore> open(
        std::shared_ptr<const ManagedObjectModel> model, const std::string& configuration,
        const std::string& path, ErrorPtr& error);

    ~SQLiteStore() override;

    ErrorPtr loadRow(const EntityDescription& entity, int64_t rowID, RowSnapshot& out,
                     bool& found) override;
    ErrorPtr loadRelated(const RelationshipDescription& relationship, int64_t rowID,
                         std::vector<int64_t>& out) override;
    ErrorPtr fetch(const FetchRequest& request, const EntityDescription& entity,
                   FetchSink& sink) override;
    ErrorPtr save(const StoreChangeSet& changes, StoreSaveOutcome& outcome) override;

    // Public for make_shared; use open().
    SQLiteStore(StoreType type, std::shared_ptr<const ManagedObjectModel> model,
                std::string configuration, std::string path, std::string file);

  protected:
    // Opens the file, checks or creates the tables. Throws SQLiteError or returns an Error.
    ErrorPtr openFile();
    // Settings of each new connection: WAL, synchronous level.
    virtual void configure(SQLiteConnection& connection, bool writer);
    // Closes every connection (subclasses that remove the files first).
    void closeConnections() EXCLUDES(writeMutex_, poolMutex_);

  private:
    class ReaderLease;
    friend class ReaderLease;
    std::unique_ptr<SQLiteConnection> takeReader() EXCLUDES(poolMutex_);
    void returnReader(std::unique_ptr<SQLiteConnection> connection) EXCLUDES(poolMutex_);
    ErrorPtr checkExisting(SQLiteConnection& connection);
    ErrorPtr checkExistingTables(SQLiteConnection& connection);
    void createTables(SQLiteConnection& connection);
    void readRow(const SQLiteStatement& statement, int firstColumn, const EntityDescription& entity,
                 RowSnapshot& out);
    struct Temporaries;
    int64_t rowIDOf(const ManagedObjectIDPtr& id, const Temporaries& temporaries) const;
    void bindRow(SQLiteStatement& statement, int firstParameter, const EntityDescription& entity,
                 const std::vector<Value>& values, const std::vector<bool>* changed,
                 const Temporaries& temporaries) const;
    void writeChanges(SQLiteConnection& writer, const StoreChangeSet& changes,
                      StoreSaveOutcome& outcome);

    std::string file_;
    std::unique_ptr<SQLiteSchema> schema_;  // set while opening, read-only afterwards

    Mutex writeMutex_;
    std::unique_ptr<SQLiteConnection> writer_ GUARDED_BY(writeMutex_);
    Mutex poolMutex_;
    std::vector<std::unique_ptr<SQLiteConnection>> idleReaders_ GUARDED_BY(poolMutex_);
};

}  // namespace platform
