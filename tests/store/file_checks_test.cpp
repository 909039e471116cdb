#include "store/file_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/text_conversion.h"
#include "store/contest.h"
#include "store/database.h"
#include "tests/support/contest_files.h"

namespace fs = std::filesystem;

TEST_F(Contest, OpenRefusesAContestItMayNotWriteWithItsOwnSentence) {
    const fs::path file = stored_contest("Archive");
    const std::string before = bytes_of(file);
    fs::permissions(desktop.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(file.parent_path(), fs::perms::owner_write, fs::perm_options::remove);
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::remove);
    choose(file);
    // Root may write anything, so as root the command runs in a child that has become "nobody".
    const auto answer = [] {
        int pipe_ends[2];
        EXPECT_EQ(pipe(pipe_ends), 0);
        if (fork() == 0) {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(1);
            const std::string result = open_contest();
            _exit(write(pipe_ends[1], result.data(), result.size()) == static_cast<ssize_t>(result.size()) ? 0 : 1);
        }
        close(pipe_ends[1]);
        std::string result(200, '\0');
        result.resize(std::max<ssize_t>(read(pipe_ends[0], result.data(), result.size()), 0));
        close(pipe_ends[0]);
        wait(nullptr);
        return result;
    };
    EXPECT_EQ(answer(), "ERROR:This contest cannot be changed: you may not write to its file or folder.");
    EXPECT_EQ(bytes_of(file), before);
    EXPECT_FALSE(has_log_files(file));
    // File and folder open to all, but a log beside them that none may read.
    fs::permissions(file.parent_path(), fs::perms::all);
    fs::permissions(file, fs::perms::owner_write | fs::perms::others_write, fs::perm_options::add);
    write_into_log(file, "UPDATE contest SET name = 'Logged';");
    fs::permissions(file.string() + "-wal", fs::perms::none);
    EXPECT_EQ(answer(), "ERROR:This contest cannot be changed: you may not write to its file or folder.");
    EXPECT_TRUE(bytes_of(file) == before);
}

TEST_F(Contest, OpenRefusesALogThatIsNotAPlainFileOfItsOwnOrAPathTooLongOrLoopingAndChangesNothing) {
    const fs::path file = stored_contest("Odd"), notes = desktop.path() / "notes.txt";
    const std::string before = bytes_of(file), log = file.string() + "-wal", journal = file.string() + "-journal";
    write_file(notes, "the user's own");
    const auto refused = [&](const std::string& odd) {
        choose(file);
        EXPECT_EQ(open_contest(),
                  "ERROR:This contest cannot be opened: its log beside it is not a plain file of its own.")
            << odd;
        close_database();
        EXPECT_TRUE(bytes_of(file) == before && bytes_of(notes) == "the user's own" && fs::remove(odd)) << odd;
    };
    // A second name for the user's file, then folders and FIFOs; a FIFO journal last, as the open waited on it.
    fs::create_hard_link(notes, log);
    refused(log);
    for (const std::string& odd : {log, journal}) {
        fs::create_directory(odd);
        refused(odd);
        ASSERT_EQ(mkfifo(odd.c_str(), 0644), 0);
        refused(odd);
    }
    // Each folder's name fits, but not the whole path.
    const std::string part(200, 'p');
    const fs::path deep = desktop.path() / part / part / part / "contest.db";
    fs::create_directories(deep.parent_path());
    fs::copy_file(file, deep);
    choose(deep);
    EXPECT_EQ(open_contest(), "ERROR:This contest cannot be opened: the path to its file is too long.");
    // A loop of links above the file leads to no file at all.
    fs::create_directory_symlink("loop", desktop.path() / "loop");
    choose(desktop.path() / "loop" / "Desktop" / "contest.db");
    EXPECT_EQ(open_contest(), "ERROR:Critical failure, the database could not be opened.");
}

TEST_F(Contest, OpenRefusesAnAppendOnlyContestOrLogAsOneItMayNotChange) {
    const Mount ext4(desktop.path() / "ext4");
    if (!ext4.mounted) GTEST_SKIP() << "mounting an ext4 image needs root and a loop device";
    window.desktop = platform::path_to_utf16(ext4.path.string());
    ASSERT_EQ(create_contest("Cup"), "");
    close_database();
    const fs::path file = ext4.path / "Cup" / "contest.db";
    const auto append_only = [](const std::string& path, const char* sign) {
        return std::system(("chattr " + std::string(sign) + "a '" + path + "'").c_str()) == 0;
    };
    choose(file);
    for (const std::string& path : {file.string(), file.string() + "-wal"}) {
        if (path.ends_with("-wal")) write_into_log(file, "UPDATE contest SET name = 'Logged';");
        const std::string before = bytes_of(file), log = bytes_of(file.string() + "-wal");
        ASSERT_TRUE(append_only(path, "+"));
        EXPECT_EQ(open_contest(), "ERROR:This contest cannot be changed: you may not write to its file or folder.");
        EXPECT_TRUE(bytes_of(file) == before && bytes_of(file.string() + "-wal") == log) << path;
        ASSERT_TRUE(append_only(path, "-"));
    }
    EXPECT_EQ(open_contest(), "Logged");
}
