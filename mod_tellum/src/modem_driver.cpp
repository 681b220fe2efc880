#include "modem_driver.h"

#include "text_utils.h"

#include "platform/tick_count.h"

#include "rtl/logger.h"

#include <fmt/printf.h>

#include <algorithm>
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

// Characters a phone line may hold: what a dial string of an exchange's
// extension needs (digits, "*", "#", "+" for a number with a country code,
// the tone letters A to D and "," for a dial pause). The line comes from the
// front database and lands inside a modem command line, where anything else
// could end the command early (a carriage return), run a command of its own
// (";" and letters), or join the text around it into a "\p" marker.
bool Dialable(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '*' || c == '#' || c == '+' ||
           c == ',';
}

// A byte a modem takes inside a command: printable ASCII.
bool Sendable(char c) {
    return c >= 0x20 && c < 0x7F;
}

std::string Hex(char c) {
    return fmt::sprintf("0x%02X", static_cast<unsigned char>(c));
}

// The line's commands, checked after the phone line is put in; any doubt and
// nothing is sent.
std::vector<std::string> CheckedCommands(const std::string& commandLine,
                                         const std::string& phoneLine) {
    const bool usesLine = commandLine.find(kLineMarker) != std::string::npos;
    if (usesLine) {
        if (phoneLine.empty())
            throw EProtocolExeption(
                "No phone line for the command line; the command line was not sent.");
        for (const char c : phoneLine)
            if (!Dialable(c))
                throw EProtocolExeption(fmt::sprintf(
                    "Phone line \"%s\" holds %s, which is not a dial character (0-9, *, #, +, "
                    "A-D, \",\"); the command line was not sent.",
                    Printable(phoneLine), Sendable(c) ? "\"" + std::string(1, c) + "\"" : Hex(c)));
    }
    std::vector<std::string> commands = TModemDriver::SplitCommandLine(commandLine, phoneLine);
    // The line must not change how the command line is cut.
    if (usesLine && commands.size() != TModemDriver::SplitCommandLine(commandLine, "0").size())
        throw EProtocolExeption(fmt::sprintf(
            "Phone line \"%s\" changes the commands of the command line; the command line was "
            "not sent.",
            Printable(phoneLine)));
    for (const std::string& command : commands)
        for (const char c : command)
            if (!Sendable(c))
                throw EProtocolExeption(fmt::sprintf(
                    "Command \"%s\" of the command line holds the byte %s, which a modem does not "
                    "take; the command line was not sent.",
                    Printable(command), Hex(c)));
    return commands;
}

// An answer line that refuses a command: the verbose and the numeric error
// code, and the extended errors of mobile modems.
bool IsErrorAnswer(const std::string& line) {
    const std::string upper = UpperAscii(Trim(line));
    return upper == "ERROR" || upper == "4" || upper.rfind("+CME ERROR", 0) == 0 ||
           upper.rfind("+CMS ERROR", 0) == 0;
}

} // namespace

std::string TModemDriver::FirstError(const std::string& answers,
                                     const std::vector<std::string>& commands) {
    std::string line;
    for (size_t i = 0; i <= answers.size(); ++i) {
        if (i < answers.size() && answers[i] != '\r' && answers[i] != '\n') {
            line += answers[i];
            continue;
        }
        const bool echo = std::find(commands.begin(), commands.end(), line) != commands.end();
        if (!echo && IsErrorAnswer(line))
            return Trim(line);
        line.clear();
    }
    return {};
}

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
        const std::vector<std::string> commands = CheckedCommands(commandLine, phoneLine);
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
            bool sent = false;
            for (const std::string& command : commands) {
                if (command.empty()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
                } else {
                    sendCommand(command, true, {});
                    sent = true;
                }
            }
            // The line's commands are not awaited one by one (an exchange may take
            // its time, and the pauses are the configuration's); what the modem
            // said to them is judged once they are all out.
            if (sent) {
                const std::string answers = readPending();
                const std::string refusal = FirstError(answers, commands);
                if (!refusal.empty())
                    throw EProtocolExeption(
                        fmt::sprintf("The modem answered \"%s\" to the command line: %s", refusal,
                                     Printable(answers)));
            }
        } catch (...) {
            failure = std::current_exception();
        }
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

std::string TModemDriver::readPending() {
    const uint32_t start = platform::TickCount();
    const int64_t timeoutMs = IntOr(configuration_->get("read_time_out"), kDefaultReadTimeoutMs);
    std::string answer;
    // Until one read time-out of silence; a modem that keeps talking is cut
    // off at the answer deadline, which is no failure here.
    for (char c = 0; stream_->read(&c, 1) == 1;) {
        answer += c;
        if (int64_t(platform::TicksSince(start)) > timeoutMs)
            break;
    }
    rtl::TLogger::debug(this, "Readed data: %s", Printable(answer));
    return answer;
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
