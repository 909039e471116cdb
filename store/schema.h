#pragma once

struct sqlite3;

// Connection settings, tables and the triggers that freeze registration once the contest has started.
extern const char* const contest_schema;

// How the tables, indexes and triggers of a database stand to those that contest_schema makes: all of them
// and nothing else, only some of them (none included), or anything else.
enum class SchemaFit { exact, part, other };

// Reads the database's schema; answers the library's result code, and sets `fit` when it is SQLITE_OK.
int fit_contest_schema(sqlite3* db, SchemaFit& fit);
