#include "tournament/match_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "tests/support/contest_fixture.h"
#include "tests/support/match_setup.h"
#include "text/text.h"

namespace {

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string render(std::span<const std::string_view> header, std::span<const std::string_view> cells) {
    std::string sheet;
    append_match_sheet(sheet, header, cells);
    return sheet;
}

}  // namespace

TEST(MatchSheet, TemplateHasItsFixedShape) {
    const auto& t = match_table_template;
    EXPECT_EQ(t.size(), 10051u);
    // 113 lines, no line feed at the end.
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 112);
    EXPECT_NE(t.back(), '\n');
    // 552 marks and no other brace.
    EXPECT_EQ(occurrences(t, "{}"), 552u);
    EXPECT_EQ(std::count(t.begin(), t.end(), '{') + std::count(t.begin(), t.end(), '}'), 2 * 552);
    // 102 gray score cells and 40 gray foot cells; one hidden table.
    EXPECT_EQ(occurrences(t, "gray"), 142u);
    EXPECT_EQ(occurrences(t, "<td class=\"gray\">"), 102u);
    EXPECT_EQ(occurrences(t, "hidden"), 1u);
    EXPECT_EQ(occurrences(t, "<td"), sheet_cells);
    EXPECT_TRUE(t.starts_with("<match-table id=\"match-{}\">\n<table>\n<thead>\n<tr class=\"pt8\">"));
    // Only gray foot cells and closing tags follow the last cell.
    std::string gray_cells;
    for (int i = 0; i < 5; ++i) gray_cells += "<th class=\"gray\"></th>";
    EXPECT_EQ(t.substr(t.rfind("</td>")), "</td>" + gray_cells + "</tr>\n</tfoot>\n</table>\n</match-table>");
}

TEST(MatchSheet, GrayRuleShadesTheClosedChairsOfTheMainTable) {
    const std::string sheet = render({}, {});
    // Row 1 opens chair 1 (columns 4 and 7) and keeps Alt and Bonus open.
    EXPECT_NE(sheet.find("<tr><td></td><td class=\"gray\"></td><td class=\"gray\"></td><td class=\"gray\"></td>"
                         "<td></td><td></td>\n<th>1</th><td></td><td></td><td class=\"gray\"></td>"
                         "<td class=\"gray\"></td><td class=\"gray\"></td><td></td></tr>"),
              std::string::npos);
    // Row 16 leaves only the two Bonus cells open; row 13 has no gray cell.
    const std::string g = "<td class=\"gray\"></td>";
    EXPECT_NE(sheet.find("<tr>" + g + g + g + g + g + "<td></td>\n<th>16</th><td></td>" + g + g + g + g + g + "</tr>"),
              std::string::npos);
    EXPECT_NE(sheet.find("\n<th>13</th><td></td><td></td><td></td><td></td><td></td><td></td></tr>"),
              std::string::npos);
    // The tie-break table has no gray score cell.
    const std::string tie_break = sheet.substr(sheet.find("<table class=\"hidden\">"));
    EXPECT_EQ(occurrences(tie_break, "<td class=\"gray\">"), 0u);
}

TEST(MatchSheet, RendersEveryValueInOrderExactlyOnce) {
    // Empty values leave a sheet of the template's length without marks.
    EXPECT_EQ(render({}, {}).size(), 8947u);

    const std::array<std::string_view, 16> header = {"7",  "Ash", "Ms Oak", "7",  "Birch", "",   "R5", "R4",
                                                     "R3", "R2",  "R1",     "W1", "W2",    "W3", "W4", ""};
    std::vector<std::string> texts(sheet_cells);
    std::vector<std::string_view> cells;
    for (std::size_t k = 0; k < sheet_cells; ++k) texts[k] = std::to_string(k);
    texts[3] = "{}";  // a value holding a mark is inserted as it is
    cells.assign(texts.begin(), texts.end());
    const std::string sheet = render(header, cells);
    std::size_t value_bytes = 0;
    for (auto v : header) value_bytes += v.size();
    for (auto v : cells) value_bytes += v.size();
    EXPECT_EQ(sheet.size(), 8947 + value_bytes);
    EXPECT_TRUE(sheet.starts_with("<match-table id=\"match-7\">"));
    EXPECT_NE(sheet.find("<th colspan=\"6\">Ash&emsp;Ms Oak</th><th>Match 7</th><th colspan=\"6\">Birch&emsp;</th>"),
              std::string::npos);
    EXPECT_NE(sheet.find("<th class=\"slant\"><div>R5</div></th>"), std::string::npos);
    EXPECT_NE(sheet.find("<th class=\"slant\"><div></div></th></tr>"), std::string::npos);
    EXPECT_EQ(read_cells(sheet), texts);
    EXPECT_EQ(occurrences(sheet, "{}"), 1u);
}

TEST(MatchSheet, SavedSheetTextReadsBackFromTheRenderedCells) {
    auto fields = blank_sheet(12);
    for (std::size_t k = 0; k < sheet_cells; ++k) fields[k + 1] = k % 7 ? std::to_string(int(k) * 3 - 200) : "";
    fields[399] = "AB";
    fields[536] = "Z&Y <b>\"x\"</b>";
    const std::string text = join_fields(fields);
    const auto split = split_fields(text);
    ASSERT_EQ(split.size(), saved_sheet_fields);
    const std::string sheet = render({}, std::span(split).subspan(1));
    const auto cells = read_cells(sheet);
    EXPECT_EQ(cells, std::vector<std::string>(fields.begin() + 1, fields.end()));
    // The text between the last "<td>" and the last "</td>" is cell 535's.
    const std::size_t last = sheet.rfind("<td>") + 4;
    EXPECT_EQ(sheet.substr(last, sheet.rfind("</td>") - last), "Z&amp;Y &lt;b&gt;&quot;x&quot;&lt;/b&gt;");
}

TEST(MatchSheet, EscapesMarkupInValuesAndLeavesPlainTextAlone) {
    const std::array<std::string_view, 6> header = {
        "1\" onclick=\"x", "<img src=x onerror=alert(1)>", "A & B", "1", "Café Ünï 日本", "O'Neil"};
    const std::array<std::string_view, 1> cells = {"<script>alert(1)</script>"};
    const std::string sheet = render(header, cells);
    EXPECT_TRUE(sheet.starts_with("<match-table id=\"match-1&quot; onclick=&quot;x\">"));
    EXPECT_NE(sheet.find(">&lt;img src=x onerror=alert(1)&gt;&emsp;A &amp; B</th>"), std::string::npos);
    EXPECT_NE(sheet.find(">Café Ünï 日本&emsp;O'Neil</th>"), std::string::npos);
    EXPECT_EQ(sheet.find("<img"), std::string::npos);
    EXPECT_EQ(sheet.find("<script"), std::string::npos);
}

TEST(MatchSheet, MissingCellsRenderEmpty) {
    const std::array<std::string_view, 2> cells = {"5", "6"};
    const auto read = read_cells(render({}, cells));
    ASSERT_EQ(read.size(), sheet_cells);
    EXPECT_EQ(read[0], "5");
    EXPECT_EQ(read[1], "6");
    EXPECT_TRUE(std::all_of(read.begin() + 2, read.end(), [](const std::string& c) { return c.empty(); }));
}
