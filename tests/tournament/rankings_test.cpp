#include "tournament/rankings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/contest_fixture.h"
#include "tests/support/match_setup.h"
#include "tests/support/teams.h"
#include "text/text.h"
#include "tournament/contest_start.h"

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
            if (i % k == 0)
                rows.emplace_back();
            else
                rows.back() += '|';
            rows.back() += fields[i];
        }
        EXPECT_EQ(fields.size() % k, 0u);
        std::sort(rows.begin() + std::min(fixed, rows.size()), rows.end());
        return rows;
    }

    // Stores a match score for the team of this seed and the same score for its contestant in chair 1.
    static void score(int match, int seed, int score) {
        const std::string m = std::to_string(match), s = std::to_string(score);
        const std::string team = "(SELECT id FROM teams WHERE seed = " + std::to_string(seed) + ")";
        exec_sql("INSERT INTO team_scores VALUES (" + m + ", " + team + ", 0, " + s + ");");
        exec_sql("INSERT INTO contestant_scores SELECT " + m + ", id, " + s +
                 " FROM contestants WHERE team_id = " + team + " AND chair = 1;");
    }
};

const std::string head2 = "Rank|Contestant|Team|High&nbsp;2 Score|Average Score|High Score|Total Score";
const std::string head3 = "Rank|Contestant|Team|High&nbsp;3 Score|Average Score|High Score|Total Score";

}  // namespace

TEST_F(Rankings, BeforeTheStartOnlyTheContestantHeadAndUnscoredContestants) {
    add_teams(2, 1);
    EXPECT_EQ(fetch_team_rankings(), "");
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head2, "1|Team 1 chair 1|Team 1||||", "1|Team 2 chair 1|Team 2||||"}));
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
    add_teams(5);
    exec_sql("UPDATE teams SET coach = 'Coach ' || seed WHERE seed != 2;");
    ASSERT_EQ(start_contest(), "");
    // Seeds 1 to 3 had byes into round 2; seeds 4 and 5 play in round 1.
    EXPECT_EQ(records(fetch_team_rankings(), 9),
              (std::vector<std::string>{"1|Team 1|Coach 1|2|0||||", "1|Team 2||2|0||||", "1|Team 3|Coach 3|2|0||||",
                                        "4|Team 4|Coach 4|1|0||||", "4|Team 5|Coach 5|1|0||||"}));

    // Match 1 played: seed 5 won and moved into match 2, seed 4 lost into match 4 (round 3).
    score(1, 4, 180);
    score(1, 5, 250);
    exec_sql("UPDATE match_results SET winner_id = (SELECT id FROM teams WHERE seed = 5) WHERE match = 1;");
    exec_sql("UPDATE match_results SET team2_id = (SELECT id FROM teams WHERE seed = 5) WHERE match = 2;");
    exec_sql("UPDATE match_results SET team2_id = (SELECT id FROM teams WHERE seed = 4) WHERE match = 4;");
    // Round comes before losses, and a missing last score sorts below every score.
    EXPECT_EQ(
        records(fetch_team_rankings(), 9),
        (std::vector<std::string>{"1|Team 4|Coach 4|3|1|180|180.0|180|180", "2|Team 5|Coach 5|2|0|250|250.0|250|250",
                                  "3|Team 1|Coach 1|2|0||||", "3|Team 2||2|0||||", "3|Team 3|Coach 3|2|0||||"}));
}

TEST_F(Rankings, TeamsTieOnTheRoundedAverageWhileContestantsOrderOnTheExactOne) {
    add_teams(3, 1);
    // Seed 1 plays matches 1 to 8 against seed 2, seed 2 also 9 to 13 against seed 3; match 8 is in round 2.
    std::vector<BracketRow> rows;
    for (int m = 1; m <= 13; ++m)
        rows.push_back({m, m == 8 ? 2 : 1, "Initial", m <= 8 ? 1001 : 1002, 0, m <= 8 ? 1002 : 1003, 0});
    store_bracket(rows);
    // Seed 1: 103 then seven 100s (mean 100.375); seed 2: 102, 101, 101, 101, then 100s (mean 100.3846).
    for (int m = 1; m <= 8; ++m) score(m, 1, m == 1 ? 103 : 100);
    for (int m = 1; m <= 13; ++m) score(m, 2, m == 1 ? 102 : m <= 4 ? 101 : 100);

    // Both means show as 100.38 and tie, so seed 1's higher best score puts it first.
    EXPECT_EQ(records(fetch_team_rankings(), 9),
              (std::vector<std::string>{"1|Team 1||2|0|100|100.38|103|203", "2|Team 2||2|0|100|100.38|102|203",
                                        "3|Team 3||1|0||||"}));
    // The same scores for the contestants in chair 1: the exact mean puts seed 2's first.
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head2, "1|Team 2 chair 1|Team 2|203|100.38|102|1305",
                                        "2|Team 1 chair 1|Team 1|203|100.38|103|803", "3|Team 3 chair 1|Team 3||||"}));
}

TEST_F(Rankings, SixTeamsRankContestantsOnTheirBestThreeScores) {
    add_teams(6, 2);
    std::vector<BracketRow> rows;
    for (int m = 1; m <= 4; ++m) rows.push_back({m, 1, "Initial", 1001, 0, 1002, 0});
    store_bracket(rows);
    // Team 1's chair 1 has four scores, team 2's chair 1 three, team 1's chair 2 only two.
    const auto add = [](int match, const std::string& contestant, int score) {
        exec_sql("INSERT INTO contestant_scores SELECT " + std::to_string(match) + ", id, " + std::to_string(score) +
                 " FROM contestants WHERE name = '" + contestant + "';");
    };
    for (int m = 1; m <= 4; ++m) add(m, "Team 1 chair 1", m * 10 % 40 + 10);
    for (int m = 1; m <= 3; ++m) add(m, "Team 2 chair 1", 30);
    for (int m = 1; m <= 2; ++m) add(m, "Team 1 chair 2", 99);
    // Equal best three: the higher average decides.
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{head3, "1|Team 2 chair 1|Team 2|90|30.0|30|90",
                                        "2|Team 1 chair 1|Team 1|90|25.0|40|100"}));
    // Below six teams the best two count and everyone is listed.
    exec_sql("UPDATE contest SET has_started = 0;");
    exec_sql("DELETE FROM contestants WHERE team_id = (SELECT id FROM teams WHERE seed = 6);");
    exec_sql("DELETE FROM teams WHERE seed = 6;");
    EXPECT_EQ(records(fetch_contestant_rankings(), 7, 1),
              (std::vector<std::string>{
                  head2, "1|Team 1 chair 2|Team 1|198|99.0|99|198", "2|Team 1 chair 1|Team 1|70|25.0|40|100",
                  "3|Team 2 chair 1|Team 2|60|30.0|30|90", "4|Team 2 chair 2|Team 2||||", "4|Team 3 chair 1|Team 3||||",
                  "4|Team 3 chair 2|Team 3||||", "4|Team 4 chair 1|Team 4||||", "4|Team 4 chair 2|Team 4||||",
                  "4|Team 5 chair 1|Team 5||||", "4|Team 5 chair 2|Team 5||||"}));
}
