#include "registration/team.h"

#include <sqlite3.h>

#include "store/statement.h"

std::int32_t count_teams() {
    Statement statement("SELECT COUNT(*) FROM teams;");
    return sqlite3_step(statement.stmt) == SQLITE_ROW ? sqlite3_column_int(statement.stmt, 0) : 0;
}

std::vector<std::int32_t> fetch_team_ids_by_seed() {
    Statement statement("SELECT id FROM teams ORDER BY seed;");
    std::vector<std::int32_t> ids;
    while (sqlite3_step(statement.stmt) == SQLITE_ROW) ids.push_back(sqlite3_column_int(statement.stmt, 0));
    return ids;
}
