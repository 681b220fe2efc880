// What the PBX manager tells the host's configuration check.
#include "mod_quorvin_impl.h"

#include "frame/front_db.h"

namespace quorvin {

std::vector<std::string> TPBXManager::knownKeys() {
    return {"pbx_adapter",  "timer_interval", "db.name",         "db.dialect",
            "db.user_name", "db.password",    "db.sql_role_name"};
}

std::vector<rtl::TWrittenPath> TPBXManager::writtenPaths(rtl::IConfiguration&) {
    return {};
}

std::vector<rtl::TCheckFinding> TPBXManager::connectCheck(rtl::IConfiguration& section) {
    const std::string name = section.get("db.name");
    frame::TFrontDB db("TPBXManager", rtl::Ref<rtl::IConfiguration>(&section));
    try {
        db.connect();
        db.disconnect();
        return {{false, "front database " + name + ": connected"}};
    } catch (const std::exception& e) {
        return {{true, "front database " + name + ": " + e.what()}};
    }
}

} // namespace quorvin
