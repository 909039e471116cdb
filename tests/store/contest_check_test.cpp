#include "store/contest_check.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "store/contest.h"
#include "store/database.h"
#include "tests/support/contest_files.h"
#include "tests/support/teams.h"

namespace fs = std::filesystem;

TEST_F(Contest, OpenRefusesAFileThatIsNotAContestAndLeavesItExactlyAsItWas) {
    const fs::path other_tables = desktop.path() / "other.db";
    exec_elsewhere(other_tables, "CREATE TABLE notes (text TEXT);");
    // A trigger that would wipe the contestants at the next save of a team.
    const std::string wipe = "CREATE TRIGGER wipe AFTER UPDATE ON teams BEGIN DELETE FROM contestants; END;";
    const fs::path trap = stored_contest("Trap");
    exec_elsewhere(trap, wipe);
    // The same with the trigger still in the write-ahead log beside the file, as a program cut short leaves it.
    const fs::path logged = stored_contest("Logged");
    write_into_log(logged, wipe);
    const fs::path log = logged.string() + "-wal";
    const std::string log_before = bytes_of(log);
    ASSERT_FALSE(log_before.empty());
    write_file(desktop.path() / "empty.db", "");
    write_file(desktop.path() / "one.db", "x");
    write_file(desktop.path() / "notes.db", "these are not the tables you are looking for");
    write_file(desktop.path() / "short.db", std::string("SQLite format 3\0", 16) + "cut short");
    // A whole contest that a create cut short after its commit left under the name it builds it with.
    const fs::path building = desktop.path() / "Whole" / ".contest.db-new";
    fs::rename(stored_contest("Whole"), building);

    for (const fs::path& file : {desktop.path() / "empty.db", desktop.path() / "one.db", desktop.path() / "notes.db",
                                 desktop.path() / "short.db", other_tables, trap, logged, building}) {
        const std::string before = bytes_of(file);
        choose(file);
        EXPECT_EQ(open_contest(), "ERROR:This file is not a contest database.") << file;
        EXPECT_EQ(bytes_of(file), before) << file;
        EXPECT_FALSE(fs::exists(file.string() + "-shm")) << file;
        EXPECT_EQ(fs::exists(file.string() + "-wal"), file == logged) << file;
        EXPECT_EQ(g_db, nullptr);
    }
    EXPECT_EQ(bytes_of(log), log_before);
    // A path that does not exist is not made.
    choose(desktop.path() / "missing.db");
    EXPECT_EQ(open_contest(), "ERROR:This file is not a contest database.");
    EXPECT_FALSE(fs::exists(desktop.path() / "missing.db"));
    // A contest still opens in the same run, also one that a program cut short left in its write-ahead log.
    make_contest("Cut Short");
    sqlite3_db_config(g_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    close_database();
    const fs::path cut_short = desktop.path() / "Cut Short" / "contest.db";
    ASSERT_TRUE(fs::exists(cut_short.string() + "-wal"));
    choose(cut_short);
    EXPECT_EQ(open_contest(), "Cut Short");
    EXPECT_FALSE(fs::exists(cut_short.string() + "-shm"));
}

TEST_F(Contest, OpenRefusesADamagedContestAndLeavesItAsItWas) {
    make_contest("Torn");
    add_teams(100);
    const int page = std::stoi(query("SELECT rootpage FROM sqlite_schema WHERE name = 'contestants';"));
    const int page_size = std::stoi(query("PRAGMA page_size;"));
    close_database();
    const fs::path file = desktop.path() / "Torn" / "contest.db";
    const std::string sound = bytes_of(file);
    std::string torn = sound, team = sound, contestant = sound;
    torn.replace(static_cast<std::size_t>((page - 1) * page_size), page_size, page_size, 'U');
    // Cut short by one byte, or a bit flipped in a team's or a contestant's name: every page is well formed, but a
    // table and one of its indexes disagree.
    team[sound.find("Team 7")] ^= 1;
    contestant[sound.rfind("Team 7 chair")] ^= 1;
    // A new contest cut short by one byte: the end of an empty page, so no check of the pages can tell.
    const std::string fresh = bytes_of(stored_contest("Fresh"));
    for (const std::string& bytes :
         {torn, sound.substr(0, sound.size() - 1), team, contestant, fresh.substr(0, fresh.size() - 1)}) {
        write_file(file, bytes);
        choose(file);
        EXPECT_EQ(open_contest(), "ERROR:This contest file is damaged and cannot be used.");
        EXPECT_EQ(bytes_of(file), bytes);
        EXPECT_FALSE(has_log_files(file));
        EXPECT_EQ(g_db, nullptr);
    }
    // Damaged, with a log that still holds a commit, as a crash leaves it: neither is written into the other.
    write_file(file, team);
    write_into_log(file, "UPDATE contest SET name = 'Logged';");
    const std::string log = bytes_of(file.string() + "-wal");
    choose(file);
    EXPECT_EQ(open_contest(), "ERROR:This contest file is damaged and cannot be used.");
    EXPECT_TRUE(bytes_of(file) == team && bytes_of(file.string() + "-wal") == log);
}

TEST_F(Contest, OpenTellsDamageOnlyOfADamagedFileWhileAnotherWindowKeepsChangingIt) {
    make_contest("Busy");
    add_teams(2000);
    close_database();
    const fs::path file = desktop.path() / "Busy" / "contest.db";
    // Over and over, the other window takes the file soon after this one lets it go, adds or removes pages of
    // teams, and closes it, its checkpoint writing them into the file.
    std::atomic<bool> stop{false};
    std::thread other([&] {
        for (int round = 0; !stop; ++round) {
            sqlite3* db = nullptr;
            sqlite3_open(file.c_str(), &db);
            sqlite3_busy_handler(
                db, [](void*, int tries) -> int { return usleep(200), tries < 20000; }, nullptr);
            sqlite3_exec(db,
                         round % 2 ? "PRAGMA locking_mode = EXCLUSIVE; DELETE FROM teams WHERE seed > 5000;"
                                   : "PRAGMA locking_mode = EXCLUSIVE; INSERT INTO teams (name, coach, seed) SELECT "
                                     "'x' || seed, hex(randomblob(1500)), seed + 5000 FROM teams WHERE seed <= 40;",
                         nullptr, nullptr, nullptr);
            sqlite3_close(db);
            usleep(500 * (round % 4));
        }
    });
    choose(file);
    std::set<std::string> answers{"Busy", "ERROR:This contest is already open in another window."};
    const std::set<std::string> expected = answers;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
         std::chrono::steady_clock::now() < end; close_database())
        answers.insert(open_contest());
    stop = true;
    other.join();
    EXPECT_EQ(answers, expected);
}

TEST_F(Contest, OpenJudgesAFileWithAHotJournalAsItsJournalRestoresItAndLeavesARefusedOneAsItWas) {
    // Another program's database, ended inside a transaction.
    const fs::path notes = desktop.path() / "notes.db";
    exec_elsewhere(notes, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('kept');");
    end_inside_transaction(notes, "UPDATE notes SET text = 'changed';");
    // A file that only begins like a database, with a journal beside it.
    const fs::path begins = desktop.path() / "begins.db";
    write_file(begins, std::string("SQLite format 3\0", 16) + std::string(2000, 'x'));
    write_file(begins.string() + "-journal", std::string(600, 'j'));
    // A contest with a trigger that the program never makes, left by a program that ended while dropping it: as it
    // lies it is a contest, its journal brings the trigger back.
    const fs::path trap = stored_contest("Trap");
    exec_elsewhere(trap,
                   "PRAGMA journal_mode = DELETE; CREATE TRIGGER wipe AFTER UPDATE ON teams BEGIN SELECT 1; END;");
    end_inside_transaction(trap, "DROP TRIGGER wipe;");
    for (const fs::path& file : {notes, begins, trap}) {
        const std::string before = bytes_of(file), journal = bytes_of(file.string() + "-journal");
        ASSERT_FALSE(journal.empty()) << file;
        choose(file);
        EXPECT_EQ(open_contest(), "ERROR:This file is not a contest database.") << file;
        EXPECT_TRUE(bytes_of(file) == before && bytes_of(file.string() + "-journal") == journal) << file;
    }
    // A contest that another program ended inside a transaction opens as its journal restores it.
    const fs::path restored = stored_contest("Restored");
    exec_elsewhere(restored, "PRAGMA journal_mode = DELETE;");
    end_inside_transaction(restored, "UPDATE contest SET name = 'Changed';");
    choose(restored);
    EXPECT_EQ(open_contest(), "Restored");
}

TEST_F(Contest, OpenChecksAContestThatAnotherWindowLetsGoDuringTheProbe) {
    const fs::path file = stored_contest("Trap");
    exec_elsewhere(file, "CREATE TRIGGER wipe AFTER UPDATE ON teams BEGIN DELETE FROM contestants; END;");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN IMMEDIATE; COMMIT;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    // Held while the file is looked at, let go while the probe waits: it is looked at again, held by the probe.
    std::thread letting_go([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_close(other);
    });
    choose(file);
    EXPECT_EQ(open_contest(), "ERROR:This file is not a contest database.");
    letting_go.join();
    EXPECT_EQ(g_db, nullptr);
    EXPECT_FALSE(has_log_files(file));
}
