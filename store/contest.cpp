#include "store/contest.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/text_conversion.h"
#include "platform/window.h"
#include "store/answers.h"
#include "store/build_file.h"
#include "store/contest_check.h"
#include "store/contest_folder.h"
#include "store/database.h"
#include "store/file_checks.h"
#include "store/folder_lock.h"
#include "store/folders.h"
#include "store/statement.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

void show_contest_in_title(const std::string& name) {
    if (g_hwnd) g_hwnd->set_title(to_utf16(name + " - Pellucan"));
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

// Sets the connection up as every contest is used and takes the file's lock; answers the failure, or the empty text.
std::string take_contest(bool check_after_probe) {
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
        const std::string refused = refusal(g_db, probe);
        return refuse(refused.empty() ? answer::held_elsewhere : refused);
    }
    {
        Statement commit("COMMIT;");
        commit.execute();
    }
    // The file was held or changing when it was looked at, or could not be looked at as it is used: look now,
    // holding it.
    if (check_after_probe) {
        const std::string refused = refusal(g_db, check_contest(g_db));
        if (!refused.empty()) return refuse(refused);
    }
    watch_database_log();
    return "";
}

// Takes back the file of a create that failed after building it, unless something else now stands in its place; no
// window of ours could reach it while the create held the folder.
void take_back_file(const fs::path& file, ino_t built) {
    close_database();
    struct stat found {};
    if (lstat(file.c_str(), &found) == 0 && found.st_ino == built) unlink(file.c_str());
}

}  // namespace

std::string create_contest(std::string_view name) {
    if (g_db) return answer::not_opened;
    // The desktop itself is taken.
    if (name.empty()) return answer::name_taken;
    // A NUL would silently shorten the path handed to the file system; "." and ".." would leave the desktop.
    if (name.find('\0') != std::string_view::npos || !stays_below_desktop(name)) return answer::name_refused;
    const std::u16string desktop = get_desktop_path();
    // Joined as text, not as paths, so that a name beginning with a separator still stays below the desktop.
    std::u16string folder_name = desktop.empty() ? to_utf16(name) : desktop + u"/" + to_utf16(name);
    // With a separator at its end, a link in the folder's place would be followed.
    while (folder_name.ends_with(u'/')) folder_name.pop_back();
    fs::path folder(platform::path_from_utf16(folder_name));

    std::vector<fs::path> made;
    std::error_code error;
    if (fs::exists(fs::symlink_status(folder, error))) {
        if (!free_for_a_create(folder)) return answer::name_taken;
    } else if (const std::error_code failed = make_folders(folder, made)) {
        take_back(made);
        return answer::is_full(failed.value()) ? answer::full_to_create : answer::name_refused;
    }
    // The user's links above the contest folder are followed here, once, so that the library, which is never let
    // follow a link in the folder, gets a path without any.
    folder = fs::canonical(folder.has_parent_path() ? folder.parent_path() : ".", error) / folder.filename();
    const fs::path file = folder / "contest.db";
    if (error || !path_fits(folder / building_name)) {
        take_back(made);
        return answer::name_refused;
    }
    const FolderLock lock(folder);
    ino_t built = 0;
    std::string failure = !lock.take()                 ? answer::held_elsewhere
                          : !free_for_a_create(folder) ? answer::name_taken
                                                       : build_contest_file(folder, file, name, built);
    if (failure.empty()) {
        // The contest's name, and those of the folders made for it, reach the disk before the create answers.
        sync_folder(folder);
        for (const fs::path& made_folder : made) sync_folder(made_folder.parent_path());
        // Opened as any contest is, with the saves synced only at checkpoints.
        failure = open_database(file.string()) ? take_contest(false) : answer::not_opened;
        if (failure.empty()) {
            sqlite3_exec(g_db, "PRAGMA synchronous = NORMAL;", nullptr, nullptr, nullptr);
            show_contest_in_title(std::string(name));
            return "";
        }
        take_back_file(file, built);
        failure = failure == answer::full_to_open ? answer::full_to_create : answer::not_opened;
    }
    take_back(made);
    return failure;
}

std::string open_contest() {
    const fs::path chosen = platform::path_from_utf16(show_open_contest_dialog());
    if (chosen.empty()) return "None";
    if (g_db) return answer::not_opened;

    // Everything is checked before the file is opened for writing, so that a refused file stays as it was. The
    // user's links on the way are followed, as the library follows them, so that the checks see the logs it uses.
    std::error_code error;
    const fs::path file = fs::canonical(chosen, error);
    // A path that cannot be followed, as through a loop of links, cannot be opened; one to no file is no contest, nor
    // is what a create is building, which is that create's alone.
    if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
        return answer::not_opened;
    if (error || file.filename() == building_name) return answer::not_a_contest;
    if (const std::string refused = check_before_opening(file); !refused.empty()) return refused;
    const FolderLock lock(file.parent_path());
    if (!lock.take()) return answer::held_elsewhere;
    // The first read of a connection that may write plays a hot rollback journal back and deletes it, so a file with
    // one is judged on a copy, as it will be used. Where a look could not tell, or the open recovers what it read
    // from a journal or a log, the file is checked once more after the open, holding its lock.
    const bool journal = fs::exists(file.string() + "-journal", error);
    const bool log = fs::exists(file.string() + "-wal", error);
    int rc = SQLITE_OK;
    std::string refused;
    if (journal) {
        refused = refusal_once_restored(file);
    } else {
        Look look(file);
        rc = look.rc == SQLITE_OK ? check_contest(look.db) : look.rc;
        refused = refusal(look.db, rc);
        // A look without the lock may have seen pages that another window was writing, so damage is told only by the
        // check that holds it, which writes nothing either.
        if (refused == answer::damaged) refused.clear();
    }
    if (!refused.empty()) return refused;
    if (!open_database(file.string())) return answer::not_opened;
    try {
        if (const std::string failure = take_contest(rc != SQLITE_OK || journal || log); !failure.empty())
            return failure;
        Statement select("SELECT name FROM contest WHERE id = ?;");
        sqlite3_bind_int(select.stmt, 1, 1);
        if (sqlite3_step(select.stmt) != SQLITE_ROW) return "ERROR:The contest name could not be retrieved.";
        std::string name = select.column_text(0);
        show_contest_in_title(name);
        return name;
    } catch (const std::runtime_error&) {
        // The file changed after it was looked at and lost the contest tables.
        return refuse(answer::not_a_contest);
    }
}
