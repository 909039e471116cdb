#include "tournament/rankings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/text.h"
#include "tests/support/contest_fixture.h"
#include "tests/support/match_setup.h"

namespace {

class Rankings : public ContestTest {
protected:
    Rankings() { make_contest(); }

    // The answer's records, k fields each, with "|" between fields; the rows after the first `fixed` are sorted,
    // since the order within a rank is open (ranks stay below 10 here).
    static std::vector<std::string> records(const std::string& answer, std::size_t k, std::size_t fixed = 0) {
        std::vector<std::string> rows;
        const auto fields = split_fields(answer);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i % k == 0) rows.emplace_back();
            rows.back() += (i % k ? "|" : "") + std::string(fields[i]);
        }
        EXPECT_EQ(fields.size() % k, 0u);
        std::sort(rows.begin() + std::min(fixed, rows.size()), rows.end());
        return rows;
    }

    static void score(int match, int team, int score) {
        const std::string m = std::to_string(match), t = std::to_string(team), s = std::to_string(score);
        exec_sql("INSERT INTO team_scores VALUES (" + m + ", " + t + ", 0, " + s + ");");
        exec_sql("INSERT INTO contestant_scores SELECT " + m + ", id, " + s + " FROM contestants WHERE team_id = " + t +
                 " AND chair = 1;");
    }
};

const std::string head2 = "Rank|Contestant|Team|High&nbsp;2 Score|Average Score|High Score|Total Score";
const std::string head3 = "Rank|Contestant|Team|High&nbsp;3 Score|Average Score|High Score|Total Score";

}  // namespace

TEST_F(Rankings, BeforeTheStartOnlyTheContestantHeadAndUnscoredContestants) {
    add_teams(2, 1);
    EXPECT_EQ(fetch_team_rankings(), "");
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head2, "1|P1.1|Team 1||||", "1|P2.1|Team 2||||"}));
    exec_sql("INSERT INTO teams (name, seed) VALUES ('C', 3), ('D', 4), ('E', 5), ('F', 6);");
    // Six teams switch to the best three, which lists nobody without three scores.
    EXPECT_EQ(fetch_contestant_rankings(),
              "Rank\x1F"
              "Contestant\x1F"
              "Team\x1F"
              "High&nbsp;3 Score\x1F"
              "Average Score\x1F"
              "High Score\x1F"
              "Total Score");
}

TEST_F(Rankings, TeamsFurtherInTheBracketRankFirstAndEqualTeamsShareARankThatSkips) {
    add_teams(5, 1);
    exec_sql("UPDATE teams SET coach = NULL WHERE id = 2;");
    store_bracket(example_bracket(5));
    // Seeds 1 to 3 had byes into round 2; seeds 4 and 5 play in round 1.
    EXPECT_EQ(records(fetch_team_rankings(), 9),
              (std::vector<std::string>{"1|Team 1|Coach 1|2|0||||", "1|Team 2||2|0||||", "1|Team 3|Coach 3|2|0||||",
                                        "4|Team 4|Coach 4|1|0||||", "4|Team 5|Coach 5|1|0||||"}));

    // Match 1 played: seed 5 won and moved into match 2, seed 4 lost into match 4 (round 3).
    score(1, 4, 180);
    score(1, 5, 250);
    exec_sql("UPDATE match_results SET winner_id = 5 WHERE match = 1;");
    exec_sql("UPDATE match_results SET team2_id = 5 WHERE match = 2;");
    exec_sql("UPDATE match_results SET team2_id = 4 WHERE match = 4;");
    // Round comes before losses, and a missing last score sorts below every score.
    EXPECT_EQ(
        records(fetch_team_rankings(), 9),
        (std::vector<std::string>{"1|Team 4|Coach 4|3|1|180|180.0|180|180", "2|Team 5|Coach 5|2|0|250|250.0|250|250",
                                  "3|Team 1|Coach 1|2|0||||", "3|Team 2||2|0||||", "3|Team 3|Coach 3|2|0||||"}));
}

TEST_F(Rankings, TeamsTieOnTheRoundedAverageWhileContestantsOrderOnTheExactOne) {
    add_teams(3, 1);
    // Team 1 plays matches 1 to 8 against team 2, team 2 also 9 to 13 against team 3; match 8 is in round 2.
    std::vector<BracketRow> rows;
    for (int m = 1; m <= 13; ++m) rows.push_back({m, m == 8 ? 2 : 1, "Initial", 1001, 0, 1002, 0});
    store_bracket(rows);
    exec_sql("UPDATE match_results SET team1_id = 2, team2_id = 3 WHERE match > 8;");
    // Team 1: 103 then seven 100s (mean 100.375); team 2: 102, 101, 101, 101, then 100s (mean 100.3846).
    for (int m = 1; m <= 8; ++m) score(m, 1, m == 1 ? 103 : 100);
    for (int m = 1; m <= 13; ++m) score(m, 2, m == 1 ? 102 : m <= 4 ? 101 : 100);

    // Both means show as 100.38 and tie, so team 1's higher best score puts it first.
    EXPECT_EQ(records(fetch_team_rankings(), 9),
              (std::vector<std::string>{"1|Team 1|Coach 1|2|0|100|100.38|103|203",
                                        "2|Team 2|Coach 2|2|0|100|100.38|102|203", "3|Team 3|Coach 3|1|0||||"}));
    // The same scores for the contestants in chair 1: the exact mean puts team 2's first.
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head2, "1|P2.1|Team 2|203|100.38|102|1305", "2|P1.1|Team 1|203|100.38|103|803",
                                        "3|P3.1|Team 3||||"}));
}

TEST_F(Rankings, SixTeamsRankContestantsOnTheirBestThreeScores) {
    add_teams(6, 2);
    std::vector<BracketRow> rows;
    for (int m = 1; m <= 4; ++m) rows.push_back({m, 1, "Initial", 1001, 0, 1002, 0});
    store_bracket(rows);
    // P1.1 has four scores, P2.1 three, P1.2 only two.
    const char* scores[] = {"(1, 1, 10)", "(2, 1, 40)", "(3, 1, 20)", "(4, 1, 30)", "(1, 3, 30)",
                            "(2, 3, 30)", "(3, 3, 30)", "(1, 2, 99)", "(2, 2, 99)"};
    for (const char* row : scores) exec_sql(std::string("INSERT INTO contestant_scores VALUES ") + row + ";");
    // Equal best three: the higher average decides.
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head3, "1|P2.1|Team 2|90|30.0|30|90", "2|P1.1|Team 1|90|25.0|40|100"}));
    // Below six teams the best two count and everyone is listed.
    exec_sql("UPDATE contest SET has_started = 0;");
    exec_sql("DELETE FROM contestants WHERE team_id = 6;");
    exec_sql("DELETE FROM teams WHERE id = 6;");
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head2, "1|P1.2|Team 1|198|99.0|99|198", "2|P1.1|Team 1|70|25.0|40|100",
                                        "3|P2.1|Team 2|60|30.0|30|90", "4|P2.2|Team 2||||", "4|P3.1|Team 3||||",
                                        "4|P3.2|Team 3||||", "4|P4.1|Team 4||||", "4|P4.2|Team 4||||",
                                        "4|P5.1|Team 5||||", "4|P5.2|Team 5||||"}));
}
