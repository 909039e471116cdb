#include "tests/support/contest_files.h"

#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/text_conversion.h"
#include "store/contest.h"
#include "store/database.h"

namespace fs = std::filesystem;

fs::path Contest::stored_contest(const std::string& name) {
    EXPECT_EQ(create_contest(name), "");
    close_database();
    return desktop.path() / name / "contest.db";
}

void Contest::choose(const fs::path& file) { window.dialog_answer = platform::path_to_utf16(file.string()); }

std::string bytes_of(const fs::path& file) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

void write_file(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

void exec_elsewhere(const fs::path& file, const std::string& sql) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
    sqlite3_close(other);
}

void write_into_log(const fs::path& file, const std::string& sql) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    sqlite3_db_config(other, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    EXPECT_EQ(sqlite3_exec(other, ("PRAGMA locking_mode = EXCLUSIVE;" + sql).c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
}

bool has_log_files(const fs::path& file) {
    return fs::exists(file.string() + "-wal") || fs::exists(file.string() + "-shm");
}

void end_inside_transaction(const fs::path& file, const std::string& sql) {
    const pid_t child = fork();
    if (child == 0) {
        sqlite3* other = nullptr;
        const bool left = sqlite3_open(file.c_str(), &other) == SQLITE_OK &&
                          sqlite3_exec(other, ("PRAGMA journal_mode = DELETE; BEGIN;" + sql).c_str(), nullptr, nullptr,
                                       nullptr) == SQLITE_OK &&
                          sqlite3_db_cacheflush(other) == SQLITE_OK;
        _exit(left ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0) << file;
}

Mount::Mount(fs::path folder, const std::string& tmpfs_options) : path(std::move(folder)) {
    fs::create_directory(path);
    if (!tmpfs_options.empty()) {
        mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, tmpfs_options.c_str()) == 0;
        return;
    }
    const std::string image = path.string() + ".img";
    std::ostringstream command;
    command << "truncate -s 8M '" << image << "' && mkfs.ext4 -q '" << image << "' && mount -o loop '" << image << "' '"
            << path.string() << "'";
    mounted = std::system(command.str().c_str()) == 0;
}

Mount::~Mount() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
}
