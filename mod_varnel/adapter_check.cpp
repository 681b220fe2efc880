// What the hotel-link adapter tells the host's configuration check.
#include "mod_varnel_impl.h"

#include "hl_driver.h"
#include "value_conversion.h"

#include "frame/front_db.h"
#include "rtl/numbers.h"

namespace mod_varnel {

std::vector<std::string> TVarnel::knownKeys() {
    return {"varnel.path",
            "varnel.driver_ip",
            "varnel.driver_port",
            "varnel.log_path",
            "check_in.def_password",
            "check_in.def_language",
            "out_tickect_scan.cache_file_name",
            "out_tickect_scan.spool_file_name",
            "timer_interval",
            "db.name",
            "db.dialect",
            "db.user_name",
            "db.password",
            "db.sql_role_name"};
}

std::vector<rtl::TWrittenPath> TVarnel::writtenPaths(rtl::IConfiguration& section) {
    const std::string queueKey = section.get("varnel.log_path").empty()
                                     ? "mod_varnel.varnel.path"
                                     : "mod_varnel.varnel.log_path";
    const std::string queueFolder = QueueFolder(section);
    const std::string spool = section.get("out_tickect_scan.spool_file_name", "spool.dat");
    return {
        {queueKey, queueFolder.empty() ? "." : queueFolder, true},
        {"mod_varnel.out_tickect_scan.cache_file_name",
         section.get("out_tickect_scan.cache_file_name", "cach_file.dat"), false},
        {"mod_varnel.out_tickect_scan.spool_file_name", spool, false},
        {"mod_varnel.out_tickect_scan.spool_file_name", spool + ".rejected", false},
    };
}

std::vector<rtl::TCheckFinding> TVarnel::connectCheck(rtl::IConfiguration& section) {
    std::vector<rtl::TCheckFinding> findings;
    const std::string name = section.get("db.name");
    frame::TFrontDB db("TVarnel", rtl::Ref<rtl::IConfiguration>(&section));
    try {
        db.connect();
        db.disconnect();
        findings.push_back({false, "front database " + name + ": connected"});
    } catch (const std::exception& e) {
        findings.push_back({true, "front database " + name + ": " + e.what()});
    }

    const std::string host = section.get("varnel.driver_ip");
    const std::string port = section.get("varnel.driver_port");
    const std::string where = "HL driver " + host + ":" + port;
    try {
        if (host.empty() || rtl::IntOr(port, -1) == -1)
            throw std::runtime_error("varnel.driver_ip and varnel.driver_port must be set");
        rtl::Ref<IHLDriver> driver = THLDriver::Create(section.get("varnel.path"));
        driver->Connect(host, rtl::IntOr(port, -1),
                        IncludeTrailingPathDelimiter(QueueFolder(section)));
        driver->Disconnect();
        findings.push_back({false, where + ": connected"});
    } catch (const std::exception& e) {
        findings.push_back({true, where + ": " + e.what()});
    }
    return findings;
}

} // namespace mod_varnel
