#include "platform/objectstore/SQLiteStore.hpp"

#include <sqlite3.h>

#include <map>
#include <set>
#include <unordered_map>

#include "platform/objectstore/SQLFetchBuilder.hpp"
#include "platform/objectstore/SQLiteConnection.hpp"
#include "platform/objectstore/SQLiteSchema.hpp"

namespace platform {

namespace {

std::string uriForPath(const std::string& path) {
    std::string out = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

// The file belongs to this process: the "unix-excl" VFS locks it against other processes once and
// keeps the write-ahead log's index in process memory, so that beginning and ending a read costs
// no system call. Connections of this process still share the file and its log.
constexpr const char* kVFS = "unix-excl";

bool isNotADatabase(int code) {
    int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

ErrorPtr storeError(int64_t code, const std::string& message) {
    return Error::create(kErrorDomain, code, message);
}

}  // namespace

struct SQLiteStore::Temporaries {
    std::unordered_map<int64_t, int64_t> rows;  // temporary number -> row number
};

// A reader connection borrowed from the pool for one operation.
class SQLiteStore::ReaderLease {
  public:
    explicit ReaderLease(SQLiteStore& store) : store_(store), connection_(store.takeReader()) {}
    ~ReaderLease() { store_.returnReader(std::move(connection_)); }
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;
    SQLiteConnection& operator*() const { return *connection_; }

  private:
    SQLiteStore& store_;
    std::unique_ptr<SQLiteConnection> connection_;
};

SQLiteStore::SQLiteStore(StoreType type, std::shared_ptr<const ManagedObjectModel> model,
                         std::string configuration, std::string path, std::string file)
    : PersistentStore(type, std::move(model), std::move(configuration), std::move(path)),
      file_(std::move(file)) {}

SQLiteStore::~SQLiteStore() {
    closeConnections();
}

void SQLiteStore::closeConnections() {
    {
        MutexLock lock(poolMutex_);
        idleReaders_.clear();
    }
    MutexLock lock(writeMutex_);
    writer_.reset();
}

std::shared_ptr<PersistentStore> SQLiteStore::open(std::shared_ptr<const ManagedObjectModel> model,
                                                   const std::string& configuration,
                                                   const std::string& path, ErrorPtr& error) {
    auto store = std::make_shared<SQLiteStore>(StoreType::SQLite, std::move(model), configuration,
                                               path, path);
    error = store->openFile();
    return error ? nullptr : store;
}

void SQLiteStore::configure(SQLiteConnection& connection, bool writer) {
    // WAL keeps readers and the writer apart. NORMAL syncs at checkpoints only: a commit is still
    // atomic when the process dies, and a power cut can lose only the last commits.
    SQLiteConnection::Use mode = connection.statement("PRAGMA journal_mode=WAL");
    if (!mode->step() || mode->columnText(0) != "wal") {
        throw SQLiteError(SQLITE_CANTOPEN, "The store file cannot use write-ahead logging");
    }
    connection.exec("PRAGMA synchronous=NORMAL");
    if (!writer) connection.exec("PRAGMA query_only=1");
}

ErrorPtr SQLiteStore::openFile() {
    try {
        auto writer = std::make_unique<SQLiteConnection>(uriForPath(file_), kVFS);
        configure(*writer, true);
        schema_ = std::make_unique<SQLiteSchema>(model(), entities());
        writer->exec("BEGIN IMMEDIATE");
        ErrorPtr error;
        try {
            int tables = 0;
            {
                auto count =
                    writer->statement("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'");
                count->step();
                tables = static_cast<int>(count->columnInt(0));
            }
            if (tables == 0) {
                createTables(*writer);
            } else {
                error = checkExisting(*writer);
            }
            writer->exec(error ? "ROLLBACK" : "COMMIT");
        } catch (...) {
            try {
                writer->exec("ROLLBACK");
            } catch (const SQLiteError&) {
            }
            throw;
        }
        if (error) return error;
        MutexLock lock(writeMutex_);
        writer_ = std::move(writer);
        return nullptr;
    } catch (const SQLiteError& e) {
        if (isNotADatabase(e.code())) {
            return storeError(errc::kInvalidFile,
                              "The file at " + path() + " is not a database: " + e.what());
        }
        return storeError(errc::kStoreOpen,
                          "The store at " + path() + " cannot be opened: " + e.what());
    } catch (const std::exception& e) {
        return storeError(errc::kStoreOpen,
                          "The store at " + path() + " cannot be opened: " + e.what());
    }
}

void SQLiteStore::createTables(SQLiteConnection& writer) {
    for (const auto& sql : schema_->createStatements()) writer.exec(sql);
    setIdentifier(makeUUID());
    auto insert =
        writer.statement("INSERT INTO \"zq_metadata\" (\"key\", \"value\") VALUES (?, ?)");
    const std::pair<const char*, std::string> rows[] = {
        {"version_hash", model()->versionHash()},
        {"identifier", identifier()},
        {"configuration", configurationName()},
    };
    for (const auto& [key, value] : rows) {
        insert->bindText(1, key);
        insert->bindText(2, value);
        insert->step();
        insert->reset();
    }
}

ErrorPtr SQLiteStore::checkExisting(SQLiteConnection& writer) {
    {
        auto exists = writer.statement(
            "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'zq_metadata'");
        exists->step();
        if (exists->columnInt(0) == 0) {
            return storeError(errc::kIncompatibleSchema,
                              "The database at " + path() + " was not made by an object store");
        }
    }
    std::map<std::string, std::string> metadata;
    {
        auto rows = writer.statement("SELECT \"key\", \"value\" FROM \"zq_metadata\"");
        while (rows->step()) metadata[rows->columnText(0)] = rows->columnText(1);
    }
    if (metadata["version_hash"] != model()->versionHash()) {
        return storeError(
            errc::kIncompatibleVersion,
            "The store at " + path() + " was made by another version of the managed object model");
    }
    setIdentifier(metadata["identifier"]);
    return checkExistingTables(writer);
}

ErrorPtr SQLiteStore::checkExistingTables(SQLiteConnection& writer) {
    for (const auto& [table, columns] : schema_->expectedColumns()) {
        std::set<std::string> present;
        auto info = writer.statement("PRAGMA table_info(" + quoteIdentifier(table) + ")");
        while (info->step()) present.insert(info->columnText(1));
        for (const auto& column : columns) {
            if (!present.count(column)) {
                return storeError(errc::kIncompatibleSchema,
                                  "The store at " + path() + " lacks " + table + "." + column);
            }
        }
    }
    return nullptr;
}

std::unique_ptr<SQLiteConnection> SQLiteStore::takeReader() {
    {
        MutexLock lock(poolMutex_);
        if (!idleReaders_.empty()) {
            auto connection = std::move(idleReaders_.back());
            idleReaders_.pop_back();
            return connection;
        }
    }
    auto connection = std::make_unique<SQLiteConnection>(uriForPath(file_), kVFS);
    configure(*connection, false);
    return connection;
}

void SQLiteStore::returnReader(std::unique_ptr<SQLiteConnection> connection) {
    if (!connection) return;
    connection->trimStatementCache();
    MutexLock lock(poolMutex_);
    if (idleReaders_.size() < 8) idleReaders_.push_back(std::move(connection));
}

void SQLiteStore::readRow(const SQLiteStatement& s, int first, const EntityDescription& entity,
                          RowSnapshot& out) {
    const auto* table = schema_->table(entity);
    out.version = s.columnInt(first);
    out.values.assign(entity.properties().size(), Value());
    int column = first + 1;
    for (size_t index : table->storedProperties) {
        const auto* property = entity.properties()[index].get();
        if (property->isAttribute()) {
            const auto* a = static_cast<const AttributeDescription*>(property);
            out.values[index] = SQLiteSchema::readColumn(s, column, a->attributeType());
        } else if (!s.columnIsNull(column)) {
            const auto* r = static_cast<const RelationshipDescription*>(property);
            out.values[index] = Value::objectID(
                ManagedObjectID::permanent(schema_->sharedEntity(*r->destinationEntity()),
                                           shared_from_this(), s.columnInt(column)));
        }
        ++column;
    }
}

ErrorPtr SQLiteStore::loadRow(const EntityDescription& entity, int64_t rowID, RowSnapshot& out,
                              bool& found) {
    found = false;
    try {
        const auto* table = schema_->table(entity);
        if (!table) return storeError(errc::kObjectStore, entity.name() + " is not in the store");
        ReaderLease reader(*this);
        auto statement = (*reader).statement(table->selectRowSQL);
        statement->bindInt(1, rowID);
        if (statement->step()) {
            out.rowID = rowID;
            readRow(*statement, 0, entity, out);
            found = true;
        }
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore, std::string("Reading a row failed: ") + e.what());
    }
}

ErrorPtr SQLiteStore::loadRelated(const RelationshipDescription& r, int64_t rowID,
                                  std::vector<int64_t>& out) {
    out.clear();
    try {
        std::string sql;
        switch (r.storage()) {
            case RelationshipStorage::InverseForeignKey: {
                const auto* destination = schema_->table(*r.destinationEntity());
                if (!destination) {
                    return storeError(errc::kObjectStore, r.name() + " leaves the store");
                }
                sql = "SELECT \"Z_PK\" FROM " + destination->name + " WHERE " +
                      destination->columns[r.inverseRelationship()->index()] +
                      " = ? ORDER BY \"Z_PK\"";
                break;
            }
            case RelationshipStorage::LinkTable:
                sql = "SELECT \"Z_MEMBER\" FROM " + schema_->linkTable(r) +
                      " WHERE \"Z_OWNER\" = ? ORDER BY \"Z_POS\"";
                break;
            case RelationshipStorage::InverseLinkTable:
                sql = "SELECT \"Z_OWNER\" FROM " + schema_->linkTable(r) +
                      " WHERE \"Z_MEMBER\" = ? ORDER BY \"Z_OWNER\"";
                break;
            case RelationshipStorage::ForeignKey:
                return storeError(errc::kObjectStore, r.name() + " is not a to-many relationship");
        }
        ReaderLease reader(*this);
        auto statement = (*reader).statement(sql);
        statement->bindInt(1, rowID);
        while (statement->step()) out.push_back(statement->columnInt(0));
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore,
                          "Reading relationship " + r.name() + " failed: " + e.what());
    }
}

ErrorPtr SQLiteStore::fetch(const FetchRequest& request, const EntityDescription& entity,
                            FetchSink& sink) {
    try {
        SQLFetchBuilder builder(*schema_, entity, serial());
        auto plan = builder.build(request);
        ReaderLease reader(*this);
        int limit = sqlite3_limit((*reader).handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        if (plan.bindings.size() > static_cast<size_t>(limit)) {
            return storeError(errc::kObjectStore, "The fetch request compares too many values");
        }
        auto statement = (*reader).statement(plan.sql);
        for (size_t i = 0; i < plan.bindings.size(); ++i) {
            statement->bind(static_cast<int>(i + 1), plan.bindings[i]);
        }
        using RT = FetchRequest::ResultType;
        auto self = shared_from_this();
        while (statement->step()) {
            switch (request.resultType()) {
                case RT::Count:
                    sink.count += statement->columnInt(0);
                    break;
                case RT::ManagedObjectID:
                    if (!sink.objectID(statement->columnInt(0))) return nullptr;
                    break;
                case RT::ManagedObject: {
                    RowSnapshot row;
                    row.rowID = statement->columnInt(0);
                    readRow(*statement, 1, entity, row);
                    if (!sink.object(std::move(row))) return nullptr;
                    break;
                }
                case RT::Dictionary: {
                    std::vector<Dictionary::Entry> entries;
                    entries.reserve(plan.outputs.size());
                    for (size_t i = 0; i < plan.outputs.size(); ++i) {
                        const auto& output = plan.outputs[i];
                        int column = static_cast<int>(i);
                        if (statement->columnIsNull(column)) continue;  // no value: no key
                        Value value;
                        if (output.type == AttributeType::ObjectID) {
                            value = Value::objectID(ManagedObjectID::permanent(
                                output.idEntity, self, statement->columnInt(column)));
                        } else {
                            value = SQLiteSchema::readColumn(*statement, column, output.type);
                        }
                        entries.emplace_back(output.key, std::move(value));
                    }
                    if (!sink.dictionary(Dictionary::fromEntries(std::move(entries)))) {
                        return nullptr;
                    }
                    break;
                }
            }
        }
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore, "Fetching " + entity.name() + " failed: " + e.what());
    }
}

int64_t SQLiteStore::rowIDOf(const ManagedObjectIDPtr& id, const Temporaries& temporaries) const {
    if (id->isTemporaryID()) {
        auto it = temporaries.rows.find(id->number());
        if (it == temporaries.rows.end()) {
            throw SQLiteError(SQLITE_CONSTRAINT,
                              "A relationship refers to an unsaved object of another store");
        }
        return it->second;
    }
    if (id->storeSerial() != serial()) {
        throw SQLiteError(SQLITE_CONSTRAINT, "A relationship refers to an object of another store");
    }
    return id->number();
}

void SQLiteStore::bindRow(SQLiteStatement& statement, int parameter,
                          const EntityDescription& entity, const std::vector<Value>& values,
                          const std::vector<bool>* changed, const Temporaries& temporaries) const {
    const auto* table = schema_->table(entity);
    for (size_t index : table->storedProperties) {
        if (changed && !(*changed)[index]) continue;
        const Value& value = values[index];
        if (entity.properties()[index]->isAttribute()) {
            statement.bind(parameter, value);
        } else if (auto id = objectIDFromValue(value)) {
            statement.bindInt(parameter, rowIDOf(id, temporaries));
        } else {
            statement.bindNull(parameter);
        }
        ++parameter;
    }
}

ErrorPtr SQLiteStore::save(const StoreChangeSet& changes, StoreSaveOutcome& outcome) {
    outcome = StoreSaveOutcome();
    if (changes.empty()) return nullptr;
    MutexLock lock(writeMutex_);
    if (!writer_) return storeError(errc::kStoreSave, "The store is not open");
    SQLiteConnection& writer = *writer_;
    try {
        writer.exec("BEGIN IMMEDIATE");
        try {
            writeChanges(writer, changes, outcome);
            writer.exec("COMMIT");
        } catch (...) {
            try {
                writer.exec("ROLLBACK");
            } catch (const SQLiteError&) {
            }
            throw;
        }
        writer.trimStatementCache();
        return nullptr;
    } catch (const std::exception& e) {
        outcome = StoreSaveOutcome();
        return storeError(errc::kStoreSave,
                          "Saving to the store at " + path() + " failed: " + e.what());
    }
}

void SQLiteStore::writeChanges(SQLiteConnection& writer, const StoreChangeSet& changes,
                               StoreSaveOutcome& outcome) {
    Temporaries temporaries;
    // Row numbers: per-entity maxima kept in the file, read and advanced inside this transaction.
    std::map<const EntityDescription*, int64_t> maxima;
    for (const auto& insert : changes.inserts) {
        auto [it, added] = maxima.emplace(insert.entity.get(), 0);
        if (added) {
            auto read = writer.statement(
                "SELECT \"max_row\" FROM \"zq_primary_keys\" WHERE \"entity\" = ?");
            read->bindText(1, insert.entity->name());
            if (read->step()) it->second = read->columnInt(0);
        }
        int64_t row = ++it->second;
        temporaries.rows.emplace(insert.temporaryID->number(), row);
        outcome.insertedIDs.push_back(ManagedObjectID::permanent(
            schema_->sharedEntity(*insert.entity), shared_from_this(), row));
    }
    for (const auto& [entity, max] : maxima) {
        auto write =
            writer.statement("UPDATE \"zq_primary_keys\" SET \"max_row\" = ? WHERE \"entity\" = ?");
        write->bindInt(1, max);
        write->bindText(2, entity->name());
        write->step();
    }
    // One statement per entity for the whole save; reset after each row.
    std::unordered_map<const EntityDescription*, SQLiteStatement*> inserts;
    for (size_t i = 0; i < changes.inserts.size(); ++i) {
        const auto& insert = changes.inserts[i];
        SQLiteStatement*& statement = inserts[insert.entity.get()];
        if (!statement) {
            const auto* table = schema_->table(*insert.entity);
            if (!table) {
                throw SQLiteError(SQLITE_ERROR, insert.entity->name() + " is not in the store");
            }
            statement = &writer.prepared(table->insertSQL);
        }
        SQLiteConnection::Use use(*statement);
        statement->bindInt(1, outcome.insertedIDs[i]->number());
        statement->bindInt(2, 1);
        bindRow(*statement, 3, *insert.entity, *insert.values, nullptr, temporaries);
        statement->step();
    }
    std::map<std::pair<const SQLiteSchema::Table*, std::vector<bool>>, SQLiteStatement*> updates;
    std::vector<bool> mask;
    for (const auto& update : changes.updates) {
        const auto* table = schema_->table(*update.entity);
        if (!table) throw SQLiteError(SQLITE_ERROR, update.entity->name() + " is not in the store");
        mask.assign(update.entity->properties().size(), false);
        int parameters = 1;
        for (size_t index : table->storedProperties) {
            mask[index] = (*update.changed)[index];
            parameters += mask[index] ? 1 : 0;
        }
        SQLiteStatement*& statement = updates[{table, mask}];
        if (!statement) {
            std::string sql = "UPDATE " + table->name + " SET \"Z_OPT\" = \"Z_OPT\" + 1";
            for (size_t index : table->storedProperties) {
                if (mask[index]) sql += ", " + table->columns[index] + " = ?";
            }
            statement = &writer.prepared(sql + " WHERE \"Z_PK\" = ? RETURNING \"Z_OPT\"");
        }
        SQLiteConnection::Use use(*statement);
        bindRow(*statement, 1, *update.entity, *update.values, &mask, temporaries);
        statement->bindInt(parameters, update.rowID);
        outcome.updatedVersions.push_back(statement->step() ? statement->columnInt(0) : 0);
    }
    for (const auto& link : changes.links) {
        std::string table = schema_->linkTable(*link.relationship);
        int64_t owner = rowIDOf(link.owner, temporaries);
        {
            auto clear = writer.statement("DELETE FROM " + table + " WHERE \"Z_OWNER\" = ?");
            clear->bindInt(1, owner);
            clear->step();
        }
        auto insert = writer.statement("INSERT INTO " + table +
                                       " (\"Z_OWNER\", \"Z_MEMBER\", \"Z_POS\") VALUES (?, ?, ?)");
        int64_t position = 0;
        for (const auto& member : link.members) {
            insert->bindInt(1, owner);
            insert->bindInt(2, rowIDOf(member, temporaries));
            insert->bindInt(3, position++);
            insert->step();
            insert->reset();
        }
    }
    for (const auto& deletion : changes.deletes) {
        const auto* table = schema_->table(*deletion.entity);
        if (!table) continue;
        for (const auto& sql : table->deleteLinksSQL) {
            auto statement = writer.statement(sql);
            statement->bindInt(1, deletion.rowID);
            statement->step();
        }
        auto statement = writer.statement(table->deleteSQL);
        statement->bindInt(1, deletion.rowID);
        statement->step();
    }
}

}  // namespace platform
