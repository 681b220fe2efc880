#include "modem_driver.h"

#include "text_utils.h"

#include "platform/tick_count.h"

#include "rtl/logger.h"

#include <fmt/printf.h>

#include <chrono>
#include <exception>
#include <thread>

namespace tellum {

namespace {

constexpr char kLineMarker[] = "\\n";
constexpr char kPauseMarker[] = "\\p";

std::string ReplaceAll(const std::string& text, const std::string& marker,
                       const std::string& replacement) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find(marker, from)) != std::string::npos; from = at + marker.size())
        out.append(text, from, at - from).append(replacement);
    return out.append(text, from);
}

// A phone line comes from the front database and lands inside a modem command
// line. A carriage return (or any other control byte) in it would end the
// command early and let the rest reach the modem as commands of its own, and a
// "\p" in it would cut the line into commands nobody configured; such a line
// is refused before anything is written.
void CheckPhoneLine(const std::string& commandLine, const std::string& phoneLine) {
    if (commandLine.find(kLineMarker) == std::string::npos)
        return;
    for (const char c : phoneLine)
        if (static_cast<unsigned char>(c) < 0x20)
            throw EProtocolExeption(fmt::sprintf(
                "Phone line \"%s\" holds control characters; the command line was not sent.",
                Printable(phoneLine)));
    if (phoneLine.find(kPauseMarker) != std::string::npos)
        throw EProtocolExeption(fmt::sprintf(
            "Phone line \"%s\" holds the command separator \"\\p\"; the command line was not sent.",
            phoneLine));
}

} // namespace

TModemDriver::TModemDriver(rtl::Ref<rtl::IConfiguration> adapterConfiguration)
    : configuration_(std::move(adapterConfiguration)),
      stream_(rtl::MakeRef<TRS232Stream>(configuration_->sub("rs"), false)) {}

TModemDriver::~TModemDriver() {
    stream_->close();
}

void TModemDriver::lock(const std::string& phoneLine, rtl::Ref<IResult>& result) {
    sendCommandLine(configuration_->get("lock_command_line"), phoneLine, result);
}

void TModemDriver::unlock(const std::string& phoneLine, rtl::Ref<IResult>& result) {
    sendCommandLine(configuration_->get("unlock_command_line"), phoneLine, result);
}

std::vector<std::string> TModemDriver::SplitCommandLine(const std::string& commandLine,
                                                        const std::string& phoneLine) {
    const std::string line = ReplaceAll(commandLine, kLineMarker, phoneLine);
    std::vector<std::string> commands;
    size_t from = 0;
    for (size_t at; (at = line.find(kPauseMarker, from)) != std::string::npos; from = at + 2)
        commands.push_back(line.substr(from, at - from));
    commands.push_back(line.substr(from));
    return commands;
}

void TModemDriver::sendCommandLine(const std::string& commandLine, const std::string& phoneLine,
                                   rtl::Ref<IResult>& result) {
    try {
        if (commandLine.empty())
            throw EProtocolExeption("Command line is not defined.");
        CheckPhoneLine(commandLine, phoneLine);
        sendCommand("AT", false, "OK");

        // Once the modem has answered "AT" it is hung up whatever happens next; a
        // failure of the hang-up itself is the one reported.
        std::exception_ptr failure;
        try {
            for (const char* key :
                 {"modem_config_str_1", "modem_config_str_2", "modem_config_str_3"}) {
                const std::string setup = configuration_->get(key);
                if (!setup.empty())
                    sendCommand(setup, false, "OK");
            }
            for (const std::string& command : SplitCommandLine(commandLine, phoneLine)) {
                if (command.empty())
                    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
                else
                    sendCommand(command, true, {});
            }
        } catch (...) {
            failure = std::current_exception();
        }
        // The answers to the line's commands are still waiting in the input queue;
        // they are read, logged and ignored as part of this answer.
        sendCommand("ATH", false, {});
        if (failure)
            std::rethrow_exception(failure);
        result = rtl::MakeRef<TResult>();
    } catch (const std::exception& e) {
        result = rtl::MakeRef<TResult>(e.what());
        rtl::TLogger::error(this, e, "Send command line error");
    } catch (...) {
        result = rtl::MakeRef<TResult>("Terrible exception on send command line!");
        rtl::TLogger::error(this, "Terrible exception on send command line!");
    }
}

void TModemDriver::sendCommand(const std::string& command, bool noWait,
                               const std::string& expectedAnswer) {
    const std::string buffer = command + '\r';
    rtl::TLogger::debug(this, "Sending command: %s", Printable(buffer));
    const size_t written = stream_->write(buffer.data(), buffer.size());
    if (written != buffer.size())
        throw EProtocolExeption(
            fmt::sprintf("The command was not send successful.(Sended %d bytes, result %d bytes)",
                         buffer.size(), written));
    if (noWait)
        return;

    const std::string answer = readAnswer();
    if (expectedAnswer.empty())
        return;
    const std::string text = AnswerText(answer, command);
    if (UpperAscii(text) != expectedAnswer)
        throw EProtocolExeption(fmt::sprintf(
            "The modem send error respond: %s, expected respond: %s", text, expectedAnswer));
}

std::string TModemDriver::AnswerText(const std::string& answer, const std::string& command) {
    // Control bytes drop out; the echo of the command, if the modem sent one, is
    // the first occurrence of the command in what is left.
    std::string text;
    for (const char c : answer)
        if (static_cast<unsigned char>(c) >= 0x20)
            text += c;
    if (const size_t echo = text.find(command); echo != std::string::npos)
        text.erase(echo, command.size());
    return text;
}

std::string TModemDriver::readAnswer() {
    const uint32_t start = platform::TickCount();
    const int64_t timeoutMs = IntOr(configuration_->get("read_time_out"), kDefaultReadTimeoutMs);
    std::string answer;
    try {
        // One byte per read: the answer is complete when a line feed has come and
        // the line then stays silent for one port read time-out.
        char last = 0;
        for (;;) {
            char c = 0;
            if (stream_->read(&c, 1) == 1) {
                answer += c;
                last = c;
            } else if (last == '\n') {
                break;
            } else {
                stream_->ready(); // clears the port's error state
            }
            if (int64_t(platform::TicksSince(start)) > timeoutMs)
                throw EProtocolExeption("Read timeout.");
        }
    } catch (...) {
        rtl::TLogger::debug(this, "Readed data: %s", Printable(answer));
        throw;
    }
    rtl::TLogger::debug(this, "Readed data: %s", Printable(answer));
    return answer;
}

} // namespace tellum
