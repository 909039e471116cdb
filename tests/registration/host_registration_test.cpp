#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/contest_fixture.h"
#include "tests/support/host_process.h"
#include "text/text.h"

TEST(HostRegistration, ThreeTeamsAndTwelveContestantsAsThePageSendsThem) {
    TempDir desktop;
    HostProcess host({"--desktop", desktop.path().string()});
    ASSERT_EQ(host.request("1:create_contest:League"), "1:");

    // Teams saved without seeds are numbered in turn; Hawks has no coach.
    EXPECT_EQ(host.request("2:call_save_team:" + join_fields({"none", "Owls", "Ann", ""})), "2:");
    EXPECT_EQ(host.request("3:call_save_team:" + join_fields({"none", "Hawks", "", ""})), "3:");
    EXPECT_EQ(host.request("4:call_save_team:" + join_fields({"none", "Crows", "Cy", ""})), "4:");
    EXPECT_EQ(host.request("5:fetch_teams:"),
              "5:" + join_fields({"1", "Owls", "Ann", "1", "2", "Hawks", "", "2", "3", "Crows", "Cy", "3"}));

    // Four contestants per team in chairs 1 to 4, team by team.
    const std::vector<std::string> names = {"Ada", "Bo",  "Cai", "Dee", "Eli", "Fay",
                                            "Gus", "Hal", "Ivy", "Jo",  "Kit", "Lu"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string id = std::to_string(10 + i);
        const std::string team = std::to_string(1 + i / 4);
        const std::string chair = std::to_string(1 + i % 4);
        EXPECT_EQ(host.request(id + ":save_contestant:" + join_fields({"none", team, names[i], chair})), id + ":");
    }
    // The team with the newest contestant first.
    EXPECT_EQ(host.request("30:fetch_contestant_counts:"),
              "30:" + join_fields({"Crows", "4", "Hawks", "4", "Owls", "4"}));
    // The newest contestant first.
    EXPECT_EQ(host.request("31:fetch_contestants:"),
              "31:" + join_fields({"12", "Crows", "Lu",  "4", "11", "Crows", "Kit", "3", "10", "Crows", "Jo",  "2",
                                   "9",  "Crows", "Ivy", "1", "8",  "Hawks", "Hal", "4", "7",  "Hawks", "Gus", "3",
                                   "6",  "Hawks", "Fay", "2", "5",  "Hawks", "Eli", "1", "4",  "Owls",  "Dee", "4",
                                   "3",  "Owls",  "Cai", "3", "2",  "Owls",  "Bo",  "2", "1",  "Owls",  "Ada", "1"}));

    // Refusals answer the command's sentence.
    EXPECT_EQ(host.request("32:save_contestant:" + join_fields({"none", "2", "Ada", "5"})),
              "32:ERROR:This contestant data could not be saved.");
    EXPECT_EQ(host.request("33:save_contestant:" + join_fields({"none", "2", "Mo", "1"})),
              "33:ERROR:This contestant data could not be saved.");
    EXPECT_EQ(host.request("34:delete_team:1"), "34:ERROR:This team could not be deleted.");
    EXPECT_EQ(host.request("35:call_save_team:" + join_fields({"none", "Owls", "", ""})),
              "35:ERROR:This team data could not be saved.");

    // The alternate joins, then leaves again.
    EXPECT_EQ(host.request("36:save_contestant:" + join_fields({"none", "2", "Mo", "5"})), "36:");
    EXPECT_EQ(host.request("37:delete_contestant:13"), "37:");
    EXPECT_EQ(host.request("38:delete_contestant:none"), "38:");
    EXPECT_EQ(host.request("39:fetch_contestant_counts:"),
              "39:" + join_fields({"Crows", "4", "Hawks", "4", "Owls", "4"}));

    // A drawn order keeps the seeds 1 to 3.
    const std::string drawn = host.request("40:randomize_seeds:");
    EXPECT_TRUE(drawn == "40:" || drawn == "40:no change") << drawn;
    const std::string teams = host.request("41:fetch_teams:");
    ASSERT_EQ(teams.substr(0, 3), "41:");
    const std::vector<std::string_view> listed = split_fields(std::string_view(teams).substr(3));
    ASSERT_EQ(listed.size(), 12u);
    using Names = std::vector<std::string_view>;
    EXPECT_EQ((Names{listed[3], listed[7], listed[11]}), (Names{"1", "2", "3"}));
    Names drawn_names = {listed[1], listed[5], listed[9]};
    // "no change" exactly when the order is the registered one.
    EXPECT_EQ(drawn == "40:no change", (drawn_names == Names{"Owls", "Hawks", "Crows"}));
    std::sort(drawn_names.begin(), drawn_names.end());
    EXPECT_EQ(drawn_names, (Names{"Crows", "Hawks", "Owls"}));
    EXPECT_EQ(host.finish(), 0);
}
