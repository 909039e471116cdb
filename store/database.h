#pragma once

#include <string>

struct sqlite3;

// The one connection of the run: null until a contest is created or opened.
extern sqlite3* g_db;

// Opens (creating when absent) the file read-write; false when a connection is already open or the file
// cannot be opened, in which case g_db stays null.
bool open_database(const std::string& path);

// Closes the connection, if any, and forgets it; a moved file, or a log that is not the connection's own any more,
// is left as it is.
void close_database();

// Once the contest is open: writes what its write-ahead log holds into the file, as every later commit will be, and
// notes the log beside the file, if there is one, as the log to guard.
void watch_database_log();

// Before a write: raises "Contest file moved" when the open file, or its write-ahead log, is no longer at the path
// it was opened by (moved, renamed or deleted), since what is written there is lost once the program ends; and
// "Contest log changed" when something else wrote into the log, or cut it short under a commit.
void ensure_database_in_place();
