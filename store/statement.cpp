#include "store/statement.h"

#include <sqlite3.h>

#include <stdexcept>

#include "store/database.h"

Statement::Statement(const std::string& sql) {
    if (!g_db) throw std::runtime_error("Database not initialized");
    if (sqlite3_prepare_v2(g_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("Failed to prepare statement: ") + sqlite3_errmsg(g_db));
}

Statement::~Statement() {
    if (stmt) sqlite3_finalize(stmt);
    stmt = nullptr;
    changes = 0;
}

bool Statement::execute() {
    // Writes inside a transaction were checked when it began.
    if (!sqlite3_stmt_readonly(stmt) && sqlite3_get_autocommit(g_db)) ensure_database_in_place();
    if (sqlite3_step(stmt) != SQLITE_DONE) return false;
    changes = sqlite3_changes(g_db);
    return true;
}

bool Statement::clear_bindings() {
    sqlite3_clear_bindings(stmt);
    return true;
}

std::string Statement::column_text(int col) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
    return text ? std::string(text) : std::string();
}
