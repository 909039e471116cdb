#include "registration/contestant.h"

#include <gtest/gtest.h>

#include "tests/support/contest_fixture.h"
#include "text/text.h"

namespace {

const std::string not_saved = "ERROR:This contestant data could not be saved.";
const std::string not_deleted = "ERROR:This contestant could not be deleted.";

// The four fields of a save argument.
std::string contestant(const std::string& id, const std::string& team, const std::string& name,
                       const std::string& chair) {
    return join_fields({id, team, name, chair});
}

std::string seating() { return query("SELECT team_id || ':' || name || ':' || chair FROM contestants ORDER BY id;"); }

// Teams 1 Owls, 2 Hawks and 3 Crows, registered in that order.
class Contestants : public ContestTest {
protected:
    Contestants() {
        make_contest();
        exec_sql("INSERT INTO teams (id, name, seed) VALUES (1, 'Owls', 1), (2, 'Hawks', 2), (3, 'Crows', 3);");
    }
};

}  // namespace

TEST_F(Contestants, SaveAnswersItsMessageForWhatTheRulesRefuse) {
    ASSERT_EQ(save_contestant(contestant("none", "1", "Ada", "1")), "");
    // Another team may use the same chair.
    ASSERT_EQ(save_contestant(contestant("none", "2", "Bea", "1")), "");
    const std::string before = seating();

    // A name already taken, also in another team.
    EXPECT_EQ(save_contestant(contestant("none", "2", "Ada", "2")), not_saved);
    // A chair already held in the team, empty or not positive.
    EXPECT_EQ(save_contestant(contestant("none", "1", "Cy", "1")), not_saved);
    EXPECT_EQ(save_contestant(contestant("none", "1", "Cy", "")), not_saved);
    EXPECT_EQ(save_contestant(contestant("none", "1", "Cy", "0")), not_saved);
    // No such team, or no team number at all.
    EXPECT_EQ(save_contestant(contestant("none", "9", "Cy", "2")), not_saved);
    EXPECT_EQ(save_contestant(contestant("none", "", "Cy", "2")), not_saved);
    // An empty name.
    EXPECT_EQ(save_contestant(contestant("none", "1", "", "2")), not_saved);
    // An update onto a taken chair or name.
    EXPECT_EQ(save_contestant(contestant("2", "1", "Bea", "1")), not_saved);
    EXPECT_EQ(save_contestant(contestant("2", "2", "Ada", "1")), not_saved);
    EXPECT_EQ(seating(), before);
}

TEST_F(Contestants, SaveRefusesAnArgumentThatIsNotExactlyFourFields) {
    ASSERT_EQ(save_contestant(contestant("none", "1", "Ada", "1")), "");
    const std::string sep(1, '\x1F');

    EXPECT_EQ(save_contestant(""), not_saved);
    EXPECT_EQ(save_contestant("none" + sep + "1" + sep + "Bea"), not_saved);
    // A separator inside the name would be read as a field boundary by every later list.
    EXPECT_EQ(save_contestant(contestant("none", "1", "B" + sep + "ea", "2")), not_saved);
    EXPECT_EQ(save_contestant(contestant("1", "1", "A" + sep + "da", "1")), not_saved);
    // A NUL would be stored whole but read back cut short.
    EXPECT_EQ(save_contestant(contestant("none", "1", "Ada" + std::string(1, '\0') + "2", "2")), not_saved);
    EXPECT_EQ(seating(), "1:Ada:1");
}

TEST_F(Contestants, UpdateMovesTheNamedContestantOnly) {
    ASSERT_EQ(save_contestant(contestant("none", "1", "Ada", "1")), "");
    ASSERT_EQ(save_contestant(contestant("none", "1", "Bea", "2")), "");

    // Two contestants exchange chairs through a chair nobody holds.
    EXPECT_EQ(save_contestant(contestant("1", "1", "Ada", "9")), "");
    EXPECT_EQ(save_contestant(contestant("2", "1", "Bea", "1")), "");
    EXPECT_EQ(save_contestant(contestant("1", "1", "Ada", "2")), "");
    EXPECT_EQ(seating(), "1:Ada:2|1:Bea:1");

    // A new team and name.
    EXPECT_EQ(save_contestant(contestant("2", "3", "Bee", "5")), "");
    EXPECT_EQ(seating(), "1:Ada:2|3:Bee:5");

    // Ids of no contestant change nothing and are refused.
    EXPECT_EQ(save_contestant(contestant("777777", "1", "Cy", "3")), not_saved);
    EXPECT_EQ(save_contestant(contestant("NONE", "1", "Cy", "3")), not_saved);
    EXPECT_EQ(seating(), "1:Ada:2|3:Bee:5");
}

TEST_F(Contestants, FetchContestantsListsTheNewestFirstWithTheirTeamsName) {
    // No contestant: the empty text.
    EXPECT_EQ(fetch_contestants(), "");

    ASSERT_EQ(save_contestant(contestant("none", "2", "Ada", "1")), "");
    ASSERT_EQ(save_contestant(contestant("none", "1", "Bea", "5")), "");
    // An update does not move a contestant in the list.
    ASSERT_EQ(save_contestant(contestant("1", "2", "Ada Lee", "3")), "");
    EXPECT_EQ(fetch_contestants(), join_fields({"2", "Owls", "Bea", "5", "1", "Hawks", "Ada Lee", "3"}));
}

TEST_F(Contestants, CountsListEveryTeamByItsNewestContestant) {
    // Teams without contestants are counted too: three teams, two fields each.
    EXPECT_EQ(split_fields(fetch_contestant_counts()).size(), 6u);
    ASSERT_EQ(save_contestant(contestant("none", "1", "Ada", "1")), "");
    ASSERT_EQ(save_contestant(contestant("none", "1", "Bea", "2")), "");
    const std::string counts = fetch_contestant_counts();
    // The two other teams follow with 0, in an order nothing relies on.
    EXPECT_TRUE(counts == join_fields({"Owls", "2", "Hawks", "0", "Crows", "0"}) ||
                counts == join_fields({"Owls", "2", "Crows", "0", "Hawks", "0"}))
        << counts;

    // The team with the newest contestant comes first.
    ASSERT_EQ(save_contestant(contestant("none", "3", "Cy", "1")), "");
    ASSERT_EQ(save_contestant(contestant("none", "2", "Di", "1")), "");
    EXPECT_EQ(fetch_contestant_counts(), join_fields({"Hawks", "1", "Crows", "1", "Owls", "2"}));

    // A team whose last contestant leaves moves to the end with 0.
    ASSERT_EQ(delete_contestant("4"), "");
    EXPECT_EQ(fetch_contestant_counts(), join_fields({"Crows", "1", "Owls", "2", "Hawks", "0"}));
}

TEST_F(Contestants, DeleteRemovesTheContestantItsIdNames) {
    ASSERT_EQ(save_contestant(contestant("none", "1", "Ada", "1")), "");
    ASSERT_EQ(save_contestant(contestant("none", "1", "Bea", "2")), "");

    // "none" and texts that are no contestant's id touch nothing.
    EXPECT_EQ(delete_contestant("none"), "");
    EXPECT_EQ(delete_contestant("x1"), "");
    EXPECT_EQ(delete_contestant("7"), "");
    EXPECT_EQ(seating(), "1:Ada:1|1:Bea:2");

    EXPECT_EQ(delete_contestant("1"), "");
    EXPECT_EQ(seating(), "1:Bea:2");
}

TEST_F(Contestants, AfterTheStartOnlyNamesAndTeamsChange) {
    ASSERT_EQ(save_contestant(contestant("none", "1", "Ada", "1")), "");
    ASSERT_EQ(save_contestant(contestant("none", "2", "Bea", "1")), "");
    exec_sql("UPDATE contest SET has_started = 1;");

    // Insert, delete and chair changes are refused.
    EXPECT_EQ(save_contestant(contestant("none", "1", "Cy", "2")), not_saved);
    EXPECT_EQ(delete_contestant("1"), not_deleted);
    EXPECT_EQ(save_contestant(contestant("1", "1", "Ada", "2")), not_saved);
    EXPECT_EQ(seating(), "1:Ada:1|2:Bea:1");

    // With the chair unchanged, a corrected name goes through.
    EXPECT_EQ(save_contestant(contestant("1", "1", "Ada Lee", "1")), "");
    EXPECT_EQ(seating(), "1:Ada Lee:1|2:Bea:1");
}
