#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/contest_fixture.h"
#include "tests/support/host_process.h"

TEST(HeadlessHost, CreatesAContestAndAnswersEveryRequest) {
    TempDir desktop;
    HostProcess host({"--desktop", desktop.path().string()});
    // Before any contest is open the host answers and goes on.
    EXPECT_EQ(host.request("1:open_contest:"), "1:None");
    EXPECT_EQ(host.request("2:nonsense:x"), "2:ERROR:Unknown function.");
    EXPECT_EQ(host.request("abc"), "abc:ERROR:Unknown function.");
    EXPECT_EQ(host.request(""), ":ERROR:Unknown function.");
    // A NUL does not end the request: the whole name is refused and nothing is made.
    EXPECT_EQ(host.request(std::string("5:create_contest:ab\0cd", 22)),
              "5:ERROR:The contest folder could not be created with this name.");
    EXPECT_TRUE(std::filesystem::is_empty(desktop.path()));
    EXPECT_EQ(host.request("3:create_contest:Grand Prix"), "3:");
    EXPECT_TRUE(std::filesystem::is_regular_file(desktop.path() / "Grand Prix" / "contest.db"));
    EXPECT_EQ(host.request("4:create_contest:Again"), "4:ERROR:Critical failure, the database could not be opened.");
    EXPECT_EQ(host.finish(), 0);
    EXPECT_EQ(host.errors(), "title: Grand Prix - Pellucan\n");
}

TEST(HeadlessHost, AnswersPipelinedRequestsInOrder) {
    TempDir desktop;
    HostProcess host({"--desktop", desktop.path().string()});
    host.send("1:create_contest:Ω");
    host.send("2:open_contest:");
    EXPECT_EQ(host.receive(), "1:");
    EXPECT_EQ(host.receive(), "2:None");
    EXPECT_EQ(host.finish(), 0);
}

TEST(HeadlessHost, OpensTheFileNamedForTheDialog) {
    TempDir desktop;
    {
        HostProcess first({"--desktop", desktop.path().string()});
        EXPECT_EQ(first.request("1:create_contest:Kept"), "1:");
        EXPECT_EQ(first.finish(), 0);
    }
    const std::string file = (desktop.path() / "Kept" / "contest.db").string();
    HostProcess host({"--desktop", desktop.path().string(), "--open", file});
    EXPECT_EQ(host.request("1:open_contest:"), "1:Kept");
    // A second host cannot take a contest that this one holds.
    HostProcess second({"--desktop", desktop.path().string(), "--open", file});
    EXPECT_EQ(second.request("1:open_contest:"), "1:ERROR:This contest is already open in another window.");
    EXPECT_EQ(host.finish(), 0);
    EXPECT_EQ(second.finish(), 0);
}

TEST(HeadlessHost, AnswersEveryRequestItReadBeforeTheInputEnds) {
    TempDir desktop;
    HostProcess host({"--desktop", desktop.path().string()});
    // The create is still running while the rest are read and the input ends; a title keeps to one line.
    host.send("1:create_contest:Two\nLines");
    for (int id = 2; id <= 300; ++id) host.send(std::to_string(id) + ":fetch_teams:");
    EXPECT_EQ(host.finish(), 0);
    EXPECT_EQ(host.receive(), "1:");
    for (int id = 2; id <= 300; ++id) EXPECT_EQ(host.receive(), std::to_string(id) + ":");
    EXPECT_EQ(host.errors(), "title: Two\\nLines - Pellucan\n");
}

TEST(HeadlessHost, RefusesAFrameLongerThan64MiBWithoutReservingIt) {
    TempDir desktop;
    // Reserving the announced gigabyte under this limit would abort the host.
    HostProcess host({"--desktop", desktop.path().string()}, 800000);
    host.send("1:fetch_teams:");
    host.send_bytes("999999999\n");
    EXPECT_EQ(host.receive(), "1:ERROR:No contest is open; create or open a contest first.");
    EXPECT_EQ(host.finish(), 2);
    EXPECT_EQ(host.errors(), "pellucan-host: a frame longer than 64 MiB, stopping\n");
}

TEST(HeadlessHost, RefusesASaveOnceTheContestFolderIsRemoved) {
    TempDir desktop;
    HostProcess host({"--desktop", desktop.path().string()});
    EXPECT_EQ(host.request("1:create_contest:Gone"), "1:");
    EXPECT_EQ(host.request(std::string("2:call_save_team:none\x1FOwls\x1F\x1F")), "2:");
    std::filesystem::remove_all(desktop.path() / "Gone");
    // A single write and a transaction alike; what the connection still reads shows that nothing was written.
    const std::string moved = "ERROR:The contest file was moved or deleted; nothing was saved.";
    EXPECT_EQ(host.request(std::string("3:call_save_team:none\x1FLarks\x1F\x1F")), "3:" + moved);
    EXPECT_EQ(host.request("4:randomize_seeds:"), "4:" + moved);
    EXPECT_EQ(host.request("5:fetch_teams:"), std::string("5:1\x1FOwls\x1F\x1F") + "1");
    EXPECT_EQ(host.finish(), 0);
}

TEST(HeadlessHost, LosesNoAcknowledgedSaveWhenTheLogIsDeletedWhileOpen) {
    TempDir desktop;
    const std::filesystem::path file = desktop.path() / "Logged" / "contest.db";
    {
        HostProcess host({"--desktop", desktop.path().string()});
        EXPECT_EQ(host.request("1:create_contest:Logged"), "1:");
        EXPECT_EQ(host.request(std::string("2:call_save_team:none\x1FOwls\x1F\x1F")), "2:");
        // A cleaning tool deletes the log; the next save is refused, and then the host is killed (SIGKILL).
        std::filesystem::remove(file.string() + "-wal");
        EXPECT_EQ(host.request(std::string("3:call_save_team:none\x1FLarks\x1F\x1F")),
                  "3:ERROR:The contest file was moved or deleted; nothing was saved.");
    }
    HostProcess reopened({"--desktop", desktop.path().string(), "--open", file.string()});
    EXPECT_EQ(reopened.request("1:open_contest:"), "1:Logged");
    EXPECT_EQ(reopened.request("2:fetch_teams:"), std::string("2:1\x1FOwls\x1F\x1F") + "1");
    EXPECT_EQ(reopened.finish(), 0);
}
