#include "tournament/bracket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace {

using Rows = std::vector<std::string>;

std::string source(std::int32_t value, std::int32_t winner) {
    if (value > 1000) return "S " + std::to_string(value - 1000);
    return (winner ? "W " : "L ") + std::to_string(value);
}

std::string row(const BracketMatch& m) {
    return std::to_string(m.match) + " " + std::to_string(m.round) + " " + m.bracket_type + " " +
           source(m.source1_match, m.source1_winner) + " " + source(m.source2_match, m.source2_winner);
}

// The bracket of n teams as rows like "2 2 Winners S 1 W 1", only the matches that keep takes.
Rows rows(std::int32_t n, const std::function<bool(const BracketMatch&)>& keep = {}) {
    Rows out;
    for (const BracketMatch& m : generate_bracket(n))
        if (!keep || keep(m)) out.push_back(row(m));
    return out;
}

Rows rows_of(std::int32_t n, const std::string& type) {
    return rows(n, [&type](const BracketMatch& m) { return m.bracket_type == type; });
}

Rows rows_in_round(std::int32_t n, std::int32_t round) {
    return rows(n, [round](const BracketMatch& m) { return m.round == round; });
}

bool is_seed(std::int32_t value) { return value > 1000; }

}  // namespace

TEST(SeedingOrder, PairsSeedsAndGivesTheBestSeedsByes) {
    EXPECT_EQ(seeding_order(2), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(seeding_order(3), (std::vector<std::int32_t>{1, 0, 2, 3}));
    EXPECT_EQ(seeding_order(4), (std::vector<std::int32_t>{1, 4, 2, 3}));
    EXPECT_EQ(seeding_order(5), (std::vector<std::int32_t>{1, 0, 4, 5, 2, 0, 3, 0}));
    EXPECT_EQ(seeding_order(6), (std::vector<std::int32_t>{1, 0, 4, 5, 2, 0, 3, 6}));
    EXPECT_EQ(seeding_order(8), (std::vector<std::int32_t>{1, 8, 4, 5, 2, 7, 3, 6}));
    // One team needs no pairing at all.
    EXPECT_EQ(seeding_order(1), (std::vector<std::int32_t>{1}));
}

TEST(Bracket, SmallBracketsMatchTheWorkedExamples) {
    EXPECT_EQ(rows(2), (Rows{"1 1 Initial S 1 S 2", "2 2 Finals W 1 L 1", "3 3 Finals rematch L 2 W 2"}));
    // Seed 1 has a bye and meets the winner of the only first-round match.
    EXPECT_EQ(rows(3), (Rows{"1 1 Initial S 2 S 3", "2 2 Winners S 1 W 1", "3 3 Losers major L 2 L 1",
                             "4 4 Finals W 2 W 3", "5 5 Finals rematch L 4 W 4"}));
    EXPECT_EQ(rows(4),
              (Rows{"1 1 Initial S 1 S 4", "2 1 Initial S 2 S 3", "3 2 Winners W 1 W 2", "4 2 Losers minor L 1 L 2",
                    "5 3 Losers major L 3 W 4", "6 4 Finals W 3 W 5", "7 5 Finals rematch L 6 W 6"}));
}

TEST(Bracket, FiveTeamsMatchTheWorkedExample) {
    EXPECT_EQ(rows(5), (Rows{"1 1 Initial S 4 S 5", "2 2 Winners S 1 W 1", "3 2 Winners S 2 S 3",
                             "4 3 Losers major L 3 L 1", "5 4 Winners W 2 W 3", "6 4 Losers minor W 4 L 2",
                             "7 5 Losers major L 5 W 6", "8 6 Finals W 5 W 7", "9 7 Finals rematch L 8 W 8"}));
    // A seed that had a bye is stored as 1000 + seed with flag 0.
    const BracketMatch second = generate_bracket(5)[1];
    EXPECT_EQ(second.source1_match, 1001);
    EXPECT_EQ(second.source1_winner, 0);
    EXPECT_EQ(second.source2_match, 1);
    EXPECT_EQ(second.source2_winner, 1);
}

TEST(Bracket, EightTeamsMatchTheWorkedExample) {
    EXPECT_EQ(rows(8), (Rows{"1 1 Initial S 1 S 8", "2 1 Initial S 4 S 5", "3 1 Initial S 2 S 7", "4 1 Initial S 3 S 6",
                             "5 2 Winners W 1 W 2", "6 2 Winners W 3 W 4", "7 2 Losers minor L 1 L 2",
                             "8 2 Losers minor L 3 L 4", "9 3 Losers major L 6 W 7", "10 3 Losers major L 5 W 8",
                             "11 4 Winners W 5 W 6", "12 4 Losers minor W 9 W 10", "13 5 Losers major L 11 W 12",
                             "14 6 Finals W 11 W 13", "15 7 Finals rematch L 14 W 14"}));
}

TEST(Bracket, ByesPassFirstRoundLosersIntoLaterLosersRounds) {
    // Six teams: no losers match in round 2; both first-round losers come through byes into round 3.
    EXPECT_EQ(rows_in_round(6, 2), (Rows{"3 2 Winners S 1 W 1", "4 2 Winners S 2 W 2"}));
    EXPECT_EQ(rows_in_round(6, 3), (Rows{"5 3 Losers major L 4 L 1", "6 3 Losers major L 3 L 2"}));

    // Nine teams: one first-round match, and seed 1 meets its winner.
    EXPECT_EQ(rows_of(9, "Initial"), (Rows{"1 1 Initial S 8 S 9"}));
    EXPECT_EQ(rows_of(9, "Winners").size(), 7u);
    EXPECT_EQ(rows(9)[1], "2 2 Winners S 1 W 1");
    // One losers match in round 3; the losers of matches 5, 2 and 3 pass by byes into round 4.
    EXPECT_EQ(rows_in_round(9, 3), (Rows{"6 3 Losers major L 4 L 1"}));
    EXPECT_EQ(rows_in_round(9, 4), (Rows{"7 4 Winners W 2 W 3", "8 4 Winners W 4 W 5", "9 4 Losers minor W 6 L 5",
                                         "10 4 Losers minor L 2 L 3"}));
}

TEST(Bracket, SixteenTeamsHaveNoByes) {
    EXPECT_EQ(rows_of(16, "Initial").size(), 8u);
    EXPECT_EQ(rows_of(16, "Winners").size(), 7u);
    EXPECT_EQ(rows_of(16, "Losers minor").size(), 7u);
    EXPECT_EQ(rows_of(16, "Losers major").size(), 7u);
    // The final pits the last winners match against the last losers match.
    EXPECT_EQ(rows_of(16, "Finals"), (Rows{"30 8 Finals W 27 W 29"}));
    EXPECT_EQ(rows_of(16, "Finals rematch"), (Rows{"31 9 Finals rematch L 30 W 30"}));
    // Every first-round pair adds up to N + 1.
    for (const BracketMatch& m : generate_bracket(16))
        if (m.bracket_type == "Initial") {
            EXPECT_EQ(m.source1_match + m.source2_match, 2017) << row(m);
        }
}

TEST(Bracket, IsEmptyOutsideTheTeamCountsItCanEncode) {
    // No team and one team have no bracket; from 501 teams match numbers would read as seeds.
    EXPECT_TRUE(generate_bracket(0).empty());
    EXPECT_TRUE(generate_bracket(1).empty());
    EXPECT_TRUE(generate_bracket(501).empty());
    EXPECT_TRUE(generate_bracket(-3).empty());
    EXPECT_EQ(generate_bracket(500).back().match, 999);
}

TEST(Bracket, EveryBracketFromTwoTo500TeamsKeepsItsShape) {
    for (std::int32_t n = 2; n <= 500; ++n) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const std::vector<BracketMatch> bracket = generate_bracket(n);
        std::int32_t p = 1;
        while (p < n) p *= 2;
        ASSERT_EQ(bracket.size(), std::size_t(2 * n - 1));

        std::map<std::string, std::int32_t> counts;
        std::vector<std::int32_t> winner_refs(2 * n), loser_refs(2 * n), seed_refs(n + 1);
        for (std::size_t i = 0; i < bracket.size(); ++i) {
            const BracketMatch& m = bracket[i];
            // Numbered in list order; rounds never go back.
            EXPECT_EQ(m.match, std::int32_t(i) + 1);
            if (i > 0) {
                EXPECT_GE(m.round, bracket[i - 1].round);
            }
            ++counts[m.bracket_type];
            for (const auto& [value, winner] :
                 {std::pair{m.source1_match, m.source1_winner}, std::pair{m.source2_match, m.source2_winner}}) {
                ASSERT_GT(value, 0) << row(m);
                if (is_seed(value)) {
                    // Seeds only enter in round 1 or, after a bye, in the first winners round.
                    EXPECT_EQ(winner, 0) << row(m);
                    ASSERT_LE(value - 1000, n) << row(m);
                    ++seed_refs[value - 1000];
                    EXPECT_TRUE(m.bracket_type == "Initial" || (m.bracket_type == "Winners" && m.round == 2)) << row(m);
                } else {
                    // A source is an earlier match of an earlier round.
                    ASSERT_LT(value, m.match) << row(m);
                    EXPECT_LT(bracket[value - 1].round, m.round) << row(m);
                    ++(winner == 1 ? winner_refs : loser_refs)[value];
                    EXPECT_TRUE(winner == 0 || winner == 1) << row(m);
                }
            }
            EXPECT_TRUE(!is_seed(m.source2_match) || is_seed(m.source1_match)) << row(m);
        }

        EXPECT_EQ(counts["Initial"], n - p / 2);
        EXPECT_EQ(counts["Winners"], p / 2 - 1);
        EXPECT_EQ(counts["Losers minor"] + counts["Losers major"], n - 2);
        EXPECT_EQ(counts["Finals"], 1);
        EXPECT_EQ(counts["Finals rematch"], 1);
        for (std::int32_t seed = 1; seed <= n; ++seed) EXPECT_EQ(seed_refs[seed], 1) << "seed " << seed;

        // Winners move on exactly once; losers of the winners side drop exactly once, losers of the losers side
        // are out; the rematch takes the final's loser and winner, and nothing follows the rematch.
        for (const BracketMatch& m : bracket) {
            const bool winners_side = m.bracket_type == "Initial" || m.bracket_type == "Winners";
            const bool rematch = m.bracket_type == "Finals rematch";
            EXPECT_EQ(winner_refs[m.match], rematch ? 0 : 1) << row(m);
            EXPECT_EQ(loser_refs[m.match], winners_side || m.bracket_type == "Finals" ? 1 : 0) << row(m);
        }
        const BracketMatch& final_match = bracket[2 * n - 3];
        const BracketMatch& rematch = bracket[2 * n - 2];
        EXPECT_EQ(final_match.bracket_type, "Finals");
        EXPECT_EQ(rematch.bracket_type, "Finals rematch");
        EXPECT_EQ(row(rematch), std::to_string(2 * n - 1) + " " + std::to_string(rematch.round) + " Finals rematch L " +
                                    std::to_string(2 * n - 2) + " W " + std::to_string(2 * n - 2));
        EXPECT_EQ(rematch.round, final_match.round + 1);
    }
}

TEST(Bracket, EveryTeamButTheChampionIsOutAfterExactlyTwoLosses) {
    // Plays whole contests under three ways of picking winners.
    const auto better_seed = [](std::int32_t a, std::int32_t b, std::int32_t) { return std::min(a, b); };
    const auto worse_seed = [](std::int32_t a, std::int32_t b, std::int32_t) { return std::max(a, b); };
    const auto scrambled = [](std::int32_t a, std::int32_t b, std::int32_t m) {
        return (a * 7 + b * 3 + m) % 2 ? a : b;
    };
    for (std::int32_t n = 2; n <= 500; ++n) {
        SCOPED_TRACE("n = " + std::to_string(n));
        for (const auto& pick : std::vector<std::function<std::int32_t(std::int32_t, std::int32_t, std::int32_t)>>{
                 better_seed, worse_seed, scrambled}) {
            std::vector<std::int32_t> losses(n + 1), winner(2 * n), loser(2 * n);
            std::int32_t champion = 0;
            for (const BracketMatch& m : generate_bracket(n)) {
                const auto team = [&](std::int32_t value, std::int32_t flag) {
                    return is_seed(value) ? value - 1000 : flag ? winner[value] : loser[value];
                };
                const std::int32_t t1 = team(m.source1_match, m.source1_winner);
                const std::int32_t t2 = team(m.source2_match, m.source2_winner);
                ASSERT_TRUE(t1 >= 1 && t2 >= 1 && t1 != t2) << row(m);
                // The rematch is played only when the losers-bracket champion wins the final.
                if (m.bracket_type == "Finals rematch" && losses[t1] == 2) break;
                // Winners-side teams are unbeaten, losers-side teams have lost once; the final pits one of each.
                const bool winners_side = m.bracket_type == "Initial" || m.bracket_type == "Winners";
                EXPECT_EQ(losses[t1], winners_side || m.bracket_type == "Finals" ? 0 : 1) << row(m);
                EXPECT_EQ(losses[t2], winners_side ? 0 : 1) << row(m);
                winner[m.match] = pick(t1, t2, m.match);
                loser[m.match] = winner[m.match] == t1 ? t2 : t1;
                ++losses[loser[m.match]];
                champion = winner[m.match];
            }
            for (std::int32_t seed = 1; seed <= n; ++seed)
                if (seed == champion)
                    EXPECT_LE(losses[seed], 1);
                else
                    EXPECT_EQ(losses[seed], 2) << "seed " << seed;
        }
    }
}
