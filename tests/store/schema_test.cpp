#include "store/schema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>

#include "store/database.h"
#include "tests/support/contest_fixture.h"

namespace {

class Schema : public ContestTest {
protected:
    Schema() { make_contest(); }

    // True when the statement succeeds.
    static bool accepts(const std::string& sql) {
        return sqlite3_exec(g_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

}  // namespace

TEST_F(Schema, KeepsItsExactTextAndLayout) {
    const std::string text = contest_schema;
    EXPECT_EQ(text.size(), 3270u);
    EXPECT_EQ(text.back(), ';');  // no line feed after the last line
    EXPECT_EQ(text.find("\r"), std::string::npos);
    EXPECT_EQ(query("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table';"), "7");
    EXPECT_EQ(query("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'trigger';"), "6");
    EXPECT_EQ(query("SELECT sql FROM sqlite_schema WHERE name = 'contest';"),
              "CREATE TABLE contest (\n"
              "  id          INTEGER PRIMARY KEY CHECK (id = 1),\n"
              "  name        TEXT NOT NULL CHECK (name != ''),\n"
              "  has_started INTEGER NOT NULL DEFAULT 0\n"
              ") STRICT");
    EXPECT_EQ(query("PRAGMA journal_mode;"), "wal");
    // Running it again changes nothing.
    const std::string before = query("SELECT sql FROM sqlite_schema;");
    EXPECT_TRUE(accepts(contest_schema));
    EXPECT_EQ(query("SELECT sql FROM sqlite_schema;"), before);
}

TEST_F(Schema, EnforcesTheDataRulesBeforeTheStart) {
    EXPECT_FALSE(accepts("INSERT INTO contest (id, name) VALUES (2, 'x');"));
    EXPECT_FALSE(accepts("UPDATE contest SET name = '';"));

    EXPECT_TRUE(accepts("INSERT INTO teams (name, seed) VALUES ('Owls', 1);"));
    EXPECT_TRUE(accepts("INSERT INTO teams (name, seed) VALUES ('owls', 2);"));  // names are case-sensitive
    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('Owls', 3);"));
    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('', 3);"));
    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('Zero', 0);"));
    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('Minus', -1);"));
    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('Taken', 1);"));
    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('Text', 'abc');"));
    EXPECT_EQ(query("SELECT COUNT(*) FROM teams WHERE coach IS NULL;"), "2");

    EXPECT_TRUE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Ann', 1);"));
    EXPECT_TRUE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Bo', 6);"));
    EXPECT_FALSE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (2, 'Ann', 1);"));
    EXPECT_FALSE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Cy', 1);"));
    EXPECT_FALSE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Cy', 0);"));
    EXPECT_FALSE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (99, 'Cy', 1);"));
    EXPECT_FALSE(accepts("DELETE FROM teams WHERE id = 1;"));  // it still has contestants
    EXPECT_TRUE(accepts("DELETE FROM teams WHERE id = 2;"));
}

TEST_F(Schema, FreezesTeamsAndContestantsOnceStarted) {
    ASSERT_TRUE(accepts("INSERT INTO teams (name, seed) VALUES ('Owls', 1), ('Larks', 2);"));
    ASSERT_TRUE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Ann', 1), (2, 'Bo', 2);"));
    ASSERT_TRUE(accepts("UPDATE contest SET has_started = 1;"));

    EXPECT_FALSE(accepts("INSERT INTO teams (name, seed) VALUES ('Late', 3);"));
    EXPECT_FALSE(accepts("DELETE FROM teams WHERE id = 2;"));
    EXPECT_FALSE(accepts("UPDATE teams SET seed = 5 WHERE id = 1;"));
    EXPECT_FALSE(accepts("INSERT INTO contestants (team_id, name, chair) VALUES (1, 'Cy', 3);"));
    EXPECT_FALSE(accepts("DELETE FROM contestants WHERE id = 1;"));
    EXPECT_FALSE(accepts("UPDATE contestants SET chair = 4 WHERE id = 1;"));

    EXPECT_TRUE(accepts("UPDATE teams SET name = 'Night Owls', coach = 'Kim' WHERE id = 1;"));
    EXPECT_TRUE(accepts("UPDATE teams SET seed = 1 WHERE id = 1;"));
    EXPECT_TRUE(accepts("UPDATE contestants SET name = 'Anna', chair = 1 WHERE id = 1;"));
    EXPECT_TRUE(accepts("UPDATE contestants SET team_id = 2, chair = 1 WHERE id = 1;"));
    EXPECT_EQ(query("SELECT name FROM teams ORDER BY id;"), "Night Owls|Larks");
}
