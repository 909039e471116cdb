#include "registration/seed_randomization.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>

#include "store/database.h"
#include "tests/support/contest_fixture.h"

namespace {

const std::string not_saved = "ERROR:This randomization could not be saved.";

class SeedDraw : public ContestTest {
protected:
    SeedDraw() { make_contest(); }

    void add_teams(const std::map<std::string, int>& seeds) {
        for (const auto& [name, seed] : seeds)
            exec_sql("INSERT INTO teams (name, seed) VALUES ('" + name + "', " + std::to_string(seed) + ");");
    }
};

std::string names_by_seed() { return query("SELECT name FROM teams ORDER BY seed;"); }
std::string seeds() { return query("SELECT seed FROM teams ORDER BY seed;"); }

}  // namespace

TEST_F(SeedDraw, RenumbersTheTeamsOneToN) {
    // No team: nothing to draw.
    EXPECT_EQ(randomize_seeds(), "no change");

    // One team keeps its place but loses its gap.
    add_teams({{"Owls", 7}});
    EXPECT_EQ(randomize_seeds(), "no change");
    EXPECT_EQ(seeds(), "1");

    // Gaps disappear whatever the order, and the answer tells whether the order moved.
    add_teams({{"Hawks", 9}, {"Crows", 5}});
    const std::string before = names_by_seed();
    ASSERT_EQ(before, "Owls|Crows|Hawks");
    const std::string answer = randomize_seeds();
    EXPECT_EQ(seeds(), "1|2|3");
    EXPECT_EQ(answer, names_by_seed() == before ? "no change" : "");
}

TEST_F(SeedDraw, EveryOrderIsDrawnAboutEquallyOften) {
    add_teams({{"A", 1}, {"B", 2}, {"C", 3}});
    std::map<std::string, int> drawn;
    for (int i = 0; i < 600; ++i) {
        const std::string before = names_by_seed();
        const std::string answer = randomize_seeds();
        const std::string after = names_by_seed();
        // "no change" exactly when the draw gave back the same order.
        EXPECT_EQ(answer, after == before ? "no change" : "");
        ++drawn[after];
    }
    // Six orders, each about 100 times; the bounds are more than five deviations away.
    EXPECT_EQ(drawn.size(), 6u);
    for (const auto& [order, times] : drawn) {
        EXPECT_GT(times, 50) << order;
        EXPECT_LT(times, 150) << order;
    }
}

TEST_F(SeedDraw, ARefusedWriteLeavesEverySeedAsItWas) {
    // Moving the first team to 1000 meets the second team's seed.
    add_teams({{"Low", 1}, {"High", 1000}});
    EXPECT_EQ(randomize_seeds(), not_saved);
    EXPECT_EQ(query("SELECT name || ':' || seed FROM teams ORDER BY seed;"), "Low:1|High:1000");

    // A commit that fails saves nothing and says so.
    exec_sql("UPDATE teams SET seed = 2 WHERE name = 'High';");
    sqlite3_commit_hook(
        g_db, [](void*) { return 1; }, nullptr);
    EXPECT_EQ(randomize_seeds(), not_saved);
    sqlite3_commit_hook(g_db, nullptr, nullptr);
    EXPECT_EQ(query("SELECT name || ':' || seed FROM teams ORDER BY seed;"), "Low:1|High:2");
}

TEST_F(SeedDraw, AfterTheStartNoSeedChanges) {
    exec_sql("UPDATE contest SET has_started = 1;");
    EXPECT_EQ(randomize_seeds(), "no change");

    exec_sql("UPDATE contest SET has_started = 0;");
    add_teams({{"Owls", 2}, {"Hawks", 4}});
    exec_sql("UPDATE contest SET has_started = 1;");
    EXPECT_EQ(randomize_seeds(), not_saved);
    EXPECT_EQ(query("SELECT name || ':' || seed FROM teams ORDER BY seed;"), "Owls:2|Hawks:4");
}
