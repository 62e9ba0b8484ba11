// A second process that holds an SQLite file the way another tool beside the app would: an
// exclusive lock and an open write transaction. It prints "held" (or "failed") on stdout and lets
// go when its standard input closes. A separate program, not a fork of the test: a forked child
// would share the parent's SQLite lock bookkeeping for files the parent has open.
#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    sqlite3* db = nullptr;
    const bool held = sqlite3_open(argv[1], &db) == SQLITE_OK &&
                      sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                      sqlite3_exec(db,
                                   "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                                   "CREATE TABLE IF NOT EXISTS holder_marker (x);"
                                   "INSERT INTO holder_marker VALUES (1);",
                                   nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!held) std::fprintf(stderr, "%s\n", db ? sqlite3_errmsg(db) : "cannot open");
    std::printf(held ? "held\n" : "failed\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    if (held) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return held ? 0 : 1;
}
