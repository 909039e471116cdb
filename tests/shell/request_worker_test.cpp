#include "shell/request_worker.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "shell/registry.h"
#include "tests/support/test_window.h"
#include "text/text.h"

namespace {

// A running worker over a registry of test commands, stopped again after each test.
class RequestWorker : public ::testing::Test {
protected:
    RequestWorker() : saved_(std::move(functions)) {
        functions.clear();
        g_stop = false;
        g_requests.clear();
        register_function("echo", [](std::string_view args) { return "echo(" + std::string(args) + ")"; });
        g_worker = std::thread(worker_main);
    }
    ~RequestWorker() override {
        stop_worker();
        functions = std::move(saved_);
    }

    void send(std::u16string_view message) { on_web_message_received(message); }

    std::vector<std::string> wait_for_replies(std::size_t count) {
        for (int i = 0; i < 500 && window.replies().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return window.replies();
    }

    TestWindow window;

private:
    std::unordered_map<std::string, CommandFunction> saved_;
};

}  // namespace

TEST_F(RequestWorker, AnswersEachRequestWithItsOwnIdInArrivalOrder) {
    send(u"17:echo:");
    send(u"abc");  // no colon: the whole text is the id
    send(u"");
    send(u"3:echo:a:b");
    send(u"4:echo:Équipe 日本");
    EXPECT_EQ(wait_for_replies(5),
              (std::vector<std::string>{"17:echo()", "abc:ERROR:Unknown function.", ":ERROR:Unknown function.",
                                        "3:echo(a:b)", "4:echo(Équipe 日本)"}));
}

TEST_F(RequestWorker, TurnsARaisedFailureIntoASentenceAndKeepsServing) {
    register_function("closed",
                      [](std::string_view) -> std::string { throw std::runtime_error("Database not initialized"); });
    register_function("broken", [](std::string_view) -> std::string {
        throw std::runtime_error("Failed to prepare statement: no such table: teams");
    });
    register_function("odd", [](std::string_view) -> std::string { throw 42; });
    send(u"1:closed:");
    send(u"2:broken:");
    send(u"3:odd:");
    send(u"4:echo:still here");
    EXPECT_EQ(wait_for_replies(4),
              (std::vector<std::string>{"1:ERROR:No contest is open; create or open a contest first.",
                                        "2:ERROR:The contest database could not be used; nothing was changed.",
                                        "3:ERROR:The command failed; nothing was changed.", "4:echo(still here)"}));
}

TEST_F(RequestWorker, FreesTheReplyItselfWhenTheWindowIsGone) {
    window.destroyed = true;
    std::promise<void> ran;
    register_function("last", [&](std::string_view) {
        ran.set_value();
        return std::string("done");
    });
    send(u"1:last:");
    ran.get_future().wait();
    stop_worker();  // the reply was handed back and freed; the leak checker of the sanitizer build sees the rest
    EXPECT_TRUE(window.replies().empty());
}

TEST_F(RequestWorker, StoppingLetsTheRunningCommandFinishAndDropsTheQueue) {
    std::promise<void> started, release;
    bool finished = false, second_ran = false;
    register_function("slow", [&](std::string_view) {
        started.set_value();
        release.get_future().wait();
        finished = true;
        return std::string("slow done");
    });
    register_function("second", [&](std::string_view) {
        second_ran = true;
        return std::string();
    });
    send(u"1:slow:");
    started.get_future().wait();
    send(u"2:second:");
    std::thread stopper(stop_worker);
    // The stop is asked for before the running command ends, however the threads are scheduled.
    while (!g_stop) std::this_thread::yield();
    EXPECT_FALSE(finished);  // the stop waits for the running command
    release.set_value();
    stopper.join();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(second_ran);
    EXPECT_EQ(window.replies(), std::vector<std::string>{"1:slow done"});
}
