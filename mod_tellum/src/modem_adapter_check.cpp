// What the modem adapter tells the host's configuration check.
#include "modem_adapter_impl.h"

#include "platform/serial_port.h"

namespace tellum {

std::vector<std::string> TModemAdapter::knownKeys() {
    return {"unlock_command_line",
            "lock_command_line",
            "read_time_out",
            "modem_config_str_1",
            "modem_config_str_2",
            "modem_config_str_3",
            "rs.device",
            "rs.rate",
            "rs.data",
            "rs.stop",
            "rs.parity",
            "rs.flow"};
}

std::vector<rtl::TWrittenPath> TModemAdapter::writtenPaths(rtl::IConfiguration& section) {
    return {{"mod_tellum.rs.device",
             platform::SerialPort::DevicePath(section.get("rs.device", "COM1")), false, true}};
}

std::vector<rtl::TCheckFinding> TModemAdapter::connectCheck(rtl::IConfiguration& section) {
    const std::string device = section.get("rs.device", "COM1");
    try {
        platform::SerialPort port;
        port.open(device);
        port.close();
        return {{false, "serial device " + device + ": opened"}};
    } catch (const std::exception& e) {
        return {{true, "serial device " + device + ": " + e.what()}};
    }
}

} // namespace tellum
