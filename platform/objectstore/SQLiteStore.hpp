// The SQLite file store: one table per entity of its configuration (SQLiteSchema.hpp) in a file
// in write-ahead-log mode, with the model's version hash in a metadata table.
//
// Connection policy. One writer connection, used only under writeMutex_: saves are serialised,
// each one a single IMMEDIATE transaction (row numbers and the save's version come from the file
// inside that transaction, so two coordinators or processes on one file never hand out the same
// number). Reads (fault fulfilment, relationship loads, fetches) take a reader connection from a
// pool guarded by poolMutex_ (made on demand, kept for reuse) and never touch the writer, so in
// WAL mode they are never blocked by a save, however long, and see the store as of the last
// commit. A reader keeps its read transaction between uses while nothing is committed to the
// file (SQLiteConnection::beginRead checks the log index), so a run of fetches pays for one
// transaction's locks; a save of this process first ends the transactions of idle readers, so
// that its log can be checkpointed. Each reader caches its fetch plans (SQL, outputs, prepared
// statement) by request shape, and each connection its prepared statements. The mutexes are
// never held together.
// A write batch (beginWriteBatch) moves the writer connection to the thread that began it for the
// batch's length: that thread's saves become savepoints inside one IMMEDIATE transaction and its
// reads go through the same connection, so that they see what the batch saved; other threads
// read the last commit as before, and their saves wait on batchEnded_ until the batch commits or
// rolls back.
// Page caches are small (512 KiB for the writer, 256 KiB per reader): the operating system's
// file cache holds the file's pages anyway, and a pool of readers each keeping SQLite's default
// 2 MB would hold a large list's pages several times over.
// The file may be shared: connections use SQLite's normal locking (WAL index in the "-shm" file),
// so other processes (a command-line tool reading the cache while the app runs) and other
// coordinators of this process open, read and write the same file safely. A connection that finds
// the file locked waits (30 s busy timeout) rather than failing. A reader idle in its kept
// transaction can hold back another process's checkpoint until this store next reads or saves:
// that process's log grows meanwhile; nothing is lost or blocked.
// Rows a committed save wrote are kept (SQLiteRowCache, up to kKeptRows) with the save's version;
// a to-many list read that finds every member at a kept version takes their values from there,
// reading only row numbers and versions. A version names one content of a row for as long as the
// file stays in place; a file replaced under the open store is refused for saves, and the kept
// rows are then let go of.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/objectstore/PersistentStore.hpp"
#include "platform/objectstore/SQLFetchBuilder.hpp"
#include "platform/objectstore/SQLiteRowCache.hpp"
#include "platform/objectstore/SQLiteSchema.hpp"

namespace platform {

class SQLiteConnection;
class SQLiteStatement;

class SQLiteStore : public PersistentStore {
  public:
    // Rows kept from committed saves: an instance's lines several times over.
    static constexpr size_t kKeptRows = 4096;
    // Opens the store at `path`, creating the file and its tables when it has none. Fails with
    // kIncompatibleVersion (file of another model version) or kIncompatibleSchema (tables that do
    // not match) or kInvalidFile (not a database): the caller may delete the file and start
    // afresh. Fails with kStoreOpen when the file cannot be opened at all, including when it
    // stayed locked by another connection for the whole busy timeout: such a file may be healthy
    // and in use, and must not be deleted.
    [[nodiscard]] static std::shared_ptr<PersistentStore> open(
        std::shared_ptr<const ManagedObjectModel> model, const std::string& configuration,
        const std::string& path, ErrorPtr& error);

    ~SQLiteStore() override;

    ErrorPtr loadRow(const EntityDescription& entity, int64_t rowID, RowSnapshot& out,
                     bool& found) override;
    ErrorPtr loadRelated(const RelationshipDescription& relationship, int64_t rowID,
                         std::vector<int64_t>& out) override;
    // One statement: the destination rows joined to the link table or found by their key.
    ErrorPtr loadRelatedRows(const RelationshipDescription& relationship, int64_t rowID,
                             std::vector<RowSnapshot>& out) override;
    ErrorPtr fetch(const FetchRequest& request, const EntityDescription& entity,
                   FetchSink& sink) override;
    ErrorPtr save(const StoreChangeSet& changes, StoreSaveOutcome& outcome) override;
    ErrorPtr beginWriteBatch() override EXCLUDES(writeMutex_, poolMutex_);
    ErrorPtr endWriteBatch(bool commit) override EXCLUDES(writeMutex_);

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
    // A pooled reader connection with its fetch plans: SQL text, outputs and prepared statement
    // per request shape (SQLFetchBuilder::describe), and scratch space reused by every fetch.
    struct CachedPlan {
        SQLFetchBuilder::Plan plan;
        SQLiteStatement* statement = nullptr;  // owned by the connection's statement cache
        // The small values of the last object row read, which a repeat shares (ColumnReader).
        mutable std::vector<Value> lastRow;
    };
    struct Reader {
        std::unique_ptr<SQLiteConnection> connection;
        std::unordered_map<std::string, CachedPlan> plans;
        std::string key;
        std::vector<Value> bindings;
    };
    class ReaderLease;
    class ColumnReader;
    // The SQL that lists a to-many relationship's members by row number, with their versions,
    // or with their rows; empty when the relationship leaves the store or is not to-many.
    enum class Related { RowNumbers, Versions, Rows };
    std::string relatedSQL(const RelationshipDescription& relationship, Related columns) const;
    // The members' rows when every one is in rowCache_ at its current version (read with the
    // row numbers only when nobody saved since this store, else with the versions); false when
    // one is not, `out` then holding some of them.
    bool readKeptRows(SQLiteConnection& connection, const RelationshipDescription& relationship,
                      const SQLiteSchema::Table& destination, int64_t rowID,
                      std::vector<RowSnapshot>& out);
    std::unique_ptr<Reader> takeReader() EXCLUDES(poolMutex_);
    void returnReader(std::unique_ptr<Reader> reader) EXCLUDES(poolMutex_);
    // Ends the read transactions that idle readers keep, so that a save's log can be
    // checkpointed past them.
    void endIdleReads() EXCLUDES(poolMutex_);
    const CachedPlan& planFor(Reader& reader, SQLFetchBuilder& builder,
                              const FetchRequest& request);
    void readResults(SQLiteStatement& statement, const FetchRequest& request,
                     const SQLiteSchema::Table& table, const CachedPlan& plan, FetchSink& sink);
    // Whether the calling thread has a write batch open on this store.
    bool batchIsOnThisThread() const {
        return batchThread_.load(std::memory_order_acquire) == std::this_thread::get_id();
    }
    // Waits until no other thread's batch holds the writer, then checks that the writer is open
    // and its file still in place; an error says why nothing may be saved.
    ErrorPtr awaitWriter() REQUIRES(writeMutex_);
    // Writes one save's changes with the connection, inside its open transaction.
    void writeChanges(SQLiteConnection& connection, const StoreChangeSet& changes,
                      StoreSaveOutcome& outcome);
    ErrorPtr checkExisting(SQLiteConnection& connection);
    ErrorPtr checkExistingTables(SQLiteConnection& connection);
    void createTables(SQLiteConnection& connection);

    std::string file_;
    // The SQLite VFS of the file system current when the store was made (empty: the default);
    // every connection of the store uses it.
    const std::string vfs_;
    const char* vfsName() const { return vfs_.empty() ? nullptr : vfs_.c_str(); }
    std::unique_ptr<SQLiteSchema> schema_;  // set while opening, read-only afterwards

    Mutex writeMutex_;
    std::unique_ptr<SQLiteConnection> writer_ GUARDED_BY(writeMutex_);  // none during a batch
    // The open batch's thread (the default id when none); set and cleared under writeMutex_.
    std::atomic<std::thread::id> batchThread_{};
    bool closed_ GUARDED_BY(writeMutex_) = false;
    CondVar batchEnded_;
    // The writer's connection while a batch is open, with fetch plans of its own: used by the
    // batch's thread alone, so no lock guards it; handed over under writeMutex_.
    std::unique_ptr<Reader> batch_;
    Mutex poolMutex_;
    std::vector<std::unique_ptr<Reader>> idleReaders_ GUARDED_BY(poolMutex_);
    // The rows of the last committed saves (not a batch's), for list reads that follow them.
    SQLiteRowCache rowCache_{kKeptRows};
};

}  // namespace platform
