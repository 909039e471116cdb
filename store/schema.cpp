#include "store/schema.h"

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
