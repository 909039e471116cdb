#include "store/contest.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/window.h"
#include "store/contest_folder.h"
#include "store/database.h"
#include "store/schema.h"
#include "store/statement.h"
#include "text/text.h"

namespace {

void show_contest_in_title(const std::string& name) {
    if (g_hwnd) g_hwnd->set_title(to_utf16(name + " - Pellucan"));
}

}  // namespace

std::string create_contest(std::string_view name) {
    const std::u16string desktop = get_desktop_path();
    // Joined as text, not as paths, so that a name beginning with a separator still stays below the desktop.
    const std::u16string folder_name = desktop.empty() ? to_utf16(name) : desktop + u"/" + to_utf16(name);
    const std::filesystem::path folder(to_utf8(folder_name));

    // A NUL would silently shorten the path handed to the file system.
    if (name.find('\0') != std::string_view::npos)
        return "ERROR:The contest folder could not be created with this name.";
    std::error_code error;
    const auto status = std::filesystem::symlink_status(folder, error);
    if (std::filesystem::exists(status)) return "ERROR:A contest with this name is already on your desktop.";
    if (error && error != std::errc::no_such_file_or_directory)
        return "ERROR:The contest folder could not be created with this name.";
    std::filesystem::create_directories(folder, error);
    if (error) return "ERROR:The contest folder could not be created with this name.";

    if (!open_database((folder / "contest.db").string()))
        return "ERROR:Critical failure, the database could not be opened.";
    if (sqlite3_exec(g_db, contest_schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        close_database();
        return "ERROR:Critical failure, the database could not be initialized.";
    }
    {
        Statement insert("INSERT INTO contest (name) VALUES (?);");
        sqlite3_bind_text(insert.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (!insert.execute()) return "ERROR:The contest name could not be saved.";
    }
    show_contest_in_title(std::string(name));
    return "";
}

namespace {

std::string configure_and_read_name() {
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
    bool probed;
    {
        Statement begin("BEGIN IMMEDIATE;");
        probed = begin.execute();
    }
    if (!probed) {
        close_database();
        return "ERROR:This contest is already open in another window.";
    }
    {
        Statement commit("COMMIT;");
        commit.execute();
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
    const std::string path = to_utf8(show_open_contest_dialog());
    if (path.empty()) return "None";
    if (!open_database(path)) return "ERROR:Critical failure, the database could not be opened.";
    try {
        return configure_and_read_name();
    } catch (const std::runtime_error&) {
        // An SQLite file without the contest tables: let go of it so that another contest can be opened.
        close_database();
        return "ERROR:This file is not a contest database.";
    }
}
