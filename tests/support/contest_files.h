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
