#include "tournament/score_entry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "shell/registry.h"
#include "store/database.h"
#include "tests/support/contest_fixture.h"
#include "tests/support/match_setup.h"
#include "tests/support/teams.h"
#include "text/text.h"
#include "tournament/contest_start.h"
#include "tournament/match_sheet.h"
#include "tournament/rankings.h"

namespace {

class ScoreEntry : public ContestTest {
protected:
    ScoreEntry() {
        initialize_functions();
        make_contest();
    }

    void start(int teams, int chairs = 4) {
        add_teams(teams, chairs);
        ASSERT_EQ(start_contest(), "");
    }

    // Every row that a save may write or change, with teams shown by seed.
    static std::string stored_state() {
        return query(
                   "SELECT match || ':' || IFNULL((SELECT seed FROM teams WHERE id = team1_id), '-') || ':' || "
                   "IFNULL((SELECT seed FROM teams WHERE id = team2_id), '-') || ':' || "
                   "IFNULL((SELECT seed FROM teams WHERE id = winner_id), '-') || ':' || length(data) "
                   "FROM match_results ORDER BY match;") +
               "|" +
               query(
                   "SELECT match || ':' || (SELECT seed FROM teams WHERE id = team_id) || ':' || bonus_score || ':' "
                   "|| score FROM team_scores ORDER BY match, team_id;") +
               "|" +
               query(
                   "SELECT match || ':' || (SELECT name FROM contestants WHERE id = contestant_id) || ':' || score "
                   "FROM contestant_scores ORDER BY match, contestant_id;");
    }

    // "seed of team 1:seed of team 2:seed of the winner" of one match, "-" for none.
    static std::string teams_of(int match) {
        return query(
            "SELECT IFNULL((SELECT seed FROM teams WHERE id = team1_id), '-') || ':' || "
            "IFNULL((SELECT seed FROM teams WHERE id = team2_id), '-') || ':' || "
            "IFNULL((SELECT seed FROM teams WHERE id = winner_id), '-') FROM match_results WHERE match = " +
            std::to_string(match) + ";");
    }

    // Plays the next match through the registry as the page does; team 1 wins when asked to. Returns its number,
    // 0 when no match is left.
    static int play_next(bool team1_wins) {
        const std::string sheet = dispatch_function("fetch_next_match");
        if (sheet.empty()) return 0;
        const int match = std::stoi(sheet.substr(sheet.find("id=\"match-") + 10));
        EXPECT_EQ(dispatch_function("load_match:" + scored_sheet(match, team1_wins ? 210 : 190, 200)), "");
        return match;
    }

    // Played matches whose team 1 or team 2 is not the team that its source names.
    static std::string misrouted_matches() {
        return query(R"sql(
            WITH outcome(match, winner, loser) AS (
                SELECT match, winner_id, CASE WHEN winner_id = team1_id THEN team2_id ELSE team1_id END
                FROM match_results),
            placed(match, source, flag, team) AS (
                SELECT match, source1_match, source1_winner, team1_id FROM bracket_structure JOIN match_results
                USING (match) WHERE winner_id IS NOT NULL
                UNION ALL
                SELECT match, source2_match, source2_winner, team2_id FROM bracket_structure JOIN match_results
                USING (match) WHERE winner_id IS NOT NULL)
            SELECT DISTINCT match FROM placed p WHERE team IS NOT (CASE
                WHEN source > 1000 THEN (SELECT id FROM teams WHERE seed = source - 1000)
                WHEN flag = 1 THEN (SELECT winner FROM outcome o WHERE o.match = p.source)
                ELSE (SELECT loser FROM outcome o WHERE o.match = p.source) END)
            ORDER BY match;)sql");
    }
};

std::string sheet_with(int match, int red_total, int white_total, const std::string& red_tie_break,
                       const std::string& white_tie_break) {
    auto fields = blank_sheet(match);
    // A char, not "0": GCC 12 at -O3 takes assigning a one-letter literal here for an overlapping copy.
    for (std::size_t column = 0; column < 12; ++column) fields[subtotal_cell + column + 1] = '0';
    fields[subtotal_cell + 5 + 1] = "7";   // red bonus
    fields[subtotal_cell + 6 + 1] = "-3";  // white bonus
    fields[red_total_cell + 1] = std::to_string(red_total);
    fields[white_total_cell + 1] = std::to_string(white_total);
    fields[red_tie_break_total_cell + 1] = red_tie_break;
    fields[white_tie_break_total_cell + 1] = white_tie_break;
    return join_fields(fields);
}

// The saved sheet text with one cell's text replaced.
std::string with_cell(const std::string& text, std::size_t cell, const std::string& value) {
    const auto fields = split_fields(text);
    std::vector<std::string> copy(fields.begin(), fields.end());
    copy[cell + 1] = value;
    return join_fields(copy);
}

}  // namespace

TEST_F(ScoreEntry, HigherTotalWinsAndEqualTotalsGoToTheTieBreak) {
    start(8);
    // Matches 1 to 4: seeds 1-8, 4-5, 2-7, 3-6.
    const std::string clear_win = sheet_with(1, 250, 180, "", "");
    EXPECT_EQ(load_match(clear_win), "");
    EXPECT_EQ(load_match(sheet_with(2, -5, 180, "", "")), "");
    EXPECT_EQ(load_match(sheet_with(3, 200, 200, "30", "20")), "");
    EXPECT_EQ(load_match(sheet_with(4, 200, 200, "20", "30")), "");
    // The totals are stored with each side's bonus; the tie-break only decides.
    EXPECT_EQ(query("SELECT match || ':' || (SELECT seed FROM teams WHERE id = team_id) || ':' || bonus_score || ':' "
                    "|| score FROM team_scores ORDER BY match, bonus_score DESC;"),
              "1:1:7:250|1:8:-3:180|2:4:7:-5|2:5:-3:180|3:2:7:200|3:7:-3:200|4:3:7:200|4:6:-3:200");
    EXPECT_EQ(teams_of(1), "1:8:1");
    EXPECT_EQ(teams_of(2), "4:5:5");
    EXPECT_EQ(teams_of(3), "2:7:2");
    EXPECT_EQ(teams_of(4), "3:6:6");
    // The sheet text is stored exactly as received.
    EXPECT_EQ(query("SELECT data FROM match_results WHERE match = 1;"), clear_win);

    // Equal tie-break totals, which the page never sends, go to team 2.
    EXPECT_EQ(load_match(sheet_with(5, 100, 100, "9", "9")), "");
    EXPECT_EQ(teams_of(5), "1:5:5");
}

TEST_F(ScoreEntry, ChairSubtotalsGoToTheSeatedContestantsOfChairsOneToFive) {
    add_teams(2, 6);
    // Team 1 sits in chairs 1 to 6, team 2 in chairs 1 to 4 without an alternate.
    exec_sql("DELETE FROM contestants WHERE chair > 4 AND name LIKE 'Team 2 %';");
    ASSERT_EQ(start_contest(), "");
    auto fields = blank_sheet(1);
    for (std::size_t column = 0; column < 12; ++column)
        fields[subtotal_cell + column + 1] = std::to_string(10 * (int(column) + 1));
    fields[red_total_cell + 1] = "1";
    fields[white_total_cell + 1] = "2";
    // Extra fields beyond the sheet are kept in the stored text.
    fields.push_back("extra");
    EXPECT_EQ(load_match(join_fields(fields)), "");
    // Red chair c reads column 5 - c, white chair c column 6 + c; chair 6 and the missing alternate get nothing.
    EXPECT_EQ(query("SELECT name || '=' || score FROM contestant_scores JOIN contestants ON id = contestant_id "
                    "ORDER BY name;"),
              "Team 1 chair 1=50|Team 1 chair 2=40|Team 1 chair 3=30|Team 1 chair 4=20|Team 1 chair 5=10|"
              "Team 2 chair 1=80|Team 2 chair 2=90|Team 2 chair 3=100|Team 2 chair 4=110");
    EXPECT_EQ(query("SELECT data FROM match_results WHERE match = 1;"), join_fields(fields));
}

TEST_F(ScoreEntry, RefusedSavesAnswerTheirSentenceAndWriteNothing) {
    start(4);
    const std::string before = stored_state();
    const auto refused = [&](const std::string& text, const std::string& answer) {
        EXPECT_EQ(load_match(text), answer) << text.substr(0, 20);
        EXPECT_EQ(stored_state(), before);
    };
    const std::string id = "ERROR:The id for the match could not be converted to a number.";
    const std::string team_number = "ERROR:A team score could not be converted to a number.";
    const std::string chair_number = "ERROR:A contestant score could not be converted to a number.";
    const std::string team_saved = "ERROR:A team score could not be saved.";

    // A match number that is not a number, the empty text included.
    refused("", id);
    refused("x" + scored_sheet(1, 2, 1).substr(1), id);
    refused("-999" + scored_sheet(1, 2, 1).substr(1), id);
    // A bonus or total that is not a number; equal totals with a missing tie-break.
    refused(with_cell(scored_sheet(1, 2, 1), subtotal_cell + 6, ""), team_number);
    refused(scored_sheet(1, 5, 5), team_number);
    // Texts that stop early: before the totals, and before the tie-break that equal totals need.
    refused("1", team_number);
    refused(scored_sheet(1, 5, 5).substr(0, scored_sheet(1, 5, 5).rfind('5') + 1), team_number);
    // A chair subtotal that is not a number undoes the team scores already written.
    refused(with_cell(scored_sheet(1, 2, 1), subtotal_cell + 9, "three"), chair_number);
    // A match without a row, or without its team 2.
    refused(scored_sheet(99, 2, 1), team_saved);
    refused(scored_sheet(3, 2, 1), team_saved);
    // A cell holding a NUL would be read back cut short at it.
    refused(with_cell(scored_sheet(1, 2, 1), 3, std::string("7\0", 2)), "ERROR:The match results could not be saved.");

    // A contestant score that cannot be stored undoes the whole save.
    exec_sql("INSERT INTO contestant_scores SELECT 1, id, 0 FROM contestants WHERE name = 'Team 4 chair 2';");
    const std::string with_row = stored_state();
    EXPECT_EQ(load_match(scored_sheet(1, 2, 1)), "ERROR:A contestant score could not be saved.");
    EXPECT_EQ(stored_state(), with_row);
    exec_sql("DELETE FROM contestant_scores;");

    // A move that cannot be stored undoes the result too.
    exec_sql(
        "CREATE TRIGGER refuse_move BEFORE UPDATE OF team1_id ON match_results WHEN NEW.match = 3 BEGIN "
        "SELECT RAISE(ABORT, ''); END;");
    refused(scored_sheet(1, 2, 1), "ERROR:The match results could not be saved.");
    exec_sql("DROP TRIGGER refuse_move;");

    // So does a commit that fails.
    sqlite3_commit_hook(
        g_db, [](void*) { return 1; }, nullptr);
    refused(scored_sheet(1, 2, 1), "ERROR:The match results could not be saved.");
    sqlite3_commit_hook(g_db, nullptr, nullptr);
}

TEST_F(ScoreEntry, AMatchIsSavedOnlyOnce) {
    start(2);
    ASSERT_EQ(load_match(scored_sheet(1, 2, 1)), "");
    const std::string before = stored_state();
    // Even a save that would change the winner is refused.
    EXPECT_EQ(load_match(scored_sheet(1, 1, 2)), "ERROR:A team score could not be saved.");
    EXPECT_EQ(stored_state(), before);
}

TEST_F(ScoreEntry, TwoTeamsFinalWonByTeamOneDropsTheRematch) {
    start(2);
    // Seed 2 wins match 1 and meets seed 1 in the final as team 1.
    EXPECT_EQ(play_next(false), 1);
    EXPECT_EQ(teams_of(2), "2:1:-");
    EXPECT_EQ(play_next(true), 2);
    EXPECT_EQ(query("SELECT COUNT(*) FROM match_results WHERE match = 3;"), "0");
    EXPECT_EQ(play_next(true), 0);
    EXPECT_EQ(dispatch_function("n_completed_matches"), "2");
    // Both finalists keep the final's round; the champion has fewer losses.
    EXPECT_EQ(fetch_team_rankings(), join_fields({"1", "Team 2", "", "2", "0", "210", "205.0", "210", "410", "2",
                                                  "Team 1", "", "2", "2", "200", "195.0", "200", "390"}));
}

TEST_F(ScoreEntry, TwoTeamsFinalWonByTeamTwoIsReplayed) {
    start(2);
    EXPECT_EQ(play_next(true), 1);
    EXPECT_EQ(teams_of(2), "1:2:-");
    EXPECT_EQ(play_next(false), 2);
    // The rematch: the final's loser as team 1 against its winner.
    EXPECT_EQ(teams_of(3), "1:2:-");
    // Both finalists stand in the rematch's round with one loss; the last score decides.
    EXPECT_EQ(fetch_team_rankings(), join_fields({"1", "Team 2", "", "3", "1", "200", "200.0", "200", "400", "2",
                                                  "Team 1", "", "3", "1", "190", "200.0", "210", "400"}));
    EXPECT_EQ(play_next(true), 3);
    EXPECT_EQ(teams_of(3), "1:2:1");
    EXPECT_EQ(play_next(true), 0);
    EXPECT_EQ(misrouted_matches(), "");
}

TEST_F(ScoreEntry, WholeBracketsRouteEveryTeamWhereItsSourcesSay) {
    for (const int teams : {5, 8}) {
        for (const bool champion_wins_final : {true, false}) {
            SCOPED_TRACE(std::to_string(teams) + (champion_wins_final ? " teams, final to team 1" : " teams"));
            close_database();
            make_contest("Cup " + std::to_string(teams) + (champion_wins_final ? " a" : " b"));
            start(teams);
            const int final = 2 * teams - 2;
            int played = 0;
            for (int match = 1; match; ++played) {
                // A mix of both sides winning, and the chosen final.
                match = play_next(match + 1 == final ? champion_wins_final : (match * 7) % 3 != 0);
                if (match) {
                    EXPECT_EQ(misrouted_matches(), "");
                }
            }
            EXPECT_EQ(played - 1, champion_wins_final ? final : final + 1);
            EXPECT_EQ(query("SELECT COUNT(*) FROM match_results WHERE winner_id IS NULL;"), "0");
            // Every team but the champion is out with two losses.
            EXPECT_EQ(query("SELECT COUNT(*) FROM teams t WHERE (SELECT COUNT(*) FROM match_results WHERE "
                            "winner_id IS NOT t.id AND t.id IN (team1_id, team2_id)) = 2;"),
                      std::to_string(teams - 1));
            EXPECT_EQ(dispatch_function("n_completed_matches"), std::to_string(played - 1));
        }
    }
}
