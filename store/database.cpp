#include "store/database.h"

#include <sqlite3.h>

sqlite3* g_db = nullptr;

bool open_database(const std::string& path) {
    if (g_db) return false;
    if (sqlite3_open_v2(path.c_str(), &g_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(g_db);
        g_db = nullptr;
        return false;
    }
    return true;
}

void close_database() {
    sqlite3_close(g_db);
    g_db = nullptr;
}
