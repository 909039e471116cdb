#include "tournament/bracket.h"

#include <cmath>
#include <cstdlib>

namespace {

// The smallest power of two not below n.
std::int32_t bracket_size(std::int32_t n) {
    if (n < 2) return 1;
    return static_cast<std::int32_t>(std::pow(2.0, std::ceil(std::log2(n))));
}

// Slots hold +m for the winner of match m, -m for its loser, -(seed_source_base + s) for seed s passed on
// by a bye, and 0 when empty.
std::int32_t seed_slot(std::int32_t seed) { return -(seed_source_base + seed); }

}  // namespace

std::vector<std::int32_t> seeding_order(std::int32_t n) {
    const std::int32_t p = bracket_size(n);
    std::vector<std::int32_t> order{1};
    for (std::int32_t s = 2; s <= p; s *= 2) {
        std::vector<std::int32_t> doubled;
        doubled.reserve(order.size() * 2);
        for (const std::int32_t v : order) {
            doubled.push_back(v);
            doubled.push_back(s + 1 - v > n ? 0 : s + 1 - v);
        }
        order = std::move(doubled);
    }
    return order;
}

std::vector<BracketMatch> generate_bracket(std::int32_t n) {
    // One team has no final to play, and beyond the limit match numbers would read as seeds.
    if (n < 2 || n > max_bracket_teams) return {};
    const std::int32_t pairs = bracket_size(n) / 2;
    const std::vector<std::int32_t> seeds = seeding_order(n);
    std::vector<std::int32_t> winners(pairs, 0);
    std::vector<std::int32_t> losers(pairs, 0);
    std::vector<BracketMatch> bracket;
    std::int32_t round = 1;
    // Adds the next match between the teams of two slots and answers its number.
    const auto emit = [&bracket](std::int32_t in_round, const char* type, std::int32_t slot1, std::int32_t slot2) {
        const auto match = static_cast<std::int32_t>(bracket.size()) + 1;
        bracket.push_back(
            {match, in_round, type, std::abs(slot1), slot1 > 0 ? 1 : 0, std::abs(slot2), slot2 > 0 ? 1 : 0});
        return match;
    };

    for (std::int32_t i = 0; i < pairs; ++i) {
        const std::int32_t a = seeds[2 * i];
        const std::int32_t b = seeds[2 * i + 1];
        if (b == 0) {
            winners[i] = seed_slot(a);
        } else {
            const std::int32_t m = emit(1, "Initial", seed_slot(a), seed_slot(b));
            winners[i] = m;
            losers[i] = -m;
        }
    }

    // Each stage is one winners round and the two losers rounds that follow it.
    for (std::int32_t stage = 0; winners.size() > 1; ++stage) {
        const auto w = static_cast<std::int32_t>(winners.size());
        const std::int32_t half = w / 2;
        std::vector<std::int32_t> drops(w, 0);
        std::vector<std::int32_t> next_winners(half, 0);
        std::vector<std::int32_t> next_losers(half, 0);
        ++round;

        for (std::int32_t j = 0; j < w; j += 2) {
            // On even stages the two halves of the drop slots trade places, so that teams that met in the
            // winners bracket do not meet again at once in the losers bracket.
            std::int32_t d = j;
            if (stage % 2 == 0 && half >= 2) d = j < half ? j + half : j - half;
            const std::int32_t m = emit(round, "Winners", winners[j], winners[j + 1]);
            next_winners[j / 2] = m;
            drops[d] = -m;
        }
        for (std::int32_t t = 0; t < half; ++t) {
            if (losers[2 * t] != 0)
                drops[2 * t + 1] = emit(round, "Losers minor", losers[2 * t], losers[2 * t + 1]);
            else
                drops[2 * t + 1] = losers[2 * t + 1];
        }

        ++round;
        for (std::int32_t j = 0; j < w; j += 2) {
            if (drops[j] != 0 && drops[j + 1] == 0)
                next_losers[j / 2] = drops[j];
            else
                next_losers[j / 2] = emit(round, "Losers major", drops[j], drops[j + 1]);
        }
        winners = std::move(next_winners);
        losers = std::move(next_losers);
    }

    const std::int32_t final_match = emit(++round, "Finals", winners[0], losers[0]);
    emit(round + 1, "Finals rematch", -final_match, final_match);
    return bracket;
}
