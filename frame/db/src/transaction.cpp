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
    status.check();
    transaction_ = Ref<Firebird::ITransaction>(transaction);
}

void Transaction::commit() {
    if (!active())
        throw Error("Transaction is not active");
    detail::Status status;
    transaction_->commit(status.get());
    status.check();
    transaction_.abandon();
}

void Transaction::rollback() {
    if (!active())
        throw Error("Transaction is not active");
    detail::Status status;
    transaction_->rollback(status.get());
    if (status.failed()) {
        // Nothing more can be done with it; the server rolls back a
        // transaction whose connection is gone.
        transaction_.reset();
        status.check();
    }
    transaction_.abandon();
}

void Transaction::end(bool rollback) noexcept {
    if (!transaction_)
        return;
    if (rollback) {
        detail::Status status;
        transaction_->rollback(status.get());
        if (!status.failed()) {
            transaction_.abandon();
            return;
        }
    }
    transaction_.reset();
}

} // namespace fbdb
