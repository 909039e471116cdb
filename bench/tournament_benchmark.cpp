// Plays a whole contest of 500 teams through the dispatcher, as the page would, and reports the time of the
// start, of each score entry, of each ranking query and of opening the played contest again.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/window.h"
#include "shell/registry.h"
#include "shell/request_worker.h"
#include "store/database.h"
#include "text/text.h"

namespace {

constexpr int teams = 500;

// Gives create_contest a desktop of its own, and open_contest the file to open.
class BenchWindow final : public platform::Window {
public:
    explicit BenchWindow(std::u16string desktop) : desktop_(std::move(desktop)) { g_hwnd = this; }
    ~BenchWindow() override { g_hwnd = nullptr; }
    bool post_message(unsigned, std::uintptr_t, std::intptr_t) override { return false; }
    bool set_title(const std::u16string&) override { return true; }
    std::u16string desktop_folder() override { return desktop_; }
    std::u16string show_open_file_dialog(const platform::OpenFileDialog&) override { return chosen; }

    std::u16string chosen;

private:
    std::u16string desktop_;
};

void expect(const std::string& answer, const std::string& wanted, const char* what) {
    if (answer != wanted) throw std::runtime_error(std::string(what) + " answered " + answer.substr(0, 80));
}

// A new contest with 500 registered teams of five contestants, not started.
void make_registered_contest(const std::string& name) {
    close_database();
    expect(dispatch_function("create_contest:" + name), "", "create_contest");
    std::string sql = "BEGIN;";
    for (int seed = 1; seed <= teams; ++seed) {
        const std::string s = std::to_string(seed);
        sql += "INSERT INTO teams (id, name, coach, seed) VALUES (" + s + ", 'Team " + s + "', 'Coach " + s + "', " +
               s + ");";
        for (int chair = 1; chair <= 5; ++chair)
            sql += "INSERT INTO contestants (team_id, name, chair) VALUES (" + s + ", 'Player " + s + "." +
                   std::to_string(chair) + "', " + std::to_string(chair) + ");";
    }
    sql += "COMMIT;";
    if (sqlite3_exec(g_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(g_db));
}

// A filled sheet as the page sends it: every question cell typed, subtotals and totals added up.
std::string filled_sheet(int match) {
    int subtotals[12] = {};
    std::string text = std::to_string(match);
    for (int k = 0; k < 384; ++k) {
        const int points = (k * 7 + match) % 3 == 0 ? 10 : 0;
        subtotals[k % 12] += points;
        text += field_separator + (points ? std::to_string(points) : std::string("0"));
    }
    int red = 0;
    int white = 0;
    for (int c = 0; c < 12; ++c) {
        (c < 6 ? red : white) += subtotals[c];
        text += field_separator + std::to_string(subtotals[c]);
    }
    // Odd matches go to team 1 so that both sides win along the way.
    if (red == white) red += match % 2 ? 5 : -5;
    text += field_separator + std::to_string(red) + field_separator + std::to_string(white);
    text += field_separator + std::string("AB") + field_separator + "CD";
    for (int k = 400; k < 536; ++k) text += field_separator;
    return text;
}

double microseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void BM_Contest500(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellucan-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    const std::filesystem::path desktop(pattern);
    BenchWindow window(to_utf16(desktop.string()));
    initialize_functions();

    using clock = std::chrono::steady_clock;
    double start_us = 0, save_us = 0, next_us = 0, team_rank_us = 0, contestant_rank_us = 0, open_us = 0;
    long saves = 0;
    int contest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "Contest " + std::to_string(++contest);
        make_registered_contest(name);
        state.ResumeTiming();

        auto begin = clock::now();
        expect(dispatch_function("start_contest"), "", "start_contest");
        start_us += microseconds(clock::now() - begin);

        for (int match = 1;; ++match) {
            begin = clock::now();
            const std::string sheet = dispatch_function("fetch_next_match");
            next_us += microseconds(clock::now() - begin);
            if (sheet.empty()) break;
            const std::string text = filled_sheet(match);
            begin = clock::now();
            expect(dispatch_function("load_match:" + text), "", "load_match");
            save_us += microseconds(clock::now() - begin);
            ++saves;
        }

        begin = clock::now();
        benchmark::DoNotOptimize(dispatch_function("fetch_team_rankings"));
        team_rank_us += microseconds(clock::now() - begin);
        begin = clock::now();
        benchmark::DoNotOptimize(dispatch_function("fetch_contestant_rankings"));
        contestant_rank_us += microseconds(clock::now() - begin);

        close_database();
        window.chosen = to_utf16((desktop / name / "contest.db").string());
        begin = clock::now();
        expect(dispatch_function("open_contest"), name, "open_contest");
        open_us += microseconds(clock::now() - begin);
    }
    const double contests = static_cast<double>(state.iterations());
    state.counters["saves_per_contest"] = static_cast<double>(saves) / contests;
    state.counters["start_us"] = start_us / contests;
    state.counters["next_sheet_us"] = next_us / static_cast<double>(saves + state.iterations());
    state.counters["save_us"] = save_us / static_cast<double>(saves);
    state.counters["team_ranking_us"] = team_rank_us / contests;
    state.counters["contestant_ranking_us"] = contestant_rank_us / contests;
    state.counters["open_us"] = open_us / contests;

    close_database();
    std::filesystem::remove_all(desktop);
}

BENCHMARK(BM_Contest500)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
