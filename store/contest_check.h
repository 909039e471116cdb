#pragma once

#include <filesystem>
#include <string>

struct sqlite3;

// SQLITE_OK for exactly the tables and triggers of a contest with every page and index sound; else the failure's
// code, SQLITE_NOTADB for other tables and SQLITE_CORRUPT for damage among them.
int check_contest(sqlite3* db);

// The refusal that the result of a connection's look at the file calls for; a lock answers the empty text, since the
// probe tells a contest held by another window.
std::string refusal(sqlite3* db, int rc);

// The refusal that a file with a rollback journal beside it calls for, judged as the library would find it once it
// played the journal back: on a copy of both in a folder of its own, so that neither changes.
std::string refusal_once_restored(const std::filesystem::path& file);

// A read-only connection that leaves the file and its folder exactly as they were. Without a write-ahead log
// beside it the file is all there is, and an immutable connection takes no lock and makes no file, but may see
// pages that another window is writing; with one, only a connection that reads the log sees the whole
// database, and the shared-memory file it makes is removed again.
class Look {
public:
    explicit Look(const std::filesystem::path& file);
    ~Look();
    Look(const Look&) = delete;
    Look& operator=(const Look&) = delete;

    sqlite3* db = nullptr;
    int rc;

private:
    std::filesystem::path shm_;
    bool made_shm_;
};
