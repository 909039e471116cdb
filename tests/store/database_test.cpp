#include "store/database.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "store/contest.h"
#include "store/statement.h"
#include "tests/support/contest_files.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> cut_log_at_next_sync{false};

}  // namespace

// When asked to, cuts the log short as the library syncs a commit in it on its way into the file, as another
// program may.
extern "C" int fdatasync(int fd) {
    static const auto real_fdatasync = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    std::error_code error;
    struct stat log {};
    if (fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string().ends_with("-wal") &&
        fstat(fd, &log) == 0 && log.st_size > 32 && cut_log_at_next_sync.exchange(false) && ftruncate(fd, 0) != 0)
        return -1;
    return real_fdatasync(fd);
}

TEST_F(Contest, SavesBeforeTheFilesChangeStayInTheOpenedFileAndLaterOnesAreRefused) {
    const auto save = [](const std::string& team) {
        Statement insert("INSERT INTO teams (name, seed) VALUES ('" + team + "', (SELECT COUNT(*) + 1 FROM teams));");
        return insert.execute();
    };
    // The name and the teams of a file as the next open finds them.
    const auto reopened = [&](const fs::path& file) {
        choose(file);
        const std::string name = open_contest();
        const std::string teams = g_db ? query("SELECT name FROM teams ORDER BY seed;") : "";
        close_database();
        return name + ":" + teams;
    };
    const auto log_of = [&](const std::string& name) { return desktop.path() / name / "contest.db-wal"; };

    // Moved away: the saves are in the moved file, and nothing stays behind.
    make_contest("Moved");
    ASSERT_TRUE(save("A") && save("B"));
    fs::rename(desktop.path() / "Moved" / "contest.db", desktop.path() / "elsewhere.db");
    EXPECT_THROW(save("C"), std::runtime_error);
    close_database();
    EXPECT_TRUE(fs::is_empty(desktop.path() / "Moved"));
    EXPECT_EQ(reopened(desktop.path() / "elsewhere.db"), "Moved:A|B");

    // Another contest renamed over it: that one opens afterwards exactly as it was put there.
    const fs::path other = stored_contest("Other");
    make_contest("Replaced");
    ASSERT_TRUE(save("A"));
    fs::rename(other, desktop.path() / "Replaced" / "contest.db");
    const std::string put = bytes_of(desktop.path() / "Replaced" / "contest.db");
    EXPECT_THROW(save("B"), std::runtime_error);
    close_database();
    EXPECT_EQ(bytes_of(desktop.path() / "Replaced" / "contest.db"), put);
    EXPECT_EQ(reopened(desktop.path() / "Replaced" / "contest.db"), "Other:");

    // The log cut to nothing in place loses no save; one written over is told, and what was written reaches no file.
    make_contest("Truncated");
    ASSERT_TRUE(save("A"));
    fs::resize_file(log_of("Truncated"), 0);
    EXPECT_TRUE(save("B"));
    close_database();
    EXPECT_EQ(reopened(desktop.path() / "Truncated" / "contest.db"), "Truncated:A|B");
    make_contest("Overwritten");
    ASSERT_TRUE(save("A"));
    std::fstream(log_of("Overwritten"), std::ios::in | std::ios::out | std::ios::binary) << std::string(8192, 'x');
    EXPECT_THROW(save("B"), std::runtime_error);
    close_database();
    EXPECT_EQ(reopened(desktop.path() / "Overwritten" / "contest.db"), "Overwritten:A");
}

TEST_F(Contest, SavesGoOnOnceRoomIsMadeAfterAWriteThatFailedOnAFullDisk) {
    make_contest("Full");
    const auto save = [](int coach_bytes) {
        return Statement("INSERT INTO teams (name, coach, seed) SELECT 'T' || COUNT(*), hex(zeroblob(" +
                         std::to_string(coach_bytes / 2) + ")), COUNT(*) + 1 FROM teams;")
            .execute();
    };
    // A file size limit stands in for the full disk: the log takes 64 KiB of a 200 KiB save, which fails.
    rlimit room{};
    getrlimit(RLIMIT_FSIZE, &room);
    const rlimit full{65536, room.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    EXPECT_FALSE(save(200000));
    setrlimit(RLIMIT_FSIZE, &room);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(fs::file_size(desktop.path() / "Full" / "contest.db-wal"), 65536u);
    EXPECT_TRUE(save(10));
    // A log cut short by another program before the save's pages reached the file: that save and every later one
    // is refused, and the file keeps what was saved before.
    cut_log_at_next_sync = true;
    EXPECT_FALSE(save(10));
    EXPECT_THROW(save(10), std::runtime_error);
    close_database();
    choose(desktop.path() / "Full" / "contest.db");
    EXPECT_EQ(open_contest(), "Full");
    EXPECT_EQ(query("SELECT COUNT(*) FROM teams;"), "1");
}
