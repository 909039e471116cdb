#include "store/folder_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

#include "store/contest.h"
#include "store/database.h"
#include "tests/support/contest_files.h"
#include "tests/support/host_process.h"

namespace fs = std::filesystem;

TEST_F(Contest, OfTwoWindowsOpeningOneContestAtOnceOneHoldsItAndTheOtherHearsSo) {
    const fs::path file = stored_contest("Both");
    // Another program reads the contest while both windows try for its lock, one after the other, then lets go: the
    // first gets it at once, and the second is told.
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM teams;", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::vector<std::string> arguments{"--desktop", desktop.path().string(), "--open", file.string()};
    HostProcess first(arguments), second(arguments);
    for (HostProcess* host : {&first, &second}) {
        host->request("1:fetch_teams:");  // the host is running
        host->send("2:open_contest:");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    sqlite3_close(reader);
    EXPECT_EQ(first.receive(), "2:Both");
    EXPECT_EQ(second.receive(), "2:ERROR:This contest is already open in another window.");
}

TEST_F(Contest, AnotherProgramsLockOnAContestFolderHoldsNoWindowBack) {
    const fs::path held = stored_contest("Held"), fresh = desktop.path() / "Fresh";
    fs::create_directory(fresh);
    // Another program locks both folders as a window once did, for longer than a window waits for one.
    std::vector<int> locks;
    for (const fs::path& folder : {held.parent_path(), fresh}) {
        locks.push_back(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_EQ(flock(locks.back(), LOCK_EX), 0);
    }
    choose(held);
    EXPECT_EQ(open_contest(), "Held");
    close_database();
    EXPECT_EQ(create_contest("Fresh"), "");
    for (const int fd : locks) close(fd);
}
