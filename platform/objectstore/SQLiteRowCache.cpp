#include "platform/objectstore/SQLiteRowCache.hpp"

#include <cmath>

#include "platform/objectstore/ManagedObjectID.hpp"

namespace platform {

namespace {

enum class Kept { Value, Absent, Unreadable };

// How a read of the column would give the value back: as it is, as absent (NULL, or a type the
// reader does not decode), or not as it is.
Kept asRead(const SQLiteSchema::StoredColumn& column, const Value& value) {
    if (value.isAbsent() || value.kind() == Value::Kind::Null) return Kept::Absent;
    if (column.destination) {
        auto id = objectIDFromValue(value);
        return id && !id->isTemporaryID() ? Kept::Value : Kept::Unreadable;
    }
    Value::Kind expected;
    switch (column.type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            expected = Value::Kind::Integer;
            break;
        case AttributeType::Boolean:
            expected = Value::Kind::Bool;
            break;
        case AttributeType::Double:
        case AttributeType::Float:
            if (value.kind() == Value::Kind::Double && std::isnan(*value.number()))
                return Kept::Unreadable;
            expected = Value::Kind::Double;
            break;
        case AttributeType::Date:
            expected = Value::Kind::Date;
            break;
        case AttributeType::Binary:
            expected = Value::Kind::Bytes;
            break;
        case AttributeType::Decimal:
            expected = Value::Kind::Decimal;
            break;
        case AttributeType::String:
            expected = Value::Kind::String;
            break;
        default:
            return Kept::Absent;
    }
    return value.kind() == expected ? Kept::Value : Kept::Unreadable;
}

}  // namespace

void SQLiteRowCache::rememberSave(const SQLiteSchema& schema, const StoreChangeSet& changes,
                                  const StoreSaveOutcome& outcome) {
    MutexLock lock(mutex_);
    // Of a save larger than the cache only the last rows would stay: the others are not copied,
    // and what was kept goes, as it does after a save that was not kept here.
    const size_t written = changes.inserts.size() + changes.updates.size();
    const size_t skipped = written > limit_ ? written - limit_ : 0;
    if (skipped > 0 || outcome.previousVersion != lastSave_) {
        rows_.clear();
        order_.clear();
        lists_.clear();
    } else if (!lists_.empty() && mayMoveMembers(schema, changes)) {
        lists_.clear();
    }
    lastSave_ = outcome.version;
    for (size_t i = skipped; i < changes.inserts.size() && i < outcome.insertedIDs.size(); ++i) {
        const auto& insert = changes.inserts[i];
        if (const auto* table = schema.table(*insert.entity); table && insert.values)
            remember(*table, outcome.insertedIDs[i]->number(), outcome.version, *insert.values,
                     outcome.insertedIDs[i]);
    }
    const size_t firstUpdate =
        skipped > changes.inserts.size() ? skipped - changes.inserts.size() : 0;
    for (size_t i = firstUpdate; i < changes.updates.size(); ++i) {
        const auto& update = changes.updates[i];
        const auto* table = schema.table(*update.entity);
        if (!table) continue;
        bool stored = i < outcome.updatedVersions.size() && outcome.updatedVersions[i] != 0;
        if (stored && update.values && update.valuesLoaded) {
            remember(*table, update.rowID, outcome.version, *update.values, update.id);
        } else {
            forget({table, update.rowID});
        }
    }
    if (rows_.empty()) return;
    for (const auto& deleted : changes.deletes)
        if (const auto* table = schema.table(*deleted.entity)) forget({table, deleted.rowID});
}

bool SQLiteRowCache::mayMoveMembers(const SQLiteSchema& schema, const StoreChangeSet& changes) {
    if (!changes.inserts.empty() || !changes.deletes.empty() || !changes.links.empty()) return true;
    for (const auto& update : changes.updates) {
        const auto* table = schema.table(*update.entity);
        if (!table || !update.changed) return true;
        for (const auto& column : table->stored) {
            if (column.destination && column.property < update.changed->size() &&
                (*update.changed)[column.property])
                return true;
        }
    }
    return false;
}

void SQLiteRowCache::rememberList(const RelationshipDescription* relationship, int64_t owner,
                                  int64_t fileVersion, std::vector<int64_t> members) {
    MutexLock lock(mutex_);
    if (lastSave_ == 0 || fileVersion != lastSave_) return;
    if (lists_.size() >= kKeptLists) lists_.clear();
    lists_[ListKey{relationship, owner}] = std::move(members);
}

bool SQLiteRowCache::findList(const RelationshipDescription* relationship, int64_t owner,
                              int64_t fileVersion, std::vector<int64_t>& members) const {
    MutexLock lock(mutex_);
    if (lastSave_ == 0 || fileVersion != lastSave_) return false;
    auto it = lists_.find(ListKey{relationship, owner});
    if (it == lists_.end()) return false;
    members = it->second;
    return true;
}

void SQLiteRowCache::remember(const SQLiteSchema::Table& table, int64_t row, int64_t version,
                              const std::vector<Value>& values, const ManagedObjectIDPtr& id) {
    const Key key{&table, row};
    // A row kept already (a list saved again) is written over in place.
    auto [it, added] = rows_.try_emplace(key);
    Entry& entry = it->second;
    entry.version = version;
    // Only an identifier of this very row is handed out again.
    entry.id =
        id && !id->isTemporaryID() && id->number() == row && id->entity() &&
                (id->entity() == table.entity || id->entity()->name() == table.entity->name())
            ? id
            : nullptr;
    entry.values.resize(table.columns.size());
    for (const auto& column : table.stored) {
        Kept kept = column.property < values.size() ? asRead(column, values[column.property])
                                                    : Kept::Unreadable;
        if (kept == Kept::Unreadable) {
            rows_.erase(it);
            return;
        }
        entry.values[column.property] = kept == Kept::Value ? values[column.property] : Value();
    }
    if (!added) return;
    order_.push_back(key);
    while (rows_.size() > limit_ && !order_.empty()) {
        rows_.erase(order_.front());
        order_.pop_front();
    }
    // A row let go of keeps its place in order_ until it comes round (kept again meanwhile, it
    // may then go early, which costs a read). Before order_ outgrows the rows by much it is made
    // again from them, in no particular age.
    if (order_.size() > 2 * limit_ + 64) {
        order_.clear();
        for (const auto& kept : rows_) order_.push_back(kept.first);
    }
}

void SQLiteRowCache::forget(const Key& key) {
    rows_.erase(key);
}

bool SQLiteRowCache::find(const SQLiteSchema::Table& table, int64_t row, int64_t version,
                          RowSnapshot& out) const {
    MutexLock lock(mutex_);
    auto it = rows_.find(Key{&table, row});
    if (it == rows_.end() || it->second.version != version) return false;
    out.rowID = row;
    out.version = version;
    out.values = it->second.values;
    out.id = it->second.id;
    return true;
}

bool SQLiteRowCache::findAll(const SQLiteSchema::Table& table, const std::vector<int64_t>& rows,
                             int64_t fileVersion, std::vector<RowSnapshot>& out) const {
    MutexLock lock(mutex_);
    if (lastSave_ == 0 || fileVersion != lastSave_) return false;
    out.reserve(out.size() + rows.size());
    for (int64_t row : rows) {
        auto it = rows_.find(Key{&table, row});
        if (it == rows_.end()) return false;
        out.push_back(RowSnapshot{row, it->second.version, it->second.values, it->second.id});
    }
    return true;
}

bool SQLiteRowCache::empty() const {
    MutexLock lock(mutex_);
    return rows_.empty();
}

bool SQLiteRowCache::contains(const SQLiteSchema::Table& table, int64_t row) const {
    MutexLock lock(mutex_);
    return rows_.count(Key{&table, row}) != 0;
}

void SQLiteRowCache::clear() {
    MutexLock lock(mutex_);
    rows_.clear();
    order_.clear();
    lists_.clear();
    lastSave_ = 0;
}

}  // namespace platform
