// The plain side of the end-to-end benchmark: what a program without the library does for the
// same query, the same way each time: a libcurl GET (one handle for the run), a parse with YAJL's
// tree or simdjson's DOM, an upsert of the rows and of the query's row list in one SQLite
// transaction, and a read-back of the rows into plain structs. Header-only, for e2e_bench; used
// from the benchmark thread only.
#pragma once

#include <curl/curl.h>
#include <simdjson.h>
#include <sqlite3.h>
#include <yajl/yajl_tree.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace e2eplain {

struct Row {
    int64_t id = 0;
    double date = 0;
    std::string customer;
    double total = 0;
    bool paid = false;
};

// Seconds since 1970 of a "YYYY-MM-DD" day (days from the civil calendar); 0 when malformed.
inline double dayToSeconds(std::string_view text) {
    int y = 0, m = 0, d = 0;
    const char* end = text.data() + text.size();
    auto at = std::from_chars(text.data(), end, y);
    if (at.ec != std::errc() || at.ptr == end || *at.ptr != '-') return 0;
    at = std::from_chars(at.ptr + 1, end, m);
    if (at.ec != std::errc() || at.ptr == end || *at.ptr != '-') return 0;
    at = std::from_chars(at.ptr + 1, end, d);
    if (at.ec != std::errc()) return 0;
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return (static_cast<double>(era) * 146097 + doe - 719468) * 86400.0;
}

class PlainDb {
  public:
    explicit PlainDb(const std::string& file) : file_(file) {
        for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file + s);
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open");
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec(
            "CREATE TABLE query (pk INTEGER PRIMARY KEY, uri TEXT UNIQUE, ts REAL, "
            "complete INTEGER)");
        exec(
            "CREATE TABLE invoice (id INTEGER PRIMARY KEY, date REAL, customer TEXT, "
            "total REAL, paid INTEGER)");
        exec(
            "CREATE TABLE row (query INTEGER, pos INTEGER, invoice INTEGER, "
            "PRIMARY KEY (query, pos))");
    }
    ~PlainDb() {
        for (auto& [sql, s] : statements_) sqlite3_finalize(s);
        sqlite3_close(db_);
        for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(file_ + s);
    }
    PlainDb(const PlainDb&) = delete;
    PlainDb& operator=(const PlainDb&) = delete;

    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
    }
    sqlite3_stmt* statement(const char* sql) {
        auto& s = statements_[sql];
        if (!s && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr)) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
        return s;
    }
    void step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
        sqlite3_reset(s);
    }

  private:
    std::string file_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;
};

// One libcurl handle for the whole run, so the plain side reuses its connection as the
// library's transport does.
class PlainHttp {
  public:
    PlainHttp() : curl_(curl_easy_init()) {
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &PlainHttp::write);
    }
    ~PlainHttp() { curl_easy_cleanup(curl_); }
    PlainHttp(const PlainHttp&) = delete;
    PlainHttp& operator=(const PlainHttp&) = delete;

    // The body of a 200 answer; a new string each time, so that its memory is the caller's.
    std::string get(const std::string& url) {
        std::string body;
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        if (CURLcode code = curl_easy_perform(curl_); code != CURLE_OK) {
            throw std::runtime_error(curl_easy_strerror(code));
        }
        long status = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) throw std::runtime_error("status " + std::to_string(status));
        lastBodySize_ = body.size();
        return body;
    }
    size_t lastBodySize() const { return lastBodySize_; }

  private:
    static size_t write(char* data, size_t size, size_t count, void* body) {
        static_cast<std::string*>(body)->append(data, size * count);
        return size * count;
    }
    CURL* curl_;
    size_t lastBodySize_ = 0;
};

inline PlainHttp& plainHttp() {
    static PlainHttp http;
    return http;
}

struct YajlTree {
    explicit YajlTree(const std::string& text) {
        char error[256] = {0};
        root = yajl_tree_parse(text.c_str(), error, sizeof error);
        if (!root) throw std::runtime_error(std::string("parse: ") + error);
    }
    ~YajlTree() { yajl_tree_free(root); }
    YajlTree(const YajlTree&) = delete;
    YajlTree& operator=(const YajlTree&) = delete;
    yajl_val root;
};

inline Row rowOf(yajl_val object) {
    Row row;
    if (!YAJL_IS_OBJECT(object)) throw std::runtime_error("row is not an object");
    for (size_t k = 0; k < object->u.object.len; ++k) {
        const char* key = object->u.object.keys[k];
        yajl_val v = object->u.object.values[k];
        if (std::strcmp(key, "InvoiceId") == 0) {
            row.id = YAJL_GET_INTEGER(v);
        } else if (std::strcmp(key, "InvoiceDate") == 0 && YAJL_IS_STRING(v)) {
            row.date = dayToSeconds(YAJL_GET_STRING(v));
        } else if (std::strcmp(key, "CustomerName") == 0 && YAJL_IS_STRING(v)) {
            row.customer = YAJL_GET_STRING(v);
        } else if (std::strcmp(key, "InvoiceTotal") == 0 && YAJL_IS_NUMBER(v)) {
            row.total =
                YAJL_IS_DOUBLE(v) ? YAJL_GET_DOUBLE(v) : static_cast<double>(YAJL_GET_INTEGER(v));
        } else if (std::strcmp(key, "InvoicePaid") == 0) {
            row.paid = YAJL_IS_TRUE(v);
        }
    }
    return row;
}

// The rows of the query, in the server's order.
inline std::vector<Row> plainReadBack(PlainDb& db, const std::string& uri) {
    auto* record = db.statement("SELECT pk FROM query WHERE uri = ?");
    sqlite3_bind_text(record, 1, uri.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(record) != SQLITE_ROW) throw std::runtime_error("no query record");
    int64_t query = sqlite3_column_int64(record, 0);
    sqlite3_reset(record);
    auto* rows = db.statement(
        "SELECT i.id, i.date, i.customer, i.total, i.paid FROM row r JOIN invoice i "
        "ON i.id = r.invoice WHERE r.query = ? ORDER BY r.pos");
    sqlite3_bind_int64(rows, 1, query);
    std::vector<Row> read;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        Row row;
        row.id = sqlite3_column_int64(rows, 0);
        row.date = sqlite3_column_double(rows, 1);
        const auto* customer = sqlite3_column_text(rows, 2);
        if (customer) row.customer = reinterpret_cast<const char*>(customer);
        row.total = sqlite3_column_double(rows, 3);
        row.paid = sqlite3_column_int(rows, 4) != 0;
        read.push_back(std::move(row));
    }
    sqlite3_reset(rows);
    return read;
}

// Upserts the query record, its row list and the rows `forEachRow` hands to its callback (in
// the answer's order), in one transaction.
template <typename ForEachRow>
void plainUpsert(PlainDb& db, const std::string& uri, ForEachRow&& forEachRow) {
    auto* upsertQuery = db.statement(
        "INSERT INTO query (uri, ts, complete) VALUES (?, ?, 1) "
        "ON CONFLICT (uri) DO UPDATE SET ts = excluded.ts, complete = 1 RETURNING pk");
    auto* dropRows = db.statement("DELETE FROM row WHERE query = ?");
    auto* upsertInvoice = db.statement(
        "INSERT INTO invoice (id, date, customer, total, paid) VALUES (?, ?, ?, ?, ?) "
        "ON CONFLICT (id) DO UPDATE SET date = excluded.date, customer = excluded.customer, "
        "total = excluded.total, paid = excluded.paid");
    auto* insertRow = db.statement("INSERT INTO row (query, pos, invoice) VALUES (?, ?, ?)");
    db.exec("BEGIN IMMEDIATE");
    sqlite3_bind_text(upsertQuery, 1, uri.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_double(upsertQuery, 2, static_cast<double>(time(nullptr)));
    if (sqlite3_step(upsertQuery) != SQLITE_ROW) throw std::runtime_error("query record");
    int64_t query = sqlite3_column_int64(upsertQuery, 0);
    sqlite3_reset(upsertQuery);
    sqlite3_bind_int64(dropRows, 1, query);
    db.step(dropRows);
    int64_t position = 0;
    forEachRow([&](const Row& row) {
        sqlite3_bind_int64(upsertInvoice, 1, row.id);
        sqlite3_bind_double(upsertInvoice, 2, row.date);
        sqlite3_bind_text(upsertInvoice, 3, row.customer.data(),
                          static_cast<int>(row.customer.size()), SQLITE_STATIC);
        sqlite3_bind_double(upsertInvoice, 4, row.total);
        sqlite3_bind_int(upsertInvoice, 5, row.paid ? 1 : 0);
        db.step(upsertInvoice);
        sqlite3_bind_int64(insertRow, 1, query);
        sqlite3_bind_int64(insertRow, 2, position++);
        sqlite3_bind_int64(insertRow, 3, row.id);
        db.step(insertRow);
    });
    db.exec("COMMIT");
}

// GET, a YAJL tree parse, the upsert, the read-back.
inline std::vector<Row> plainFirstYajl(PlainDb& db, const std::string& url,
                                       const std::string& uri) {
    const std::string body = plainHttp().get(url);
    YajlTree tree(body);
    if (!YAJL_IS_ARRAY(tree.root)) throw std::runtime_error("answer is not an array");
    plainUpsert(db, uri, [&](auto&& save) {
        const auto& items = tree.root->u.array;
        for (size_t i = 0; i < items.len; ++i) save(rowOf(items.values[i]));
    });
    return plainReadBack(db, uri);
}

inline Row rowOf(simdjson::dom::element element) {
    simdjson::dom::object object;
    if (element.get_object().get(object)) throw std::runtime_error("row is not an object");
    Row row;
    for (auto field : object) {
        const std::string_view key = field.key;
        std::string_view text;
        if (key == "InvoiceId") {
            if (field.value.get_int64().get(row.id)) throw std::runtime_error("InvoiceId");
        } else if (key == "InvoiceDate" && !field.value.get_string().get(text)) {
            row.date = dayToSeconds(text);
        } else if (key == "CustomerName" && !field.value.get_string().get(text)) {
            row.customer = text;
        } else if (key == "InvoiceTotal") {
            if (field.value.get_double().get(row.total)) row.total = 0;
        } else if (key == "InvoicePaid") {
            if (field.value.get_bool().get(row.paid)) row.paid = false;
        }
    }
    return row;
}

// GET, a simdjson DOM parse, the upsert, the read-back. One parser for the run, as a plain
// program would keep it: its buffers count in a peak only when they grow.
inline std::vector<Row> plainFirstSimdjson(PlainDb& db, const std::string& url,
                                           const std::string& uri) {
    static simdjson::dom::parser parser;
    const std::string body = plainHttp().get(url);
    simdjson::dom::array items;
    if (parser.parse(body).get_array().get(items)) {
        throw std::runtime_error("answer is not an array");
    }
    plainUpsert(db, uri, [&](auto&& save) {
        for (simdjson::dom::element item : items) save(rowOf(item));
    });
    return plainReadBack(db, uri);
}

}  // namespace e2eplain
