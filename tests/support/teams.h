#pragma once

#include <string>

#include "tests/support/contest_fixture.h"

// Stores teams "Team 1" to "Team n" seeded 1 to n in a contest without teams, with ids that differ from their
// seeds and run the other way (seed k gets id 100 + n - k), each with contestants in chairs 1 to `contestants`.
inline void add_teams(int n, int contestants = 4) {
    const std::string count = std::to_string(n);
    exec_sql(
        "INSERT INTO teams (id, name, seed) WITH RECURSIVE s(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM s "
        "WHERE k < " +
        count + ") SELECT 100 + " + count + " - k, 'Team ' || k, k FROM s;");
    if (contestants < 1) return;
    exec_sql(
        "INSERT INTO contestants (team_id, name, chair) WITH RECURSIVE c(chair) AS (SELECT 1 UNION ALL SELECT "
        "chair + 1 FROM c WHERE chair < " +
        std::to_string(contestants) + ") SELECT t.id, t.name || ' chair ' || c.chair, c.chair FROM teams t, c;");
}
