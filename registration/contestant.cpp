#include "registration/contestant.h"

#include <sqlite3.h>

#include <vector>

#include "registration/records.h"
#include "store/statement.h"
#include "text/text.h"

std::string save_contestant(std::string_view contestant) {
    const std::string not_saved = "ERROR:This contestant data could not be saved.";
    const std::vector<std::string_view> fields = split_fields(contestant);
    // A name holding the separator splits into more fields; stored, it would break every later list. One holding a
    // NUL would read back cut short at it.
    if (fields.size() != 4 || contestant.find('\0') != std::string_view::npos) return not_saved;
    const bool is_new = fields[0] == record_id_none;
    Statement statement(is_new ? "INSERT INTO contestants (team_id, name, chair) VALUES (?, ?, ?);"
                               : "UPDATE contestants SET team_id = ?, name = ?, chair = ? WHERE id = ?;");
    sqlite3_bind_int(statement.stmt, 1, to_int(fields[1]));
    bind_text(statement, 2, fields[2]);
    sqlite3_bind_int(statement.stmt, 3, to_int(fields[3]));
    if (!is_new) sqlite3_bind_int(statement.stmt, 4, to_int(fields[0]));
    // An id of no contestant saves nothing, and is told so.
    return statement.execute() && statement.changes > 0 ? "" : not_saved;
}

std::string fetch_contestants() {
    return fetch_records(
        "SELECT contestants.id, teams.name AS team_name, contestants.name, contestants.chair FROM contestants JOIN "
        "teams ON contestants.team_id = teams.id ORDER BY contestants.id DESC;",
        4);
}

std::string fetch_contestant_counts() {
    return fetch_records(
        "SELECT teams.name AS team, COUNT(contestants.id) AS count FROM teams LEFT JOIN contestants ON teams.id = "
        "contestants.team_id GROUP BY teams.id ORDER BY MAX(contestants.id) DESC;",
        2);
}

std::string delete_contestant(std::string_view id) {
    return delete_record(id, "DELETE FROM contestants WHERE id = ?;", "ERROR:This contestant could not be deleted.");
}
