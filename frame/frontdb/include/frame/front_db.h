// The front database connection of a plug-in module (`frontDB`): built from the
// module's configuration keys "db.name", "db.dialect", "db.user_name",
// "db.password" and "db.sql_role_name" at every connect, checked before use and
// reconnected when the server no longer answers. Log lines name the module.
#pragma once

#include "fbdb/connection.h"
#include "rtl/configuration.h"

#include <string>

namespace frame {

class TFrontDB {
public:
    // `logSource` is the owning module's name as it appears in the log
    // (e.g. "TpbxManagerDM"); `configuration` is the module's own section.
    TFrontDB(std::string logSource, rtl::Ref<rtl::IConfiguration> configuration);
    TFrontDB(const TFrontDB&) = delete;
    TFrontDB& operator=(const TFrontDB&) = delete;

    // (Re)opens the connection from the configuration; an open one is closed
    // first. Raises the data layer's error on failure, leaving it closed.
    void connect();
    // Closes the connection (and ends its transactions).
    void disconnect();
    // Tests the link; a connection found lost is reconnected. Raises when the
    // reconnection fails.
    void checkConnection();
    bool connected() const { return db_.connected(); }

    fbdb::Connection& connection() { return db_; }
    void setConfiguration(rtl::Ref<rtl::IConfiguration> configuration) {
        configuration_ = std::move(configuration);
    }

private:
    std::string source_;
    rtl::Ref<rtl::IConfiguration> configuration_;
    fbdb::Connection db_;
};

// The password as it may appear in a log: asterisks, or empty when it is empty.
std::string MaskedPassword(const std::string& password);

} // namespace frame
