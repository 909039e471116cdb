#include "tests/support/match_setup.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "store/statement.h"
#include "tests/support/contest_fixture.h"
#include "text/text.h"
#include "tournament/match_sheet.h"

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
        Statement result(
            "INSERT INTO match_results (match, team1_id, team2_id) VALUES (?1, (SELECT id FROM teams WHERE seed = "
            "?2 - 1000), (SELECT id FROM teams WHERE seed = ?3 - 1000));");
        sqlite3_bind_int(result.stmt, 1, row.match);
        sqlite3_bind_int(result.stmt, 2, row.source1_match);
        sqlite3_bind_int(result.stmt, 3, row.source2_match);
        EXPECT_TRUE(result.execute());
    }
    exec_sql("UPDATE contest SET has_started = 1;");
}

std::vector<std::string> blank_sheet(int match) {
    std::vector<std::string> fields(saved_sheet_fields);
    fields[0] = std::to_string(match);
    return fields;
}

std::string scored_sheet(int match, int red_total, int white_total) {
    auto fields = blank_sheet(match);
    for (std::size_t column = 0; column < 12; ++column) fields[subtotal_cell + column + 1].assign(1, '0');
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
