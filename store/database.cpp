#include "store/database.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <stdexcept>

sqlite3* g_db = nullptr;

namespace {

// The write-ahead log that the connection writes, as the file system knew it when the contest was opened; an
// inode of 0 while there is none to watch.
struct stat watched_log {};

std::string log_path() { return std::string(sqlite3_db_filename(g_db, "main")) + "-wal"; }

}  // namespace

bool open_database(const std::string& path) {
    if (g_db) return false;
    if (sqlite3_open_v2(path.c_str(), &g_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(g_db);
        g_db = nullptr;
        return false;
    }
    return true;
}

void close_database() {
    sqlite3_close(g_db);
    g_db = nullptr;
    watched_log = {};
}

void watch_database_log() {
    if (stat(log_path().c_str(), &watched_log) != 0) watched_log = {};
}

void ensure_database_in_place() {
    int moved = 0;
    if (sqlite3_file_control(g_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
        throw std::runtime_error("Contest file moved");
    if (watched_log.st_ino == 0) return;
    struct stat now {};
    if (stat(log_path().c_str(), &now) == 0 && now.st_dev == watched_log.st_dev && now.st_ino == watched_log.st_ino)
        return;
    // The log that the connection still writes is gone from its folder, and with it, at the next crash, every save
    // since the last checkpoint: those go into the file now, while the connection can still read them.
    sqlite3_exec(g_db, "PRAGMA wal_checkpoint;", nullptr, nullptr, nullptr);
    throw std::runtime_error("Contest file moved");
}
