#include "tournament/match_sheet.h"

#include <cstddef>

// The page reads cells by document order and the tie-break table as the second table, so the layout,
// line breaks included, is fixed.
const std::string_view match_table_template = R"html(<match-table id="match-{}">
<table>
<thead>
<tr class="pt8"><th colspan="6">{}&emsp;{}</th><th>Match {}</th><th colspan="6">{}&emsp;{}</th></tr>
<tr><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th></th><th></th>
<th></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th><th class="slant"><div>{}</div></th></tr>
<tr><th>Red Alt</th><th>Red 4</th><th>Red 3</th><th>Red 2</th><th>Red 1</th><th>Red Bonus</th><th></th>
<th>White Bonus</th><th>White 1</th><th>White 2</th><th>White 3</th><th>White 4</th><th>White Alt</th></tr>
</thead><tbody>
<tr><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td>{}</td>
<th>1</th><td>{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td>{}</td>
<th>2</th><td>{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>3</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>4</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td>{}</td>
<th>5</th><td>{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td>{}</td>
<th>6</th><td>{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>7</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>8</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td>{}</td>
<th>9</th><td>{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td>{}</td>
<th>10</th><td>{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>11</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td class="gray">{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>12</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>13</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>14</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>15</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>16</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>17</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>18</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>19</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>20</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>21</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>22</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>23</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>24</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>25</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td>{}</td>
<th>26</th><td>{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td><td class="gray">{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>27</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>28</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>29</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>30</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>31</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>32</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
</tbody><tfoot>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>Subtot</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><td>{}</td>
<th>Totals</th><td>{}</td><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th></tr>
<tr><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><td>{}</td>
<th>Initials</th><td>{}</td><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th></tr>
</tfoot>
</table><table class="hidden">
<tbody>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>1</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>2</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>3</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>4</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>5</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>6</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>7</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>8</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>9</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>10</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
</tbody><tfoot>
<tr><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td>
<th>Subtot</th><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td><td>{}</td></tr>
<tr><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><td>{}</td>
<th>Totals</th><td>{}</td><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th></tr>
<tr><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><td>{}</td>
<th>Initials</th><td>{}</td><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th><th class="gray"></th></tr>
</tfoot>
</table>
</match-table>)html";

namespace {

void append_escaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace

void append_match_sheet(std::string& out, std::span<const std::string_view> header,
                        std::span<const std::string_view> cells) {
    std::size_t value_bytes = 0;
    for (const auto value : header) value_bytes += value.size();
    for (const auto value : cells) value_bytes += value.size();
    out.reserve(out.size() + match_table_template.size() + value_bytes);

    std::size_t mark = 0;
    std::size_t start = 0;
    for (std::size_t at; (at = match_table_template.find("{}", start)) != std::string_view::npos; start = at + 2) {
        out.append(match_table_template.substr(start, at - start));
        if (mark < sheet_header_values) {
            if (mark < header.size()) append_escaped(out, header[mark]);
        } else if (mark - sheet_header_values < cells.size()) {
            append_escaped(out, cells[mark - sheet_header_values]);
        }
        ++mark;
    }
    out.append(match_table_template.substr(start));
}
