#include "fbdb/statement.h"

#include "fbdb/connection.h"
#include "fbdb/error.h"
#include "fbdb/named_params.h"
#include "fbdb/transaction.h"
#include "message.h"
#include "status.h"

#include <algorithm>
#include <cctype>

#include <fmt/format.h>

namespace fbdb {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

// What the engine made of the text on one connection.
class Statement::Prepared {
public:
    explicit Prepared(const Connection& connection)
        : connection(connection), generation(connection.generation()) {}
    const Connection& connection;
    std::uint64_t generation = 0;
    Ref<Firebird::IStatement> statement;
    unsigned type = 0;
    Ref<Firebird::IMessageMetadata> input;
    // Null when the statement returns nothing.
    std::unique_ptr<detail::OutputMessage> output;

    ~Prepared() {
        if (!statement)
            return;
        // On a connection that is gone (or was replaced since) the statement
        // is only let go of: the server has freed it, or must not be asked.
        if (!current()) {
            statement.reset();
            return;
        }
        detail::Status status;
        statement->free(status.get());
        if (!status.failed())
            statement.abandon();
    }

    // Prepared on the connection as it is now.
    bool current() const { return connection.connected() && connection.generation() == generation; }

    bool isQuery() const {
        return type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
    }
};

Statement::Statement(Connection& connection, Transaction& transaction, std::string sql)
    : connection_(connection), transaction_(transaction) {
    if (&transaction.connection() != &connection)
        throw Error("The statement's transaction belongs to another connection");
    setSql(std::move(sql));
}

Statement::~Statement() {
    close();
}

void Statement::setSql(std::string sql) {
    close();
    prepared_.reset();
    fields_.clear();
    sql_ = std::move(sql);
    PositionalSql rewritten = RewriteNamedParams(sql_);
    positionalSql_ = std::move(rewritten.sql);
    params_.clear();
    placeholders_.clear();
    for (std::string& name : rewritten.names) {
        auto same = std::find_if(params_.begin(), params_.end(),
                                 [&](const Param& p) { return !name.empty() && p.name() == name; });
        if (same == params_.end()) {
            params_.emplace_back(std::move(name));
            same = params_.end() - 1;
        }
        placeholders_.push_back(static_cast<std::size_t>(same - params_.begin()));
    }
}

Param& Statement::param(std::string_view name) {
    return const_cast<Param&>(static_cast<const Statement&>(*this).param(name));
}

const Param& Statement::param(std::string_view name) const {
    for (const Param& p : params_)
        if (!p.name().empty() && SameName(p.name(), name))
            return p;
    throw Error(fmt::format("Unknown parameter {} in statement: {}", name, sql_));
}

bool Statement::hasParam(std::string_view name) const {
    return std::any_of(params_.begin(), params_.end(), [&](const Param& p) {
        return !p.name().empty() && SameName(p.name(), name);
    });
}

Param& Statement::param(std::size_t index) {
    if (index >= params_.size())
        throw Error(fmt::format("No parameter {} in statement: {}", index, sql_));
    return params_[index];
}

Transaction& Statement::activeTransaction() {
    if (!transaction_.active()) {
        if (!startsTransaction_)
            throw Error(fmt::format("Transaction is not active for statement: {}", sql_));
        transaction_.start();
    }
    return transaction_;
}

void Statement::prepare() {
    if (prepared_ && prepared_->current())
        return;
    prepared_.reset();
    if (!connection_.connected())
        throw Error("Database is not connected");
    detail::Status status;
    auto prepared = std::make_unique<Prepared>(connection_);
    prepared->statement = Ref<Firebird::IStatement>(connection_.handle()->prepare(
        status.get(), transaction_.handle(), static_cast<unsigned>(positionalSql_.size()),
        positionalSql_.c_str(), static_cast<unsigned>(connection_.dialect()),
        Firebird::IStatement::PREPARE_PREFETCH_METADATA));
    if (status.failed()) {
        prepared->statement.abandon();
        status.check();
    }
    prepared->type = prepared->statement->getType(status.get());
    status.check();
    prepared->input =
        Ref<Firebird::IMessageMetadata>(prepared->statement->getInputMetadata(status.get()));
    status.check();
    Ref<Firebird::IMessageMetadata> output(prepared->statement->getOutputMetadata(status.get()));
    status.check();
    const unsigned outputs = output->getCount(status.get());
    status.check();
    if (outputs > 0)
        prepared->output = std::make_unique<detail::OutputMessage>(output.get());
    const unsigned inputs = prepared->input->getCount(status.get());
    status.check();
    if (inputs != placeholders_.size())
        throw Error(fmt::format("The engine sees {} parameters, the text has {}: {}", inputs,
                                placeholders_.size(), sql_));
    prepared_ = std::move(prepared);
}

void Statement::execute() {
    try {
        run();
    } catch (const Error& e) {
        connection_.noteError(e);
        throw;
    }
}

void Statement::run() {
    close();
    fields_.clear();
    Transaction& transaction = activeTransaction();
    prepare();

    std::vector<const Param*> values;
    values.reserve(placeholders_.size());
    for (std::size_t index : placeholders_)
        values.push_back(&params_[index]);
    detail::InputMessage input = detail::BuildInput(prepared_->input.get(), values,
                                                    connection_.handle(), transaction.handle());
    detail::OutputMessage* output = prepared_->output.get();

    detail::Status status;
    if (prepared_->isQuery()) {
        Firebird::IResultSet* cursor = prepared_->statement->openCursor(
            status.get(), transaction.handle(), input.metadata.get(), input.buffer.data(),
            output ? output->metadata() : nullptr, 0);
        status.check();
        cursor_ = Ref<Firebird::IResultSet>(cursor);
        return;
    }
    prepared_->statement->execute(status.get(), transaction.handle(), input.metadata.get(),
                                  input.buffer.data(), output ? output->metadata() : nullptr,
                                  output ? output->buffer() : nullptr);
    status.check();
    if (output) {
        std::vector<Field> fields = output->makeFields();
        output->decode(fields, connection_.handle(), transaction.handle());
        fields_ = std::move(fields);
    }
}

bool Statement::fetch() {
    if (!cursor_)
        throw Error(fmt::format("No open cursor to fetch from: {}", sql_));
    try {
        return fetchNext();
    } catch (const Error& e) {
        connection_.noteError(e);
        throw;
    }
}

bool Statement::fetchNext() {
    if (!prepared_->current()) {
        close();
        throw Error(fmt::format("Database is not connected; the cursor is gone: {}", sql_));
    }
    detail::OutputMessage* output = prepared_->output.get();
    detail::Status status;
    const int result = cursor_->fetchNext(status.get(), output->buffer());
    status.check();
    if (result == Firebird::IStatus::RESULT_NO_DATA) {
        close();
        fields_.clear();
        return false;
    }
    std::vector<Field> fields = fields_.empty() ? output->makeFields() : std::move(fields_);
    output->decode(fields, connection_.handle(), transaction_.handle());
    fields_ = std::move(fields);
    return true;
}

void Statement::close() noexcept {
    if (!cursor_)
        return;
    if (!prepared_ || !prepared_->current()) {
        cursor_.reset();
        return;
    }
    detail::Status status;
    cursor_->close(status.get());
    if (status.failed())
        cursor_.reset();
    else
        cursor_.abandon();
}

bool Statement::isQuery() const {
    return prepared_ && prepared_->isQuery();
}

std::uint64_t Statement::affectedRows() {
    if (!prepared_)
        return 0;
    if (!prepared_->current())
        throw Error("Database is not connected");
    detail::Status status;
    const std::uint64_t rows = prepared_->statement->getAffectedRecords(status.get());
    if (status.failed()) {
        try {
            status.check();
        } catch (const Error& e) {
            connection_.noteError(e);
            throw;
        }
    }
    return rows;
}

const Field& Statement::field(std::string_view name) const {
    for (const Field& f : fields_)
        if (SameName(f.name(), name))
            return f;
    throw Error(fmt::format("Unknown field {} in the current row of: {}", name, sql_));
}

const Field& Statement::field(std::size_t index) const {
    if (index >= fields_.size())
        throw Error(fmt::format("No field {} in the current row of: {}", index, sql_));
    return fields_[index];
}

} // namespace fbdb
