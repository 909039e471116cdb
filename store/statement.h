#pragma once

#include <cstdint>
#include <string>

struct sqlite3_stmt;

// One prepared statement on g_db, finalized when the object goes away.
class Statement {
public:
    // Raises "Database not initialized" without a connection, "Failed to prepare statement: ..." when the
    // text does not compile.
    explicit Statement(const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // One step; true only on completion, which also records the connection's change count. A write outside a
    // transaction raises instead what ensure_database_in_place raises.
    bool execute();
    bool clear_bindings();
    // NULL reads as the empty text.
    std::string column_text(int col);

    sqlite3_stmt* stmt = nullptr;
    std::int32_t changes = 0;
};
