#include "tournament/contest_start.h"

#include <sqlite3.h>

#include "registration/team.h"
#include "store/statement.h"
#include "store/transaction.h"
#include "tournament/bracket.h"

namespace {

// Column 0 of the first row as an integer; NULL or no row reads as 0.
std::int32_t single_value(const char* sql) {
    Statement statement(sql);
    return sqlite3_step(statement.stmt) == SQLITE_ROW ? sqlite3_column_int(statement.stmt, 0) : 0;
}

// Completes one step of a batch statement and readies it for the next row.
bool execute_row(Statement& statement) {
    if (!statement.execute()) return false;
    sqlite3_reset(statement.stmt);
    return statement.clear_bindings();
}

// The id of the team a seed source names, 0 when the source is a match.
std::int32_t seeded_team(const std::vector<std::int32_t>& ids, std::int32_t source) {
    return source > seed_source_base ? ids[source - seed_source_base - 1] : 0;
}

}  // namespace

std::string start_contest() {
    const std::vector<std::int32_t> ids = fetch_team_ids_by_seed();
    const auto n = static_cast<std::int32_t>(ids.size());
    if (n < 2) return "ERROR:There must be at least two teams.";
    // Checked before anything is written: a larger bracket cannot be stored.
    if (n > max_bracket_teams) return "ERROR:There can be at most 500 teams.";
    if (fetch_max_seed() != n) return "ERROR:A team seed is higher than the number of teams.";
    if (check_enough_contestants() == 0) return "ERROR:There must be at least four contestants per team.";
    if (check_all_chairs_valid() == 0) return "ERROR:A contestant chair is higher than the number of contestants.";

    const std::vector<BracketMatch> bracket = generate_bracket(n);
    Transaction transaction;
    Statement insert_match(
        "INSERT INTO bracket_structure (match, round, bracket_type, source1_match, source1_winner, source2_match, "
        "source2_winner) VALUES (?, ?, ?, ?, ?, ?, ?);");
    Statement insert_teams("INSERT INTO match_results (match, team1_id, team2_id) VALUES (?, ?, ?);");
    for (const BracketMatch& match : bracket) {
        sqlite3_bind_int(insert_match.stmt, 1, match.match);
        sqlite3_bind_int(insert_match.stmt, 2, match.round);
        sqlite3_bind_text(insert_match.stmt, 3, match.bracket_type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert_match.stmt, 4, match.source1_match);
        sqlite3_bind_int(insert_match.stmt, 5, match.source1_winner);
        sqlite3_bind_int(insert_match.stmt, 6, match.source2_match);
        sqlite3_bind_int(insert_match.stmt, 7, match.source2_winner);
        if (!execute_row(insert_match)) return "ERROR:The brackets could not be saved.";

        // Unbound parameters stay NULL: a match that names no seed starts without teams.
        const std::int32_t team1 = seeded_team(ids, match.source1_match);
        const std::int32_t team2 = seeded_team(ids, match.source2_match);
        sqlite3_bind_int(insert_teams.stmt, 1, match.match);
        if (team1 >= 1) {
            sqlite3_bind_int(insert_teams.stmt, 2, team1);
            if (team2 >= 1) sqlite3_bind_int(insert_teams.stmt, 3, team2);
        }
        if (!execute_row(insert_teams)) return "ERROR:A match team could not be saved.";
    }

    Statement mark_started("UPDATE contest SET has_started = ? WHERE id = ?;");
    sqlite3_bind_int(mark_started.stmt, 1, 1);
    sqlite3_bind_int(mark_started.stmt, 2, 1);
    if (!mark_started.execute()) return "ERROR:The contest could not be started.";
    if (!transaction.commit()) return "ERROR:The contest could not be started.";
    return "";
}

std::string contest_has_started() { return single_value("SELECT has_started FROM contest;") == 1 ? "true" : "false"; }

std::vector<std::string> fetch_team_names_by_seed() {
    Statement statement("SELECT name FROM teams ORDER BY seed;");
    std::vector<std::string> names;
    while (sqlite3_step(statement.stmt) == SQLITE_ROW) names.push_back(statement.column_text(0));
    return names;
}

std::int32_t fetch_max_seed() { return single_value("SELECT MAX(seed) FROM teams;"); }

std::int32_t check_enough_contestants() {
    return single_value(
        "SELECT COUNT(*) = (SELECT COUNT(*) FROM teams) AS enough_contestants FROM (SELECT team_id FROM contestants "
        "GROUP BY team_id HAVING COUNT(*) >= 4);");
}

std::int32_t check_all_chairs_valid() {
    return single_value(
        "SELECT COUNT(*) = 0 AS all_chairs_valid FROM (SELECT team_id FROM contestants GROUP BY team_id HAVING "
        "COUNT(*) != MAX(chair));");
}
