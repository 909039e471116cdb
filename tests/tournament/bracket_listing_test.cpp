#include "tournament/bracket_listing.h"

#include <gtest/gtest.h>

#include "shell/registry.h"
#include "store/database.h"
#include "tests/support/contest_fixture.h"
#include "tests/support/teams.h"
#include "text/text.h"
#include "tournament/contest_start.h"

namespace {

class BracketListing : public ContestTest {
protected:
    BracketListing() {
        initialize_functions();
        make_contest();
    }

    // The listing as the page receives it, with one record per line and fields joined by ",".
    static std::string listing() { return readable(dispatch_function("fetch_brackets")); }

    static std::string readable(std::string text) {
        std::string out;
        int field = 0;
        for (const std::string_view part : split_fields(text)) out += std::string(part) + (++field % 8 ? "," : "\n");
        return out;
    }
};

}  // namespace

TEST_F(BracketListing, TwoTeamsPreviewAsTwentyFourFields) {
    exec_sql("INSERT INTO teams (name, seed) VALUES ('Birch', 2), ('Ash', 1);");
    const std::string s(1, field_separator);
    EXPECT_EQ(dispatch_function("fetch_brackets:ignored"),
              "1" + s + "1" + s + "Initial" + s + "S 1" + s + "S 2" + s + "Ash" + s + "Birch" + s + s + "2" + s + "2" +
                  s + "Finals" + s + "W 1" + s + "L 1" + s + s + s + s + "3" + s + "3" + s + "Finals rematch" + s +
                  "L 2" + s + "W 2" + s + s + s);
}

TEST_F(BracketListing, PreviewFollowsTheCurrentTeamsBySeedPosition) {
    // No team and one team give the empty listing.
    EXPECT_EQ(dispatch_function("fetch_brackets"), "");
    exec_sql("INSERT INTO teams (name, seed) VALUES ('Ash', 1);");
    EXPECT_EQ(dispatch_function("fetch_brackets"), "");

    // Seeds 1, 3 and 7 play as S 1, S 2 and S 3.
    exec_sql("INSERT INTO teams (name, seed) VALUES ('Birch', 3), ('Cedar', 7);");
    EXPECT_EQ(listing(),
              "1,1,Initial,S 2,S 3,Birch,Cedar,\n"
              "2,2,Winners,S 1,W 1,Ash,,\n"
              "3,3,Losers major,L 2,L 1,,,\n"
              "4,4,Finals,W 2,W 3,,,\n"
              "5,5,Finals rematch,L 4,W 4,,,\n");
    // A change of seeds shows on the next call, and nothing is stored.
    exec_sql("UPDATE teams SET seed = 10 WHERE name = 'Ash';");
    EXPECT_EQ(listing(),
              "1,1,Initial,S 2,S 3,Cedar,Ash,\n"
              "2,2,Winners,S 1,W 1,Birch,,\n"
              "3,3,Losers major,L 2,L 1,,,\n"
              "4,4,Finals,W 2,W 3,,,\n"
              "5,5,Finals rematch,L 4,W 4,,,\n");
    EXPECT_EQ(query("SELECT COUNT(*) FROM bracket_structure;"), "0");
}

TEST_F(BracketListing, AfterTheStartTheStoredBracketMatchesThePreview) {
    for (const int n : {2, 5, 16}) {
        SCOPED_TRACE(n);
        close_database();
        make_contest("Contest " + std::to_string(n));
        add_teams(n);
        const std::string preview = dispatch_function("fetch_brackets");
        ASSERT_EQ(dispatch_function("start_contest"), "");
        EXPECT_EQ(dispatch_function("contest_has_started"), "true");
        EXPECT_EQ(dispatch_function("fetch_brackets"), preview);
    }
    // The five-team first winners match names seed 1 only.
    close_database();
    make_contest("Five");
    add_teams(5);
    ASSERT_EQ(start_contest(), "");
    EXPECT_EQ(listing().substr(0, 64), "1,1,Initial,S 4,S 5,Team 4,Team 5,\n2,2,Winners,S 1,W 1,Team 1,,\n");
}

TEST_F(BracketListing, StoredListingShowsWhatIsStoredNow) {
    add_teams(2);
    ASSERT_EQ(start_contest(), "");
    // A played final won by its team 1, a respelled team, and a removed rematch row.
    exec_sql("UPDATE match_results SET winner_id = team1_id WHERE match = 1;");
    exec_sql("UPDATE match_results SET team1_id = 101, team2_id = 100, winner_id = 101 WHERE match = 2;");
    exec_sql("UPDATE teams SET name = 'Renamed' WHERE seed = 2;");
    exec_sql("DELETE FROM match_results WHERE match = 3;");
    EXPECT_EQ(listing(),
              "1,1,Initial,S 1,S 2,Team 1,Renamed,Team 1\n"
              "2,2,Finals,W 1,L 1,Team 1,Renamed,Team 1\n"
              "3,3,Finals rematch,L 2,W 2,,,\n");
    EXPECT_EQ(fetch_stored_brackets(), dispatch_function("fetch_brackets"));
}

TEST_F(BracketListing, TooManyTeamsPreviewAsTheEmptyListing) {
    add_teams(501, 0);
    EXPECT_EQ(dispatch_function("fetch_brackets"), "");
    exec_sql("DELETE FROM teams WHERE seed = 501;");
    EXPECT_EQ(split_fields(dispatch_function("fetch_brackets")).size(), 999u * 8u);
}
