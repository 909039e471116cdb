#include "shell/program.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <future>
#include <thread>

#include "shell/registry.h"
#include "shell/request_worker.h"
#include "shell/web_view_host.h"
#include "store/database.h"
#include "tests/support/contest_fixture.h"

namespace {

// A contest with a running worker whose registry also holds a command that waits to be released.
class Shutdown : public ContestTest {
protected:
    Shutdown() : saved_(std::move(functions)) {
        functions.clear();
        g_stop = false;
        g_requests.clear();
        make_contest("Shutdown Cup");
        register_function("slow_save", [this](std::string_view) {
            started.set_value();
            release.get_future().wait();
            exec_sql("INSERT INTO teams (name, coach, seed) VALUES ('Late', 'Coach', 1);");
            return std::string();
        });
        g_worker = std::thread(worker_main);
    }
    ~Shutdown() override {
        stop_worker();
        functions = std::move(saved_);
    }

    std::promise<void> started, release;

private:
    std::unordered_map<std::string, CommandFunction> saved_;
};

std::string teams_in(const std::filesystem::path& file) {
    EXPECT_TRUE(open_database(file.string()));
    const std::string names = query("SELECT name FROM teams;");
    close_database();
    return names;
}

}  // namespace

TEST_F(Shutdown, FinishesTheRunningCommandThenClosesTheContest) {
    on_web_message_received(u"1:slow_save:");
    started.get_future().wait();
    on_web_message_received(u"2:slow_save:");  // queued behind: dropped unanswered
    window.destroyed = true;                   // the window has gone: the reply is the worker's to free

    std::thread closing(shut_down);
    // The stop is asked for before the running command ends, however the threads are scheduled.
    while (!g_stop) std::this_thread::yield();
    EXPECT_NE(g_db, nullptr);  // the connection waits for the command
    release.set_value();
    closing.join();

    EXPECT_EQ(g_db, nullptr);
    EXPECT_TRUE(window.replies().empty());
    // The write of the command that ran at close stands, and only that one.
    EXPECT_EQ(teams_in(desktop.path() / "Shutdown Cup" / "contest.db"), "Late");
}

TEST(WindowProcedure, OwnsEveryReplyItIsHandedAndDropsItWithoutAPage) {
    ASSERT_EQ(g_webview, nullptr);
    // No reply at all: nothing to do.
    EXPECT_EQ(window_proc(nullptr, WM_POST_REPLY, 0, 0), 0);
    // No page to show it to: freed here (the sanitizer build reports a leak otherwise).
    EXPECT_EQ(window_proc(nullptr, WM_POST_REPLY, 0, reinterpret_cast<std::intptr_t>(new std::string("7:late"))), 0);
    // A resize before the web view exists changes nothing.
    EXPECT_EQ(window_proc(nullptr, platform::WM_SIZE, 0, 0), 0);
    // Messages of no interest get the default answer.
    EXPECT_EQ(window_proc(nullptr, 0x0200, 0, 0), 0);
}
