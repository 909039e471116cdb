#include "store/database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

sqlite3* g_db = nullptr;

namespace {

// The write-ahead log that the connection writes, as the file system knew it when the contest was opened; an
// inode of 0 while there is none to watch.
struct stat watched_log {};
std::string log_path;

// The log's size and header: what another program's writing changes.
struct LogMark {
    off_t size = 0;
    std::array<char, 32> header{};
    bool operator==(const LogMark&) const = default;
};
// The log as this connection's last transaction left it: emptied, or holding what a failed write left.
LogMark left_log;
// Set when the log lost a commit before it reached the file: the connection still counts on those frames, so
// nothing more may be written through it.
bool log_cut_short = false;

LogMark mark_of(const struct stat& log) {
    LogMark mark{log.st_size, {}};
    if (log.st_size == 0) return mark;
    if (const int fd = open(log_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
        if (pread(fd, mark.header.data(), mark.header.size(), 0) < 0) mark.size = -1;
        close(fd);
    }
    return mark;
}

bool file_moved() {
    int moved = 0;
    return sqlite3_file_control(g_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved;
}

// The log at the file's path is still the one this connection writes.
bool log_in_place(struct stat& now) {
    return stat(log_path.c_str(), &now) == 0 && now.st_dev == watched_log.st_dev && now.st_ino == watched_log.st_ino;
}

// After each transaction of this connection, committed or rolled back.
void note_log() {
    struct stat now {};
    if (log_in_place(now)) left_log = mark_of(now);
}

// Every commit goes into the file at once and leaves the log empty: the file alone then holds every save, whatever
// becomes of the log, and an empty log left behind can be applied to no other file.
int checkpoint_after_commit(void*, sqlite3* db, const char* schema, int) {
    if (sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) != SQLITE_OK &&
        sqlite3_extended_errcode(db) == SQLITE_IOERR_SHORT_READ) {
        // Another program cut the log short under this commit: the commit reports a failure, as it is not saved.
        log_cut_short = true;
        return SQLITE_IOERR;
    }
    note_log();
    return SQLITE_OK;
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
        // name, another file's included; every save is in the file already, so the close leaves both alone. Nor may
        // it copy into the file what now stands where a log cut short held a commit.
        if (moved || !log_ours || log_cut_short) sqlite3_db_config(g_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        // All but this connection's own emptied log at the old path, which would keep the old folder's name taken.
        if (moved && log_ours && now.st_size == 0) litter = log_path;
    }
    sqlite3_close(g_db);
    if (!litter.empty()) unlink(litter.c_str());
    g_db = nullptr;
    watched_log = {};
    left_log = {};
    log_cut_short = false;
}

void watch_database_log() {
    log_path = std::string(sqlite3_db_filename(g_db, "main")) + "-wal";
    if (stat(log_path.c_str(), &watched_log) != 0) watched_log = {};
    sqlite3_wal_hook(g_db, checkpoint_after_commit, nullptr);
    // A write that failed, on a full disk for one, leaves bytes in the log that are this connection's own.
    sqlite3_rollback_hook(
        g_db, [](void*) { note_log(); }, nullptr);
    // What a program cut short left in the log goes into the file now, while the log is known to be this file's.
    checkpoint_after_commit(nullptr, g_db, "main", 0);
}

void ensure_database_in_place() {
    if (file_moved()) throw std::runtime_error("Contest file moved");
    if (watched_log.st_ino == 0) return;
    struct stat now {};
    if (!log_in_place(now)) throw std::runtime_error("Contest file moved");
    // Another program wrote into the log since this connection last did; what it wrote must not mix with a save.
    if (log_cut_short || mark_of(now) != left_log) throw std::runtime_error("Contest log changed");
}
