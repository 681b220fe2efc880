// One SQL statement with named parameters, run in a transaction: queries and
// selectable procedures ("select ... from PROC(:A)") read row by row, other
// statements and executable procedures ("EXECUTE PROCEDURE P (?A)") run once
// and leave their output parameters as the fields of a single row.
#pragma once

#include "fbdb/ref.h"
#include "fbdb/value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <firebird/Interface.h>

namespace fbdb {

class Connection;
class Transaction;

// Not copyable or movable; must not outlive its transaction.
class Statement {
public:
    // The transaction must belong to the connection (Error otherwise).
    Statement(Connection& connection, Transaction& transaction, std::string sql = {});
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Replaces the text: closes the statement and forgets the parameters and
    // their values. ":NAME" and "?NAME" are parameters (see named_params.h).
    void setSql(std::string sql);
    const std::string& sql() const { return sql_; }

    // Start the transaction when it is not active at execute; otherwise
    // executing outside an active transaction raises Error.
    void setStartsTransaction(bool starts) { startsTransaction_ = starts; }

    // A parameter by name, without regard to case; Error naming an unknown one.
    Param& param(std::string_view name);
    const Param& param(std::string_view name) const;
    bool hasParam(std::string_view name) const;
    // The parameters in order of first appearance (a '?' without a name is one
    // of its own).
    std::size_t paramCount() const { return params_.size(); }
    Param& param(std::size_t index);

    // Runs the statement with the current parameter values (prepared on first
    // use, and again after the connection was reopened). A query opens its
    // cursor, read with fetch(); anything else completes here, and an
    // executable procedure's outputs become the fields. An open cursor is
    // closed first.
    void execute();
    // The next row of an open cursor; false (and closed) after the last one.
    bool fetch();
    // Closes an open cursor; errors are swallowed (the transaction may have
    // ended under it already).
    void close() noexcept;
    bool isOpen() const { return static_cast<bool>(cursor_); }
    // True for statements that return rows through a cursor (known once prepared).
    bool isQuery() const;
    // Rows changed by the last execute of an insert, update or delete.
    std::uint64_t affectedRows();

    // The current row's columns (or a procedure's outputs) by name, without
    // regard to case, or by position; Error naming an unknown name.
    const Field& field(std::string_view name) const;
    const Field& field(std::size_t index) const;
    std::size_t fieldCount() const { return fields_.size(); }

private:
    class Prepared;
    void prepare();
    void run();
    bool fetchNext();
    Transaction& activeTransaction();

    Connection& connection_;
    Transaction& transaction_;
    std::string sql_;
    bool startsTransaction_ = false;
    // Distinct parameters, and for each '?' of the rewritten text the index of
    // its parameter.
    std::string positionalSql_;
    std::vector<Param> params_;
    std::vector<std::size_t> placeholders_;
    std::unique_ptr<Prepared> prepared_;
    Ref<Firebird::IResultSet> cursor_;
    std::vector<Field> fields_;
};

} // namespace fbdb
