#include "store/statement.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/database.h"
#include "store/transaction.h"
#include "tests/support/contest_fixture.h"

namespace {

std::string failure_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "";
}

class Store : public ContestTest {};

}  // namespace

TEST_F(Store, RaisesDatabaseNotInitializedWithoutAConnection) {
    EXPECT_EQ(failure_of([] { Statement s("SELECT 1;"); }), "Database not initialized");
    EXPECT_EQ(failure_of([] { Transaction t; }), "Database not initialized");
}

TEST_F(Store, RaisesThePrepareFailureWithTheLibrarysMessage) {
    make_contest();
    EXPECT_EQ(failure_of([] { Statement s("SELECT * FROM missing;"); }),
              "Failed to prepare statement: no such table: missing");
}

TEST_F(Store, ExecuteCountsOnlyCompletionAndColumnTextReadsNullAsEmpty) {
    make_contest();
    Statement row("SELECT NULL, '', 'x';");
    EXPECT_FALSE(row.execute());  // a row is not completion
    EXPECT_EQ(row.column_text(0), "");
    EXPECT_EQ(row.column_text(1), "");
    EXPECT_EQ(row.column_text(2), "x");

    Statement insert("INSERT INTO teams (name, seed) VALUES ('A', 1);");
    EXPECT_TRUE(insert.execute());
    EXPECT_EQ(insert.changes, 1);
}

TEST_F(Store, OpenDatabaseRefusesASecondConnectionAndAMissingFolder) {
    EXPECT_FALSE(open_database((desktop.path() / "no such folder" / "contest.db").string()));
    EXPECT_EQ(g_db, nullptr);
    make_contest();
    sqlite3* first = g_db;
    EXPECT_FALSE(open_database((desktop.path() / "other.db").string()));
    EXPECT_EQ(g_db, first);
}

TEST_F(Store, TransactionRollsBackUnlessCommittedAlsoWhenLeftByAFailure) {
    make_contest();
    {
        Transaction transaction;
        exec_sql("INSERT INTO teams (name, seed) VALUES ('Dropped', 1);");
    }
    EXPECT_EQ(query("SELECT COUNT(*) FROM teams;"), "0");

    EXPECT_THROW(
        {
            Transaction transaction;
            exec_sql("INSERT INTO teams (name, seed) VALUES ('Dropped', 1);");
            Statement bad("SELECT nothing FROM nowhere;");
        },
        std::runtime_error);
    EXPECT_EQ(query("SELECT COUNT(*) FROM teams;"), "0");

    {
        Transaction transaction;
        exec_sql("INSERT INTO teams (name, seed) VALUES ('Kept', 1);");
        transaction.commit();
    }
    EXPECT_EQ(query("SELECT name FROM teams;"), "Kept");
}

TEST_F(Store, ABeginThatFailsRaises) {
    make_contest();
    exec_sql("BEGIN;");
    EXPECT_EQ(failure_of([] { Transaction t; }), "Failed to begin transaction");
    exec_sql("ROLLBACK;");
}

TEST_F(Store, CommitSaysWhenTheCommitItselfFails) {
    make_contest();
    // A commit hook that answers non-zero turns the COMMIT into a rollback.
    sqlite3_commit_hook(
        g_db, [](void*) { return 1; }, nullptr);
    {
        Transaction transaction;
        exec_sql("INSERT INTO teams (name, seed) VALUES ('Lost', 1);");
        EXPECT_FALSE(transaction.commit());
    }
    sqlite3_commit_hook(g_db, nullptr, nullptr);
    EXPECT_EQ(query("SELECT COUNT(*) FROM teams;"), "0");

    // A commit refused while the transaction stays open is rolled back, so later writes are not held in it.
    {
        Transaction transaction;
        exec_sql("PRAGMA defer_foreign_keys = ON;");
        exec_sql("INSERT INTO contestants (team_id, name, chair) VALUES (99, 'Orphan', 1);");
        EXPECT_FALSE(transaction.commit());
    }
    EXPECT_NE(sqlite3_get_autocommit(g_db), 0);
    EXPECT_EQ(query("SELECT COUNT(*) FROM contestants;"), "0");

    Transaction transaction;
    exec_sql("INSERT INTO teams (name, seed) VALUES ('Kept', 1);");
    EXPECT_TRUE(transaction.commit());
}
