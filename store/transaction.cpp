#include "store/transaction.h"

#include <sqlite3.h>

#include <stdexcept>

#include "store/database.h"

Transaction::Transaction() {
    if (!g_db) throw std::runtime_error("Database not initialized");
    ensure_database_in_place();
    if (sqlite3_exec(g_db, "BEGIN TRANSACTION", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("Failed to begin transaction");
}

Transaction::~Transaction() {
    if (!committed) sqlite3_exec(g_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Transaction::commit() {
    committed = true;
    if (sqlite3_exec(g_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    // A commit that failed but left the transaction open must not leave it open for later commands.
    if (!sqlite3_get_autocommit(g_db)) sqlite3_exec(g_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}
