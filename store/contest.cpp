#include "store/contest.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/window.h"
#include "store/contest_folder.h"
#include "store/database.h"
#include "store/schema.h"
#include "store/statement.h"
#include "store/transaction.h"
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

// The folder as well, since the write-ahead log is made beside the file.
bool may_write(const fs::path& file) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    return access(file.c_str(), W_OK) == 0 && access(folder.c_str(), W_OK) == 0;
}

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
    SchemaFit fit = SchemaFit::other;
    int rc = fit_contest_schema(db, fit);
    if (rc != SQLITE_OK) return rc;
    if (fit != SchemaFit::exact) return SQLITE_NOTADB;
    std::string result;
    // The full check, since only it compares each index with its table.
    rc = step_once(db, "PRAGMA integrity_check;", result);
    if (rc != SQLITE_ROW) return rc;
    return result == "ok" ? SQLITE_OK : SQLITE_CORRUPT;
}

// A contest.db that an interrupted create left behind: empty, or some or all of the tables without a contest
// row.
bool holds_no_contest_yet(const fs::path& file) {
    std::error_code error;
    if (fs::is_regular_file(file, error) && fs::file_size(file, error) == 0 && !error) return true;
    if (!starts_as_database(file)) return false;
    Look look(file);
    SchemaFit fit = SchemaFit::other;
    if (look.rc != SQLITE_OK || fit_contest_schema(look.db, fit) != SQLITE_OK || fit == SchemaFit::other) return false;
    std::string ignored;
    const int rc = step_once(look.db, "SELECT 1 FROM contest;", ignored);
    // The schema read, so an error here is the missing contest table.
    return rc == SQLITE_DONE || rc == SQLITE_ERROR;
}

// The database file and those that the library keeps beside it.
constexpr const char* database_files[] = {"contest.db", "contest.db-wal", "contest.db-shm"};

// What a create that was cut short leaves: a folder that is empty, or that holds only the database files with no
// contest in them yet. Anything else in it, a contest or the user's own files, keeps the name taken.
bool left_by_a_cut_short_create(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (std::find(std::begin(database_files), std::end(database_files), entry->path().filename()) ==
            std::end(database_files))
            return false;
    return !error &&
           (!fs::exists(folder / database_files[0], error) || holds_no_contest_yet(folder / database_files[0]));
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

// Takes away what a failed create made: the database files in a folder it made, then the folders, innermost
// first. A folder that something else has been put into meanwhile stays.
void take_back(const std::vector<fs::path>& made, const fs::path& file) {
    if (made.empty()) return;
    std::error_code ignored;
    for (const char* name : database_files) fs::remove(file.parent_path() / name, ignored);
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

// The tables and the contest row are stored together or not at all; answers the failure, or the empty text.
std::string store_new_contest(std::string_view name) {
    const std::string_view schema = contest_schema;
    const std::size_t tables = schema.find("\n\n");
    // Another program holding the file is making the same contest at this moment: it wins.
    const auto schema_failure = [] {
        return (sqlite3_errcode(g_db) & 0xff) == SQLITE_BUSY ? name_taken : not_initialized;
    };
    // Journal and locking mode cannot change inside a transaction, so the settings run before it.
    if (sqlite3_exec(g_db, std::string(schema.substr(0, tables)).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return schema_failure();
    Transaction transaction;
    if (sqlite3_exec(g_db, contest_schema + tables, nullptr, nullptr, nullptr) != SQLITE_OK) return schema_failure();
    {
        Statement insert("INSERT INTO contest (name) VALUES (?);");
        sqlite3_bind_text(insert.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (!insert.execute()) return name_not_saved;
    }
    return transaction.commit() ? "" : name_not_saved;
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
    const std::u16string folder_name = desktop.empty() ? to_utf16(name) : desktop + u"/" + to_utf16(name);
    const fs::path folder(to_utf8(folder_name));
    const fs::path file = folder / database_files[0];

    std::vector<fs::path> made;
    std::error_code error;
    if (fs::exists(fs::symlink_status(folder, error))) {
        // A create that was cut short is completed rather than blocking the name for good.
        if (!left_by_a_cut_short_create(folder)) return name_taken;
    } else if (!make_folders(folder, made)) {
        take_back(made, file);
        return name_refused;
    }

    const std::string failure = open_database(file.string()) ? store_new_contest(name) : not_opened;
    if (!failure.empty()) {
        close_database();
        // Another program making the same contest keeps what is there.
        if (failure != name_taken) take_back(made, file);
        return failure;
    }
    watch_database_log();
    show_contest_in_title(std::string(name));
    return "";
}

namespace {

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
        close_database();
        // A file that cannot even be read so far is told for what it is.
        const std::string refused = refusal(probe);
        return refused.empty() ? held_elsewhere : refused;
    }
    {
        Statement commit("COMMIT;");
        commit.execute();
    }
    watch_database_log();
    // The file was held or changing when it was looked at, or could not be looked at as it is used: look now,
    // holding it.
    if (check_after_probe) {
        const std::string refused = refusal(check_contest(g_db));
        if (!refused.empty()) {
            close_database();
            return refused;
        }
    }

    Statement select("SELECT name FROM contest WHERE id = ?;");
    sqlite3_bind_int(select.stmt, 1, 1);
    if (sqlite3_step(select.stmt) != SQLITE_ROW) return "ERROR:The contest name could not be retrieved.";
    std::string name = select.column_text(0);
    show_contest_in_title(name);
    return name;
}

}  // namespace

std::string open_contest() {
    const fs::path file = to_utf8(show_open_contest_dialog());
    if (file.empty()) return "None";
    if (g_db) return not_opened;

    // Everything is checked before the file is opened for writing, so that a refused file stays as it was.
    if (!starts_as_database(file)) return not_a_contest;
    if (!may_write(file)) return read_only;
    // Where a look cannot tell, the file is checked after the open has read it, holding its lock: the first read
    // of a connection that may write plays a hot rollback journal back, so the file as it lies is not the file
    // that will be used; and a write-ahead log is recovered by the open as well as read by the look.
    std::error_code error;
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
        close_database();
        return not_a_contest;
    }
}
