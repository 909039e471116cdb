#include "registration/team.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/contest_fixture.h"
#include "text/text.h"

namespace {

const std::string not_saved = "ERROR:This team data could not be saved.";
const std::string not_deleted = "ERROR:This team could not be deleted.";

// The four fields of a save argument.
std::string team(const std::string& id, const std::string& name, const std::string& coach, const std::string& seed) {
    return join_fields({id, name, coach, seed});
}

std::string teams_by_seed() { return query("SELECT name || ':' || seed FROM teams ORDER BY seed;"); }

class Teams : public ContestTest {
protected:
    Teams() { make_contest(); }
};

}  // namespace

TEST_F(Teams, AnEmptySeedTakesOneAboveTheHighest) {
    // The first team of a contest is seed 1.
    EXPECT_EQ(save_team(team("none", "Owls", "", "")), "");
    EXPECT_EQ(teams_by_seed(), "Owls:1");

    // Gaps are not filled.
    EXPECT_EQ(save_team(team("none", "Hawks", "", "2")), "");
    EXPECT_EQ(save_team(team("none", "Crows", "", "7")), "");
    EXPECT_EQ(save_team(team("none", "Larks", "", "")), "");
    EXPECT_EQ(teams_by_seed(), "Owls:1|Hawks:2|Crows:7|Larks:8");

    // No 32-bit seed is left above the highest possible one.
    EXPECT_EQ(save_team(team("none", "Top", "", "2147483647")), "");
    EXPECT_EQ(save_team(team("none", "Over", "", "")), not_saved);
    EXPECT_EQ(query("SELECT COUNT(*) FROM teams WHERE name = 'Over';"), "0");
}

TEST_F(Teams, SaveAnswersItsMessageForWhatTheRulesRefuse) {
    ASSERT_EQ(save_team(team("none", "Owls", "Ann", "1")), "");
    ASSERT_EQ(save_team(team("none", "Hawks", "Bob", "2")), "");
    const std::string before = query("SELECT id || name || coach || seed FROM teams ORDER BY id;");

    // Duplicate name, duplicate seed, empty name, seeds that are not positive or not numbers.
    EXPECT_EQ(save_team(team("none", "Owls", "", "3")), not_saved);
    EXPECT_EQ(save_team(team("none", "Crows", "", "2")), not_saved);
    EXPECT_EQ(save_team(team("none", "", "", "3")), not_saved);
    EXPECT_EQ(save_team(team("none", "Crows", "", "0")), not_saved);
    EXPECT_EQ(save_team(team("none", "Crows", "", "x3")), not_saved);
    // An update never computes a seed: an empty field is no number.
    EXPECT_EQ(save_team(team("1", "Owls", "Ann", "")), not_saved);
    EXPECT_EQ(save_team(team("1", "Owls", "Ann", "two")), not_saved);
    // Renaming onto another team's name or seed.
    EXPECT_EQ(save_team(team("1", "Hawks", "Ann", "1")), not_saved);
    EXPECT_EQ(save_team(team("1", "Owls", "Ann", "2")), not_saved);
    EXPECT_EQ(query("SELECT id || name || coach || seed FROM teams ORDER BY id;"), before);
}

TEST_F(Teams, SaveRefusesAnArgumentThatIsNotExactlyFourFields) {
    ASSERT_EQ(save_team(team("none", "Owls", "", "1")), "");
    const std::string sep(1, '\x1F');

    EXPECT_EQ(save_team(""), not_saved);
    EXPECT_EQ(save_team("none"), not_saved);
    EXPECT_EQ(save_team("none" + sep + "Hawks" + sep), not_saved);
    // A separator inside the name or the coach would be read as a field boundary by every later list.
    EXPECT_EQ(save_team(team("none", "Ha" + sep + "wks", "", "2")), not_saved);
    EXPECT_EQ(save_team(team("none", "Hawks", "Bo" + sep + "b", "2")), not_saved);
    EXPECT_EQ(save_team(team("1", "Ow" + sep + "ls", "", "1")), not_saved);
    // A NUL would be stored whole but read back cut, so "Owls\0 (copy)" would list as a second "Owls".
    const std::string nul(1, '\0');
    EXPECT_EQ(save_team(team("none", "Owls" + nul + " (copy)", "", "2")), not_saved);
    EXPECT_EQ(save_team(team("none", "Hawks", "Bo" + nul + "b", "2")), not_saved);
    EXPECT_EQ(save_team(team("1", "Owls" + nul, "", "1")), not_saved);
    EXPECT_EQ(teams_by_seed(), "Owls:1");
}

TEST_F(Teams, OnlyAnEmptyCoachIsStoredAsNoCoach) {
    ASSERT_EQ(save_team(team("none", "Owls", "", "1")), "");
    ASSERT_EQ(save_team(team("none", "Hawks", " ", "2")), "");
    EXPECT_EQ(query("SELECT quote(coach) FROM teams ORDER BY seed;"), "NULL|' '");
    EXPECT_EQ(fetch_teams(), join_fields({"1", "Owls", "", "1", "2", "Hawks", " ", "2"}));
}

TEST_F(Teams, UpdateChangesTheNamedTeamOnly) {
    ASSERT_EQ(save_team(team("none", "Owls", "Ann", "1")), "");
    ASSERT_EQ(save_team(team("none", "Hawks", "Bob", "2")), "");

    EXPECT_EQ(save_team(team("1", "Night Owls", "", "5")), "");
    EXPECT_EQ(query("SELECT name || ':' || quote(coach) || ':' || seed FROM teams ORDER BY id;"),
              "Night Owls:NULL:5|Hawks:'Bob':2");

    // Ids of no team, "none" in capitals among them, change nothing and are refused.
    const std::string before = teams_by_seed();
    EXPECT_EQ(save_team(team("4242", "Crows", "", "9")), not_saved);
    EXPECT_EQ(save_team(team("None", "Crows", "", "9")), not_saved);
    EXPECT_EQ(save_team(team(" none", "Crows", "", "9")), not_saved);
    EXPECT_EQ(teams_by_seed(), before);
}

TEST_F(Teams, FetchTeamsListsFourFieldsPerTeamInSeedOrder) {
    // No team: the empty text.
    EXPECT_EQ(fetch_teams(), "");

    ASSERT_EQ(save_team(team("none", "Owls", "Ann", "2")), "");
    ASSERT_EQ(save_team(team("none", "Hawks", "", "1")), "");
    const std::string list = fetch_teams();
    EXPECT_EQ(list, join_fields({"2", "Hawks", "", "1", "1", "Owls", "Ann", "2"}));
    // Eight fields, seven separators, nothing after the last seed.
    EXPECT_EQ(split_fields(list).size(), 8u);
    EXPECT_EQ(std::count(list.begin(), list.end(), '\x1F'), 7);
}

TEST_F(Teams, DeleteRemovesTheTeamItsIdNames) {
    ASSERT_EQ(save_team(team("none", "Owls", "", "1")), "");
    ASSERT_EQ(save_team(team("none", "Hawks", "", "2")), "");
    ASSERT_EQ(save_team(team("none", "Crows", "", "3")), "");

    // "none" and texts that are no id touch nothing.
    EXPECT_EQ(delete_team("none"), "");
    EXPECT_EQ(delete_team("abc"), "");
    EXPECT_EQ(delete_team("99"), "");
    EXPECT_EQ(teams_by_seed(), "Owls:1|Hawks:2|Crows:3");

    // Digits followed by letters name the team of the digits.
    EXPECT_EQ(delete_team("2xyz"), "");
    EXPECT_EQ(teams_by_seed(), "Owls:1|Crows:3");

    // A team with contestants stays.
    exec_sql("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Ada', 1);");
    EXPECT_EQ(delete_team("1"), not_deleted);
    EXPECT_EQ(teams_by_seed(), "Owls:1|Crows:3");
}

TEST_F(Teams, AfterTheStartOnlyNamesAndCoachesChange) {
    ASSERT_EQ(save_team(team("none", "Owls", "Ann", "1")), "");
    ASSERT_EQ(save_team(team("none", "Hawks", "Bob", "2")), "");
    exec_sql("UPDATE contest SET has_started = 1;");

    // Insert, delete and seed changes are refused.
    EXPECT_EQ(save_team(team("none", "Crows", "", "3")), not_saved);
    EXPECT_EQ(save_team(team("none", "Crows", "", "")), not_saved);
    EXPECT_EQ(delete_team("2"), not_deleted);
    EXPECT_EQ(save_team(team("1", "Owls", "Ann", "3")), not_saved);
    EXPECT_EQ(teams_by_seed(), "Owls:1|Hawks:2");

    // Same seed: a rename and a new coach go through.
    EXPECT_EQ(save_team(team("1", "Night Owls", "Cy", "1")), "");
    EXPECT_EQ(query("SELECT name || ':' || coach || ':' || seed FROM teams ORDER BY seed;"),
              "Night Owls:Cy:1|Hawks:Bob:2");
}
