#include "store/contest.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "store/database.h"
#include "store/schema.h"
#include "store/statement.h"
#include "tests/support/contest_fixture.h"
#include "tests/support/host_process.h"
#include "tests/support/teams.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

class Contest : public ContestTest {
protected:
    // A contest made earlier and closed again, as a file for the open dialog to answer.
    fs::path stored_contest(const std::string& name) {
        EXPECT_EQ(create_contest(name), "");
        close_database();
        return desktop.path() / name / "contest.db";
    }

    void choose(const fs::path& file) { window.dialog_answer = to_utf16(file.string()); }
};

std::string bytes_of(const fs::path& file) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

void write_file(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

// Runs SQL on a connection of its own, as another program would.
void exec_elsewhere(const fs::path& file, const std::string& sql) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
    sqlite3_close(other);
}

// Leaves what the SQL writes in the file's write-ahead log, as a program cut short does.
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

std::atomic<bool> synced_with_contest{false};
std::atomic<bool> cut_log_at_next_sync{false};

}  // namespace

// Notes when a folder that holds a contest file is synced.
extern "C" int fsync(int fd) {
    static const auto real_fsync = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (faccessat(fd, "contest.db", F_OK, AT_SYMLINK_NOFOLLOW) == 0) synced_with_contest = true;
    return real_fsync(fd);
}

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

TEST_F(Contest, AFailedCreateTakesBackItsFoldersAndAnEmptyFolderLeavesItsNameFree) {
    // Refused for its last part, too long for the file system, after the folder of its first part was made.
    EXPECT_EQ(create_contest("keep/" + std::string(300, 'y')),
              "ERROR:The contest folder could not be created with this name.");
    EXPECT_TRUE(fs::is_empty(desktop.path()));
    EXPECT_EQ(create_contest("keep"), "");
    close_database();
    // An empty folder, as a create stopped before making its file leaves it, is completed.
    fs::create_directory(desktop.path() / "Stopped");
    EXPECT_EQ(create_contest("Stopped"), "");
    EXPECT_EQ(query("SELECT name FROM contest;"), "Stopped");
}

TEST_F(Contest, CreateRefusesANameTheFileSystemCannotTakeAndOpensNothing) {
    EXPECT_EQ(create_contest(std::string(300, 'x')), "ERROR:The contest folder could not be created with this name.");
    EXPECT_EQ(create_contest(std::string("a\0b", 3)), "ERROR:The contest folder could not be created with this name.");
    // Each folder's name fits, but not the whole path, and nothing is left of it.
    const std::string part(200, 'p');
    EXPECT_EQ(create_contest(part + "/" + part + "/" + part),
              "ERROR:The contest folder could not be created with this name.");
    EXPECT_TRUE(fs::is_empty(desktop.path()));
    EXPECT_EQ(g_db, nullptr);
    EXPECT_TRUE(window.titles().empty());
}

TEST_F(Contest, CreateKeepsNamesBelowTheDesktopAndFollowsTheUsersLinksToIt) {
    // The desktop sits two folders down, in a home that is a link, so that whatever a name makes beside or above it
    // shows.
    fs::create_directories(desktop.path() / "real" / "Desktop");
    fs::create_directory_symlink(desktop.path() / "real", desktop.path() / "home");
    const fs::path inner = desktop.path() / "home" / "Desktop";
    window.desktop = to_utf16(inner.string());
    for (const char* name : {"../Escaped", "../../x", "a/../../x", "x/..", ".", "..", "a/./b", "/", "Region/../.."})
        EXPECT_EQ(create_contest(name), "ERROR:The contest folder could not be created with this name.") << name;
    EXPECT_EQ(g_db, nullptr);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(desktop.path()), {}), 3);  // home, its link, the desktop
    // The empty name is still the desktop itself, which is taken; nested names keep working, also through a linked
    // folder, and a new contest's name is synced to the disk before the create answers.
    EXPECT_EQ(create_contest(""), "ERROR:A contest with this name is already on your desktop.");
    EXPECT_EQ(create_contest("Region/Heat 1"), "");
    EXPECT_TRUE(fs::is_regular_file(inner / "Region" / "Heat 1" / "contest.db"));
    close_database();
    fs::create_directory_symlink(desktop.path(), inner / "Shared");
    synced_with_contest = false;
    EXPECT_EQ(create_contest("Shared/Heat 2"), "");
    EXPECT_TRUE(fs::is_regular_file(desktop.path() / "Heat 2" / "contest.db"));
    EXPECT_TRUE(synced_with_contest);
}

TEST_F(Contest, CreateTakesOnlyAnEmptyFolderOrWhatItsOwnCreateCutShortLeft) {
    // The file that a create cut short was building, however far it got, is built anew.
    fs::create_directory(desktop.path() / "Cut");
    write_file(desktop.path() / "Cut" / ".contest.db-new", std::string("SQLite format 3\0", 16) + "half");
    EXPECT_EQ(create_contest("Cut"), "");
    EXPECT_EQ(query("SELECT name FROM contest;"), "Cut");
    EXPECT_FALSE(fs::exists(desktop.path() / "Cut" / ".contest.db-new"));
    close_database();

    // Anything else keeps the name taken and stays as it is: an empty contest.db, a database without tables, one
    // with the contest's tables but no contest row, a lone log, a link to a file elsewhere, a folder that is a link.
    const auto folder = [&](const std::string& name) {
        fs::create_directory(desktop.path() / name);
        return desktop.path() / name;
    };
    write_file(folder("Outside") / "notes.txt", "keep");
    write_file(folder("Empty") / "contest.db", "");
    exec_elsewhere(folder("Bare") / "contest.db", "PRAGMA user_version = 7;");
    exec_elsewhere(folder("Rowless") / "contest.db", contest_schema);
    write_file(folder("Log") / "contest.db-wal", "a log");
    fs::create_symlink(desktop.path() / "Outside" / "notes.txt", folder("Link") / "contest.db");
    fs::create_directory_symlink(folder("Target"), desktop.path() / "Linked");
    const auto files = [&] {
        std::map<fs::path, std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(desktop.path()))
            found[entry.path()] = entry.is_symlink() ? fs::read_symlink(entry).string() : bytes_of(entry.path());
        return found;
    };
    const auto before = files();
    for (const char* name : {"Empty", "Bare", "Rowless", "Log", "Link", "Linked", "Linked/"})
        EXPECT_EQ(create_contest(name), "ERROR:A contest with this name is already on your desktop.") << name;
    EXPECT_EQ(files(), before);
    EXPECT_EQ(g_db, nullptr);
}

TEST_F(Contest, ACreateKilledAtAnyInstantLeavesItsNameFreeOrItsContestWhole) {
    for (int delay = 0; delay < 6000; delay += 200) {
        const pid_t child = fork();
        if (child == 0) _exit(create_contest("Cup").empty() ? 0 : 1);
        usleep(delay);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        // Either the name is free, or the create got as far as its whole contest.
        if (const std::string answer = create_contest("Cup"); !answer.empty()) {
            EXPECT_EQ(answer, "ERROR:A contest with this name is already on your desktop.") << delay;
            choose(desktop.path() / "Cup" / "contest.db");
            EXPECT_EQ(open_contest(), "Cup") << delay;
        }
        close_database();
        fs::remove_all(desktop.path() / "Cup");
    }
}

TEST_F(Contest, OfCreatesOfOneNameAtOnceOneSucceedsAndTheOthersHearItIsTaken) {
    const std::string taken = "ERROR:A contest with this name is already on your desktop.";
    for (int round = 0; round < 40; ++round) {
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        const std::string number = std::to_string(round);
        // Three creates of one name, and two whose names share a folder that neither has made yet.
        std::map<pid_t, char> names;
        for (const std::string& name :
             {"Race " + number, "Race " + number, "Race " + number, "Nest " + number + "/A", "Nest " + number + "/B"}) {
            if (const pid_t child = fork(); child != 0) {
                names[child] = name[0];
                continue;
            }
            // Every create starts when the test lets go of the pipe.
            close(go[1]);
            char start;
            const bool started = read(go[0], &start, 1) == 0;
            const std::string result = started ? create_contest(name) : "";
            _exit(result.empty() ? 0 : result == taken ? 1 : 2);
        }
        close(go[0]);
        close(go[1]);
        std::multiset<std::string> outcomes;
        for (const auto& [child, name] : names) {
            int status = 0;
            waitpid(child, &status, 0);
            outcomes.insert(std::string{name, "+-?"[WEXITSTATUS(status) % 3]});
        }
        EXPECT_EQ(outcomes, (std::multiset<std::string>{"N+", "N+", "R+", "R-", "R-"})) << round;
    }
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

TEST_F(Contest, OpenOfAFileWithoutAContestRowLeavesTheConnectionOpen) {
    const fs::path file = stored_contest("Empty");
    ASSERT_TRUE(open_database(file.string()));
    exec_sql("DELETE FROM contest;");
    close_database();
    choose(file);
    EXPECT_EQ(open_contest(), "ERROR:The contest name could not be retrieved.");
    EXPECT_NE(g_db, nullptr);
}

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

TEST_F(Contest, OpenRefusesALogThatIsNotAPlainFileOfItsOwnOrAPathTooLongAndChangesNothing) {
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

TEST_F(Contest, OpenChecksAContestAsItsHotJournalRestoresIt) {
    // A contest with a rollback journal and a trigger that the program never makes, and a program that ended while
    // dropping the trigger, the change in the file: as it lies it is a contest, its journal brings the trigger back.
    const fs::path file = stored_contest("Restored");
    exec_elsewhere(
        file,
        "PRAGMA journal_mode = DELETE; CREATE TRIGGER wipe AFTER UPDATE ON teams BEGIN DELETE FROM contestants; END;");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN; DROP TRIGGER wipe;", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_db_cacheflush(other), SQLITE_OK);
    const fs::path ended = desktop.path() / "Ended";
    fs::create_directory(ended);
    for (const char* name : {"contest.db", "contest.db-journal"})
        fs::copy_file(file.parent_path() / name, ended / name);
    sqlite3_close(other);
    choose(ended / "contest.db");
    EXPECT_EQ(open_contest(), "ERROR:This file is not a contest database.");
    EXPECT_EQ(g_db, nullptr);
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
