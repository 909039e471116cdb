#include "store/database.h"

#include <sqlite3.h>

#include <stdexcept>

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

void ensure_database_in_place() {
    int moved = 0;
    if (sqlite3_file_control(g_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
        throw std::runtime_error("Contest file moved");
}
