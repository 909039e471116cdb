#pragma once

#include <string>

struct sqlite3;

// The one connection of the run: null until a contest is created or opened.
extern sqlite3* g_db;

// Opens (creating when absent) the file read-write; false when a connection is already open or the file
// cannot be opened, in which case g_db stays null.
bool open_database(const std::string& path);

// Closes the connection, if any, and forgets it.
void close_database();

// Once the contest is open: notes the write-ahead log beside the file, if there is one, as the log to guard.
void watch_database_log();

// Before a write: raises "Contest file moved" when the open file, or its write-ahead log, is no longer at the path
// it was opened by (moved, renamed or deleted), since what is written there is lost once the program ends.
void ensure_database_in_place();
