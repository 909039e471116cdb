#include "tests/support/match_setup.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "shell/text.h"
#include "store/statement.h"
#include "tests/support/contest_fixture.h"
#include "tournament/match_sheet.h"

void add_teams(int n, int chairs) {
    for (int k = 1; k <= n; ++k) {
        const std::string id = std::to_string(k);
        exec_sql("INSERT INTO teams (id, name, coach, seed) VALUES (" + id + ", 'Team " + id + "', 'Coach " + id +
                 "', " + id + ");");
        for (int c = 1; c <= chairs; ++c)
            exec_sql("INSERT INTO contestants (team_id, name, chair) VALUES (" + id + ", 'P" + id + "." +
                     std::to_string(c) + "', " + std::to_string(c) + ");");
    }
}

std::vector<BracketRow> example_bracket(int teams) {
    constexpr int seed = 1000;
    switch (teams) {
        case 2:
            return {{1, 1, "Initial", seed + 1, 0, seed + 2, 0},
                    {2, 2, "Finals", 1, 1, 1, 0},
                    {3, 3, "Finals rematch", 2, 0, 2, 1}};
        case 4:
            return {{1, 1, "Initial", seed + 1, 0, seed + 4, 0},
                    {2, 1, "Initial", seed + 2, 0, seed + 3, 0},
                    {3, 2, "Winners", 1, 1, 2, 1},
                    {4, 2, "Losers minor", 1, 0, 2, 0},
                    {5, 3, "Losers major", 3, 0, 4, 1},
                    {6, 4, "Finals", 3, 1, 5, 1},
                    {7, 5, "Finals rematch", 6, 0, 6, 1}};
        case 5:
            return {{1, 1, "Initial", seed + 4, 0, seed + 5, 0},
                    {2, 2, "Winners", seed + 1, 0, 1, 1},
                    {3, 2, "Winners", seed + 2, 0, seed + 3, 0},
                    {4, 3, "Losers major", 3, 0, 1, 0},
                    {5, 4, "Winners", 2, 1, 3, 1},
                    {6, 4, "Losers minor", 4, 1, 2, 0},
                    {7, 5, "Losers major", 5, 0, 6, 1},
                    {8, 6, "Finals", 5, 1, 7, 1},
                    {9, 7, "Finals rematch", 8, 0, 8, 1}};
        default:
            return {{1, 1, "Initial", seed + 1, 0, seed + 8, 0},
                    {2, 1, "Initial", seed + 4, 0, seed + 5, 0},
                    {3, 1, "Initial", seed + 2, 0, seed + 7, 0},
                    {4, 1, "Initial", seed + 3, 0, seed + 6, 0},
                    {5, 2, "Winners", 1, 1, 2, 1},
                    {6, 2, "Winners", 3, 1, 4, 1},
                    {7, 2, "Losers minor", 1, 0, 2, 0},
                    {8, 2, "Losers minor", 3, 0, 4, 0},
                    {9, 3, "Losers major", 6, 0, 7, 1},
                    {10, 3, "Losers major", 5, 0, 8, 1},
                    {11, 4, "Winners", 5, 1, 6, 1},
                    {12, 4, "Losers minor", 9, 1, 10, 1},
                    {13, 5, "Losers major", 11, 0, 12, 1},
                    {14, 6, "Finals", 11, 1, 13, 1},
                    {15, 7, "Finals rematch", 14, 0, 14, 1}};
    }
}

void store_bracket(const std::vector<BracketRow>& rows) {
    for (const auto& row : rows) {
        Statement bracket("INSERT INTO bracket_structure VALUES (?, ?, ?, ?, ?, ?, ?);");
        sqlite3_bind_int(bracket.stmt, 1, row.match);
        sqlite3_bind_int(bracket.stmt, 2, row.round);
        sqlite3_bind_text(bracket.stmt, 3, row.type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(bracket.stmt, 4, row.source1_match);
        sqlite3_bind_int(bracket.stmt, 5, row.source1_winner);
        sqlite3_bind_int(bracket.stmt, 6, row.source2_match);
        sqlite3_bind_int(bracket.stmt, 7, row.source2_winner);
        EXPECT_TRUE(bracket.execute());
        // Team ids equal seeds in these tests.
        Statement result("INSERT INTO match_results (match, team1_id, team2_id) VALUES (?, ?, ?);");
        sqlite3_bind_int(result.stmt, 1, row.match);
        if (row.source1_match > 1000) sqlite3_bind_int(result.stmt, 2, row.source1_match - 1000);
        if (row.source2_match > 1000) sqlite3_bind_int(result.stmt, 3, row.source2_match - 1000);
        EXPECT_TRUE(result.execute());
    }
    exec_sql("UPDATE contest SET has_started = 1;");
}

std::vector<std::string> blank_sheet(int match) {
    std::vector<std::string> fields(saved_sheet_fields);
    fields[0] = std::to_string(match);
    return fields;
}

std::string join_fields(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? std::string(1, field_separator) : "") + fields[i];
    return text;
}

std::string scored_sheet(int match, int red_total, int white_total) {
    auto fields = blank_sheet(match);
    for (std::size_t column = 0; column < 12; ++column) fields[subtotal_cell + column + 1] = "0";
    fields[red_total_cell + 1] = std::to_string(red_total);
    fields[white_total_cell + 1] = std::to_string(white_total);
    return join_fields(fields);
}

namespace {

std::string unescape(std::string_view text) {
    static const std::pair<std::string_view, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    std::string plain;
    for (std::size_t i = 0; i < text.size();) {
        const auto* entity = std::find_if(std::begin(entities), std::end(entities),
                                          [&](const auto& e) { return text.substr(i, e.first.size()) == e.first; });
        if (entity == std::end(entities)) {
            plain += text[i++];
        } else {
            plain += entity->second;
            i += entity->first.size();
        }
    }
    return plain;
}

}  // namespace

std::vector<std::string> read_cells(std::string_view html) {
    std::vector<std::string> cells;
    for (std::size_t at = 0; (at = html.find("<td", at)) != std::string_view::npos;) {
        const std::size_t open = html.find('>', at) + 1;
        const std::size_t close = html.find("</td>", open);
        cells.push_back(unescape(html.substr(open, close - open)));
        at = close;
    }
    return cells;
}
