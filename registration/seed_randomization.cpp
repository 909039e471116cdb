#include "registration/seed_randomization.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "registration/team.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace {

// Gives the team at each position the seed first + position; false at the first write that is refused.
bool write_seeds(Statement& statement, const std::vector<std::int32_t>& ids, std::int32_t first) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
        sqlite3_reset(statement.stmt);
        statement.clear_bindings();
        sqlite3_bind_int(statement.stmt, 1, first + static_cast<std::int32_t>(i));
        sqlite3_bind_int(statement.stmt, 2, ids[i]);
        if (!statement.execute()) return false;
    }
    return true;
}

}  // namespace

std::string randomize_seeds() {
    const std::string not_saved = "ERROR:This randomization could not be saved.";
    const std::vector<std::int32_t> old_order = fetch_team_ids_by_seed();
    std::vector<std::int32_t> order = old_order;
    // Declared before the transaction, so it is finalized only after the commit or rollback.
    Statement statement("UPDATE teams SET seed = ? WHERE id = ?;");
    Transaction transaction;
    // Seeds are unique at every write, so they all move out of the range 1..n first.
    if (!write_seeds(statement, order, 1000)) return not_saved;
    std::mt19937 engine(std::random_device{}());
    std::shuffle(order.begin(), order.end(), engine);
    if (!write_seeds(statement, order, 1)) return not_saved;
    if (!transaction.commit()) return not_saved;
    return order == old_order ? "no change" : "";
}
