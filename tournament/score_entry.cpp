#include "tournament/score_entry.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <vector>

#include "store/statement.h"
#include "store/transaction.h"
#include "text/text.h"
#include "tournament/match_sheet.h"

namespace {

constexpr std::int32_t not_a_number = -999;

// The saved sheet text, read field by field; a field beyond its end reads as not a number, so a short text
// is refused with a conversion sentence before anything is written.
class SheetFields {
public:
    explicit SheetFields(std::string_view text) : fields_(split_fields(text)) {}

    std::int32_t match() const { return field(0); }
    std::int32_t cell(std::size_t k) const { return field(k + 1); }

private:
    std::int32_t field(std::size_t i) const { return i < fields_.size() ? to_int(fields_[i]) : not_a_number; }

    std::vector<std::string_view> fields_;
};

// Where a team goes next: a match number (0 for none) and whether it takes the team 1 slot there.
struct NextMatch {
    std::int32_t match = 0;
    bool team1_slot = false;
};

NextMatch find_next_match(std::int32_t match, bool winner) {
    {
        Statement by_source1(
            winner ? "SELECT match FROM bracket_structure WHERE source1_match = ? AND source1_winner = 1;"
                   : "SELECT match FROM bracket_structure WHERE source1_match = ? AND source1_winner = 0;");
        sqlite3_bind_int(by_source1.stmt, 1, match);
        if (sqlite3_step(by_source1.stmt) == SQLITE_ROW) return {sqlite3_column_int(by_source1.stmt, 0), true};
    }
    Statement by_source2(winner
                             ? "SELECT match FROM bracket_structure WHERE source2_match = ? AND source2_winner = 1;"
                             : "SELECT match FROM bracket_structure WHERE source2_match = ? AND source2_winner = 0;");
    sqlite3_bind_int(by_source2.stmt, 1, match);
    const bool found = sqlite3_step(by_source2.stmt) == SQLITE_ROW;
    return {found ? sqlite3_column_int(by_source2.stmt, 0) : 0, false};
}

// A next match of 0 names no row, so the update changes nothing and still completes.
bool move_team(std::int32_t team, const NextMatch& next) {
    Statement move(next.team1_slot ? "UPDATE match_results SET team1_id = ? WHERE match = ?;"
                                   : "UPDATE match_results SET team2_id = ? WHERE match = ?;");
    sqlite3_bind_int(move.stmt, 1, team);
    sqlite3_bind_int(move.stmt, 2, next.match);
    return move.execute();
}

// One row of a statement prepared once for several rows.
bool insert_row(Statement& insert, const std::array<std::int32_t, 4>& values) {
    sqlite3_reset(insert.stmt);
    insert.clear_bindings();
    for (int i = 0; i < 4; ++i) sqlite3_bind_int(insert.stmt, i + 1, values[i]);
    return insert.execute();
}

// Chair c's subtotal stands in column 5 - c on the red side and 6 + c on the white side.
std::string save_contestant_scores(const SheetFields& sheet, std::int32_t match, std::int32_t team, bool red) {
    Statement insert(
        "INSERT INTO contestant_scores (match, contestant_id, score) SELECT ?, id, ? FROM contestants WHERE "
        "team_id = ? AND chair = ?;");
    for (int chair = 1; chair <= 5; ++chair) {
        const std::int32_t score = sheet.cell(subtotal_cell + (red ? 5 - chair : 6 + chair));
        if (score == not_a_number) return "ERROR:A contestant score could not be converted to a number.";
        if (!insert_row(insert, {match, score, team, chair})) return "ERROR:A contestant score could not be saved.";
    }
    return "";
}

}  // namespace

std::string load_match(std::string_view args) {
    // A cell holding a NUL would be stored whole but read back cut short at it.
    if (args.find('\0') != std::string_view::npos) return "ERROR:The match results could not be saved.";
    const SheetFields sheet(args);
    const std::int32_t match = sheet.match();
    if (match == not_a_number) return "ERROR:The id for the match could not be converted to a number.";

    std::int32_t team1 = 0;
    std::int32_t team2 = 0;
    {
        Statement lookup("SELECT team1_id, team2_id FROM match_results WHERE match = ?;");
        sqlite3_bind_int(lookup.stmt, 1, match);
        if (sqlite3_step(lookup.stmt) == SQLITE_ROW) {
            team1 = sqlite3_column_int(lookup.stmt, 0);
            team2 = sqlite3_column_int(lookup.stmt, 1);
        }
    }

    const std::int32_t red_bonus = sheet.cell(subtotal_cell + 5);
    const std::int32_t white_bonus = sheet.cell(subtotal_cell + 6);
    const std::int32_t red_total = sheet.cell(red_total_cell);
    const std::int32_t white_total = sheet.cell(white_total_cell);
    for (const std::int32_t value : {red_bonus, white_bonus, red_total, white_total})
        if (value == not_a_number) return "ERROR:A team score could not be converted to a number.";

    // Equal totals go to the tie-break, and equal tie-breaks to team 2.
    bool team1_wins = red_total > white_total;
    if (red_total == white_total) {
        const std::int32_t red_tie_break = sheet.cell(red_tie_break_total_cell);
        const std::int32_t white_tie_break = sheet.cell(white_tie_break_total_cell);
        if (red_tie_break == not_a_number || white_tie_break == not_a_number)
            return "ERROR:A team score could not be converted to a number.";
        team1_wins = red_tie_break > white_tie_break;
    }
    const std::int32_t winner = team1_wins ? team1 : team2;
    const std::int32_t loser = team1_wins ? team2 : team1;

    Transaction transaction;
    {
        // A second save of the same match breaks the key here, and so does a match without both teams.
        Statement insert("INSERT INTO team_scores (match, team_id, bonus_score, score) VALUES (?, ?, ?, ?);");
        if (!insert_row(insert, {match, team1, red_bonus, red_total}) ||
            !insert_row(insert, {match, team2, white_bonus, white_total}))
            return "ERROR:A team score could not be saved.";
    }
    for (const bool red : {true, false}) {
        const std::string failure = save_contestant_scores(sheet, match, red ? team1 : team2, red);
        if (!failure.empty()) return failure;
    }
    {
        Statement result(
            "UPDATE match_results SET team1_id = ?, team2_id = ?, winner_id = ?, data = ? WHERE match = ?;");
        sqlite3_bind_int(result.stmt, 1, team1);
        sqlite3_bind_int(result.stmt, 2, team2);
        sqlite3_bind_int(result.stmt, 3, winner);
        sqlite3_bind_text64(result.stmt, 4, args.data(), args.size(), SQLITE_STATIC, SQLITE_UTF8);
        sqlite3_bind_int(result.stmt, 5, match);
        if (!result.execute()) return "ERROR:The match results could not be saved.";
    }

    const NextMatch loser_next = find_next_match(match, false);
    const NextMatch winner_next = find_next_match(match, true);
    if (!move_team(loser, loser_next) || !move_team(winner, winner_next))
        return "ERROR:The match results could not be saved.";

    // The winners-bracket champion has won the final: the rematch, numbered one above it, is not played.
    bool final_won_by_team1 = false;
    {
        Statement final_test(
            "SELECT winner_id = team1_id FROM match_results WHERE match = (SELECT match FROM bracket_structure WHERE "
            "bracket_type = 'Finals');");
        final_won_by_team1 = sqlite3_step(final_test.stmt) == SQLITE_ROW && sqlite3_column_int(final_test.stmt, 0) == 1;
    }
    if (final_won_by_team1) {
        Statement remove("DELETE FROM match_results WHERE match = ?;");
        sqlite3_bind_int(remove.stmt, 1, match + 1);
        if (!remove.execute()) return "ERROR:The match results could not be saved.";
    }

    if (!transaction.commit()) return "ERROR:The match results could not be saved.";
    return "";
}
