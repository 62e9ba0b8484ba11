// One SQLite database connection with its cache of prepared statements (prepared once, reset and
// reused) and the read transaction it may keep between uses. Owned by a store; used by one thread
// at a time, which the store's connection policy guarantees (SQLiteStore.hpp). Failures throw
// SQLiteError, which the store turns into an Error at its API.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/Value.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

class SQLiteError : public std::runtime_error {
  public:
    SQLiteError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    // The SQLite result code (primary code in the low byte).
    int code() const { return code_; }

  private:
    int code_;
};

// A prepared statement of a connection's cache. Reset and cleared of bindings by its Use guard.
class SQLiteStatement {
  public:
    explicit SQLiteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~SQLiteStatement();
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;

    // Binds parameter `index` (1-based): integers, doubles, booleans as 0/1, decimals and strings
    // as text, dates as seconds, bytes as blobs; absent and null as NULL. Other kinds throw.
    // Text and bytes are not copied: the value must live until the statement is reset.
    void bind(int index, const Value& value);
    void bindInt(int index, int64_t value);
    void bindNull(int index);
    // Copies the text.
    void bindText(int index, const std::string& text);
    // True while a row is available.
    bool step();
    void reset();

    int columnCount() const;
    bool columnIsNull(int column) const;
    int64_t columnInt(int column) const;
    double columnDouble(int column) const;
    std::string columnText(int column) const;
    // Valid until the next step or reset.
    std::string_view columnTextView(int column) const;
    Value::Bytes columnBlob(int column) const;
    sqlite3_stmt* handle() const { return stmt_; }

  private:
    void bindBorrowed(int index, std::string_view text);

    sqlite3_stmt* stmt_;
};

class SQLiteConnection {
  public:
    // Opens (and creates) `uri` with SQLite URI parsing through the named VFS (null: the
    // default); throws SQLiteError.
    explicit SQLiteConnection(const std::string& uri, const char* vfs = nullptr);
    ~SQLiteConnection();
    // How long a statement waits for a file another connection holds locked, for connections
    // opened from now on: 30 s unless changed (tests shorten it).
    static void setBusyTimeout(std::chrono::milliseconds timeout);
    SQLiteConnection(const SQLiteConnection&) = delete;
    SQLiteConnection& operator=(const SQLiteConnection&) = delete;

    void exec(const std::string& sql);
    // Runs a statement that answers no rows (BEGIN, COMMIT) through the statement cache, so that
    // it is not parsed again each time; throws SQLiteError.
    void runCached(const char* sql);
    // The cached statement for `sql`, prepared on first use. The returned guard resets it.
    class Use {
      public:
        explicit Use(SQLiteStatement& s) : s_(&s) {}
        ~Use() { s_->reset(); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        SQLiteStatement* operator->() const { return s_; }
        SQLiteStatement& operator*() const { return *s_; }

      private:
        SQLiteStatement* s_;
    };
    Use statement(const std::string& sql);
    // The cached statement without a guard, for loops that reset it after each row.
    SQLiteStatement& prepared(const std::string& sql);

    // Drops the cached statements once there are many (fetches with IN lists of every length
    // would otherwise grow the cache without bound). Only between uses of the connection. True
    // when it dropped them.
    bool trimStatementCache();

    // A read transaction that may outlive one use of the connection. beginRead starts one, or
    // keeps the one an earlier use left open when nothing was committed to the file since it
    // began, by any connection of any process: the write-ahead log's index header, which every
    // commit rewrites, is still the one seen before it began. So a run of reads of an unchanged
    // file takes and drops the shared-memory read lock (a system call each) once, not per read,
    // and reads always see the last commit. endRead ends it (before a save of this process, so
    // that the log can be checkpointed past it, and on errors).
    void beginRead();
    void endRead();

    // Rows changed by the last INSERT, UPDATE or DELETE.
    int64_t changes() const;
    sqlite3* handle() const { return db_; }
    [[noreturn]] void fail(int code, const std::string& what) const;

  private:
    static std::atomic<std::chrono::milliseconds> busyTimeout_;
    // Copies the log index header into seenHeader_; false when the index is not mapped yet.
    bool captureHeader();
    bool headerUnchanged() const;

    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, std::unique_ptr<SQLiteStatement>> statements_;
    // The first copy of the log index header (48 bytes), as 64-bit words.
    static constexpr size_t kHeaderWords = 6;
    bool reading_ = false;
    bool headerKnown_ = false;
    const volatile uint64_t* walIndex_ = nullptr;  // SQLite's mapping, valid while open
    uint64_t seenHeader_[kHeaderWords] = {};
};

// Double-quoted SQL identifier (model names are identifiers, never values).
std::string quoteIdentifier(const std::string& name);

}  // namespace platform
