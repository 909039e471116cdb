#include "store/schema.h"

#include <sqlite3.h>

#include <array>
#include <set>
#include <string>

// The layout is what every contest file holds in its own schema table, so it stays exactly as written.
const char* const contest_schema = R"sql(PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
PRAGMA busy_timeout = 2000;
PRAGMA foreign_keys = ON;
PRAGMA locking_mode = EXCLUSIVE;

CREATE TABLE IF NOT EXISTS contest (
  id          INTEGER PRIMARY KEY CHECK (id = 1),
  name        TEXT NOT NULL CHECK (name != ''),
  has_started INTEGER NOT NULL DEFAULT 0
) STRICT;

CREATE TABLE IF NOT EXISTS teams (
  id    INTEGER PRIMARY KEY,
  name  TEXT NOT NULL UNIQUE CHECK (name != ''),
  coach TEXT,
  seed  INTEGER NOT NULL UNIQUE CHECK (seed > 0)
) STRICT;

CREATE TRIGGER IF NOT EXISTS prevent_team_insert_after_start
BEFORE INSERT ON teams
WHEN (SELECT has_started FROM contest WHERE id = 1) = 1
BEGIN
  SELECT RAISE(ABORT, '');
END;

CREATE TRIGGER IF NOT EXISTS prevent_team_delete_after_start
BEFORE DELETE ON teams
WHEN (SELECT has_started FROM contest WHERE id = 1) = 1
BEGIN
  SELECT RAISE(ABORT, '');
END;

CREATE TRIGGER IF NOT EXISTS prevent_team_seed_update_after_start
BEFORE UPDATE OF seed ON teams
WHEN (SELECT has_started FROM contest WHERE id = 1) = 1
  AND NEW.seed != OLD.seed
BEGIN
  SELECT RAISE(ABORT, '');
END;

CREATE TABLE IF NOT EXISTS contestants (
  id      INTEGER PRIMARY KEY,
  team_id INTEGER NOT NULL,
  name    TEXT NOT NULL UNIQUE CHECK (name != ''),
  chair   INTEGER NOT NULL CHECK (chair > 0),
  UNIQUE(team_id, chair),
  FOREIGN KEY(team_id) REFERENCES teams(id)
) STRICT;

CREATE TRIGGER IF NOT EXISTS prevent_contestant_insert_after_start
BEFORE INSERT ON contestants
WHEN (SELECT has_started FROM contest WHERE id = 1) = 1
BEGIN
  SELECT RAISE(ABORT, '');
END;

CREATE TRIGGER IF NOT EXISTS prevent_contestant_delete_after_start
BEFORE DELETE ON contestants
WHEN (SELECT has_started FROM contest WHERE id = 1) = 1
BEGIN
  SELECT RAISE(ABORT, '');
END;

CREATE TRIGGER IF NOT EXISTS prevent_contestant_chair_update_after_start
BEFORE UPDATE OF chair ON contestants
WHEN (SELECT has_started FROM contest WHERE id = 1) = 1
  AND NEW.chair != OLD.chair
BEGIN
  SELECT RAISE(ABORT, '');
END;

CREATE TABLE IF NOT EXISTS bracket_structure (
  match          INTEGER PRIMARY KEY,
  round          INTEGER NOT NULL,
  bracket_type   TEXT NOT NULL,
  source1_match  INTEGER NOT NULL,
  source1_winner INTEGER NOT NULL,
  source2_match  INTEGER NOT NULL,
  source2_winner INTEGER NOT NULL
) STRICT;

CREATE TABLE IF NOT EXISTS match_results (
  match     INTEGER PRIMARY KEY,
  team1_id  INTEGER,
  team2_id  INTEGER,
  winner_id INTEGER,
  data      TEXT,
  FOREIGN KEY(match) REFERENCES bracket_structure(match),
  FOREIGN KEY(team1_id) REFERENCES teams(id),
  FOREIGN KEY(team2_id) REFERENCES teams(id),
  FOREIGN KEY(winner_id) REFERENCES teams(id)
) STRICT;

CREATE TABLE IF NOT EXISTS team_scores (
  match       INTEGER NOT NULL,
  team_id     INTEGER NOT NULL,
  bonus_score INTEGER NOT NULL,
  score       INTEGER NOT NULL,
  PRIMARY KEY(match, team_id),
  FOREIGN KEY(match) REFERENCES match_results(match),
  FOREIGN KEY(team_id) REFERENCES teams(id)
) STRICT;

CREATE TABLE IF NOT EXISTS contestant_scores (
  match         INTEGER NOT NULL,
  contestant_id INTEGER NOT NULL,
  score         INTEGER NOT NULL,
  PRIMARY KEY(match, contestant_id),
  FOREIGN KEY(match) REFERENCES match_results(match),
  FOREIGN KEY(contestant_id) REFERENCES contestants(id)
) STRICT;)sql";

namespace {

// Type, name, table and SQL text of one schema object, as the library keeps them (the SQL as written).
using SchemaObject = std::array<std::string, 4>;

int read_schema(sqlite3* db, std::set<SchemaObject>& objects) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema;", -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        SchemaObject object;
        for (int col = 0; col < 4; ++col)
            if (const auto* text = sqlite3_column_text(stmt, col)) object[col] = reinterpret_cast<const char*>(text);
        objects.insert(std::move(object));
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// What a new contest holds, made once in memory.
const std::set<SchemaObject>& contest_objects() {
    static const std::set<SchemaObject> objects = [] {
        std::set<SchemaObject> made;
        sqlite3* memory = nullptr;
        if (sqlite3_open(":memory:", &memory) == SQLITE_OK &&
            sqlite3_exec(memory, contest_schema, nullptr, nullptr, nullptr) == SQLITE_OK)
            read_schema(memory, made);
        sqlite3_close(memory);
        return made;
    }();
    return objects;
}

}  // namespace

int fit_contest_schema(sqlite3* db, bool& exact) {
    std::set<SchemaObject> objects;
    const int rc = read_schema(db, objects);
    if (rc == SQLITE_OK) exact = objects == contest_objects();
    return rc;
}
