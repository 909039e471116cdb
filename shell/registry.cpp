#include "shell/registry.h"

#include "registration/contestant.h"
#include "registration/seed_randomization.h"
#include "registration/team.h"
#include "store/contest.h"
#include "tournament/bracket_listing.h"
#include "tournament/contest_start.h"
#include "tournament/match_flow.h"
#include "tournament/rankings.h"
#include "tournament/score_entry.h"

std::unordered_map<std::string, CommandFunction> functions;

void register_function(const std::string& name, CommandFunction fn) { functions[name] = std::move(fn); }

namespace {

template <std::string (*command)(std::string_view)>
std::string passed(std::string_view args) {
    return command(args);
}

template <std::string (*command)()>
std::string ignored(std::string_view) {
    return command();
}

}  // namespace

void initialize_functions() {
    register_function("create_contest", passed<create_contest>);
    register_function("open_contest", ignored<open_contest>);
    register_function("call_save_team", passed<save_team>);
    register_function("fetch_teams", ignored<fetch_teams>);
    register_function("delete_team", passed<delete_team>);
    register_function("randomize_seeds", ignored<randomize_seeds>);
    register_function("save_contestant", passed<save_contestant>);
    register_function("fetch_contestants", ignored<fetch_contestants>);
    register_function("fetch_contestant_counts", ignored<fetch_contestant_counts>);
    register_function("delete_contestant", passed<delete_contestant>);
    register_function("fetch_brackets", ignored<fetch_brackets>);
    register_function("start_contest", ignored<start_contest>);
    register_function("contest_has_started", ignored<contest_has_started>);
    register_function("fetch_next_match", ignored<fetch_next_match>);
    register_function("fetch_completed_match", passed<fetch_completed_match>);
    register_function("fetch_future_matches", ignored<fetch_future_matches>);
    register_function("n_completed_matches", ignored<n_completed_matches>);
    register_function("load_match", passed<load_match>);
    register_function("fetch_team_rankings", ignored<fetch_team_rankings>);
    register_function("fetch_contestant_rankings", ignored<fetch_contestant_rankings>);
}

std::string dispatch_function(std::string_view request) {
    const std::size_t colon = request.find(':');
    const std::string_view name = request.substr(0, colon);
    const std::string_view args = colon == std::string_view::npos ? std::string_view{} : request.substr(colon + 1);
    const auto entry = functions.find(std::string(name));
    if (entry == functions.end()) return "ERROR:Unknown function.";
    return entry->second(args);
}
