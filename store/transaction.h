#pragma once

// A write transaction on g_db that rolls back unless committed before its scope ends.
class Transaction {
public:
    // Raises "Database not initialized" without a connection, what ensure_database_in_place raises, and "Failed
    // to begin transaction" when BEGIN fails.
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Ends the transaction either way; false when COMMIT failed, and then nothing was saved.
    bool commit();

    bool committed = false;
};
