#pragma once

#include <string>

// Nine fields per ranked team: rank, name, coach, round reached, losses, last, average, best and best-two
// scores; the empty text when no team stands in a match.
std::string fetch_team_rankings();

// A head record, then seven fields per ranked contestant; the best three scores count with six or more
// teams, the best two below that.
std::string fetch_contestant_rankings();
