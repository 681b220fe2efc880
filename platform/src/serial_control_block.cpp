#include "platform/serial_control_block.h"

#include "platform/error.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

namespace {

std::string Lower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

class ModeError {
public:
    explicit ModeError(const std::string& mode) : mode_(mode) {}
    [[noreturn]] void fail(const std::string& why) const {
        throw Error("Malformed serial mode string \"" + mode_ + "\": " + why, EINVAL);
    }

private:
    const std::string& mode_;
};

std::optional<uint32_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + uint32_t(c - '0');
    }
    return value;
}

// The mode command's two-digit short forms of the classic rates.
uint32_t ExpandBaud(uint32_t baud) {
    switch (baud) {
    case 11:
        return 110;
    case 15:
        return 150;
    case 30:
        return 300;
    case 60:
        return 600;
    case 12:
        return 1200;
    case 24:
        return 2400;
    case 48:
        return 4800;
    case 96:
        return 9600;
    case 19:
        return 19200;
    default:
        return baud;
    }
}

// The settings a mode string asks for; fields it leaves out stay empty.
struct Request {
    std::optional<uint32_t> baud;
    std::optional<Parity> parity;
    std::optional<uint8_t> data;
    std::optional<StopBits> stop;
    // Flow control, all switched off unless asked for.
    bool outX = false, inX = false, ctsFlow = false, dsrFlow = false, dsrSensitivity = false;
    DtrControl dtr = DtrControl::Enable;
    RtsControl rts = RtsControl::Enable;
};

void ParseBaud(std::string_view text, Request& r, const ModeError& err) {
    const auto baud = Decimal(text);
    if (!baud || *baud == 0)
        err.fail("bad baud rate \"" + std::string(text) + "\"");
    r.baud = ExpandBaud(*baud);
}

void ParseParity(std::string_view text, Request& r, const ModeError& err) {
    static constexpr struct {
        const char* letter;
        Parity parity;
    } kParities[] = {{"n", Parity::None},
                     {"e", Parity::Even},
                     {"o", Parity::Odd},
                     {"m", Parity::Mark},
                     {"s", Parity::Space}};
    for (const auto& p : kParities)
        if (Lower(text) == p.letter) {
            r.parity = p.parity;
            return;
        }
    err.fail("bad parity \"" + std::string(text) + "\"");
}

void ParseData(std::string_view text, Request& r, const ModeError& err) {
    const auto data = Decimal(text);
    if (!data || *data < 5 || *data > 8)
        err.fail("bad data bits \"" + std::string(text) + "\"");
    r.data = uint8_t(*data);
}

void ParseStop(std::string_view text, Request& r, const ModeError& err) {
    if (text == "1")
        r.stop = StopBits::One;
    else if (text == "1.5")
        r.stop = StopBits::OneAndHalf;
    else if (text == "2")
        r.stop = StopBits::Two;
    else
        err.fail("bad stop bits \"" + std::string(text) + "\"");
}

void ParseFlowLetter(std::string_view text, Request& r, const ModeError& err) {
    const std::string flow = Lower(text);
    if (flow == "x") {
        r.outX = r.inX = true;
    } else if (flow == "p") {
        r.ctsFlow = r.dsrFlow = true;
        r.dtr = DtrControl::Handshake;
        r.rts = RtsControl::Handshake;
    } else {
        err.fail("bad flow control \"" + std::string(text) + "\"");
    }
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

void ParsePositional(std::string_view text, Request& r, const ModeError& err) {
    const auto fields = Split(text, ',');
    if (fields.size() > 5)
        err.fail("more than five fields");
    using Parser = void (*)(std::string_view, Request&, const ModeError&);
    static constexpr Parser kParsers[] = {ParseBaud, ParseParity, ParseData, ParseStop,
                                          ParseFlowLetter};
    for (size_t i = 0; i < fields.size(); ++i) {
        const auto field = Trim(fields[i]);
        if (field.empty())
            err.fail("field " + std::to_string(i + 1) + " is empty");
        kParsers[i](field, r, err);
    }
}

bool OnOff(std::string_view key, std::string_view value, const ModeError& err) {
    const std::string v = Lower(value);
    if (v == "on")
        return true;
    if (v != "off")
        err.fail("bad value \"" + std::string(value) + "\" for " + std::string(key));
    return false;
}

void ParseKeyed(std::string_view text, Request& r, const ModeError& err) {
    for (std::string_view word : Split(text, ' ')) {
        word = Trim(word);
        if (word.empty())
            continue;
        const size_t eq = word.find('=');
        if (eq == std::string_view::npos)
            err.fail("\"" + std::string(word) + "\" is not key=value");
        const std::string key = Lower(Trim(word.substr(0, eq)));
        const std::string_view value = Trim(word.substr(eq + 1));
        if (key == "baud") {
            ParseBaud(value, r, err);
        } else if (key == "parity") {
            ParseParity(value, r, err);
        } else if (key == "data") {
            ParseData(value, r, err);
        } else if (key == "stop") {
            ParseStop(value, r, err);
        } else if (key == "xon") {
            r.outX = r.inX = OnOff(key, value, err);
        } else if (key == "odsr") {
            r.dsrFlow = OnOff(key, value, err);
        } else if (key == "octs") {
            r.ctsFlow = OnOff(key, value, err);
        } else if (key == "idsr") {
            r.dsrSensitivity = OnOff(key, value, err);
        } else if (key == "to") {
            OnOff(key, value, err); // an infinite time-out switch: time-outs are set separately
        } else if (key == "dtr") {
            const std::string v = Lower(value);
            if (v == "hs")
                r.dtr = DtrControl::Handshake;
            else
                r.dtr = OnOff(key, value, err) ? DtrControl::Enable : DtrControl::Disable;
        } else if (key == "rts") {
            const std::string v = Lower(value);
            if (v == "hs")
                r.rts = RtsControl::Handshake;
            else if (v == "tg")
                r.rts = RtsControl::Toggle;
            else
                r.rts = OnOff(key, value, err) ? RtsControl::Enable : RtsControl::Disable;
        } else {
            err.fail("unknown key \"" + key + "\"");
        }
    }
}

// Skips a leading "COMn:" device prefix.
std::string_view SkipDevicePrefix(std::string_view text) {
    const std::string head = Lower(text.substr(0, 3));
    if (head != "com")
        return text;
    size_t i = 3;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i > 3 && i < text.size() && text[i] == ':')
        return Trim(text.substr(i + 1));
    return text;
}

} // namespace

void BuildControlBlock(const std::string& mode, SerialControlBlock& block) {
    const ModeError err(mode);
    const std::string_view text = SkipDevicePrefix(Trim(mode));
    if (text.empty())
        err.fail("no settings");
    Request r;
    if (text.find('=') != std::string_view::npos)
        ParseKeyed(text, r, err);
    else
        ParsePositional(text, r, err);

    // Everything parsed: only now touch the caller's block.
    block.fBinary = 1;
    if (r.baud)
        block.BaudRate = *r.baud;
    if (r.parity)
        block.Parity = *r.parity;
    if (r.data)
        block.ByteSize = *r.data;
    if (r.stop)
        block.StopBits = *r.stop;
    else if (r.baud && *r.baud == 110)
        block.StopBits = StopBits::Two;
    block.fOutX = r.outX;
    block.fInX = r.inX;
    block.fOutxCtsFlow = r.ctsFlow;
    block.fOutxDsrFlow = r.dsrFlow;
    block.fDsrSensitivity = r.dsrSensitivity;
    block.fDtrControl = r.dtr;
    block.fRtsControl = r.rts;
}

} // namespace platform
