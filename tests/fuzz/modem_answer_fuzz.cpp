// The modem's answers as the driver judges them: the answer to a command it
// waits for (compared with "OK"), and the answers to the commands of a command
// line (searched for an error). Input: the commands separated by 0x01, a 0 byte,
// and what the modem answered (any bytes); without a 0 byte all of it is the
// answer to "AT".
#include "fuzz_check.h"

#include "modem_driver.h"
#include "text_utils.h"

#include <cstdint>
#include <string>
#include <vector>

using tellum::TModemDriver;

namespace {

bool Accepted(const std::string& answer, const std::string& command) {
    return tellum::UpperAscii(TModemDriver::AnswerText(answer, command)) == "OK";
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

// A command as the driver sends it: it begins with "AT" and is printable.
bool ModemCommand(const std::string& command) {
    for (const char c : command)
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    return command.starts_with("AT");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    const std::vector<std::string> commands = zero == std::string::npos
                                                  ? std::vector<std::string>{"AT"}
                                                  : Split(input.substr(0, zero), '\x01');
    const std::string answer = zero == std::string::npos ? input : input.substr(zero + 1);
    const std::string& command = commands.front();

    const std::string text = TModemDriver::AnswerText(answer, command);
    for (const char c : text)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20, "the judged text holds no control byte");
    const std::string error = TModemDriver::FirstError(answer, commands);
    FUZZ_CHECK(error.empty() || answer.find(error) != std::string::npos,
               "an error found is one of the modem's answers");

    // "OK" to a command the driver waits for, with or without the echo and in
    // either letter case, is accepted; "ERROR" is not.
    if (ModemCommand(command)) {
        FUZZ_CHECK(Accepted("\r\nOK\r\n", command), "a plain OK is accepted");
        FUZZ_CHECK(Accepted(command + "\r\r\nOK\r\n", command), "OK after the echo is accepted");
        FUZZ_CHECK(Accepted(command + "\r\r\nok\r\n", command), "a lower-case ok is accepted");
        FUZZ_CHECK(!Accepted(command + "\r\r\nERROR\r\n", command), "ERROR is not accepted");
    }

    // Of a command line's answers, the echoes and OKs are no refusal, and an
    // ERROR after any answers is never missed.
    bool allCommands = true;
    std::string accepted;
    for (const std::string& c : commands) {
        allCommands = allCommands && ModemCommand(c);
        accepted += c + "\r\r\nOK\r\n";
    }
    if (allCommands) {
        FUZZ_CHECK(TModemDriver::FirstError(accepted, commands).empty(),
                   "echoes and OKs are no refusal");
        FUZZ_CHECK(!TModemDriver::FirstError(answer + "\r\nERROR\r\n", commands).empty(),
                   "an ERROR answer is never missed");
        FUZZ_CHECK(!TModemDriver::FirstError(accepted + "4\r", commands).empty(),
                   "the numeric error code is never missed");
    }
    return 0;
}
