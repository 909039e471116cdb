#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// The score sheet of one match: 552 marks "{}", the 16 header values then the 536 cells in document order.
extern const std::string_view match_table_template;

inline constexpr std::size_t sheet_header_values = 16;
inline constexpr std::size_t sheet_cells = 536;
// The saved sheet text: field 0 the match number, field k + 1 the text of cell k.
inline constexpr std::size_t saved_sheet_fields = sheet_cells + 1;

// Cells of the main table that score entry reads; cell k is field k + 1 of the saved text.
inline constexpr std::size_t subtotal_cell = 384;  // plus the column, 0 ("Red Alt") to 11 ("White Alt")
inline constexpr std::size_t red_total_cell = 396;
inline constexpr std::size_t white_total_cell = 397;
inline constexpr std::size_t red_tie_break_total_cell = 532;
inline constexpr std::size_t white_tie_break_total_cell = 533;

// Appends the sheet to out in one pass over the template. Every value is escaped as HTML text; missing
// header values and cells render empty, values beyond the counts are not used.
void append_match_sheet(std::string& out, std::span<const std::string_view> header,
                        std::span<const std::string_view> cells);
