#pragma once

#include <string>
#include <string_view>

// The empty sheet of the lowest-numbered match without a winner; the empty text when that match has no team 1
// yet or every match has a winner.
std::string fetch_next_match();

// The sheet of a saved match rebuilt from its saved sheet text; args is the match number.
std::string fetch_completed_match(std::string_view args);

// The empty sheets, one after another, of the later matches whose two teams are known.
std::string fetch_future_matches();

// How many matches have a winner, in decimal.
std::string n_completed_matches();
