#include "fbdb/transaction.h"

#include "fbdb/connection.h"
#include "fbdb/error.h"
#include "status.h"

namespace fbdb {

Transaction::Transaction(Connection& connection, TransactionOptions options)
    : connection_(connection), options_(options) {
    connection_.addTransaction(this);
}

Transaction::~Transaction() {
    end(true);
    connection_.removeTransaction(this);
}

void Transaction::start() {
    if (active())
        throw Error("Transaction is already active");
    if (!connection_.connected())
        throw Error("Database is not connected");
    const std::vector<std::uint8_t> tpb = BuildTpb(options_);
    detail::Status status;
    Firebird::ITransaction* transaction = connection_.handle()->startTransaction(
        status.get(), static_cast<unsigned>(tpb.size()), tpb.data());
    check(status);
    transaction_ = Ref<Firebird::ITransaction>(transaction);
}

void Transaction::commit() {
    if (!active())
        throw Error("Transaction is not active");
    detail::Status status;
    transaction_->commit(status.get());
    check(status);
    transaction_.abandon();
}

void Transaction::rollback() {
    if (!active())
        throw Error("Transaction is not active");
    detail::Status status;
    transaction_->rollback(status.get());
    if (status.failed()) {
        // Nothing more can be done with it; the server rolls back a
        // transaction whose connection is gone. The connection hears of the
        // error first: on a connection it finds gone, the transaction is let
        // go of without another rollback over the link.
        try {
            check(status);
        } catch (const Error&) {
            transaction_.reset();
            throw;
        }
    }
    transaction_.abandon();
}

void Transaction::end(bool rollback) noexcept {
    if (!transaction_)
        return;
    if (rollback) {
        try {
            this->rollback();
        } catch (const Error&) {
            // Over in every case; a lost connection was told by rollback().
        }
        return;
    }
    transaction_.reset();
}

void Transaction::let(bool release) noexcept {
    if (release)
        transaction_.reset();
    else
        transaction_.abandon();
}

void Transaction::check(detail::Status& status) {
    try {
        status.check();
    } catch (const Error& e) {
        connection_.noteError(e);
        throw;
    }
}

} // namespace fbdb
