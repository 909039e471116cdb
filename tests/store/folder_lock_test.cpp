#include "store/folder_lock.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>

#include "store/contest.h"
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
