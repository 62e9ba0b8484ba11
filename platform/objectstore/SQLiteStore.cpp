#include "platform/objectstore/SQLiteStore.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "platform/FileSystem.hpp"
#include "platform/objectstore/SQLFetchBuilder.hpp"
#include "platform/objectstore/SQLiteChangeWriter.hpp"
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

bool isNotADatabase(int code) {
    int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Another connection (this process or another) kept the file locked for the whole busy timeout:
// the file may well be healthy.
bool isBusy(int code) {
    int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

ErrorPtr storeError(int64_t code, const std::string& message) {
    return Error::create(kErrorDomain, code, message);
}

}  // namespace

// A pooled reader borrowed for one operation. An operation that ends without done() (an error)
// ends the connection's read transaction rather than leave it to the next user. On the thread of
// an open write batch it lends the batch's connection instead, already inside its transaction.
class SQLiteStore::ReaderLease {
  public:
    explicit ReaderLease(SQLiteStore& store) : store_(store) {
        if (store.batchIsOnThisThread()) {
            reader_ = store.batch_.get();
        } else {
            owned_ = store.takeReader();
            reader_ = owned_.get();
        }
    }
    ~ReaderLease();
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;
    Reader& reader() const { return *reader_; }
    // The connection, in a read transaction that sees the last commit (or the batch's saves).
    SQLiteConnection& read() const;
    void done() { done_ = true; }

  private:
    SQLiteStore& store_;
    std::unique_ptr<Reader> owned_;  // none when lent the batch's connection
    Reader* reader_ = nullptr;
    bool done_ = false;
};

SQLiteStore::SQLiteStore(StoreType type, std::shared_ptr<const ManagedObjectModel> model,
                         std::string configuration, std::string path, std::string file)
    : PersistentStore(type, std::move(model), std::move(configuration), std::move(path)),
      file_(std::move(file)),
      vfs_([] {
          const char* name = FileSystem::current()->sqliteVFSName();
          return std::string(name ? name : "");
      }()) {}

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
    closed_ = true;  // an open batch's connection closes when the batch ends
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
    connection.exec(writer ? "PRAGMA cache_size=-512" : "PRAGMA cache_size=-256");
}

namespace {

// Runs `body` in a transaction opened by `begin`; rolls back when it throws.
template <typename Body>
void inTransaction(SQLiteConnection& connection, const char* begin, Body&& body) {
    connection.exec(begin);
    try {
        body();
        connection.exec("COMMIT");
    } catch (...) {
        try {
            connection.exec("ROLLBACK");
        } catch (const SQLiteError&) {
        }
        throw;
    }
}

int64_t tableCount(SQLiteConnection& connection) {
    auto count = connection.statement("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'");
    count->step();
    return count->columnInt(0);
}

}  // namespace

ErrorPtr SQLiteStore::openFile() {
    try {
        auto writer = std::make_unique<SQLiteConnection>(uriForPath(file_), vfsName());
        configure(*writer, true);
        schema_ = std::make_unique<SQLiteSchema>(model(), entities());
        // An existing file is checked in a read transaction, so that opening it never waits for
        // another process's save; only a new file takes the write lock, to make the tables (and
        // looks again under that lock: another process may have made them meanwhile).
        ErrorPtr error;
        bool empty = false;
        inTransaction(*writer, "BEGIN", [&] {
            empty = tableCount(*writer) == 0;
            if (!empty) error = checkExisting(*writer);
        });
        if (empty) {
            inTransaction(*writer, "BEGIN IMMEDIATE", [&] {
                if (tableCount(*writer) == 0) {
                    createTables(*writer);
                } else {
                    error = checkExisting(*writer);
                }
            });
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
        if (isBusy(e.code())) {
            return storeError(
                errc::kStoreOpen,
                "The store at " + path() + " stayed locked by another connection: " + e.what());
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
    {
        auto counter = writer.statement(
            "INSERT INTO \"zq_primary_keys\" (\"entity\", \"max_row\") VALUES (?, 0)");
        for (const auto& name : schema_->entityNames()) {
            counter->bindText(1, name);
            counter->step();
            counter->reset();
        }
    }
    setIdentifier(makeUUID());
    auto insert =
        writer.statement("INSERT INTO \"zq_metadata\" (\"key\", \"value\") VALUES (?, ?)");
    const std::pair<const char*, std::string> rows[] = {
        {"version_hash", model()->versionHash()},
        {"identifier", identifier()},
        {"configuration", configurationName()},
        {"save_version", "0"},
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

std::unique_ptr<SQLiteStore::Reader> SQLiteStore::takeReader() {
    {
        MutexLock lock(poolMutex_);
        if (!idleReaders_.empty()) {
            auto reader = std::move(idleReaders_.back());
            idleReaders_.pop_back();
            return reader;
        }
    }
    auto reader = std::make_unique<Reader>();
    reader->connection = std::make_unique<SQLiteConnection>(uriForPath(file_), vfsName());
    configure(*reader->connection, false);
    return reader;
}

void SQLiteStore::returnReader(std::unique_ptr<Reader> reader) {
    if (!reader) return;
    reader->bindings.clear();
    if (reader->connection->trimStatementCache()) reader->plans.clear();
    MutexLock lock(poolMutex_);
    if (idleReaders_.size() < 8) idleReaders_.push_back(std::move(reader));
}

void SQLiteStore::endIdleReads() {
    MutexLock lock(poolMutex_);
    for (auto& reader : idleReaders_) {
        try {
            reader->connection->endRead();
        } catch (const SQLiteError&) {
            reader.reset();  // a connection that cannot end a read is not reused
        }
    }
    std::erase(idleReaders_, nullptr);
}

SQLiteStore::ReaderLease::~ReaderLease() {
    if (!owned_) return;
    if (!done_) {
        try {
            owned_->connection->endRead();
        } catch (const SQLiteError&) {
            owned_.reset();
        }
    }
    store_.returnReader(std::move(owned_));
}

SQLiteConnection& SQLiteStore::ReaderLease::read() const {
    if (owned_) owned_->connection->beginRead();
    return *reader_->connection;
}

// Reads the columns of the rows that a fetch or a row load selected: the version, then the
// stored properties in table order. Text, and a to-one identifier, that repeats the row before in
// the same column shares its value (the lines of one parent all name the same parent).
class SQLiteStore::ColumnReader final : public RowSource {
  public:
    // `previous`, when given, holds the values of the last row read by earlier readers of the
    // same statement (a fetch plan's), so that runs of single-row fetches share them too.
    ColumnReader(const SQLiteStatement& statement, int first, const SQLiteSchema::Table& table,
                 const std::shared_ptr<PersistentStore>& store,
                 std::vector<Value>* previous = nullptr)
        : statement_(statement), first_(first), table_(table), store_(store) {
        if (previous) {
            previous->resize(table.stored.size());
            previous_.swap(*previous);
            kept_ = previous;
        }
    }
    ~ColumnReader() {
        if (kept_) kept_->swap(previous_);
    }
    ColumnReader(const ColumnReader&) = delete;
    ColumnReader& operator=(const ColumnReader&) = delete;
    void read(RowSnapshot& out) override {
        const SQLiteStatement& s = statement_;
        out.version = s.columnInt(first_);
        // From the second row on (single-row reads pay nothing for it).
        if (++rows_ == 2 && previous_.empty()) previous_.resize(table_.stored.size());
        // Values are made in property order, each in place; to-many slots stay absent.
        size_t properties = table_.columns.size();
        out.values.clear();
        out.values.reserve(properties);
        int column = first_ + 1;
        for (size_t i = 0; i < table_.stored.size(); ++i, ++column) {
            const auto& stored = table_.stored[i];
            while (out.values.size() < stored.property) out.values.emplace_back();
            if (!stored.destination) {
                out.values.push_back(SQLiteSchema::readColumn(
                    s, column, stored.type, previous_.empty() ? nullptr : &previous_[i]));
            } else if (!s.columnIsNull(column)) {
                out.values.push_back(relatedID(i, stored, s.columnInt(column)));
            } else {
                out.values.emplace_back();
            }
        }
        out.values.resize(properties);
    }

  private:
    Value relatedID(size_t column, const SQLiteSchema::StoredColumn& stored, int64_t row) {
        Value* last = previous_.empty() ? nullptr : &previous_[column];
        if (last) {
            if (auto id = objectIDFromValue(*last); id && id->number() == row) return *last;
        }
        Value id = Value::objectID(ManagedObjectID::permanent(stored.destination, store_, row));
        if (last) *last = id;
        return id;
    }

    const SQLiteStatement& statement_;
    int first_;
    const SQLiteSchema::Table& table_;
    const std::shared_ptr<PersistentStore>& store_;
    size_t rows_ = 0;
    std::vector<Value> previous_;         // per stored column, the value of the row before
    std::vector<Value>* kept_ = nullptr;  // where previous_ goes back to
};

ErrorPtr SQLiteStore::loadRow(const EntityDescription& entity, int64_t rowID, RowSnapshot& out,
                              bool& found) {
    found = false;
    try {
        const auto* table = schema_->table(entity);
        if (!table) return storeError(errc::kObjectStore, entity.name() + " is not in the store");
        ReaderLease reader(*this);
        SQLiteConnection& connection = reader.read();
        auto statement = connection.statement(table->selectRowSQL);
        statement->bindInt(1, rowID);
        if (statement->step()) {
            out.rowID = rowID;
            auto self = shared_from_this();
            ColumnReader(*statement, 0, *table, self).read(out);
            found = true;
        }
        reader.done();
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore, std::string("Reading a row failed: ") + e.what());
    }
}

std::string SQLiteStore::relatedSQL(const RelationshipDescription& r, Related columns) const {
    const auto* destination = schema_->table(*r.destinationEntity());
    if (!destination) return "";
    // t0 is the destination table, as in fetches, so that the row columns read the same way.
    std::string select = "SELECT t0.\"Z_PK\"";
    if (columns == Related::Versions) select += ", t0.\"Z_OPT\"";
    if (columns == Related::Rows) select += ", " + destination->selectColumns;
    switch (r.storage()) {
        case RelationshipStorage::InverseForeignKey:
            return select + " FROM " + destination->name + " t0 WHERE t0." +
                   destination->columns[r.inverseRelationship()->index()] +
                   " = ? ORDER BY t0.\"Z_PK\"";
        case RelationshipStorage::LinkTable:
            return select + " FROM " + schema_->linkTable(r) + " l JOIN " + destination->name +
                   " t0 ON t0.\"Z_PK\" = l.\"Z_MEMBER\" WHERE l.\"Z_OWNER\" = ? ORDER BY "
                   "l.\"Z_POS\"";
        case RelationshipStorage::InverseLinkTable:
            return select + " FROM " + schema_->linkTable(r) + " l JOIN " + destination->name +
                   " t0 ON t0.\"Z_PK\" = l.\"Z_OWNER\" WHERE l.\"Z_MEMBER\" = ? ORDER BY " +
                   "l.\"Z_OWNER\"";
        case RelationshipStorage::ForeignKey:
            break;
    }
    return "";
}

ErrorPtr SQLiteStore::loadRelated(const RelationshipDescription& r, int64_t rowID,
                                  std::vector<int64_t>& out) {
    out.clear();
    try {
        std::string sql = relatedSQL(r, Related::RowNumbers);
        if (sql.empty()) {
            return storeError(errc::kObjectStore,
                              r.name() + " is not a to-many relationship of the store");
        }
        ReaderLease reader(*this);
        auto statement = reader.read().statement(sql);
        statement->bindInt(1, rowID);
        while (statement->step()) out.push_back(statement->columnInt(0));
        reader.done();
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore,
                          "Reading relationship " + r.name() + " failed: " + e.what());
    }
}

ErrorPtr SQLiteStore::loadRelatedRows(const RelationshipDescription& r, int64_t rowID,
                                      std::vector<RowSnapshot>& out) {
    out.clear();
    try {
        // The cases relatedSQL has no text for; the text itself is made only when the kept rows
        // do not answer.
        const auto* destination = schema_->table(*r.destinationEntity());
        if (!destination || r.storage() == RelationshipStorage::ForeignKey) {
            return storeError(errc::kObjectStore,
                              r.name() + " is not a to-many relationship of the store");
        }
        ReaderLease reader(*this);
        SQLiteConnection& connection = reader.read();
        if (!rowCache_.empty()) {
            if (readKeptRows(connection, r, *destination, rowID, out)) {
                reader.done();
                return nullptr;
            }
            out.clear();
        }
        auto statement = connection.statement(relatedSQL(r, Related::Rows));
        statement->bindInt(1, rowID);
        auto self = shared_from_this();
        ColumnReader columns(*statement, 1, *destination, self);
        while (statement->step()) {
            out.emplace_back();
            out.back().rowID = statement->columnInt(0);
            columns.read(out.back());
        }
        reader.done();
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore,
                          "Reading relationship " + r.name() + " failed: " + e.what());
    }
}

bool SQLiteStore::readKeptRows(SQLiteConnection& connection, const RelationshipDescription& r,
                               const SQLiteSchema::Table& destination, int64_t rowID,
                               std::vector<RowSnapshot>& out) {
    // When nobody has saved since this store's last save, every kept row is current and the
    // members' row numbers (read from the relationship's index alone, or kept from the last read
    // of the list) are enough; otherwise each member's version is read and compared.
    int64_t fileVersion = 0;
    {
        auto version = connection.statement(
            "SELECT \"value\" FROM \"zq_metadata\" WHERE \"key\" = 'save_version'");
        if (version->step()) fileVersion = version->columnInt(0);
    }
    if (fileVersion != 0) {
        // The listing stops at the first member not kept (a list that was never saved whole
        // by this store, such as a query's rows, at its first).
        std::vector<int64_t> rows;
        if (!rowCache_.findList(&r, rowID, fileVersion, rows)) {
            bool missing = false;
            {
                auto members = connection.statement(relatedSQL(r, Related::RowNumbers));
                members->bindInt(1, rowID);
                while (!missing && members->step()) {
                    rows.push_back(members->columnInt(0));
                    missing = !rowCache_.contains(destination, rows.back());
                }
            }
            if (missing) return false;
            rowCache_.rememberList(&r, rowID, fileVersion, rows);
        }
        if (rowCache_.findAll(destination, rows, fileVersion, out)) return true;
        out.clear();
    }
    auto statement = connection.statement(relatedSQL(r, Related::Versions));
    statement->bindInt(1, rowID);
    while (statement->step()) {
        out.emplace_back();
        if (!rowCache_.find(destination, statement->columnInt(0), statement->columnInt(1),
                            out.back()))
            return false;
    }
    return true;
}

const SQLiteStore::CachedPlan& SQLiteStore::planFor(Reader& reader, SQLFetchBuilder& builder,
                                                    const FetchRequest& request) {
    auto it = reader.plans.find(reader.key);
    if (it == reader.plans.end()) {
        auto plan = builder.build(request);
        SQLiteStatement& statement = reader.connection->prepared(plan.sql);
        it = reader.plans.emplace(reader.key, CachedPlan{std::move(plan), &statement, {}}).first;
    }
    if (it->second.plan.parameters != reader.bindings.size()) {
        throw std::logic_error("The fetch plan and the request's values disagree");
    }
    return it->second;
}

ErrorPtr SQLiteStore::fetch(const FetchRequest& request, const EntityDescription& entity,
                            FetchSink& sink) {
    try {
        const auto* table = schema_->table(entity);
        if (!table) return storeError(errc::kObjectStore, entity.name() + " is not in the store");
        ReaderLease lease(*this);
        Reader& reader = lease.reader();
        reader.key.clear();
        reader.bindings.clear();
        SQLFetchBuilder builder(*schema_, entity, serial());
        builder.describe(request, reader.key, reader.bindings);
        int limit = sqlite3_limit(reader.connection->handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        if (reader.bindings.size() > static_cast<size_t>(limit)) {
            lease.done();
            return storeError(errc::kObjectStore, "The fetch request compares too many values");
        }
        const CachedPlan& plan = planFor(reader, builder, request);
        lease.read();
        SQLiteConnection::Use statement(*plan.statement);
        for (size_t i = 0; i < reader.bindings.size(); ++i) {
            statement->bind(static_cast<int>(i + 1), reader.bindings[i]);
        }
        readResults(*statement, request, *table, plan, sink);
        lease.done();
        return nullptr;
    } catch (const std::exception& e) {
        return storeError(errc::kObjectStore, "Fetching " + entity.name() + " failed: " + e.what());
    }
}

namespace {

// The current row of a dictionary fetch's statement, read column by column where SQLite holds it.
class OutputRow final : public FetchedRow {
  public:
    OutputRow(const SQLiteStatement& statement, const std::vector<SQLFetchBuilder::Output>& outputs,
              const std::shared_ptr<PersistentStore>& store)
        : statement_(statement), outputs_(outputs), store_(store) {}

    size_t size() const override { return outputs_.size(); }

    Value value(size_t output) const override {
        const auto column = static_cast<int>(output);
        if (output >= outputs_.size() || statement_.columnIsNull(column)) return Value();
        const auto& described = outputs_[output];
        if (described.type == AttributeType::ObjectID) {
            return Value::objectID(ManagedObjectID::permanent(described.idEntity, store_,
                                                              statement_.columnInt(column)));
        }
        return SQLiteSchema::readColumn(statement_, column, described.type);
    }

    std::optional<std::string_view> text(size_t output) const override {
        const auto column = static_cast<int>(output);
        if (output >= outputs_.size() || outputs_[output].type != AttributeType::String ||
            statement_.columnIsNull(column)) {
            return std::nullopt;
        }
        return statement_.columnTextView(column);
    }

    int64_t rowNumber(size_t output) const override {
        const auto column = static_cast<int>(output);
        if (output >= outputs_.size() || outputs_[output].type != AttributeType::ObjectID ||
            statement_.columnIsNull(column)) {
            return 0;
        }
        return statement_.columnInt(column);
    }

    const std::shared_ptr<const EntityDescription>& identifierEntity(size_t output) const override {
        static const std::shared_ptr<const EntityDescription> kNone;
        return output < outputs_.size() ? outputs_[output].idEntity : kNone;
    }

    const std::shared_ptr<PersistentStore>& store() const override { return store_; }

  private:
    const SQLiteStatement& statement_;
    const std::vector<SQLFetchBuilder::Output>& outputs_;
    const std::shared_ptr<PersistentStore>& store_;
};

}  // namespace

void SQLiteStore::readResults(SQLiteStatement& statement, const FetchRequest& request,
                              const SQLiteSchema::Table& table, const CachedPlan& plan,
                              FetchSink& sink) {
    using RT = FetchRequest::ResultType;
    const auto& outputs = plan.plan.outputs;
    auto self = shared_from_this();
    ColumnReader row(statement, 1, table, self,
                     request.resultType() == RT::ManagedObject ? &plan.lastRow : nullptr);
    const OutputRow current(statement, outputs, self);
    if (request.resultType() == RT::Dictionary && sink.row) {
        while (statement.step()) {
            if (!sink.row(current)) return;
        }
        return;
    }
    std::vector<Dictionary::Entry> entries;
    while (statement.step()) {
        switch (request.resultType()) {
            case RT::Count:
                sink.count += statement.columnInt(0);
                break;
            case RT::ManagedObjectID:
                if (!sink.objectID(statement.columnInt(0))) return;
                break;
            case RT::ManagedObject:
                if (!sink.object(statement.columnInt(0), row)) return;
                break;
            case RT::Dictionary: {
                entries.clear();
                entries.reserve(outputs.size());
                for (size_t i = 0; i < outputs.size(); ++i) {
                    Value value = current.value(i);
                    if (!value.isAbsent()) entries.emplace_back(outputs[i].key, std::move(value));
                }
                if (!sink.dictionary(Dictionary::fromEntries(std::move(entries)))) return;
                entries = {};
                break;
            }
        }
    }
}

namespace {

// A file removed (or replaced) under the open store would take a save into a file nobody will
// open again: the save fails instead of reporting success for rows that are lost.
bool fileHasMoved(SQLiteConnection& connection) {
    int moved = 0;
    return sqlite3_file_control(connection.handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) ==
               SQLITE_OK &&
           moved;
}

}  // namespace

void SQLiteStore::writeChanges(SQLiteConnection& connection, const StoreChangeSet& changes,
                               StoreSaveOutcome& outcome) {
    SQLiteChangeWriter(*schema_, connection, shared_from_this()).write(changes, outcome);
}

ErrorPtr SQLiteStore::awaitWriter() {
    while (batchThread_.load(std::memory_order_acquire) != std::thread::id()) {
        batchEnded_.wait(writeMutex_);
    }
    if (!writer_) return storeError(errc::kStoreSave, "The store is not open");
    if (fileHasMoved(*writer_)) {
        rowCache_.clear();
        return storeError(errc::kStoreSave, "Saving to the store at " + path() +
                                                " failed: its file was removed or replaced");
    }
    return nullptr;
}

ErrorPtr SQLiteStore::save(const StoreChangeSet& changes, StoreSaveOutcome& outcome) {
    outcome = StoreSaveOutcome();
    if (changes.empty()) return nullptr;
    if (batchIsOnThisThread()) {
        // One savepoint per save, so that a failed save leaves the batch as it was before it.
        SQLiteConnection& connection = *batch_->connection;
        try {
            connection.runCached("SAVEPOINT zq_batch_save");
            try {
                writeChanges(connection, changes, outcome);
                connection.runCached("RELEASE zq_batch_save");
            } catch (...) {
                try {
                    connection.exec("ROLLBACK TO zq_batch_save");
                    connection.exec("RELEASE zq_batch_save");
                } catch (const SQLiteError&) {
                }
                throw;
            }
            return nullptr;
        } catch (const std::exception& e) {
            outcome = StoreSaveOutcome();
            return storeError(errc::kStoreSave,
                              "Saving to the store at " + path() + " failed: " + e.what());
        }
    }
    endIdleReads();
    MutexLock lock(writeMutex_);
    if (ErrorPtr error = awaitWriter()) return error;
    SQLiteConnection& writer = *writer_;
    try {
        // Every save opens and commits: the two statements are prepared once per connection.
        writer.runCached("BEGIN IMMEDIATE");
        try {
            writeChanges(writer, changes, outcome);
            writer.runCached("COMMIT");
        } catch (...) {
            try {
                writer.exec("ROLLBACK");
            } catch (const SQLiteError&) {
            }
            throw;
        }
        // Committed: kept rows now name what the file holds. Keeping them is only a gain, so a
        // failure here lets them all go instead of failing the save.
        try {
            rowCache_.rememberSave(*schema_, changes, outcome);
        } catch (const std::exception&) {
            rowCache_.clear();
        }
        writer.trimStatementCache();
        return nullptr;
    } catch (const std::exception& e) {
        outcome = StoreSaveOutcome();
        return storeError(errc::kStoreSave,
                          "Saving to the store at " + path() + " failed: " + e.what());
    }
}

ErrorPtr SQLiteStore::beginWriteBatch() {
    if (batchIsOnThisThread()) {
        return storeError(errc::kStoreSave,
                          "A write batch is already open on the store at " + path());
    }
    endIdleReads();
    MutexLock lock(writeMutex_);
    if (ErrorPtr error = awaitWriter()) return error;
    try {
        writer_->runCached("BEGIN IMMEDIATE");
    } catch (const std::exception& e) {
        return storeError(errc::kStoreSave,
                          "Saving to the store at " + path() + " failed: " + e.what());
    }
    batch_ = std::make_unique<Reader>();
    batch_->connection = std::move(writer_);
    batchThread_.store(std::this_thread::get_id(), std::memory_order_release);
    return nullptr;
}

ErrorPtr SQLiteStore::endWriteBatch(bool commit) {
    if (!batchIsOnThisThread()) {
        return storeError(errc::kStoreSave,
                          "No write batch of this thread is open on the store at " + path());
    }
    std::unique_ptr<Reader> batch = std::move(batch_);
    std::unique_ptr<SQLiteConnection> connection = std::move(batch->connection);
    batch.reset();  // its plans' statements belong to the connection's cache
    ErrorPtr error;
    try {
        connection->runCached(commit ? "COMMIT" : "ROLLBACK");
    } catch (const std::exception& e) {
        error = storeError(errc::kStoreSave,
                           "Saving to the store at " + path() + " failed: " + e.what());
        try {
            connection->exec("ROLLBACK");
        } catch (const SQLiteError&) {
        }
    }
    connection->trimStatementCache();
    MutexLock lock(writeMutex_);
    if (!closed_) writer_ = std::move(connection);
    batchThread_.store(std::thread::id(), std::memory_order_release);
    batchEnded_.notifyAll();
    return error;
}

}  // namespace platform
