#include "tournament/bracket_listing.h"

#include <sqlite3.h>

#include "store/statement.h"
#include "text/text.h"
#include "tournament/contest_start.h"

namespace {

// "S 3" for a seed, "W 12" or "L 12" for the winner or loser of a match.
std::string source_text(std::int32_t value, std::int32_t winner) {
    if (value > seed_source_base) return "S " + std::to_string(value - seed_source_base);
    return (winner != 0 ? "W " : "L ") + std::to_string(value);
}

void append_record(std::string& listing, const BracketMatch& match, const std::string& team1, const std::string& team2,
                   const std::string& winner) {
    if (!listing.empty()) listing += field_separator;
    for (const std::string& field : {std::to_string(match.match), std::to_string(match.round), match.bracket_type,
                                     source_text(match.source1_match, match.source1_winner),
                                     source_text(match.source2_match, match.source2_winner), team1, team2}) {
        listing += field;
        listing += field_separator;
    }
    listing += winner;
}

// The name of the team that plays as a seed source, by its position in seed order; empty for a match source.
std::string seeded_name(const std::vector<std::string>& names, std::int32_t source) {
    if (source <= seed_source_base) return {};
    const auto position = static_cast<std::size_t>(source - seed_source_base - 1);
    return position < names.size() ? names[position] : std::string();
}

}  // namespace

std::string fetch_brackets() {
    // Only the exact answer "false" selects the preview, computed afresh from the teams in seed order.
    if (contest_has_started() != "false") return fetch_stored_brackets();
    const std::vector<std::string> names = fetch_team_names_by_seed();
    return format_bracket_preview(generate_bracket(static_cast<std::int32_t>(names.size())), names);
}

std::string format_bracket_preview(const std::vector<BracketMatch>& bracket, const std::vector<std::string>& names) {
    std::string listing;
    for (const BracketMatch& match : bracket)
        append_record(listing, match, seeded_name(names, match.source1_match), seeded_name(names, match.source2_match),
                      "");
    return listing;
}

std::string fetch_stored_brackets() {
    Statement statement(
        "SELECT bs.match, bs.round, bs.bracket_type, bs.source1_match, bs.source1_winner, bs.source2_match, "
        "bs.source2_winner, t1.name AS team1_name, t2.name AS team2_name, tw.name AS winner_name "
        "FROM bracket_structure bs LEFT JOIN match_results mr ON bs.match = mr.match LEFT JOIN teams t1 ON "
        "mr.team1_id = t1.id LEFT JOIN teams t2 ON mr.team2_id = t2.id LEFT JOIN teams tw ON mr.winner_id = tw.id "
        "ORDER BY bs.match;");
    std::string listing;
    while (sqlite3_step(statement.stmt) == SQLITE_ROW) {
        sqlite3_stmt* row = statement.stmt;
        const BracketMatch match{sqlite3_column_int(row, 0), sqlite3_column_int(row, 1), statement.column_text(2),
                                 sqlite3_column_int(row, 3), sqlite3_column_int(row, 4), sqlite3_column_int(row, 5),
                                 sqlite3_column_int(row, 6)};
        append_record(listing, match, statement.column_text(7), statement.column_text(8), statement.column_text(9));
    }
    return listing;
}
