#include "frame/front_db.h"

#include "rtl/logger.h"
#include "rtl/numbers.h"

namespace frame {

namespace {

// The connection parameters and the configuration keys they come from, in the
// order they are written.
struct ParamKey {
    const char* parameter;
    const char* key;
};
constexpr ParamKey kParamKeys[] = {
    {"user_name", "db.user_name"},
    {"password", "db.password"},
    {"sql_role_name", "db.sql_role_name"},
};

} // namespace

std::string MaskedPassword(const std::string& password) {
    // A fixed count: the log tells that a password is set, not how long it is.
    return password.empty() ? std::string() : std::string(8, '*');
}

TFrontDB::TFrontDB(std::string logSource, rtl::Ref<rtl::IConfiguration> configuration)
    : source_(std::move(logSource)), configuration_(std::move(configuration)) {}

void TFrontDB::connect() {
    using rtl::TLogger;
    TLogger::debug(source_, "Connectign to DB ...");
    try {
        if (db_.connected())
            db_.disconnect();
        db_.setDatabaseName(configuration_->get("db.name"));
        TLogger::debug(source_, "Param DB name: %s", db_.databaseName());
        db_.setDialect(rtl::IntOr(configuration_->get("db.dialect"), 1));
        TLogger::debug(source_, "Param SQL dialect: %d", db_.dialect());
        // Built afresh at every connect, never appended to the previous lines.
        db_.clearParams();
        for (const ParamKey& p : kParamKeys) {
            const std::string value = configuration_->get(p.key);
            db_.addParam(p.parameter, value);
            TLogger::debug(source_, "Param %s: %s", p.parameter,
                           std::string(p.parameter) == "password" ? MaskedPassword(value) : value);
        }
        db_.connect();
    } catch (...) {
        if (db_.connected()) {
            try {
                db_.disconnect();
            } catch (...) {
            }
        }
        throw;
    }
    TLogger::debug(source_, "Successful connectign to DB");
}

void TFrontDB::disconnect() {
    db_.disconnect();
    rtl::TLogger::debug(source_, "Disconnect from DB");
}

void TFrontDB::checkConnection() {
    rtl::TLogger::debug(source_, "Check connection to DB");
    if (!db_.ping()) {
        rtl::TLogger::debug(source_, "No connection to DB -> reconnect");
        connect();
    }
}

} // namespace frame
