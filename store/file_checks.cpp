#include "store/file_checks.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>

#include "store/answers.h"

namespace fs = std::filesystem;

namespace {

// What the library keeps beside a database file under the file's name.
constexpr const char* companions[] = {"-wal", "-journal", "-shm"};

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

// A plain file is opened as the library opens it, which also tells one that only takes appends; any other is only
// asked, since opening a FIFO would wake whoever waits at its other end.
bool may_read_and_write(const std::string& path) {
    struct stat found {};
    if (stat(path.c_str(), &found) != 0 || !S_ISREG(found.st_mode)) return access(path.c_str(), R_OK | W_OK) == 0;
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

// The folder as well, since the write-ahead log is made beside the file, and whatever log lies there already.
bool may_use(const fs::path& file) {
    if (!may_read_and_write(file) || access(file.parent_path().c_str(), W_OK) != 0) return false;
    for (const char* companion : companions)
        if (!may_read_and_write(file.string() + companion) && errno != ENOENT) return false;
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

}  // namespace

bool path_fits(const fs::path& file) {
    return (file.string() + "-journal").size() <= static_cast<std::size_t>(sqlite3_vfs_find(nullptr)->mxPathname);
}

std::string check_before_opening(const fs::path& file) {
    if (!path_fits(file)) return answer::path_too_long;
    if (!logs_are_own_plain_files(file)) return answer::log_in_the_way;
    if (!may_use(file)) return answer::read_only;
    if (!starts_as_database(file)) return answer::not_a_contest;
    if (cut_short(file)) return answer::damaged;
    return "";
}
