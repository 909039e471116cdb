#pragma once

#include <string>
#include <string_view>
#include <vector>

// One bracket_structure row; a source above 1000 names a seed.
struct BracketRow {
    int match;
    int round;
    std::string type;
    int source1_match, source1_winner, source2_match, source2_winner;
};

// Stores a bracket of our own, places the seeded teams as a start does and marks the contest as started.
void store_bracket(const std::vector<BracketRow>& rows);

// The 537 fields of a saved sheet whose cells are all empty.
std::vector<std::string> blank_sheet(int match);

// A saved sheet with the two totals, every chair and bonus subtotal 0 and an empty tie-break.
std::string scored_sheet(int match, int red_total, int white_total);

// The texts of a rendered sheet's td elements in document order, with the escapes undone.
std::vector<std::string> read_cells(std::string_view html);
