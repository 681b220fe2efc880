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
    // servers, kill the attachment): end them first.
    endTransactions(true);
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
    closeQuietly();
    return false;
}

void Connection::dropDatabase() {
    if (!attachment_)
        throw Error("Database is not connected");
    endTransactions(true);
    detail::Status status;
    attachment_->dropDatabase(status.get());
    status.check();
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

void Connection::closeQuietly() noexcept {
    if (!attachment_)
        return;
    endTransactions(true);
    detail::Status status;
    attachment_->detach(status.get());
    if (status.failed())
        attachment_.reset();
    else
        attachment_.abandon();
}

} // namespace fbdb
