#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Saves the team "id, name, coach, seed" (id "none" inserts; an empty seed on insert takes the next free one).
// Answers the empty text or "ERROR:This team data could not be saved.".
std::string save_team(std::string_view team);

// Every team as "id, name, coach, seed", in seed order.
std::string fetch_teams();

// Deletes the team with that id ("none" deletes nothing); answers the empty text or
// "ERROR:This team could not be deleted.".
std::string delete_team(std::string_view id);

std::int32_t count_teams();

// Team ids in ascending seed order.
std::vector<std::int32_t> fetch_team_ids_by_seed();
