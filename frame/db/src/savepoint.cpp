#include "fbdb/savepoint.h"

#include "fbdb/connection.h"
#include "fbdb/error.h"
#include "fbdb/transaction.h"
#include "status.h"

namespace fbdb {

Savepoint::Savepoint(Transaction& transaction, std::string name)
    : transaction_(transaction), name_(std::move(name)) {
    run("SAVEPOINT " + name_);
    set_ = true;
}

Savepoint::~Savepoint() {
    if (!set_)
        return;
    try {
        rollback();
    } catch (const Error&) {
        // The transaction is gone with its connection, or its owner ends it.
    }
}

void Savepoint::release() {
    set_ = false;
    // ONLY: savepoints set after this one stay as they are.
    run("RELEASE SAVEPOINT " + name_ + " ONLY");
}

void Savepoint::rollback() {
    set_ = false;
    run("ROLLBACK TO SAVEPOINT " + name_);
}

void Savepoint::run(const std::string& sql) {
    if (!transaction_.active())
        throw Error("Transaction is not active");
    Connection& connection = transaction_.connection();
    if (!connection.connected())
        throw Error("Database is not connected");
    detail::Status status;
    connection.handle()->execute(status.get(), transaction_.handle(), 0, sql.c_str(),
                                 static_cast<unsigned>(connection.dialect()), nullptr, nullptr,
                                 nullptr, nullptr);
    try {
        status.check();
    } catch (const Error& e) {
        connection.noteError(e);
        throw;
    }
}

} // namespace fbdb
