#include "fbdb/connection.h"

#include "fbdb/error.h"
#include "fbdb/parameter_blocks.h"
#include "fbdb/transaction.h"
#include "status.h"

#include <algorithm>
#include <cctype>

#include <fmt/format.h>

namespace fbdb {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

Connection::Connection() : provider_(detail::Master()->getDispatcher()) {}

Connection::~Connection() {
    closeQuietly();
}

void Connection::setDialect(int dialect) {
    if (dialect < 1 || dialect > 3)
        throw Error(fmt::format("Invalid SQL dialect {} (1 to 3)", dialect));
    dialect_ = dialect;
}

void Connection::addParam(std::string_view name, std::string_view value) {
    params_.push_back(fmt::format("{}={}", name, value));
}

std::string Connection::paramValue(std::string_view name) const {
    for (auto it = params_.rbegin(); it != params_.rend(); ++it) {
        const auto eq = it->find('=');
        if (eq != std::string::npos && SameName(std::string_view(*it).substr(0, eq), name))
            return it->substr(eq + 1);
    }
    return {};
}

void Connection::connect() {
    if (connected())
        disconnect();
    const std::vector<std::uint8_t> dpb = BuildDpb(params_, dialect_);
    detail::Status status;
    Firebird::IAttachment* attachment = provider_->attachDatabase(
        status.get(), databaseName_.c_str(), static_cast<unsigned>(dpb.size()), dpb.data());
    status.check();
    attachment_ = Ref<Firebird::IAttachment>(attachment);
    ++generation_;
}

void Connection::disconnect() {
    if (!attachment_)
        return;
    // Detaching with a transaction still open would fail (or, on some
    // servers, kill the attachment): end them first. A rollback that finds
    // the connection gone has let go of it already.
    endTransactions(true);
    if (!attachment_)
        return;
    detail::Status status;
    attachment_->detach(status.get());
    if (status.failed()) {
        attachment_.reset();
        status.check();
    }
    attachment_.abandon();
}

bool Connection::ping() {
    if (!attachment_)
        return false;
    detail::Status status;
    attachment_->ping(status.get());
    if (!status.failed())
        return true;
    // A ping that fails says the connection does not work: a rollback or a
    // detach on it could wait for an answer that never comes.
    try {
        status.check();
    } catch (const Error& e) {
        lose(e.connectionLost() && !e.serverShutDown());
    }
    return false;
}

void Connection::dropDatabase() {
    if (!attachment_)
        throw Error("Database is not connected");
    endTransactions(true);
    if (!attachment_)
        throw Error("Database is not connected");
    detail::Status status;
    attachment_->dropDatabase(status.get());
    if (status.failed()) {
        try {
            status.check();
        } catch (const Error& e) {
            noteError(e);
            throw;
        }
    }
    attachment_.abandon();
}

void Connection::addTransaction(Transaction* transaction) {
    transactions_.push_back(transaction);
}

void Connection::removeTransaction(Transaction* transaction) {
    transactions_.erase(std::remove(transactions_.begin(), transactions_.end(), transaction),
                        transactions_.end());
}

void Connection::endTransactions(bool rollback) noexcept {
    for (Transaction* transaction : transactions_)
        transaction->end(rollback);
}

void Connection::noteError(const Error& error) noexcept {
    if (error.connectionLost())
        lose(!error.serverShutDown());
}

void Connection::lose(bool brokenLink) noexcept {
    // Never detached, and its transactions never rolled back. Releasing the
    // attachment makes the client library roll back its active transactions
    // over the link and wait for the answer (a detach it leaves out once the
    // server said shutdown). That is right when the link is broken (the send
    // fails at once), but a server that has shut the attachment down may keep
    // the socket open and never read from it again. Then an attachment with
    // an active transaction is abandoned with it: the socket and a little
    // memory for each such loss, against a host that hangs.
    const bool active = std::any_of(transactions_.begin(), transactions_.end(),
                                    [](const Transaction* t) { return t->active(); });
    const bool release = brokenLink || !active;
    if (release)
        attachment_.reset();
    else
        attachment_.abandon();
    for (Transaction* transaction : transactions_)
        transaction->let(release);
}

void Connection::closeQuietly() noexcept {
    if (!attachment_)
        return;
    endTransactions(true);
    if (!attachment_)
        return;
    detail::Status status;
    attachment_->detach(status.get());
    if (status.failed())
        attachment_.reset();
    else
        attachment_.abandon();
}

} // namespace fbdb
