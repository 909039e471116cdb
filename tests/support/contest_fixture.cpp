#include "tests/support/contest_fixture.h"

#include <sqlite3.h>
#include <stdlib.h>

#include "platform/text_conversion.h"
#include "store/contest.h"
#include "store/database.h"
#include "store/statement.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellucan-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ContestTest::ContestTest() { window.desktop = platform::path_to_utf16(desktop.path().string()); }

ContestTest::~ContestTest() { close_database(); }

void ContestTest::make_contest(const std::string& name) { ASSERT_EQ(create_contest(name), ""); }

void exec_sql(const std::string& sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(g_db, sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(code, SQLITE_OK) << (message ? message : "") << " in: " << sql;
    sqlite3_free(message);
}

std::string query(const std::string& sql) {
    Statement statement(sql);
    std::string rows;
    for (bool first = true; sqlite3_step(statement.stmt) == SQLITE_ROW; first = false) {
        if (!first) rows += '|';
        rows += statement.column_text(0);
    }
    return rows;
}

std::string join_fields(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += '\x1F';
        text += parts[i];
    }
    return text;
}
