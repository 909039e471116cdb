#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Checks the registration, then stores the whole bracket with the seeded teams placed and marks the contest
// started, all in one transaction; "" on success, otherwise an "ERROR:" sentence and nothing written.
std::string start_contest();

// "true" once the contest has started, otherwise "false".
std::string contest_has_started();

// Team names in seed order.
std::vector<std::string> fetch_team_names_by_seed();

// The highest seed, 0 without teams.
std::int32_t fetch_max_seed();

// 1 when every team has at least four contestants, else 0.
std::int32_t check_enough_contestants();

// 1 when every team's chairs are exactly 1 to its number of contestants, else 0.
std::int32_t check_all_chairs_valid();
