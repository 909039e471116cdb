#include "tournament/match_flow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/contest_fixture.h"
#include "tests/support/match_setup.h"
#include "tests/support/teams.h"
#include "text/text.h"
#include "tournament/contest_start.h"
#include "tournament/match_sheet.h"
#include "tournament/score_entry.h"

namespace {

class MatchFlow : public ContestTest {
protected:
    MatchFlow() { make_contest(); }

    // Five teams started: match 1 is seeds 4-5, match 2 seed 1 against its winner, match 3 seeds 2-3.
    void start_five() {
        add_teams(5);
        exec_sql("UPDATE teams SET coach = 'Coach ' || seed WHERE seed != 5;");
        ASSERT_EQ(start_contest(), "");
    }

    // The match numbers of the sheets in a text, in order.
    static std::vector<std::string> sheet_ids(const std::string& sheets) {
        std::vector<std::string> ids;
        for (std::size_t at = 0; (at = sheets.find("<match-table id=\"match-", at)) != std::string::npos;) {
            at += 23;
            ids.push_back(sheets.substr(at, sheets.find('"', at) - at));
        }
        return ids;
    }

    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

std::string slanted(const std::string& name) { return "<th class=\"slant\"><div>" + name + "</div></th>"; }

}  // namespace

TEST_F(MatchFlow, NothingToPlayBeforeTheStart) {
    EXPECT_EQ(fetch_next_match(), "");
    EXPECT_EQ(fetch_future_matches(), "");
    EXPECT_EQ(n_completed_matches(), "0");
    EXPECT_EQ(fetch_completed_match("1"), "ERROR:A completed match could not be found.");
}

TEST_F(MatchFlow, NextMatchIsTheLowestWithoutAWinnerAndNeedsItsTeamOne) {
    start_five();
    const std::string first = fetch_next_match();
    EXPECT_TRUE(first.starts_with("<match-table id=\"match-1\">"));
    // Team 2 without a coach; four contestants leave both alternates empty.
    EXPECT_TRUE(contains(first,
                         "<th colspan=\"6\">Team 4&emsp;Coach 4</th><th>Match 1</th>"
                         "<th colspan=\"6\">Team 5&emsp;</th>"));
    EXPECT_TRUE(contains(first, "<tr>" + slanted("") + slanted("Team 4 chair 4") + slanted("Team 4 chair 3") +
                                    slanted("Team 4 chair 2") + slanted("Team 4 chair 1") + "<th></th><th></th>\n" +
                                    "<th></th>" + slanted("Team 5 chair 1") + slanted("Team 5 chair 2") +
                                    slanted("Team 5 chair 3") + slanted("Team 5 chair 4") + slanted("") + "</tr>"));
    EXPECT_EQ(read_cells(first), std::vector<std::string>(sheet_cells));
    // Match 3 has both teams; match 2 waits for match 1's winner.
    EXPECT_EQ(sheet_ids(fetch_future_matches()), std::vector<std::string>{"3"});

    ASSERT_EQ(load_match(scored_sheet(1, 1, 2)), "");
    EXPECT_EQ(n_completed_matches(), "1");
    const std::string second = fetch_next_match();
    EXPECT_TRUE(contains(second, ">Team 1&emsp;Coach 1</th><th>Match 2</th><th colspan=\"6\">Team 5&emsp;</th>"));
    EXPECT_EQ(sheet_ids(fetch_future_matches()), std::vector<std::string>{"3"});

    // Without its team 2 the sheet leaves the white side empty.
    exec_sql("UPDATE match_results SET team2_id = NULL WHERE match = 2;");
    const std::string open = fetch_next_match();
    EXPECT_TRUE(contains(open, "<th>Match 2</th><th colspan=\"6\">&emsp;</th>"));
    EXPECT_TRUE(contains(open, "<th></th>" + slanted("") + slanted("") + slanted("") + slanted("") + slanted("")));
    // Without its team 1 no sheet is offered, even though match 3 could be played.
    exec_sql("UPDATE match_results SET team1_id = NULL WHERE match = 2;");
    EXPECT_EQ(fetch_next_match(), "");
}

TEST_F(MatchFlow, FutureMatchesAreTheLaterOnesWithBothTeams) {
    add_teams(8);
    ASSERT_EQ(start_contest(), "");
    EXPECT_EQ(sheet_ids(fetch_future_matches()), (std::vector<std::string>{"2", "3", "4"}));
    for (int match = 1; match <= 3; ++match) ASSERT_EQ(load_match(scored_sheet(match, 2, 1)), "");
    // Match 4 is next; 5 and 7 got both teams from matches 1 and 2; 6 and 8 wait for match 4.
    EXPECT_EQ(sheet_ids(fetch_next_match()), std::vector<std::string>{"4"});
    const std::string future = fetch_future_matches();
    EXPECT_EQ(sheet_ids(future), (std::vector<std::string>{"5", "7"}));
    EXPECT_EQ(n_completed_matches(), "3");
    // The sheets follow each other with nothing between, each as the next-match sheet shows it.
    ASSERT_EQ(load_match(scored_sheet(4, 2, 1)), "");
    const std::string fifth = fetch_next_match();
    EXPECT_TRUE(future.starts_with(fifth));
    EXPECT_TRUE(future.substr(fifth.size()).starts_with("<match-table id=\"match-7\">"));
}

TEST_F(MatchFlow, CompletedSheetCarriesItsCellsAsSaved) {
    start_five();
    auto fields = blank_sheet(1);
    for (std::size_t k = 0; k < sheet_cells; ++k) fields[k + 1] = k < 384 && k % 5 == 0 ? "" : std::to_string(k % 40);
    fields[3 + 1] = "<b>9</b> & \"more\"";  // a question cell that score entry never reads
    fields[398 + 1] = "AB";
    ASSERT_EQ(load_match(join_fields(fields)), "");

    const std::string sheet = fetch_completed_match("1");
    EXPECT_EQ(read_cells(sheet), std::vector<std::string>(fields.begin() + 1, fields.end()));
    EXPECT_TRUE(contains(sheet, "&lt;b&gt;9&lt;/b&gt; &amp; &quot;more&quot;"));
    // The id and the "Match" cell carry the argument exactly as received.
    const std::string as_typed = fetch_completed_match("1abc");
    EXPECT_TRUE(as_typed.starts_with("<match-table id=\"match-1abc\">"));
    EXPECT_TRUE(contains(as_typed, "<th>Match 1abc</th>"));
    EXPECT_EQ(read_cells(as_typed), read_cells(sheet));

    for (const char* not_a_number : {"", "x", "-999", " 1"})
        EXPECT_EQ(fetch_completed_match(not_a_number),
                  "ERROR:The id for a completed match could not be converted to a number.")
            << not_a_number;
    for (const char* missing : {"0", "99"})
        EXPECT_EQ(fetch_completed_match(missing), "ERROR:A completed match could not be found.") << missing;

    // A stored text shorter than a sheet, or none at all, leaves the missing cells empty.
    exec_sql("UPDATE match_results SET data = '1' || char(31) || '5' || char(31) || '6' WHERE match = 1;");
    auto cells = read_cells(fetch_completed_match("1"));
    EXPECT_EQ(cells[0], "5");
    EXPECT_EQ(cells[1], "6");
    EXPECT_EQ(std::vector<std::string>(cells.begin() + 2, cells.end()), std::vector<std::string>(sheet_cells - 2));
    EXPECT_EQ(read_cells(fetch_completed_match("3")), std::vector<std::string>(sheet_cells));
}

TEST_F(MatchFlow, NamesAreShownAsTextNotMarkup) {
    add_teams(2);
    exec_sql("UPDATE teams SET name = '<img src=x onerror=alert(1)>', coach = 'A & \"B\"' WHERE seed = 1;");
    exec_sql("UPDATE contestants SET name = '<script>x()</script>' WHERE name = 'Team 2 chair 1';");
    ASSERT_EQ(start_contest(), "");
    const std::string sheet = fetch_next_match();
    EXPECT_TRUE(
        contains(sheet, "<th colspan=\"6\">&lt;img src=x onerror=alert(1)&gt;&emsp;A &amp; &quot;B&quot;</th>"));
    EXPECT_TRUE(contains(sheet, slanted("&lt;script&gt;x()&lt;/script&gt;")));
    EXPECT_FALSE(contains(sheet, "<img"));
    EXPECT_FALSE(contains(sheet, "<script"));
}
