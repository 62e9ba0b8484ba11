#include "platform/objectstore/SQLiteConnection.hpp"

#include <sqlite3.h>

#include <atomic>

namespace platform {

SQLiteStatement::~SQLiteStatement() {
    sqlite3_finalize(stmt_);
}

void SQLiteStatement::bind(int index, const Value& value) {
    int rc = SQLITE_OK;
    switch (value.kind()) {
        case Value::Kind::Absent:
        case Value::Kind::Null:
            rc = sqlite3_bind_null(stmt_, index);
            break;
        case Value::Kind::Bool:
            rc = sqlite3_bind_int64(stmt_, index, *value.boolean() ? 1 : 0);
            break;
        case Value::Kind::Integer:
            rc = sqlite3_bind_int64(stmt_, index, *value.integer());
            break;
        case Value::Kind::Double:
            rc = sqlite3_bind_double(stmt_, index, *value.number());
            break;
        case Value::Kind::Decimal:
            bindBorrowed(index, value.decimal()->text());
            return;
        case Value::Kind::String:
            bindBorrowed(index, *value.string());
            return;
        case Value::Kind::Date:
            rc = sqlite3_bind_double(stmt_, index, value.date()->timeIntervalSince1970());
            break;
        case Value::Kind::Bytes: {
            const auto* b = value.bytes();
            rc = sqlite3_bind_blob64(stmt_, index, b->data(), b->size(), SQLITE_STATIC);
            break;
        }
        default:
            throw SQLiteError(SQLITE_MISMATCH, std::string("Cannot store a value of kind ") +
                                                   kindName(value.kind()));
    }
    if (rc != SQLITE_OK) throw SQLiteError(rc, sqlite3_errstr(rc));
}

void SQLiteStatement::bindBorrowed(int index, std::string_view text) {
    int rc =
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    if (rc != SQLITE_OK) throw SQLiteError(rc, sqlite3_errstr(rc));
}

void SQLiteStatement::bindInt(int index, int64_t value) {
    int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) throw SQLiteError(rc, sqlite3_errstr(rc));
}

void SQLiteStatement::bindNull(int index) {
    sqlite3_bind_null(stmt_, index);
}

void SQLiteStatement::bindText(int index, const std::string& text) {
    int rc =
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) throw SQLiteError(rc, sqlite3_errstr(rc));
}

bool SQLiteStatement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3* db = sqlite3_db_handle(stmt_);
    throw SQLiteError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

void SQLiteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int SQLiteStatement::columnCount() const {
    return sqlite3_column_count(stmt_);
}

bool SQLiteStatement::columnIsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t SQLiteStatement::columnInt(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double SQLiteStatement::columnDouble(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::string SQLiteStatement::columnText(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string();
}

std::string_view SQLiteStatement::columnTextView(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string_view();
}

Value::Bytes SQLiteStatement::columnBlob(int column) const {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? Value::Bytes(data, data + size) : Value::Bytes();
}

std::atomic<std::chrono::milliseconds> SQLiteConnection::busyTimeout_{std::chrono::seconds(30)};

void SQLiteConnection::setBusyTimeout(std::chrono::milliseconds timeout) {
    busyTimeout_.store(timeout);
}

SQLiteConnection::SQLiteConnection(const std::string& uri, const char* vfs) {
    // Each connection is confined to one thread at a time by the store, so SQLite's own mutexes
    // are not needed.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(uri.c_str(), &db_, flags, vfs);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw SQLiteError(rc, message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout_.load().count()));
}

SQLiteConnection::~SQLiteConnection() {
    walIndex_ = nullptr;
    statements_.clear();
    sqlite3_close_v2(db_);
}

void SQLiteConnection::exec(const std::string& sql) {
    char* message = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::string text = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw SQLiteError(sqlite3_extended_errcode(db_), text);
    }
}

SQLiteConnection::Use SQLiteConnection::statement(const std::string& sql) {
    return Use(prepared(sql));
}

SQLiteStatement& SQLiteConnection::prepared(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) fail(rc, "prepare " + sql);
        it = statements_.emplace(sql, std::make_unique<SQLiteStatement>(stmt)).first;
    }
    return *it->second;
}

int64_t SQLiteConnection::changes() const {
    return sqlite3_changes64(db_);
}

bool SQLiteConnection::trimStatementCache() {
    if (statements_.size() <= 256) return false;
    statements_.clear();
    return true;
}

void SQLiteConnection::runCached(const char* sql) {
    SQLiteStatement& statement = prepared(sql);
    int rc = sqlite3_step(statement.handle());
    sqlite3_reset(statement.handle());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc, sql);
}

bool SQLiteConnection::captureHeader() {
    if (!walIndex_) {
        // The index is mapped by SQLite once the connection has read the file in WAL mode.
        sqlite3_file* file = nullptr;
        if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
            !file || !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap) {
            return false;
        }
        void volatile* region = nullptr;
        if (file->pMethods->xShmMap(file, 0, 32768, 0, &region) != SQLITE_OK || !region ||
            reinterpret_cast<uintptr_t>(region) % alignof(uint64_t) != 0) {
            return false;
        }
        walIndex_ = static_cast<const volatile uint64_t*>(region);
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
    for (size_t i = 0; i < kHeaderWords; ++i) seenHeader_[i] = walIndex_[i];
    return true;
}

bool SQLiteConnection::headerUnchanged() const {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    uint64_t differences = 0;
    for (size_t i = 0; i < kHeaderWords; ++i) differences |= seenHeader_[i] ^ walIndex_[i];
    return differences == 0;
}

void SQLiteConnection::beginRead() {
    if (reading_ && sqlite3_get_autocommit(db_)) reading_ = false;  // ended by an error
    if (reading_) {
        if (headerKnown_ && headerUnchanged()) return;
        endRead();
    }
    // The header is taken before the snapshot: a commit in between makes them differ, and the
    // next use begins afresh, never the reverse.
    headerKnown_ = captureHeader();
    runCached("BEGIN");
    reading_ = true;
}

void SQLiteConnection::endRead() {
    if (!reading_) return;
    reading_ = false;
    if (!sqlite3_get_autocommit(db_)) runCached("COMMIT");
}

void SQLiteConnection::fail(int code, const std::string& what) const {
    throw SQLiteError(sqlite3_extended_errcode(db_) ? sqlite3_extended_errcode(db_) : code,
                      what + ": " + sqlite3_errmsg(db_));
}

std::string quoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace platform
