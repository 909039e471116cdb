#include "store/contest.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "store/contest_folder.h"
#include "store/database.h"
#include "store/schema.h"
#include "store/statement.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* name_taken = "ERROR:A contest with this name is already on your desktop.";
constexpr const char* name_refused = "ERROR:The contest folder could not be created with this name.";
constexpr const char* not_opened = "ERROR:Critical failure, the database could not be opened.";
constexpr const char* not_initialized = "ERROR:Critical failure, the database could not be initialized.";
constexpr const char* name_not_saved = "ERROR:The contest name could not be saved.";
constexpr const char* held_elsewhere = "ERROR:This contest is already open in another window.";
constexpr const char* not_a_contest = "ERROR:This file is not a contest database.";
constexpr const char* damaged = "ERROR:This contest file is damaged and cannot be used.";
constexpr const char* read_only = "ERROR:This contest cannot be changed: you may not write to its file or folder.";
constexpr const char* log_in_the_way =
    "ERROR:This contest cannot be opened: its log beside it is not a plain file of its own.";
constexpr const char* path_too_long = "ERROR:This contest cannot be opened: the path to its file is too long.";

// What the library keeps beside a database file under the file's name.
constexpr const char* companions[] = {"-wal", "-journal", "-shm"};

void show_contest_in_title(const std::string& name) {
    if (g_hwnd) g_hwnd->set_title(to_utf16(name + " - Pellucan"));
}

// A regular file of at least one page that begins with the library's header text; read, never written.
bool starts_as_database(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error) || fs::file_size(file, error) < 512 || error) return false;
    char header[16] = {};
    std::ifstream stream(file, std::ios::binary);
    return stream.read(header, sizeof header) && std::memcmp(header, "SQLite format 3", sizeof header) == 0;
}

// Shorter than its header says (page count times page size): the pages it lacks would read as zeros, which no
// check of the pages tells from data. Only a file that holds all its pages itself can be judged so, not one whose
// journal or log still holds some; nor one whose count a writer did not keep (version mark unlike change counter).
bool cut_short(const fs::path& file) {
    std::error_code error;
    const bool log_holds_pages = fs::file_size(file.string() + "-wal", error) > 0 && !error;
    if (log_holds_pages || fs::exists(file.string() + "-journal", error)) return false;
    unsigned char header[100] = {};
    if (!std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header)) return false;
    const auto number = [&](int at, int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | header[at + i];
        return value;
    };
    const std::uint64_t page_size = number(16, 2) == 1 ? 65536 : number(16, 2);
    if (number(24, 4) != number(92, 4)) return false;
    return fs::file_size(file, error) < number(28, 4) * page_size && !error;
}

// The folder as well, since the write-ahead log is made beside the file, and whatever log lies there already.
bool may_use(const fs::path& file) {
    if (access(file.c_str(), R_OK | W_OK) != 0 || access(file.parent_path().c_str(), W_OK) != 0) return false;
    for (const char* companion : companions)
        if (access((file.string() + companion).c_str(), R_OK | W_OK) != 0 && errno != ENOENT) return false;
    return true;
}

// The library opens a log or journal beside the file without looking at what it is: a FIFO there would block the
// open for ever, a folder fail it, and a link or a second name for a user's file have that file emptied.
bool logs_are_own_plain_files(const fs::path& file) {
    for (const char* companion : companions) {
        struct stat found {};
        if (lstat((file.string() + companion).c_str(), &found) == 0 && (!S_ISREG(found.st_mode) || found.st_nlink > 1))
            return false;
    }
    return true;
}

// The library needs room for the journal's name beside the file's.
bool path_fits(const fs::path& file) {
    return (file.string() + "-journal").size() <= static_cast<std::size_t>(sqlite3_vfs_find(nullptr)->mxPathname);
}

// Held by a window from its first look at a contest until it holds the file's lock. A connection in exclusive
// locking mode keeps the shared lock of a failed try, so two windows that tried at once would each wait for the
// other's shared lock to go, and both be refused; and the looks of two windows would share the shared-memory file
// that each removes.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when another window has been at it for longer than one probe takes. A folder that cannot be opened is
    // not locked; the probe alone then tells another window.
    bool take() const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    int fd_;
};

// A read-only connection that leaves the file and its folder exactly as they were. Without a write-ahead log
// beside it the file is all there is, and an immutable connection takes no lock and makes no file, but may see
// pages that another window is writing; with one, only a connection that reads the log sees the whole
// database, and the shared-memory file it makes is removed again.
class Look {
public:
    explicit Look(const fs::path& file) : shm_(file.string() + "-shm") {
        std::error_code error;
        const bool has_log = fs::exists(file.string() + "-wal", error);
        made_shm_ = has_log && !fs::exists(shm_, error);
        std::string uri = file.is_absolute() ? "file://" : "file:";
        for (const char c : file.string()) {
            if (c != '%' && c != '?' && c != '#') {
                uri += c;
                continue;
            }
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
        if (!has_log) uri += "?immutable=1";
        rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    }
    ~Look() {
        sqlite3_close(db);
        std::error_code ignored;
        if (made_shm_) fs::remove(shm_, ignored);
    }
    Look(const Look&) = delete;
    Look& operator=(const Look&) = delete;

    sqlite3* db = nullptr;
    int rc;

private:
    fs::path shm_;
    bool made_shm_;
};

// Steps a statement without parameters once; answers the library's result code and the first column's text.
int step_once(sqlite3* db, const char* sql, std::string& text) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        if (const auto* column = sqlite3_column_text(stmt, 0)) text = reinterpret_cast<const char*>(column);
    sqlite3_finalize(stmt);
    return rc;
}

// The refusal that a look at the file calls for; a lock answers the empty text, since the probe tells a
// contest held by another window.
std::string refusal(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "";
        case SQLITE_CORRUPT:
        case SQLITE_IOERR:
            return damaged;
        default:
            return not_a_contest;
    }
}

// SQLITE_OK for exactly the tables and triggers of a contest with every page and index sound; else the failure's
// code, SQLITE_NOTADB for other tables and SQLITE_CORRUPT for damage among them.
int check_contest(sqlite3* db) {
    bool exact = false;
    int rc = fit_contest_schema(db, exact);
    if (rc != SQLITE_OK) return rc;
    if (!exact) return SQLITE_NOTADB;
    std::string result;
    // The full check, since only it compares each index with its table.
    rc = step_once(db, "PRAGMA integrity_check;", result);
    if (rc != SQLITE_ROW) return rc;
    return result == "ok" ? SQLITE_OK : SQLITE_CORRUPT;
}

// The name a create builds its file under. It becomes contest.db only once the contest row is committed, so that
// contest.db only ever appears whole; a create cut short leaves at most this file, which the next create of the
// name takes over.
constexpr const char* building_name = ".contest.db-new";

// A folder of its own (not a link) that is empty or holds only what a create cut short was building; anything else
// keeps the name taken.
bool free_for_a_create(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) return false;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->path().filename() != building_name) return false;
    return !error;
}

// Opens the building file, new or left by a create cut short, emptied and locked against another create of the same
// name; -1 with the answer in `failure` when another create holds it or it is not a plain file.
int claim_building_file(const fs::path& file, std::string& failure) {
    for (int tries = 0; tries < 3; ++tries) {
        const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            failure = errno == ELOOP || errno == EISDIR ? name_taken : name_refused;
            return -1;
        }
        struct stat held {};
        struct stat named {};
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0;
        // The create that held it may have renamed or removed it before letting go: the name is looked at again.
        if (locked && lstat(file.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
            if (S_ISREG(held.st_mode) && held.st_nlink == 1 && ftruncate(fd, 0) == 0) return fd;
            close(fd);
            break;
        }
        close(fd);
        if (!locked) break;
    }
    failure = name_taken;
    return -1;
}

// The tables and the contest row in one transaction, without a journal: a build cut short is thrown away whole.
// Answers the failure, or the empty text.
std::string build_contest(const fs::path& file, std::string_view name) {
    sqlite3* db = nullptr;
    std::string failure = not_opened;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK) {
        const std::string_view schema = contest_schema;
        const std::string tables = "PRAGMA journal_mode = OFF; PRAGMA locking_mode = EXCLUSIVE; BEGIN;" +
                                   std::string(schema.substr(schema.find("\n\n")));
        sqlite3_stmt* insert = nullptr;
        if (sqlite3_exec(db, tables.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            failure = not_initialized;
        } else {
            sqlite3_prepare_v2(db, "INSERT INTO contest (name) VALUES (?);", -1, &insert, nullptr);
            sqlite3_bind_text(insert, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            const bool stored = sqlite3_step(insert) == SQLITE_DONE;
            failure =
                stored && sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK ? "" : name_not_saved;
        }
        sqlite3_finalize(insert);
    }
    sqlite3_close(db);
    return failure;
}

// Bytes 18 and 19 of the header say that the file keeps a write-ahead log. Written while no connection has the file
// open, they record the mode without making a log beside the building file.
bool mark_write_ahead_log(int fd) {
    const unsigned char wal[2] = {2, 2};
    return pwrite(fd, wal, sizeof wal, 18) == static_cast<ssize_t>(sizeof wal) && fdatasync(fd) == 0;
}

// So that the names in the folder survive a power cut. As the library does it, a folder that cannot be synced is no
// failure.
void sync_folder(const fs::path& folder) {
    if (const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Makes the folder and every missing folder above it; `made` gets those that this call made, outermost first.
bool make_folders(const fs::path& folder, std::vector<fs::path>& made) {
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path up = folder; !up.empty() && !fs::exists(fs::symlink_status(up, error)); up = up.parent_path())
        missing.push_back(up);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (fs::create_directory(*it, error))
            made.push_back(*it);
        else if (error)
            return false;
    }
    return true;
}

// Takes away the folders that a failed create made, innermost first; one that something has been put into
// meanwhile stays.
void take_back(const std::vector<fs::path>& made) {
    std::error_code ignored;
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) fs::remove(*folder, ignored);
}

// Every part of the name between separators is a folder name of its own below the desktop.
bool stays_below_desktop(std::string_view name) {
    bool any_part = false;
    for (std::size_t begin = 0; begin <= name.size();) {
        const std::size_t end = std::min(name.find('/', begin), name.size());
        const std::string_view part = name.substr(begin, end - begin);
        if (part == "." || part == "..") return false;
        any_part = any_part || !part.empty();
        begin = end + 1;
    }
    return any_part;
}

// Closes the connection to a refused file, which stays as it was: the library's closing checkpoint, which would
// write what the log holds into the file and delete the log, only runs on an empty log, which it just removes.
std::string refuse(const std::string& sentence) {
    std::error_code error;
    if (fs::file_size(std::string(sqlite3_db_filename(g_db, "main")) + "-wal", error) > 0 && !error)
        sqlite3_db_config(g_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    close_database();
    return sentence;
}

std::string configure_and_read_name(bool check_after_probe) {
    sqlite3_busy_timeout(g_db, 2000);
    bool configured;
    {
        Statement foreign_keys("PRAGMA foreign_keys = ON;");
        configured = sqlite3_step(foreign_keys.stmt) == SQLITE_DONE;
    }
    if (configured) {
        Statement locking("PRAGMA locking_mode = EXCLUSIVE;");
        configured = sqlite3_step(locking.stmt) == SQLITE_ROW;
    }
    if (!configured) return "ERROR:A database configuration could not be set.";

    // In exclusive locking mode the first transaction keeps the file's lock until the connection closes;
    // a window that already holds it makes this one wait out the busy timeout and fail.
    int probe;
    {
        Statement begin("BEGIN IMMEDIATE;");
        probe = begin.execute() ? SQLITE_OK : sqlite3_errcode(g_db);
    }
    if (probe != SQLITE_OK) {
        // A file that cannot even be read so far is told for what it is.
        const std::string refused = refusal(probe);
        return refuse(refused.empty() ? held_elsewhere : refused);
    }
    {
        Statement commit("COMMIT;");
        commit.execute();
    }
    // The file was held or changing when it was looked at, or could not be looked at as it is used: look now,
    // holding it.
    if (check_after_probe) {
        const std::string refused = refusal(check_contest(g_db));
        if (!refused.empty()) return refuse(refused);
    }
    watch_database_log();

    Statement select("SELECT name FROM contest WHERE id = ?;");
    sqlite3_bind_int(select.stmt, 1, 1);
    if (sqlite3_step(select.stmt) != SQLITE_ROW) return "ERROR:The contest name could not be retrieved.";
    std::string name = select.column_text(0);
    show_contest_in_title(name);
    return name;
}

}  // namespace

std::string create_contest(std::string_view name) {
    if (g_db) return not_opened;
    // The desktop itself is taken.
    if (name.empty()) return name_taken;
    // A NUL would silently shorten the path handed to the file system; "." and ".." would leave the desktop.
    if (name.find('\0') != std::string_view::npos || !stays_below_desktop(name)) return name_refused;
    const std::u16string desktop = get_desktop_path();
    // Joined as text, not as paths, so that a name beginning with a separator still stays below the desktop.
    std::u16string folder_name = desktop.empty() ? to_utf16(name) : desktop + u"/" + to_utf16(name);
    // With a separator at its end, a link in the folder's place would be followed.
    while (folder_name.ends_with(u'/')) folder_name.pop_back();
    fs::path folder(to_utf8(folder_name));

    std::vector<fs::path> made;
    std::error_code error;
    if (fs::exists(fs::symlink_status(folder, error))) {
        if (!free_for_a_create(folder)) return name_taken;
    } else if (!make_folders(folder, made)) {
        take_back(made);
        return name_refused;
    }
    // The user's links above the contest folder are followed here, once, so that the library, which is never let
    // follow a link in the folder, gets a path without any.
    folder = fs::canonical(folder.has_parent_path() ? folder.parent_path() : ".", error) / folder.filename();
    const fs::path file = folder / "contest.db";
    const fs::path building = folder / building_name;
    if (error || !path_fits(building)) {
        take_back(made);
        return name_refused;
    }

    std::string failure;
    const int fd = claim_building_file(building, failure);
    if (fd >= 0) {
        failure = build_contest(building, name);
        if (failure.empty() && !mark_write_ahead_log(fd)) failure = not_initialized;
        // Never over a file that appeared meanwhile, such as the contest of another create of the same name.
        if (failure.empty() && renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) != 0)
            failure = errno == EEXIST ? name_taken : not_initialized;
        if (!failure.empty()) unlink(building.c_str());
        close(fd);
    }
    if (!failure.empty()) {
        take_back(made);
        return failure;
    }
    // The contest's name, and those of the folders made for it, reach the disk before the create answers.
    sync_folder(folder);
    for (const fs::path& made_folder : made) sync_folder(made_folder.parent_path());

    // Opened as any contest is, with the saves synced only at checkpoints.
    const FolderLock lock(folder);
    if (!lock.take()) return held_elsewhere;
    if (!open_database(file.string())) return not_opened;
    const std::string opened = configure_and_read_name(false);
    if (opened.starts_with("ERROR:")) return opened;
    sqlite3_exec(g_db, "PRAGMA synchronous = NORMAL;", nullptr, nullptr, nullptr);
    return "";
}

std::string open_contest() {
    const fs::path chosen = to_utf8(show_open_contest_dialog());
    if (chosen.empty()) return "None";
    if (g_db) return not_opened;

    // Everything is checked before the file is opened for writing, so that a refused file stays as it was. The
    // user's links on the way are followed, as the library follows them, so that the checks see the logs it uses.
    std::error_code error;
    const fs::path file = fs::canonical(chosen, error);
    // What a create is building is that create's alone.
    if (error || file.filename() == building_name) return not_a_contest;
    if (!path_fits(file)) return path_too_long;
    if (!logs_are_own_plain_files(file)) return log_in_the_way;
    if (!may_use(file)) return read_only;
    if (!starts_as_database(file)) return not_a_contest;
    if (cut_short(file)) return damaged;
    const FolderLock lock(file.parent_path());
    if (!lock.take()) return held_elsewhere;
    // Where a look cannot tell, the file is checked after the open has read it, holding its lock: the first read
    // of a connection that may write plays a hot rollback journal back, so the file as it lies is not the file
    // that will be used; and a write-ahead log is recovered by the open as well as read by the look.
    const bool journal = fs::exists(file.string() + "-journal", error);
    const bool log = fs::exists(file.string() + "-wal", error);
    int rc = SQLITE_OK;
    if (!journal) {
        Look look(file);
        rc = look.rc == SQLITE_OK ? check_contest(look.db) : look.rc;
    }
    // A look without the lock may have seen pages that another window was writing, so damage is told only by the
    // check that holds it, which writes nothing either.
    if (const std::string refused = refusal(rc); !refused.empty() && refused != damaged) return refused;
    if (!open_database(file.string())) return not_opened;
    try {
        return configure_and_read_name(rc != SQLITE_OK || journal || log);
    } catch (const std::runtime_error&) {
        // The file changed after it was looked at and lost the contest tables.
        return refuse(not_a_contest);
    }
}
