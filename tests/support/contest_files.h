#pragma once

#include <filesystem>
#include <string>

#include "tests/support/contest_fixture.h"

// Contests made and closed again on the test desktop, and files as other programs leave them.
class Contest : public ContestTest {
protected:
    // A contest made earlier and closed again, as a file for the open dialog to answer.
    std::filesystem::path stored_contest(const std::string& name);

    void choose(const std::filesystem::path& file);
};

std::string bytes_of(const std::filesystem::path& file);

void write_file(const std::filesystem::path& file, const std::string& bytes);

// Runs SQL on a connection of its own, as another program would.
void exec_elsewhere(const std::filesystem::path& file, const std::string& sql);

// Leaves what the SQL writes in the file's write-ahead log, as a program cut short does.
void write_into_log(const std::filesystem::path& file, const std::string& sql);

bool has_log_files(const std::filesystem::path& file);

// Leaves the file as a program in rollback mode leaves it when it ends inside a transaction of the SQL: changed,
// with the hot journal that would restore it beside it.
void end_inside_transaction(const std::filesystem::path& file, const std::string& sql);

// A small file system of its own on a new folder for as long as the object lives, then unmounted lazily, so that files
// still open on it do not hold it: a tmpfs with the options given, or else an ext4 image beside the folder, whose files
// take attributes such as append-only. Mounting needs root, as CI has it.
struct Mount {
    explicit Mount(std::filesystem::path folder, const std::string& tmpfs_options = "");
    ~Mount();
    Mount(const Mount&) = delete;

    const std::filesystem::path path;
    bool mounted = false;
};
