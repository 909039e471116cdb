#include "tournament/match_flow.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "store/statement.h"
#include "text/text.h"
#include "tournament/match_sheet.h"

namespace {

// Column 0 is the match number or the saved sheet text; the other 14 fill the sheet's head. Team 2 may be
// missing, team 1 may not.
std::string sheet_query(std::string_view column0, std::string_view condition) {
    std::string sql = "SELECT ";
    sql += column0;
    sql += ", t1.name AS team1_name, t1.coach AS team1_coach, t2.name AS team2_name, t2.coach AS team2_coach";
    for (const auto& [team, chairs] : {std::pair{'1', "54321"}, std::pair{'2', "12345"}}) {
        for (const char* chair = chairs; *chair; ++chair) {
            sql += ", (SELECT name FROM contestants WHERE team_id = mr.team";
            sql += team;
            sql += "_id AND chair = ";
            sql += *chair;
            sql += ") AS team";
            sql += team;
            sql += "_chair";
            sql += *chair;
        }
    }
    sql += " FROM match_results mr JOIN teams t1 ON mr.team1_id = t1.id LEFT JOIN teams t2 ON mr.team2_id = t2.id ";
    sql += condition;
    return sql;
}

const std::string next_match_query =
    sheet_query("mr.match", "WHERE mr.match = (SELECT MIN(match) FROM match_results WHERE winner_id IS NULL);");
const std::string completed_match_query = sheet_query("mr.data", "WHERE mr.match = ?;");
const std::string future_matches_query = sheet_query(
    "mr.match",
    "WHERE mr.winner_id IS NULL AND mr.team1_id IS NOT NULL AND mr.team2_id IS NOT NULL AND mr.match > (SELECT "
    "MIN(match) FROM match_results WHERE winner_id IS NULL) ORDER BY mr.match ASC;");

constexpr int sheet_columns = 15;

struct SheetRow {
    std::array<std::string, sheet_columns> columns;

    explicit SheetRow(Statement& statement) {
        for (int col = 0; col < sheet_columns; ++col) columns[col] = statement.column_text(col);
    }

    // The sheet's 16 header values: the match number stands in the id and in the "Match" cell.
    std::array<std::string_view, sheet_header_values> header(std::string_view match) const {
        std::array<std::string_view, sheet_header_values> values;
        values[0] = values[3] = match;
        values[1] = columns[1];
        values[2] = columns[2];
        values[4] = columns[3];
        values[5] = columns[4];
        std::copy(columns.begin() + 5, columns.end(), values.begin() + 6);
        return values;
    }
};

void append_empty_sheet(std::string& out, Statement& statement) {
    const SheetRow row(statement);
    append_match_sheet(out, row.header(row.columns[0]), {});
}

}  // namespace

std::string fetch_next_match() {
    Statement statement(next_match_query);
    std::string sheet;
    if (sqlite3_step(statement.stmt) == SQLITE_ROW) append_empty_sheet(sheet, statement);
    return sheet;
}

std::string fetch_completed_match(std::string_view args) {
    Statement statement(completed_match_query);
    const std::int32_t match = to_int(args);
    if (match == -999) return "ERROR:The id for a completed match could not be converted to a number.";
    sqlite3_bind_int(statement.stmt, 1, match);
    if (sqlite3_step(statement.stmt) != SQLITE_ROW) return "ERROR:A completed match could not be found.";

    const SheetRow row(statement);
    // The cells are views into the stored text; a shorter text leaves the missing cells empty.
    const std::vector<std::string_view> fields = split_fields(row.columns[0]);
    const auto cells = fields.empty() ? std::span<const std::string_view>{} : std::span(fields).subspan(1);
    std::string sheet;
    append_match_sheet(sheet, row.header(args), cells);
    return sheet;
}

std::string fetch_future_matches() {
    Statement statement(future_matches_query);
    std::string sheets;
    while (sqlite3_step(statement.stmt) == SQLITE_ROW) append_empty_sheet(sheets, statement);
    return sheets;
}

std::string n_completed_matches() {
    Statement statement("SELECT count(*) FROM match_results WHERE winner_id IS NOT NULL;");
    sqlite3_step(statement.stmt);
    return statement.column_text(0);
}
