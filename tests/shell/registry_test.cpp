#include "shell/registry.h"

#include <gtest/gtest.h>

namespace {

// Each test starts from an empty registry and leaves the program's registry as it found it.
class Registry : public ::testing::Test {
protected:
    Registry() : saved_(std::move(functions)) { functions.clear(); }
    ~Registry() override { functions = std::move(saved_); }

    void register_echo(const std::string& name) {
        register_function(name, [name](std::string_view args) { return name + "(" + std::string(args) + ")"; });
    }

private:
    std::unordered_map<std::string, CommandFunction> saved_;
};

}  // namespace

TEST_F(Registry, SplitsTheNameAtTheFirstColonAndPassesTheRestUntouched) {
    register_echo("create_contest");
    register_echo("fetch_teams");
    EXPECT_EQ(dispatch_function("create_contest:a:b"), "create_contest(a:b)");
    EXPECT_EQ(dispatch_function("fetch_teams"), "fetch_teams()");
    EXPECT_EQ(dispatch_function("fetch_teams:"), "fetch_teams()");
    EXPECT_EQ(dispatch_function("fetch_teams:xyz"), "fetch_teams(xyz)");
    EXPECT_EQ(dispatch_function("create_contest:x\x1Fy"), "create_contest(x\x1Fy)");
}

TEST_F(Registry, AnswersUnknownFunctionForAnyNameNotRegisteredExactly) {
    register_echo("fetch_teams");
    for (const char* request : {"", ":", ":fetch_teams", "Fetch_teams", " fetch_teams", "fetch_teams :", "nope:x"})
        EXPECT_EQ(dispatch_function(request), "ERROR:Unknown function.") << request;
}

TEST_F(Registry, TheLastRegistrationOfANameWins) {
    register_function("x", [](std::string_view) { return std::string("first"); });
    register_function("x", [](std::string_view) { return std::string("second"); });
    EXPECT_EQ(functions.size(), 1u);
    EXPECT_EQ(dispatch_function("x"), "second");
}

TEST_F(Registry, ACommandsExceptionReachesTheCaller) {
    register_function("boom", [](std::string_view) -> std::string { throw std::runtime_error("boom"); });
    EXPECT_THROW(dispatch_function("boom"), std::runtime_error);
}

TEST(InitializeFunctions, RegistersThePageProtocolNames) {
    initialize_functions();
    for (const char* name : {"create_contest", "open_contest"}) EXPECT_TRUE(functions.contains(name)) << name;
    EXPECT_FALSE(functions.contains("call_save_team_typo"));
}
