// The modem's answer as the driver judges it. Input: the command, a 0 byte, and
// what the modem answered (any bytes); without a 0 byte all of it is the answer
// to "AT".
#include "fuzz_check.h"

#include "modem_driver.h"
#include "text_utils.h"

#include <cstdint>
#include <string>

using tellum::TModemDriver;

namespace {

bool Accepted(const std::string& answer, const std::string& command) {
    return tellum::UpperAscii(TModemDriver::AnswerText(answer, command)) == "OK";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    const std::string command = zero == std::string::npos ? "AT" : input.substr(0, zero);
    const std::string answer = zero == std::string::npos ? input : input.substr(zero + 1);

    const std::string text = TModemDriver::AnswerText(answer, command);
    for (const char c : text)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20, "the judged text holds no control byte");

    // Every command the driver waits for begins with "AT" and is printable. Its
    // plain "OK", with or without the echo and in either letter case, is accepted.
    bool printable = true;
    for (const char c : command)
        printable = printable && static_cast<unsigned char>(c) >= 0x20;
    if (command.starts_with("AT") && printable) {
        FUZZ_CHECK(Accepted("\r\nOK\r\n", command), "a plain OK is accepted");
        FUZZ_CHECK(Accepted(command + "\r\r\nOK\r\n", command), "OK after the echo is accepted");
        FUZZ_CHECK(Accepted(command + "\r\r\nok\r\n", command), "a lower-case ok is accepted");
        FUZZ_CHECK(!Accepted(command + "\r\r\nERROR\r\n", command), "ERROR is not accepted");
    }
    return 0;
}
