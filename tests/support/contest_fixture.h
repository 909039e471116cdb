#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_window.h"

// A folder that is removed with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A fresh desktop and window per test; the connection, if any, is closed after the test.
class ContestTest : public ::testing::Test {
protected:
    ContestTest();
    ~ContestTest() override;

    // Creates the contest NAME on the test desktop and fails the test if that does not succeed.
    void make_contest(const std::string& name = "Test Contest");

    TempDir desktop;
    TestWindow window;
};

// Runs SQL on g_db; fails the test when it does not succeed.
void exec_sql(const std::string& sql);
// The first column of every row of a query, joined by "|".
std::string query(const std::string& sql);
// The parts joined by the field separator, as a command's argument or list result.
std::string join_fields(const std::vector<std::string>& parts);
