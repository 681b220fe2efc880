// A connection to a Firebird database: name, SQL dialect and "name=value"
// parameters (user_name, password, sql_role_name), always with connection
// charset NONE so 8-bit texts travel unchanged; connect, disconnect and a
// liveness test that closes a connection found lost. Once the server has
// said the connection is gone, nothing more is sent on it: a server that has
// shut an attachment down may leave its socket open and never answer again,
// and the client library would wait for that answer without end.
#pragma once

#include "fbdb/ref.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <firebird/Interface.h>

namespace fbdb {

class Error;
class Transaction;

// Not copyable or movable: transactions and statements refer to it, and it
// must outlive them.
class Connection {
public:
    Connection();
    // Closes the connection; errors are swallowed.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // "localhost:/abs/path.fdb" for the server on this machine (a bare path
    // would open the file in-process).
    void setDatabaseName(std::string name) { databaseName_ = std::move(name); }
    const std::string& databaseName() const { return databaseName_; }

    // 1 until set: the front database modules start in dialect 1. Raises Error
    // for a dialect other than 1 to 3. Used by the next connect and by every
    // statement prepared after it.
    void setDialect(int dialect);
    int dialect() const { return dialect_; }

    // The parameter list, one "name=value" line each, turned into the
    // connection's parameter block at connect (see BuildDpb).
    void clearParams() { params_.clear(); }
    void addParam(std::string_view name, std::string_view value);
    const std::vector<std::string>& params() const { return params_; }
    // The value of the last line for name; empty when there is none.
    std::string paramValue(std::string_view name) const;

    // Opens the connection; an open one is closed first. Raises Error on
    // failure and stays closed.
    void connect();
    // Rolls back every transaction still active on it, then detaches. Closed
    // afterwards in every case; raises Error when the engine reported one.
    void disconnect();
    bool connected() const { return static_cast<bool>(attachment_); }
    // Asks the server whether the connection still works. When it does not,
    // the connection is let go of without a further word to the server (its
    // transactions dropped) and the answer is false; false also when it was
    // not connected (or found gone by an earlier call).
    bool ping();
    // Drops the database this connection is attached to, and closes.
    void dropDatabase();

    // Increases with every successful connect: statements prepared under an
    // older value belong to a closed connection and are prepared again.
    std::uint64_t generation() const { return generation_; }
    // The attachment, for calls the layer does not wrap; null when closed.
    Firebird::IAttachment* handle() const { return attachment_.get(); }

private:
    friend class Transaction;
    friend class Statement;
    friend class Savepoint;
    void addTransaction(Transaction* transaction);
    void removeTransaction(Transaction* transaction);
    // Called with every error of a call on this connection: one that says
    // the connection is gone lets go of it (see lose()).
    void noteError(const Error& error) noexcept;
    // Lets go of the attachment and its transactions without asking the
    // server anything more (see the definition for how). Closed afterwards.
    void lose(bool brokenLink) noexcept;
    // Ends every active transaction: rolls it back (rollback), or just lets
    // go of it.
    void endTransactions(bool rollback) noexcept;
    void closeQuietly() noexcept;

    std::string databaseName_;
    int dialect_ = 1;
    std::vector<std::string> params_;
    Ref<Firebird::IProvider> provider_;
    Ref<Firebird::IAttachment> attachment_;
    std::uint64_t generation_ = 0;
    std::vector<Transaction*> transactions_;
};

} // namespace fbdb
