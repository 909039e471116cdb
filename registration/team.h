#pragma once

#include <cstdint>
#include <vector>

std::int32_t count_teams();

// Team ids in ascending seed order.
std::vector<std::int32_t> fetch_team_ids_by_seed();
