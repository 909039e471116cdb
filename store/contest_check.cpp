#include "store/contest_check.h"

#include <sqlite3.h>
#include <stdlib.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <system_error>

#include "store/answers.h"
#include "store/schema.h"

namespace fs = std::filesystem;

namespace {

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

// No room for the log, or for a page the open writes. The library's own open tries again read-only, whose failure
// is the one it keeps, so the file system is asked as well; one that counts no files has no limit on them.
bool disk_full(sqlite3* db) {
    if (answer::is_full(sqlite3_system_errno(db))) return true;
    const char* file = sqlite3_db_filename(db, "main");
    struct statvfs room {};
    return file && *file && statvfs(fs::path(file).parent_path().c_str(), &room) == 0 &&
           (room.f_bavail == 0 || (room.f_files > 0 && room.f_favail == 0));
}

}  // namespace

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

std::string refusal(sqlite3* db, int rc) {
    rc &= 0xff;
    if (rc == SQLITE_FULL || ((rc == SQLITE_CANTOPEN || rc == SQLITE_IOERR) && disk_full(db)))
        return answer::full_to_open;
    switch (rc) {
        case SQLITE_OK:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "";
        case SQLITE_CORRUPT:
        case SQLITE_IOERR:
            return answer::damaged;
        case SQLITE_CANTOPEN:
            return answer::not_opened;
        default:
            return answer::not_a_contest;
    }
}

std::string refusal_once_restored(const fs::path& file) {
    std::error_code error;
    std::string folder = (fs::temp_directory_path(error) / "pellucan-check-XXXXXX").string();
    if (error || !mkdtemp(folder.data())) return answer::not_opened;
    const fs::path copy = fs::path(folder) / "contest.db";
    bool copied = fs::copy_file(file, copy, error);
    for (const char* companion : {"-journal", "-wal"})
        if (copied && fs::exists(file.string() + companion, error))
            copied = fs::copy_file(file.string() + companion, copy.string() + companion, error);
    std::string refused = answer::not_opened;
    if (copied) {
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(copy.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK) rc = check_contest(db);
        refused = refusal(db, rc);
        sqlite3_close(db);
    }
    fs::remove_all(folder, error);
    return refused;
}

Look::Look(const fs::path& file) : shm_(file.string() + "-shm") {
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

Look::~Look() {
    sqlite3_close(db);
    std::error_code ignored;
    if (made_shm_) fs::remove(shm_, ignored);
}
