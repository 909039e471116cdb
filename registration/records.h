#pragma once

#include <string>
#include <string_view>

class Statement;

// Binds UTF-8 text of its exact length as parameter index; the database keeps its own copy.
void bind_text(Statement& statement, int index, std::string_view text);

// Runs a query and joins the first `columns` columns of every row, and the rows, with the field separator;
// the first step that gives no row ends the list.
std::string fetch_records(const std::string& sql, int columns);

// Deletes the record whose id the text gives, binding it as parameter 1 of sql; "none" deletes nothing.
// Answers the empty text, or failure when the database refuses.
std::string delete_record(std::string_view id, const std::string& sql, const std::string& failure);
