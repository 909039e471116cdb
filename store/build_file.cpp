#include "store/build_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "store/answers.h"
#include "store/schema.h"

namespace fs = std::filesystem;

namespace {

// Opens the building file, new or left by a create cut short, emptied and locked against another create of the same
// name; -1 with the answer in `failure` when another create holds it or it is not a plain file.
int claim_building_file(const fs::path& file, std::string& failure) {
    for (int tries = 0; tries < 3; ++tries) {
        const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            failure = errno == ELOOP || errno == EISDIR ? answer::name_taken
                      : answer::is_full(errno)          ? answer::full_to_create
                                                        : answer::name_refused;
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
    failure = answer::name_taken;
    return -1;
}

// The tables and the contest row in one transaction, without a journal: a build cut short is thrown away whole.
// Answers the failure, or the empty text.
std::string build_contest(const fs::path& file, std::string_view name) {
    sqlite3* db = nullptr;
    std::string failure = answer::not_opened;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK) {
        const std::string_view schema = contest_schema;
        const std::string tables = "PRAGMA journal_mode = OFF; PRAGMA locking_mode = EXCLUSIVE; BEGIN;" +
                                   std::string(schema.substr(schema.find("\n\n")));
        sqlite3_stmt* insert = nullptr;
        if (sqlite3_exec(db, tables.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            failure = answer::not_initialized;
        } else {
            sqlite3_prepare_v2(db, "INSERT INTO contest (name) VALUES (?);", -1, &insert, nullptr);
            sqlite3_bind_text(insert, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            const bool stored = sqlite3_step(insert) == SQLITE_DONE;
            failure = stored && sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK
                          ? ""
                          : answer::name_not_saved;
        }
        if (!failure.empty() && sqlite3_errcode(db) == SQLITE_FULL) failure = answer::full_to_create;
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

}  // namespace

bool free_for_a_create(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) return false;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->path().filename() != building_name) return false;
    return !error;
}

std::string build_contest_file(const fs::path& folder, const fs::path& file, std::string_view name, ino_t& built) {
    const fs::path building = folder / building_name;
    std::string failure;
    const int fd = claim_building_file(building, failure);
    if (fd < 0) return failure;
    struct stat held {};
    fstat(fd, &held);
    built = held.st_ino;
    failure = build_contest(building, name);
    if (failure.empty() && !mark_write_ahead_log(fd)) failure = answer::not_initialized;
    // Never over a file that appeared meanwhile, such as the contest of another create of the same name.
    if (failure.empty() && renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) != 0)
        failure = errno == EEXIST          ? answer::name_taken
                  : answer::is_full(errno) ? answer::full_to_create
                                           : answer::not_initialized;
    if (!failure.empty()) unlink(building.c_str());
    close(fd);
    return failure;
}
