#include "platform/objectstore/SQLiteChangeWriter.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <map>

#include "platform/objectstore/SQLiteConnection.hpp"

namespace platform {

SQLiteChangeWriter::SQLiteChangeWriter(const SQLiteSchema& schema, SQLiteConnection& writer,
                                       std::shared_ptr<PersistentStore> store)
    : schema_(schema), writer_(writer), store_(std::move(store)) {}

int64_t SQLiteChangeWriter::rowIDOf(const ManagedObjectIDPtr& id) const {
    if (id->isTemporaryID()) {
        if (!denseRows_.empty()) {
            auto offset = static_cast<uint64_t>(id->number() - firstTemporary_);
            if (id->number() >= firstTemporary_ && offset < denseRows_.size() &&
                denseRows_[offset] != 0) {
                return denseRows_[offset];
            }
            throw SQLiteError(SQLITE_CONSTRAINT,
                              "A relationship refers to an unsaved object of another store");
        }
        auto it =
            std::lower_bound(temporaries_.begin(), temporaries_.end(),
                             std::make_pair(id->number(), std::numeric_limits<int64_t>::min()));
        if (it == temporaries_.end() || it->first != id->number()) {
            throw SQLiteError(SQLITE_CONSTRAINT,
                              "A relationship refers to an unsaved object of another store");
        }
        return it->second;
    }
    if (id->storeSerial() != store_->serial()) {
        throw SQLiteError(SQLITE_CONSTRAINT, "A relationship refers to an object of another store");
    }
    return id->number();
}

void SQLiteChangeWriter::bindRow(SQLiteStatement& statement, int parameter,
                                 const SQLiteSchema::Table& table, const std::vector<Value>& values,
                                 const PropertyMask* changed) const {
    for (const auto& stored : table.stored) {
        size_t index = stored.property;
        if (changed && !(*changed)[index]) continue;
        const Value& value = values[index];
        if (!stored.destination) {
            statement.bind(parameter, value);
        } else if (auto id = objectIDFromValue(value)) {
            statement.bindInt(parameter, rowIDOf(id));
        } else {
            statement.bindNull(parameter);
        }
        ++parameter;
    }
}

int64_t SQLiteChangeWriter::advanceSaveVersion() {
    int64_t last = 0;
    bool stored = false;
    {
        auto read = writer_.statement(
            "SELECT \"value\" FROM \"zq_metadata\" WHERE \"key\" = 'save_version'");
        stored = read->step();
        if (stored) {
            last = read->columnInt(0);
        } else {
            // A file from before save versions: start above every row's version.
            for (const auto& table : schema_.tables()) {
                auto max = writer_.statement("SELECT MAX(\"Z_OPT\") FROM " + table.name);
                if (max->step()) last = std::max(last, max->columnInt(0));
            }
        }
    }
    // An update in place writes the table's page alone; a replacement would delete the row and
    // insert it again, rewriting the key's index page as well on every save.
    auto write = writer_.statement(
        stored ? "UPDATE \"zq_metadata\" SET \"value\" = ? WHERE \"key\" = 'save_version'"
               : "INSERT INTO \"zq_metadata\" (\"key\", \"value\") VALUES ('save_version', ?)");
    write->bindInt(1, last + 1);
    write->step();
    return last + 1;
}

void SQLiteChangeWriter::assignRows(const StoreChangeSet& changes, StoreSaveOutcome& outcome) {
    // Row numbers: per-entity maxima kept in the file, read and advanced inside this transaction.
    std::map<const EntityDescription*, int64_t> maxima;
    temporaries_.reserve(changes.inserts.size());
    outcome.insertedIDs.reserve(changes.inserts.size());
    for (const auto& insert : changes.inserts) {
        auto [it, added] = maxima.emplace(insert.entity.get(), 0);
        if (added) {
            auto read = writer_.statement(
                "SELECT \"max_row\" FROM \"zq_primary_keys\" WHERE \"entity\" = ?");
            read->bindText(1, insert.entity->name());
            if (read->step()) it->second = read->columnInt(0);
        }
        int64_t row = ++it->second;
        temporaries_.emplace_back(insert.temporaryID->number(), row);
        outcome.insertedIDs.push_back(
            ManagedObjectID::permanent(schema_.sharedEntity(*insert.entity), store_, row));
    }
    // Temporary numbers grow as objects are made, so the list is usually in order already.
    if (!std::is_sorted(temporaries_.begin(), temporaries_.end())) {
        std::sort(temporaries_.begin(), temporaries_.end());
    }
    // A save's temporary numbers usually form one run with few gaps: looked up by position
    // instead of by a search per relationship written. Row numbers start at 1, so 0 is free.
    if (!temporaries_.empty()) {
        firstTemporary_ = temporaries_.front().first;
        auto span = static_cast<uint64_t>(temporaries_.back().first - firstTemporary_) + 1;
        if (span <= 2 * temporaries_.size() + 64) {
            denseRows_.assign(span, 0);
            for (const auto& [temporary, row] : temporaries_) {
                denseRows_[static_cast<size_t>(temporary - firstTemporary_)] = row;
            }
        }
    }
    for (const auto& [entity, max] : maxima) {
        auto write = writer_.statement(
            "UPDATE \"zq_primary_keys\" SET \"max_row\" = ? WHERE \"entity\" = ?");
        write->bindInt(1, max);
        write->bindText(2, entity->name());
        write->step();
    }
}

void SQLiteChangeWriter::write(const StoreChangeSet& changes, StoreSaveOutcome& outcome) {
    outcome.version = advanceSaveVersion();
    outcome.previousVersion = outcome.version - 1;
    assignRows(changes, outcome);
    writeInserts(changes, outcome);
    writeUpdates(changes, outcome);
    writeLinks(changes);
    writeDeletes(changes);
}

void SQLiteChangeWriter::writeInserts(const StoreChangeSet& changes,
                                      const StoreSaveOutcome& outcome) {
    // One statement per entity for the whole save; reset after each row.
    const EntityDescription* lastEntity = nullptr;
    const SQLiteSchema::Table* table = nullptr;
    SQLiteStatement* statement = nullptr;
    for (size_t i = 0; i < changes.inserts.size(); ++i) {
        const auto& insert = changes.inserts[i];
        if (insert.entity.get() != lastEntity) {
            table = schema_.table(*insert.entity);
            if (!table) {
                throw SQLiteError(SQLITE_ERROR, insert.entity->name() + " is not in the store");
            }
            statement = &writer_.prepared(table->insertSQL);
            lastEntity = insert.entity.get();
        }
        SQLiteConnection::Use use(*statement);
        statement->bindInt(1, outcome.insertedIDs[i]->number());
        statement->bindInt(2, outcome.version);
        bindRow(*statement, 3, *table, *insert.values, nullptr);
        statement->step();
    }
}

void SQLiteChangeWriter::writeUpdates(const StoreChangeSet& changes, StoreSaveOutcome& outcome) {
    // One statement per table and set of changed columns; runs of updates of one shape (the
    // usual case) find theirs without a look-up.
    std::map<std::pair<const SQLiteSchema::Table*, PropertyMask>, SQLiteStatement*> updates;
    PropertyMask mask, lastMask;
    const SQLiteSchema::Table* lastTable = nullptr;
    SQLiteStatement* statement = nullptr;
    int parameters = 0;
    outcome.updatedVersions.reserve(changes.updates.size());
    for (const auto& update : changes.updates) {
        const auto* table = schema_.table(*update.entity);
        if (!table) throw SQLiteError(SQLITE_ERROR, update.entity->name() + " is not in the store");
        mask.assign(update.entity->properties().size());
        for (size_t index : table->storedProperties) mask.set(index, (*update.changed)[index]);
        if (table != lastTable || mask != lastMask) {
            SQLiteStatement*& cached = updates[{table, mask}];
            if (!cached) {
                std::string sql = "UPDATE " + table->name + " SET \"Z_OPT\" = ?";
                for (size_t index : table->storedProperties) {
                    if (mask[index]) sql += ", " + table->columns[index] + " = ?";
                }
                cached = &writer_.prepared(sql + " WHERE \"Z_PK\" = ?");
            }
            statement = cached;
            lastTable = table;
            lastMask = mask;
            parameters = 2 + static_cast<int>(mask.count());
        }
        SQLiteConnection::Use use(*statement);
        statement->bindInt(1, outcome.version);
        bindRow(*statement, 2, *table, *update.values, &mask);
        statement->bindInt(parameters, update.rowID);
        statement->step();
        outcome.updatedVersions.push_back(writer_.changes() > 0 ? outcome.version : 0);
    }
}

void SQLiteChangeWriter::writeLinks(const StoreChangeSet& changes) {
    // Runs of links of one relationship (the usual case) build and look up their statements once.
    const RelationshipDescription* lastRelationship = nullptr;
    SQLiteStatement* clear = nullptr;
    SQLiteStatement* insert = nullptr;
    for (const auto& link : changes.links) {
        if (link.relationship != lastRelationship) {
            std::string table = schema_.linkTable(*link.relationship);
            clear = &writer_.prepared("DELETE FROM " + table + " WHERE \"Z_OWNER\" = ?");
            insert = &writer_.prepared("INSERT INTO " + table +
                                       " (\"Z_OWNER\", \"Z_MEMBER\", \"Z_POS\") VALUES (?, ?, ?)");
            lastRelationship = link.relationship;
        }
        int64_t owner = rowIDOf(link.owner);
        {
            SQLiteConnection::Use use(*clear);
            clear->bindInt(1, owner);
            clear->step();
        }
        SQLiteConnection::Use use(*insert);
        int64_t position = 0;
        for (const auto& member : link.members) {
            insert->bindInt(1, owner);
            insert->bindInt(2, rowIDOf(member));
            insert->bindInt(3, position++);
            insert->step();
            insert->reset();
        }
    }
}

void SQLiteChangeWriter::writeDeletes(const StoreChangeSet& changes) {
    for (const auto& deletion : changes.deletes) {
        const auto* table = schema_.table(*deletion.entity);
        if (!table) continue;
        for (const auto& sql : table->deleteLinksSQL) {
            auto statement = writer_.statement(sql);
            statement->bindInt(1, deletion.rowID);
            statement->step();
        }
        auto statement = writer_.statement(table->deleteSQL);
        statement->bindInt(1, deletion.rowID);
        statement->step();
    }
}

}  // namespace platform
