#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A source value above this names the seed (value - seed_source_base); one up to it names a match.
inline constexpr std::int32_t seed_source_base = 1000;

// Match numbers run up to 2N - 1 and must stay at or below seed_source_base, so no bracket holds more teams.
inline constexpr std::int32_t max_bracket_teams = 500;

// One match of the bracket, as stored in a bracket_structure row. A winner flag of 1 takes the winner of
// the source match, 0 its loser (seed sources always carry 0).
struct BracketMatch {
    std::int32_t match = 0;
    std::int32_t round = 0;
    std::string bracket_type;
    std::int32_t source1_match = 0;
    std::int32_t source1_winner = 0;
    std::int32_t source2_match = 0;
    std::int32_t source2_winner = 0;
};

// The seed of every first-round slot, 0 where a seed has a bye.
std::vector<std::int32_t> seeding_order(std::int32_t n);

// The double-elimination bracket of n teams in match-number order; empty unless 2 <= n <= max_bracket_teams.
std::vector<BracketMatch> generate_bracket(std::int32_t n);
