// The rows an SQLite store's last saves wrote, by table and row number, each with the version it
// was written at, so that a read which finds a row still at that version takes its values from
// here instead of decoding its columns again (a write-through followed by the screen's read of
// the same lines). A row's version names one content for the life of a store: every save of the
// file writes a new one. Owned by its SQLiteStore; any thread; mutex_ guards the rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/Value.hpp"
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
    };
    void remember(const SQLiteSchema::Table& table, int64_t row, int64_t version,
                  const std::vector<Value>& values) REQUIRES(mutex_);
    void forget(const Key& key) REQUIRES(mutex_);

    const size_t limit_;
    mutable Mutex mutex_;
    std::unordered_map<Key, Entry, KeyHash> rows_ GUARDED_BY(mutex_);
    std::deque<Key> order_ GUARDED_BY(mutex_);  // rows_'s keys, oldest first
    // The version of the last save kept, when every save of the file since rows_ was last
    // emptied was kept here; 0 otherwise.
    int64_t lastSave_ GUARDED_BY(mutex_) = 0;
};

}  // namespace platform
