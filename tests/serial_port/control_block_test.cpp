#include "platform/error.h"
#include "platform/serial_control_block.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <ostream>

using namespace platform;

namespace {

// A block that differs from every value a mode string can set, with flow control
// switched on, so each row shows what the string changed, kept and switched off.
SerialControlBlock Previous() {
    SerialControlBlock b;
    b.BaudRate = 600;
    b.fBinary = 0;
    b.ByteSize = 6;
    b.Parity = Parity::Odd;
    b.StopBits = StopBits::Two;
    b.fOutX = b.fInX = 1;
    b.fOutxCtsFlow = b.fOutxDsrFlow = 1;
    b.fDsrSensitivity = 1;
    b.fDtrControl = DtrControl::Handshake;
    b.fRtsControl = RtsControl::Toggle;
    b.XonLim = 100;
    b.EvtChar = 7;
    return b;
}

// Previous() after a string that asked for no flow control.
SerialControlBlock FlowOff() {
    SerialControlBlock b = Previous();
    b.fBinary = 1;
    b.fOutX = b.fInX = 0;
    b.fOutxCtsFlow = b.fOutxDsrFlow = 0;
    b.fDsrSensitivity = 0;
    b.fDtrControl = DtrControl::Enable;
    b.fRtsControl = RtsControl::Enable;
    return b;
}

struct ModeCase {
    const char* name;
    const char* mode;
    std::function<void(SerialControlBlock&)> expect; // applied to FlowOff()
};

// Test listings name a row by its name, not by its bytes.
void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class ModeString : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeString, FillsTheBlock) {
    const ModeCase& c = GetParam();
    SerialControlBlock block = Previous();
    BuildControlBlock(c.mode, block);
    SerialControlBlock expected = FlowOff();
    c.expect(expected);
    EXPECT_EQ(block, expected) << c.mode;
}

auto Format(uint32_t baud, Parity parity, uint8_t data, StopBits stop) {
    return [=](SerialControlBlock& b) {
        b.BaudRate = baud;
        b.Parity = parity;
        b.ByteSize = data;
        b.StopBits = stop;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ModeString,
    testing::Values(
        ModeCase{"Default", "9600,n,8,1", Format(9600, Parity::None, 8, StopBits::One)},
        ModeCase{"HardwareFlow", "19200,e,7,2,p",
                 [](SerialControlBlock& b) {
                     Format(19200, Parity::Even, 7, StopBits::Two)(b);
                     b.fOutxCtsFlow = b.fOutxDsrFlow = 1;
                     b.fDtrControl = DtrControl::Handshake;
                     b.fRtsControl = RtsControl::Handshake;
                 }},
        ModeCase{"XonXoff", "4800,n,8,1,x",
                 [](SerialControlBlock& b) {
                     Format(4800, Parity::None, 8, StopBits::One)(b);
                     b.fOutX = b.fInX = 1;
                 }},
        ModeCase{"OneAndAHalfStopBits", "1200,o,5,1.5",
                 Format(1200, Parity::Odd, 5, StopBits::OneAndHalf)},
        ModeCase{"ShortRateAndCapitals", "96,M,8,1,X",
                 [](SerialControlBlock& b) {
                     Format(9600, Parity::Mark, 8, StopBits::One)(b);
                     b.fOutX = b.fInX = 1;
                 }},
        ModeCase{"RateOnlyKeepsTheFormat", "38400",
                 [](SerialControlBlock& b) { b.BaudRate = 38400; }},
        ModeCase{"At110TwoStopBitsUnlessGiven", "110,s,7",
                 [](SerialControlBlock& b) { Format(110, Parity::Space, 7, StopBits::Two)(b); }},
        ModeCase{"At110GivenStopBitsWin", "11,n,8,1", Format(110, Parity::None, 8, StopBits::One)},
        ModeCase{"DevicePrefixAndSpaces", " com2: 2400 , N , 8 , 2 ",
                 Format(2400, Parity::None, 8, StopBits::Two)},
        ModeCase{"Keyed", "baud=57600 PARITY=e data=7 stop=1 xon=on",
                 [](SerialControlBlock& b) {
                     Format(57600, Parity::Even, 7, StopBits::One)(b);
                     b.fOutX = b.fInX = 1;
                 }},
        ModeCase{"KeyedLines", "baud=300 octs=on odsr=on idsr=on dtr=hs rts=tg to=on",
                 [](SerialControlBlock& b) {
                     b.BaudRate = 300;
                     b.fOutxCtsFlow = b.fOutxDsrFlow = b.fDsrSensitivity = 1;
                     b.fDtrControl = DtrControl::Handshake;
                     b.fRtsControl = RtsControl::Toggle;
                 }},
        ModeCase{"KeyedLinesOff", "dtr=off rts=off xon=off",
                 [](SerialControlBlock& b) {
                     b.fDtrControl = DtrControl::Disable;
                     b.fRtsControl = RtsControl::Disable;
                 }}),
    [](const testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST(ModeString, MalformedStringsAreRefusedByNameAndChangeNothing) {
    const char* const bad[] = {
        "",
        "   ",
        "fast,n,8,1",
        "0,n,8,1",
        "-9600,n,8,1",
        "9600,x,8,1",
        "9600,even,8,1",
        "9600,n,9,1",
        "9600,n,4,1",
        "9600,n,8,3",
        "9600,n,8,1.50",
        "9600,n,8,1,z",
        "9600,n,8,1,x,1",
        "9600,,8,1",
        "9600,n,8,",
        "9600 n 8 1",
        "baud=fast",
        "speed=9600",
        "baud=9600 xon=yes",
        "COM1:",
    };
    for (const char* mode : bad) {
        SCOPED_TRACE(std::string("mode \"") + mode + "\"");
        SerialControlBlock block = Previous();
        try {
            BuildControlBlock(mode, block);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), EINVAL);
            EXPECT_NE(std::string(e.what()).find(std::string("\"") + mode + "\""),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(block, Previous());
    }
}

} // namespace
