#pragma once

struct sqlite3;

// Connection settings, tables and the triggers that freeze registration once the contest has started.
extern const char* const contest_schema;

// Reads the database's schema; answers the library's result code, and when it is SQLITE_OK sets `exact` to whether
// its tables, indexes and triggers are all those that contest_schema makes and nothing else.
int fit_contest_schema(sqlite3* db, bool& exact);
