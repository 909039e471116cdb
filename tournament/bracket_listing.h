#pragma once

#include <string>
#include <vector>

#include "tournament/bracket.h"

// The bracket screen's listing: before the start a preview of the current teams, afterwards the stored bracket.
std::string fetch_brackets();

// The listing of a bracket not stored yet: eight fields per match, the team names taken by position from
// names (team names in seed order), no winners.
std::string format_bracket_preview(const std::vector<BracketMatch>& bracket, const std::vector<std::string>& names);

// The listing of the bracket stored at the start, with the teams and winners recorded so far.
std::string fetch_stored_brackets();
