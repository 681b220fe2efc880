#include "rs232_config.h"

#include "io_errors.h"
#include "text_utils.h"

#include "platform/error.h"
#include "platform/serial_control_block.h"

#include "rtl/logger.h"

#include <fmt/printf.h>

#include <cerrno>
#include <span>

namespace tellum {

namespace {

// A settings word and its token in the device-control string.
struct Word {
    const char* word;
    const char* token;
};

constexpr Word kParityWords[] = {
    {"none", "n"}, {"even", "e"}, {"odd", "o"}, {"mark", "m"}, {"space", "s"},
};
constexpr Word kStopWords[] = {{"1", "1"}, {"1.5", "1.5"}, {"2", "2"}};
constexpr Word kFlowWords[] = {{"none", ""}, {"hardware", ",p"}, {"xonxoff", ",x"}};

// The token of the section's word at `key`; exact match after trimming and
// lower-casing ("1.50" is no stop-bits word).
std::string Token(rtl::IConfiguration& rs, const char* key, const char* fallback,
                  std::span<const Word> words, const char* parameter) {
    const std::string value = LowerAscii(Trim(rs.get(key, fallback)));
    for (const Word& w : words)
        if (value == w.word)
            return w.token;
    throw EConfigurationError(
        fmt::sprintf("Invalid value \"%s\" for %s parameter.", value, parameter));
}

// Runs one step of the settings on the port; a platform failure becomes an I/O
// error with the step's context and the system's code.
template <typename Step> auto Checked(const std::string& context, Step&& step) {
    try {
        return step();
    } catch (const platform::Error& e) {
        throw EInOutError::FromSystem(context, e.code());
    }
}

} // namespace

void TDefaultRS232Config::configure(const std::string& deviceName, platform::SerialPort& port) {
    platform::SerialControlBlock block = Checked(fmt::sprintf("GetCommState for %s", deviceName),
                                                 [&] { return port.controlBlock(); });
    Checked(fmt::sprintf("Build parameters for \"%s\"", deviceControl_),
            [&] { platform::BuildControlBlock(deviceControl_, block); });
    if (block.Parity != platform::Parity::None)
        block.fParity = 1;
    block.fAbortOnError = 1;
    Checked(fmt::sprintf("Setup comm buffers for %s as InQueue: %d, OutQueue: %d", deviceName,
                         kInQueue, kOutQueue),
            [&] { port.setupQueues(kInQueue, kOutQueue); });
    block.XonLim = 512;
    block.XoffLim = 512;
    const std::vector<platform::SettingNotKept> notKept =
        Checked(fmt::sprintf("Setup %s as \"%s\"", deviceName, deviceControl_),
                [&] { return port.setControlBlock(block); });
    // A device may hold fewer settings than asked (a pseudo-terminal always keeps
    // 8 data bits and no parity); the line still works, so this is only told.
    if (!notKept.empty())
        rtl::TLogger::warn(this, "Device %s did not keep all of \"%s\": %s", deviceName,
                           deviceControl_, platform::DescribeNotKept(notKept));
    Checked(fmt::sprintf("SetCommTimeouts for %s", deviceName),
            [&] { port.setTimeouts(kTimeouts); });
}

TCfgRS232Config::TCfgRS232Config(rtl::Ref<rtl::IConfiguration> rs, bool writeDefaults)
    : rs_(std::move(rs)) {
    if (!writeDefaults)
        return;
    static constexpr const char* kDefaults[][2] = {
        {"device", "COM1"}, {"rate", "9600"},   {"data", "8"},
        {"stop", "1"},      {"parity", "none"}, {"flow", "none"},
    };
    for (const auto& [key, value] : kDefaults)
        if (!rs_->has(key))
            rs_->set(key, value);
}

std::string TCfgRS232Config::deviceControlString() {
    const std::string parity = Token(*rs_, "parity", "none", kParityWords, "parity check");
    const std::string flow = Token(*rs_, "flow", "none", kFlowWords, "flow control");
    const std::string stop = Token(*rs_, "stop", "1", kStopWords, "stop bits");
    const int data = IntOr(rs_->get("data"), 8);
    const int rate = IntOr(rs_->get("rate"), 9600);
    return fmt::sprintf("%d,%s,%d,%s%s", rate, parity, data, stop, flow);
}

void TCfgRS232Config::configure(const std::string& deviceName, platform::SerialPort& port) {
    rtl::MakeRef<TDefaultRS232Config>(deviceControlString())->configure(deviceName, port);
}

} // namespace tellum
