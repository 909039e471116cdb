#include "tournament/rankings.h"

#include "registration/records.h"
#include "registration/team.h"
#include "text/text.h"

namespace {

// The average is rounded inside stats, so teams whose averages round alike tie on it.
const char* const team_ranking_query = R"sql(WITH stats AS (
    SELECT
        t.name AS team_name,
        t.coach,
        MAX(bs.round) AS round_reached,
        COUNT(CASE WHEN mr.winner_id != t.id THEN 1 END) AS loses,
        (SELECT ts2.score FROM team_scores ts2 JOIN bracket_structure bs2 ON ts2.match = bs2.match
         WHERE ts2.team_id = t.id ORDER BY bs2.round DESC LIMIT 1) AS last_score,
        ROUND(AVG(ts.score), 2) AS avg_score,
        MAX(ts.score) AS max_score,
        (SELECT SUM(score) FROM (SELECT ts2.score FROM team_scores ts2
         WHERE ts2.team_id = t.id ORDER BY ts2.score DESC LIMIT 2)) AS max2_score
    FROM teams t
    JOIN match_results mr ON t.id IN (mr.team1_id, mr.team2_id)
    JOIN bracket_structure bs ON mr.match = bs.match
    LEFT JOIN team_scores ts ON mr.match = ts.match AND t.id = ts.team_id
    GROUP BY t.id
)
SELECT
    RANK() OVER (ORDER BY round_reached DESC, loses ASC, last_score DESC, avg_score DESC, max_score DESC,
                          max2_score DESC) AS rank,
    * -- all columns from stats
FROM stats
ORDER BY rank ASC;)sql";

// Contestants are ordered on the exact average and only shown with it rounded. With the best two every
// contestant is listed, also one without any score; with the best three only those with three scores.
std::string contestant_ranking_query(bool best_three) {
    const std::string best = best_three ? "3" : "2";
    const std::string total = "top" + best + "_total";
    return R"sql(WITH contestant_stats AS (
    SELECT
        c.name AS contestant_name,
        t.name AS team_name,
        SUM(cs.score) AS total_score,
        AVG(cs.score) AS avg_score,
        MAX(cs.score) AS max_score,
        (SELECT SUM(score) FROM (SELECT score FROM contestant_scores
         WHERE contestant_id = c.id ORDER BY score DESC LIMIT )sql" +
           best + ")) AS " + total + R"sql(
    FROM contestants c
    JOIN teams t ON c.team_id = t.id
    LEFT JOIN contestant_scores cs ON c.id = cs.contestant_id
    GROUP BY c.id)sql" +
           (best_three ? " HAVING COUNT(cs.match) >= 3" : "") + R"sql(
)
SELECT
    RANK() OVER (ORDER BY )sql" +
           total + R"sql( DESC, avg_score DESC, max_score DESC, total_score DESC) AS rank,
    contestant_name, team_name, )sql" +
           total + R"sql(, ROUND(avg_score, 2) AS avg_score, max_score, total_score
FROM contestant_stats
ORDER BY rank ASC;)sql";
}

std::string contestant_head(std::string_view best_label) {
    std::string head;
    using namespace std::literals;
    for (const auto label :
         {"Rank"sv, "Contestant"sv, "Team"sv, best_label, "Average Score"sv, "High Score"sv, "Total Score"sv}) {
        if (!head.empty()) head += field_separator;
        head += label;
    }
    return head;
}

}  // namespace

std::string fetch_team_rankings() { return fetch_records(team_ranking_query, 9); }

std::string fetch_contestant_rankings() {
    const bool best_three = count_teams() >= 6;
    const std::string rows = fetch_records(contestant_ranking_query(best_three), 7);
    const std::string head = contestant_head(best_three ? "High&nbsp;3 Score" : "High&nbsp;2 Score");
    return rows.empty() ? head : head + field_separator + rows;
}
