#include "store/contest.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/statvfs.h>

#include <fstream>
#include <thread>

#include "platform/text_conversion.h"
#include "store/database.h"
#include "tests/support/contest_files.h"
#include "tests/support/host_process.h"
#include "text/text.h"

namespace fs = std::filesystem;

TEST_F(Contest, CreateMakesTheFolderAndDatabaseAndTitlesTheWindow) {
    EXPECT_EQ(create_contest("Spring Cup"), "");
    EXPECT_TRUE(fs::is_regular_file(desktop.path() / "Spring Cup" / "contest.db"));
    EXPECT_EQ(query("SELECT id || ':' || name || ':' || has_started FROM contest;"), "1:Spring Cup:0");
    EXPECT_EQ(window.titles(), std::vector<std::string>{"Spring Cup - Pellucan"});
    EXPECT_EQ(query("PRAGMA foreign_keys;"), "1");
}

TEST_F(Contest, CreateKeepsNamesOutsideAsciiAndNestsNamesWithSeparators) {
    EXPECT_EQ(create_contest("Coupe d'Été 日本"), "");
    EXPECT_TRUE(fs::exists(desktop.path() / "Coupe d'Été 日本" / "contest.db"));
    EXPECT_EQ(window.titles().back(), "Coupe d'Été 日本 - Pellucan");
    close_database();

    EXPECT_EQ(create_contest("2026/Finals"), "");
    EXPECT_TRUE(fs::exists(desktop.path() / "2026" / "Finals" / "contest.db"));
    EXPECT_EQ(query("SELECT name FROM contest;"), "2026/Finals");
    close_database();

    // A leading separator still stays below the desktop.
    EXPECT_EQ(create_contest("/Rooted"), "");
    EXPECT_TRUE(fs::exists(desktop.path() / "Rooted" / "contest.db"));
    close_database();

    // A name that reads like a failure is made, and answered as made.
    EXPECT_EQ(create_contest("ERROR:Cup"), "");
    EXPECT_EQ(window.titles().back(), "ERROR:Cup - Pellucan");
}

TEST_F(Contest, CreateRefusesANameAlreadyOnTheDesktop) {
    fs::create_directory(desktop.path() / "Taken");
    std::ofstream(desktop.path() / "Taken" / "notes.txt").put('x');  // the user's own file
    std::ofstream(desktop.path() / "File").put('x');
    for (const char* name : {"Taken", "File", ""})
        EXPECT_EQ(create_contest(name), "ERROR:A contest with this name is already on your desktop.") << name;
    EXPECT_EQ(g_db, nullptr);
    EXPECT_EQ(std::distance(fs::directory_iterator(desktop.path() / "Taken"), {}), 1);
}

TEST_F(Contest, ASecondCreateOrOpenInTheSameRunIsRefused) {
    make_contest("First");
    EXPECT_EQ(create_contest("Second"), "ERROR:Critical failure, the database could not be opened.");
    EXPECT_FALSE(fs::exists(desktop.path() / "Second"));  // nothing is made
    choose(desktop.path() / "First" / "contest.db");
    EXPECT_EQ(open_contest(), "ERROR:Critical failure, the database could not be opened.");
    EXPECT_EQ(query("SELECT name FROM contest;"), "First");
}

TEST_F(Contest, OpenAnswersNoneWhenNothingIsChosen) {
    EXPECT_EQ(open_contest(), "None");
    EXPECT_EQ(g_db, nullptr);
    // The dialog starts on the desktop with the contest filter selected.
    EXPECT_EQ(window.last_dialog.default_folder, window.desktop);
    ASSERT_EQ(window.last_dialog.filters.size(), 3u);
    EXPECT_EQ(window.last_dialog.filters[0].display_text, u"Contest Database");
    EXPECT_EQ(window.last_dialog.filters[0].pattern, u"contest.db");
    EXPECT_EQ(window.last_dialog.filters[1].pattern, u"*.db");
    EXPECT_EQ(window.last_dialog.filters[2].display_text, u"All Files");
    EXPECT_EQ(window.last_dialog.selected_filter, 0u);
    EXPECT_EQ(window.last_dialog.file_name, u"contest.db");
}

TEST_F(Contest, OpenAnswersTheNameTitlesTheWindowAndSetsTheConnection) {
    choose(stored_contest("Autumn Open"));
    EXPECT_EQ(open_contest(), "Autumn Open");
    EXPECT_EQ(window.titles().back(), "Autumn Open - Pellucan");
    EXPECT_EQ(query("PRAGMA foreign_keys;"), "1");
    EXPECT_EQ(query("PRAGMA locking_mode;"), "exclusive");
}

TEST_F(Contest, OpenRefusesAContestThatAnotherWindowHolds) {
    const fs::path file = stored_contest("Held");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN IMMEDIATE; COMMIT;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    choose(file);
    EXPECT_EQ(open_contest(), "ERROR:This contest is already open in another window.");
    EXPECT_EQ(g_db, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(open_contest(), "Held");  // free again once the other window lets go
}

TEST_F(Contest, OpenOfAFileWithoutAContestRowLeavesTheConnectionOpen) {
    const fs::path file = stored_contest("Empty");
    ASSERT_TRUE(open_database(file.string()));
    exec_sql("DELETE FROM contest;");
    close_database();
    choose(file);
    EXPECT_EQ(open_contest(), "ERROR:The contest name could not be retrieved.");
    EXPECT_NE(g_db, nullptr);
}

TEST_F(Contest, WithNoRoomForItsFilesACreateLeavesNothingAndBothSaySo) {
    const Mount small(desktop.path() / "small", "size=1m,nr_inodes=32");
    if (!small.mounted) GTEST_SKIP() << "mounting a tmpfs needs root";
    window.desktop = platform::path_to_utf16(small.path.string());
    ASSERT_EQ(create_contest("Sound"), "");
    close_database();
    // Files of no use take every inode but those left.
    const fs::path fillers = small.path / "fillers";
    fs::create_directory(fillers);
    const auto leave = [&](fsfilcnt_t left) {
        struct statvfs room {};
        for (int n = 0; statvfs(fillers.c_str(), &room) == 0 && room.f_favail > left; ++n)
            write_file(fillers / std::to_string(n), "");
    };
    // A folder, its file and its log take three.
    for (const fsfilcnt_t left : {2, 1, 0}) {
        leave(left);
        EXPECT_EQ(create_contest("Cup"), "ERROR:The contest could not be created: the disk is full.") << left;
        EXPECT_FALSE(fs::exists(small.path / "Cup")) << left;
    }
    choose(small.path / "Sound" / "contest.db");
    EXPECT_EQ(open_contest(), "ERROR:This contest cannot be opened: the disk that holds it is full.");
    fs::remove_all(fillers);
    EXPECT_EQ(create_contest("Cup"), "");
}
