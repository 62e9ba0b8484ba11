// The rows an SQLite store's last saves wrote, by table and row number, each with the version it
// was written at, so that a read which finds a row still at that version takes its values from
// here instead of decoding its columns again (a write-through followed by the screen's read of
// the same lines). A row's version names one content for the life of a store: every save of the
// file writes a new one. It also keeps the member row numbers of to-many lists read while the
// file was at its last kept save, for as long as the saves kept after it move no row between
// lists. Owned by its SQLiteStore; any thread; mutex_ guards the rows and the lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/RelationshipDescription.hpp"
#include "platform/objectstore/SQLiteSchema.hpp"
#include "platform/objectstore/StoreRows.hpp"

namespace platform {

class SQLiteRowCache {
  public:
    // Keeps at most `limit` rows; the oldest kept go first.
    explicit SQLiteRowCache(size_t limit) : limit_(limit) {}
    SQLiteRowCache(const SQLiteRowCache&) = delete;
    SQLiteRowCache& operator=(const SQLiteRowCache&) = delete;

    // After a committed save: the rows it wrote at its version, with the values of their
    // objects. A save that follows one not kept here (another coordinator's, a batch's) first
    // lets every row go, as does one larger than the cache. Only what a read of the row would give
    // is kept (stored columns, absent for NULL); a row whose values a read would not give back as
    // they are (a temporary identifier, a NaN, which SQLite stores as NULL) is forgotten instead.
    void rememberSave(const SQLiteSchema& schema, const StoreChangeSet& changes,
                      const StoreSaveOutcome& outcome) EXCLUDES(mutex_);
    // The row's values when it is kept at exactly `version`; false otherwise.
    bool find(const SQLiteSchema::Table& table, int64_t row, int64_t version,
              RowSnapshot& out) const EXCLUDES(mutex_);
    // When the file is at `fileVersion` and that is the version of the last save kept here (no
    // save of anyone since, and every save since the rows were kept was kept here too), every
    // kept row is what the file holds: the rows' values, appended to `out`, without their
    // versions being read. False, `out` then holding some of them, when that does not hold or a
    // row is not kept.
    bool findAll(const SQLiteSchema::Table& table, const std::vector<int64_t>& rows,
                 int64_t fileVersion, std::vector<RowSnapshot>& out) const EXCLUDES(mutex_);
    bool contains(const SQLiteSchema::Table& table, int64_t row) const EXCLUDES(mutex_);
    // The member row numbers of a to-many list (`relationship` of the row `owner`), as a read
    // listed them when the file was at `fileVersion`, the version of the last save kept here.
    void rememberList(const RelationshipDescription* relationship, int64_t owner,
                      int64_t fileVersion, std::vector<int64_t> members) EXCLUDES(mutex_);
    // The members kept for the list when the file is at `fileVersion` and that is the version of
    // the last save kept here; every save kept since the list was read inserted, deleted and
    // re-linked no row (anything else lets every list go). False otherwise.
    bool findList(const RelationshipDescription* relationship, int64_t owner, int64_t fileVersion,
                  std::vector<int64_t>& members) const EXCLUDES(mutex_);
    bool empty() const EXCLUDES(mutex_);
    void clear() EXCLUDES(mutex_);

  private:
    struct Key {
        const SQLiteSchema::Table* table;
        int64_t row;
        bool operator==(const Key& other) const { return table == other.table && row == other.row; }
    };
    struct KeyHash {
        size_t operator()(const Key& key) const {
            return std::hash<const void*>()(key.table) ^
                   (std::hash<int64_t>()(key.row) * 0x9E3779B97F4A7C15ull);
        }
    };
    struct Entry {
        int64_t version = 0;
        std::vector<Value> values;
        ManagedObjectIDPtr id;  // handed to every read of the row
    };
    void remember(const SQLiteSchema::Table& table, int64_t row, int64_t version,
                  const std::vector<Value>& values, const ManagedObjectIDPtr& id) REQUIRES(mutex_);
    void forget(const Key& key) REQUIRES(mutex_);
    struct ListKey {
        const RelationshipDescription* relationship;
        int64_t owner;
        bool operator==(const ListKey& other) const {
            return relationship == other.relationship && owner == other.owner;
        }
    };
    struct ListKeyHash {
        size_t operator()(const ListKey& key) const {
            return std::hash<const void*>()(key.relationship) ^
                   (std::hash<int64_t>()(key.owner) * 0x9E3779B97F4A7C15ull);
        }
    };
    // Whether the save may have moved a row into or out of a list: it inserted, deleted or
    // linked rows, or changed a to-one relationship.
    static bool mayMoveMembers(const SQLiteSchema& schema, const StoreChangeSet& changes);
    // At most this many lists are kept; past it they all go (they are made again by the next
    // reads).
    static constexpr size_t kKeptLists = 256;

    const size_t limit_;
    mutable Mutex mutex_;
    std::unordered_map<Key, Entry, KeyHash> rows_ GUARDED_BY(mutex_);
    std::deque<Key> order_ GUARDED_BY(mutex_);  // rows_'s keys, oldest first
    // The version of the last save kept, when every save of the file since rows_ was last
    // emptied was kept here; 0 otherwise.
    int64_t lastSave_ GUARDED_BY(mutex_) = 0;
    // Valid at lastSave_ only, emptied whenever the rows are and by any save kept that may move
    // members.
    std::unordered_map<ListKey, std::vector<int64_t>, ListKeyHash> lists_ GUARDED_BY(mutex_);
};

}  // namespace platform
