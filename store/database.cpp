#include "store/database.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

sqlite3* g_db = nullptr;

namespace {

// The write-ahead log that the connection writes, as the file system knew it when the contest was opened; an
// inode of 0 while there is none to watch.
struct stat watched_log {};
// Whether the last checkpoint emptied the log, as it then stays until this connection writes again.
bool log_emptied = false;

std::string log_path() { return std::string(sqlite3_db_filename(g_db, "main")) + "-wal"; }

// Every commit goes into the file at once and leaves the log empty: the file alone then holds every save, whatever
// becomes of the log, and an empty log left behind can be applied to no other file.
int checkpoint_after_commit(void*, sqlite3* db, const char* schema, int) {
    log_emptied = sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_OK;
    return SQLITE_OK;
}

bool file_moved() {
    int moved = 0;
    return sqlite3_file_control(g_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved;
}

// The log at the file's path is still the one this connection writes.
bool log_in_place(struct stat& now) {
    return stat(log_path().c_str(), &now) == 0 && now.st_dev == watched_log.st_dev && now.st_ino == watched_log.st_ino;
}

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
    std::string litter;
    if (g_db && watched_log.st_ino != 0) {
        struct stat now {};
        const bool moved = file_moved();
        const bool log_ours = log_in_place(now);
        // The library skips the closing checkpoint of a moved file but would remove whatever log now has the old
        // name, another file's included; every save is in the file already, so the close leaves both alone.
        if (moved || !log_ours) sqlite3_db_config(g_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        // All but this connection's own emptied log at the old path, which would keep the old folder's name taken.
        if (moved && log_ours && now.st_size == 0) litter = log_path();
    }
    sqlite3_close(g_db);
    if (!litter.empty()) unlink(litter.c_str());
    g_db = nullptr;
    watched_log = {};
}

void watch_database_log() {
    sqlite3_wal_hook(g_db, checkpoint_after_commit, nullptr);
    // What a program cut short left in the log goes into the file now, while the log is known to be this file's.
    checkpoint_after_commit(nullptr, g_db, "main", 0);
    if (stat(log_path().c_str(), &watched_log) != 0) watched_log = {};
}

void ensure_database_in_place() {
    if (file_moved()) throw std::runtime_error("Contest file moved");
    if (watched_log.st_ino == 0) return;
    struct stat now {};
    if (!log_in_place(now)) throw std::runtime_error("Contest file moved");
    // Another program wrote into the log since it was emptied; what it wrote must not mix with a save.
    if (log_emptied && now.st_size != 0) throw std::runtime_error("Contest log changed");
}
