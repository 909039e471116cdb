#include "tournament/contest_start.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/database.h"
#include "tests/support/contest_fixture.h"
#include "tests/support/teams.h"

namespace {

class ContestStart : public ContestTest {
protected:
    ContestStart() { make_contest(); }

    // Everything a start may write, with teams shown by seed.
    static std::string stored_state() {
        return query("SELECT 'started ' || has_started FROM contest;") + "|" +
               query(
                   "SELECT match || ' ' || round || ' ' || bracket_type || ' ' || source1_match || '/' || "
                   "source1_winner || ' ' || source2_match || '/' || source2_winner FROM bracket_structure "
                   "ORDER BY match;") +
               "|" + match_teams();
    }

    // One "match:seed of team 1:seed of team 2:winner:data" per match_results row, "-" for NULL.
    static std::string match_teams() {
        return query(
            "SELECT match || ':' || IFNULL((SELECT seed FROM teams WHERE id = team1_id), '-') || ':' || "
            "IFNULL((SELECT seed FROM teams WHERE id = team2_id), '-') || ':' || IFNULL(winner_id, '-') || ':' || "
            "IFNULL(data, '-') FROM match_results ORDER BY match;");
    }

    static void expect_nothing_written() {
        EXPECT_EQ(query("SELECT has_started FROM contest;"), "0");
        EXPECT_EQ(query("SELECT COUNT(*) FROM bracket_structure;"), "0");
        EXPECT_EQ(query("SELECT COUNT(*) FROM match_results;"), "0");
    }
};

}  // namespace

TEST_F(ContestStart, RefusesAnIncompleteRegistrationInOrderAndWritesNothing) {
    // No team, then one team.
    EXPECT_EQ(start_contest(), "ERROR:There must be at least two teams.");
    add_teams(1);
    EXPECT_EQ(start_contest(), "ERROR:There must be at least two teams.");

    // A gap in the seeds is reported before the missing contestants of the new team.
    exec_sql("INSERT INTO teams (id, name, seed) VALUES (7, 'Gap', 4), (8, 'Two', 2);");
    EXPECT_EQ(start_contest(), "ERROR:A team seed is higher than the number of teams.");

    // Seeds 1 to 3 now; team 8 with no contestant, then with three, fails the contestant count.
    exec_sql("UPDATE teams SET seed = 3 WHERE id = 7;");
    exec_sql(
        "INSERT INTO contestants (team_id, name, chair) VALUES (7, 'g1', 1), (7, 'g2', 2), (7, 'g3', 3), "
        "(7, 'g5', 5);");
    EXPECT_EQ(start_contest(), "ERROR:There must be at least four contestants per team.");
    exec_sql("INSERT INTO contestants (team_id, name, chair) VALUES (8, 't1', 1), (8, 't2', 2), (8, 't3', 3);");
    EXPECT_EQ(start_contest(), "ERROR:There must be at least four contestants per team.");

    // Four contestants everywhere, but team 7 sits in chairs 1, 2, 3 and 5.
    exec_sql("INSERT INTO contestants (team_id, name, chair) VALUES (8, 't4', 4);");
    EXPECT_EQ(start_contest(), "ERROR:A contestant chair is higher than the number of contestants.");
    expect_nothing_written();

    // Chairs 4 and 6 give team 7 six contestants in chairs 1 to 6, which completes the registration.
    exec_sql("INSERT INTO contestants (team_id, name, chair) VALUES (7, 'g4', 4), (7, 'g6', 6);");
    EXPECT_EQ(start_contest(), "");
    EXPECT_EQ(query("SELECT has_started FROM contest;"), "1");
}

TEST_F(ContestStart, TwoTeamsStoreTheFinalAndRematchWithoutTeams) {
    add_teams(2);
    EXPECT_EQ(contest_has_started(), "false");
    EXPECT_EQ(start_contest(), "");
    EXPECT_EQ(stored_state(),
              "started 1|1 1 Initial 1001/0 1002/0|2 2 Finals 1/1 1/0|3 3 Finals rematch 2/0 2/1|"
              "1:1:2:-:-|2:-:-:-:-|3:-:-:-:-");
    EXPECT_EQ(contest_has_started(), "true");
}

TEST_F(ContestStart, FiveTeamsPlaceTheSeedsOfTheFirstMatches) {
    add_teams(5);
    EXPECT_EQ(start_contest(), "");
    EXPECT_EQ(query("SELECT COUNT(*) FROM bracket_structure;"), "9");
    // Seeds 4 and 5 meet first, seed 1 waits for their winner, seeds 2 and 3 meet in round 2.
    EXPECT_EQ(match_teams(),
              "1:4:5:-:-|2:1:-:-:-|3:2:3:-:-|4:-:-:-:-|5:-:-:-:-|6:-:-:-:-|7:-:-:-:-|8:-:-:-:-|9:-:-:-:-");
    EXPECT_EQ(query("SELECT source1_match || '/' || source1_winner || ' ' || source2_match || '/' || source2_winner "
                    "FROM bracket_structure WHERE match = 2;"),
              "1001/0 1/1");
    // The frozen registration refuses a new team.
    EXPECT_NE(sqlite3_exec(g_db, "INSERT INTO teams (name, seed) VALUES ('Late', 6);", nullptr, nullptr, nullptr),
              SQLITE_OK);
}

TEST_F(ContestStart, ASecondStartChangesNothing) {
    add_teams(4);
    ASSERT_EQ(start_contest(), "");
    exec_sql("UPDATE match_results SET winner_id = team1_id WHERE match = 1;");
    const std::string before = stored_state();
    EXPECT_EQ(start_contest(), "ERROR:The brackets could not be saved.");
    EXPECT_EQ(stored_state(), before);
}

TEST_F(ContestStart, AFailedWriteRollsBackEveryRow) {
    add_teams(3);
    // A match row that cannot be written halfway through the bracket.
    exec_sql(
        "CREATE TRIGGER refuse_match BEFORE INSERT ON match_results WHEN NEW.match = 3 BEGIN SELECT RAISE(ABORT, "
        "''); END;");
    EXPECT_EQ(start_contest(), "ERROR:A match team could not be saved.");
    expect_nothing_written();

    // The contest row refuses the start after every match was written.
    exec_sql("DROP TRIGGER refuse_match;");
    exec_sql("CREATE TRIGGER refuse_start BEFORE UPDATE ON contest BEGIN SELECT RAISE(ABORT, ''); END;");
    EXPECT_EQ(start_contest(), "ERROR:The contest could not be started.");
    expect_nothing_written();

    // A commit that fails is no start either.
    exec_sql("DROP TRIGGER refuse_start;");
    sqlite3_commit_hook(
        g_db, [](void*) { return 1; }, nullptr);
    EXPECT_EQ(start_contest(), "ERROR:The contest could not be started.");
    sqlite3_commit_hook(g_db, nullptr, nullptr);
    expect_nothing_written();
}

TEST_F(ContestStart, RefusesMoreTeamsThanTheBracketCanNumber) {
    add_teams(501);
    EXPECT_EQ(start_contest(), "ERROR:There can be at most 500 teams.");
    expect_nothing_written();

    // 500 teams fill match numbers up to 999.
    exec_sql("DELETE FROM contestants WHERE team_id = (SELECT id FROM teams WHERE seed = 501);");
    exec_sql("DELETE FROM teams WHERE seed = 501;");
    EXPECT_EQ(start_contest(), "");
    EXPECT_EQ(query("SELECT MAX(match) || ' ' || COUNT(*) FROM match_results;"), "999 999");
}
