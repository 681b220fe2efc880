// A transaction on a connection, started from a value of options (see
// parameter_blocks.h); one that is still active when destroyed is rolled back.
#pragma once

#include "fbdb/parameter_blocks.h"
#include "fbdb/ref.h"

#include <firebird/Interface.h>

namespace fbdb {

class Connection;
namespace detail {
class Status;
}

// Not copyable or movable; must not outlive its connection, and must outlive
// the statements that run in it.
class Transaction {
public:
    explicit Transaction(Connection& connection, TransactionOptions options = {});
    // Rolls back when active; never throws.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Used by the next start.
    void setOptions(TransactionOptions options) { options_ = options; }
    const TransactionOptions& options() const { return options_; }

    // Raises Error when already active, when the connection is closed or when
    // the engine refuses the options.
    void start();
    // Raises Error when not active or when the engine refuses; a transaction
    // whose commit failed is still active and can be rolled back.
    void commit();
    // Raises Error when not active or when the engine reports a failure; not
    // active afterwards in every case (on a lost connection the server has
    // rolled it back already).
    void rollback();
    bool active() const { return static_cast<bool>(transaction_); }

    Connection& connection() const { return connection_; }
    // The transaction, for calls the layer does not wrap; null when not active.
    Firebird::ITransaction* handle() const { return transaction_.get(); }

private:
    friend class Connection;
    // Called by the connection when it closes.
    void end(bool rollback) noexcept;
    // Called by the connection when it is lost: lets go of the transaction
    // without a word to the server, released or abandoned (see
    // Connection::lose()).
    void let(bool release) noexcept;
    // Status::check(), telling the connection of the error first.
    void check(detail::Status& status);

    Connection& connection_;
    TransactionOptions options_;
    Ref<Firebird::ITransaction> transaction_;
};

} // namespace fbdb
