#include "registration/records.h"

#include <sqlite3.h>

#include "store/statement.h"
#include "text/text.h"

void bind_text(Statement& statement, int index, std::string_view text) {
    // A null pointer would bind NULL, and an empty field is the empty text.
    sqlite3_bind_text(statement.stmt, index, text.data() ? text.data() : "", static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

std::string fetch_records(const std::string& sql, int columns) {
    Statement statement(sql);
    std::string records;
    for (bool first = true; sqlite3_step(statement.stmt) == SQLITE_ROW; first = false) {
        for (int col = 0; col < columns; ++col) {
            if (!first || col > 0) records += field_separator;
            records += statement.column_text(col);
        }
    }
    return records;
}

std::string delete_record(std::string_view id, const std::string& sql, const std::string& failure) {
    if (id == record_id_none) return "";
    Statement statement(sql);
    sqlite3_bind_int(statement.stmt, 1, to_int(id));
    return statement.execute() ? "" : failure;
}
