#include "registration/team.h"

#include <sqlite3.h>

#include <limits>

#include "registration/records.h"
#include "store/statement.h"
#include "text/text.h"

namespace {

const std::string team_not_saved = "ERROR:This team data could not be saved.";

// One above the highest seed, 1 for the first team; 0, which the schema refuses, when no 32-bit seed is left.
std::int32_t next_free_seed() {
    Statement statement("SELECT MAX(seed) FROM teams;");
    if (sqlite3_step(statement.stmt) != SQLITE_ROW || sqlite3_column_type(statement.stmt, 0) == SQLITE_NULL) return 1;
    const sqlite3_int64 highest = sqlite3_column_int64(statement.stmt, 0);
    return highest < std::numeric_limits<std::int32_t>::max() ? static_cast<std::int32_t>(highest + 1) : 0;
}

void bind_team(Statement& statement, std::string_view name, std::string_view coach, std::int32_t seed) {
    bind_text(statement, 1, name);
    // An empty coach field means the team has no coach.
    if (coach.empty())
        sqlite3_bind_null(statement.stmt, 2);
    else
        bind_text(statement, 2, coach);
    sqlite3_bind_int(statement.stmt, 3, seed);
}

}  // namespace

std::string save_team(std::string_view team) {
    const std::vector<std::string_view> fields = split_fields(team);
    // A name or coach holding the separator splits into more fields; stored, it would break every later list. One
    // holding a NUL would read back cut short at it, and so look like another team's.
    if (fields.size() != 4 || team.find('\0') != std::string_view::npos) return team_not_saved;
    if (fields[0] == record_id_none) {
        const std::int32_t seed = fields[3].empty() ? next_free_seed() : to_int(fields[3]);
        Statement statement("INSERT INTO teams (name, coach, seed) VALUES (?, ?, ?);");
        bind_team(statement, fields[1], fields[2], seed);
        return statement.execute() ? "" : team_not_saved;
    }
    Statement statement("UPDATE teams SET name = ?, coach = ?, seed = ? WHERE id = ?;");
    bind_team(statement, fields[1], fields[2], to_int(fields[3]));
    sqlite3_bind_int(statement.stmt, 4, to_int(fields[0]));
    // An id of no team saves nothing, and is told so.
    return statement.execute() && statement.changes > 0 ? "" : team_not_saved;
}

std::string fetch_teams() { return fetch_records("SELECT id, name, coach, seed FROM teams ORDER BY seed ASC;", 4); }

std::string delete_team(std::string_view id) {
    return delete_record(id, "DELETE FROM teams WHERE id = ?;", "ERROR:This team could not be deleted.");
}

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
