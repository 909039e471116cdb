#include "store/build_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

#include "store/contest.h"
#include "store/database.h"
#include "store/schema.h"
#include "tests/support/contest_files.h"

namespace fs = std::filesystem;

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
