// The serial stream on a real pseudo-terminal: device names, open failures and
// what they leave behind, the life-cycle log, the trace of every byte block,
// the line settings as the terminal holds them, and a closed stream.
#include "io_errors.h"
#include "rs232_config.h"
#include "rsstream.h"

#include "pseudo_terminal.h"
#include "test_support/temp_dir.h"

#include "platform/uucp_lock.h"
#include "rtl/configuration.h"
#include "rtl/log_sinks.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

using rtl::LogLevel;
using rtl::Ref;
using tellum::EInOutError;
using tellum::TDefaultRS232Config;
using tellum::TRS232Stream;

Ref<TRS232Stream> OpenStream(const std::string& device, const std::string& mode = "9600,n,8,1") {
    return rtl::MakeRef<TRS232Stream>(device, rtl::MakeRef<TDefaultRS232Config>(mode));
}

// The I/O error an operation raised; fails the test when it raised none.
EInOutError IoErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const EInOutError& e) {
        return e;
    }
    ADD_FAILURE() << "no I/O error";
    return EInOutError("", -1);
}

TEST(DeviceName, ClassicPortNamesAreFoldedAndPathsKeptAsGiven) {
    const std::pair<const char*, const char*> cases[] = {
        {" com3: ", "COM3"},
        {"COM1::", "COM1"},
        {"Com12", "COM12"},
        {" /dev/pts/7 ", "/dev/pts/7"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/Modem-Port:", "/dev/serial/by-id/Modem-Port:"},
        {"comx:", "comx:"},
    };
    for (const auto& [given, normalised] : cases) {
        SCOPED_TRACE(given);
        EXPECT_EQ(TRS232Stream::NormaliseDeviceName(given), normalised);
    }
}

TEST(StreamOpen, MissingDeviceFailsWithTheSystemTextAndIsLogged) {
    if (std::filesystem::exists("/dev/ttyS98"))
        GTEST_SKIP() << "this machine has a /dev/ttyS98";
    const std::pair<const char*, const char*> cases[] = {
        {"com99:", "COM99"},
        {" /nonexistent/ttyX ", "/nonexistent/ttyX"},
    };
    for (const auto& [given, device] : cases) {
        SCOPED_TRACE(given);
        rtl::LogCapture log;
        const EInOutError e = IoErrorOf([&] { OpenStream(given); });
        const std::string message =
            std::string("Open file ") + device + "\r\nNo such file or directory (2)";
        EXPECT_EQ(e.what(), message);
        EXPECT_EQ(e.errorCode(), ENOENT);
        EXPECT_TRUE(log.contains(LogLevel::Debug, "TRS232Stream",
                                 std::string("Opening stream for ") + device + " ..."))
            << log.dump();
        EXPECT_TRUE(log.contains(LogLevel::Warn, "TRS232Stream",
                                 std::string("STREAM_OPEN_ERROR for ") + device + ".: " + message))
            << log.dump();
        EXPECT_FALSE(log.containsText("DONE")) << log.dump();
    }
}

TEST(StreamOpen, PortHeldByAnotherStreamCannotBeOpenedUntilItIsClosed) {
    PseudoTerminal pty;
    Ref<TRS232Stream> first = OpenStream(pty.slavePath());
    const EInOutError e = IoErrorOf([&] { OpenStream(pty.slavePath()); });
    EXPECT_EQ(e.what(), "Open file " + pty.slavePath() + "\r\nSerial device \"" + pty.slavePath() +
                            "\" is in use by this program (process " + std::to_string(::getpid()) +
                            "), as its lock file " + platform::UucpLock::PathFor(pty.slavePath()) +
                            " tells (16)");
    EXPECT_EQ(e.errorCode(), EBUSY);

    first->close();
    EXPECT_FALSE(OpenStream(pty.slavePath())->isClosed());
}

TEST(StreamOpen, BadSettingReleasesTheDevice) {
    PseudoTerminal pty;
    Ref<rtl::TConfiguration> rs(new rtl::TConfiguration);
    rs->set("device", pty.slavePath());
    rs->set("parity", " Even-ish ");
    {
        rtl::LogCapture log;
        try {
            rtl::MakeRef<TRS232Stream>(rs, false);
            ADD_FAILURE() << "opened with a bad parity";
        } catch (const tellum::EConfigurationError& e) {
            EXPECT_STREQ(e.what(), "Invalid value \"even-ish\" for parity check parameter.");
        }
        EXPECT_TRUE(log.contains(LogLevel::Warn, "TRS232Stream",
                                 "STREAM_OPEN_ERROR for " + pty.slavePath() +
                                     ".: Invalid value \"even-ish\" for parity check parameter."))
            << log.dump();
    }
    rs->set("parity", "none");
    EXPECT_FALSE(rtl::MakeRef<TRS232Stream>(rs, false)->isClosed());
}

TEST(StreamOpen, FailedSystemCallOfTheSetUpNamesItsStepAndReleasesTheDevice) {
    // A plain file opens like a device but has no line settings to read.
    test_support::TempDir dir;
    const std::string file = dir.file("not-a-terminal");
    test_support::WriteFile(file, "");
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        const EInOutError e = IoErrorOf([&] { OpenStream(file); });
        EXPECT_EQ(e.what(), "GetCommState for " + file + "\r\nInappropriate ioctl for device (25)");
        EXPECT_EQ(e.errorCode(), ENOTTY);
    }
}

TEST(StreamLifeCycle, OpenDumpsTheSettingsAndCloseHappensOnce) {
    PseudoTerminal pty;
    const std::string d = pty.slavePath();
    rtl::LogCapture log(LogLevel::Debug);
    Ref<TRS232Stream> stream = OpenStream(" " + d + " ");
    EXPECT_EQ(stream->deviceName(), d);
    stream->close();
    stream->close();
    stream.reset();

    const std::vector<std::string> expected = {
        "Opening stream for " + d + " ...",
        "Device control block for " + d,
        "BaudRate: 9600",
        "fBinary: 1",
        "fParity: 0",
        "fOutxCtsFlow: 0",
        "fOutxDsrFlow: 0",
        "fDtrControl: DTR_CONTROL_ENABLE",
        "fDsrSensitivity: 0",
        "fTXContinueOnXoff: 0",
        "fOutX: 0",
        "fInX: 0",
        "fErrorChar: 0",
        "fNull: 0",
        "fRtsControl: RTS_CONTROL_ENABLE",
        "fAbortOnError: 1",
        "XonLim: 512",
        "XoffLim: 512",
        "ByteSize: 8",
        "Parity: none",
        "StopBits: 1",
        "XonChar: 17",
        "XoffChar: 19",
        "ErrorChar: 0",
        "EofChar: 26",
        "EvtChar: 0",
        "Opening stream for " + d + " DONE.",
        "Device status errors for " + d + ": 0",
        "Device status flags for " + d + ": 0",
        "Input queue content for " + d + ": 0.",
        "Output queue content for " + d + ": 0.",
        "Closing stream for " + d + " DONE.",
    };
    EXPECT_EQ(log.texts(LogLevel::Debug, "TRS232Stream"), expected);
    EXPECT_TRUE(log.texts(LogLevel::Trace).empty()) << log.dump();
}

TEST(StreamLifeCycle, ClosedStreamRefusesReadAndWriteAndReportsNothingWaiting) {
    PseudoTerminal pty;
    Ref<TRS232Stream> stream = OpenStream(pty.slavePath());
    pty.send("OK\r\n");
    ASSERT_TRUE(pty.waitForSlaveInput(4));
    EXPECT_EQ(stream->available(), 4);
    EXPECT_TRUE(stream->ready());

    stream->close();
    EXPECT_TRUE(stream->isClosed());
    char buffer[4];
    for (const auto& call : std::vector<std::function<void()>>{[&] { stream->read(buffer, 1); },
                                                               [&] { stream->write("AT\r", 3); }}) {
        const EInOutError e = IoErrorOf(call);
        EXPECT_EQ(e.what(), "Device is not open " + pty.slavePath());
        EXPECT_EQ(e.errorCode(), 0);
    }
    EXPECT_EQ(stream->available(), 0);
    EXPECT_FALSE(stream->ready());
    EXPECT_NO_THROW(stream->flush());
    EXPECT_EQ(pty.slaveInputCount(), 4); // the device was not touched

    // Reopening runs the whole open again.
    stream->open();
    EXPECT_FALSE(stream->isClosed());
}

TEST(StreamLifeCycle, PositioningIsRefusedWithTheClassName) {
    PseudoTerminal pty;
    Ref<TRS232Stream> stream = OpenStream(pty.slavePath());
    Ref<tellum::IInputStream> in = rtl::Query<tellum::IInputStream>(stream);
    Ref<tellum::IOutputStream> out = rtl::Query<tellum::IOutputStream>(stream);
    ASSERT_TRUE(in && out);
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { in->seek(0, tellum::SeekOrigin::Begin); }, [&] { in->skip(1); },
             [&] { out->seek(1, tellum::SeekOrigin::Current); }, [&] { out->skip(0); }}) {
        try {
            call();
            ADD_FAILURE() << "positioned";
        } catch (const tellum::ENotSeekable& e) {
            EXPECT_STREQ(e.what(), "TRS232Stream");
        }
    }
}

TEST(StreamIo, OneByteReadOnASilentLineReturnsNothingAfterTheReadTimeOut) {
    PseudoTerminal pty;
    Ref<TRS232Stream> stream = OpenStream(pty.slavePath());
    char c = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stream->read(&c, 1), 0u);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 340); // 50 ms per byte asked + 300 ms
    EXPECT_LT(ms, 20000);
}

TEST(StreamIo, TraceShowsEveryBlockAfterTheDeviceStatus) {
    PseudoTerminal pty;
    Ref<TRS232Stream> stream = OpenStream(pty.slavePath());
    const std::string d = pty.slavePath();
    rtl::LogCapture log;

    EXPECT_EQ(stream->write("AT\r", 3), 3u);
    EXPECT_EQ(pty.receive(), "AT\r");
    pty.send(std::string("OK\r", 3));
    char buffer[8] = {};
    ASSERT_TRUE(pty.waitForSlaveInput(3));
    EXPECT_EQ(stream->read(buffer, 3), 3u);
    pty.send(std::string("O\0K", 3));
    ASSERT_TRUE(pty.waitForSlaveInput(3));
    EXPECT_EQ(stream->read(buffer, 3), 3u);
    EXPECT_EQ(stream->read(buffer, 1), 0u);

    EXPECT_EQ(log.texts(LogLevel::Trace, "TRS232Stream"),
              (std::vector<std::string>{"wr: <![CDATA[AT\r]]>", "rd: <![CDATA[OK\r]]>",
                                        "rd: <![CDATA[O]]>", "rd: <![CDATA[]]>"}));
    // Each trace line follows a status dump of the device.
    const std::vector<rtl::LogRecord> records = log.records();
    size_t traced = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].level != LogLevel::Trace)
            continue;
        ++traced;
        ASSERT_GE(i, 4u);
        EXPECT_EQ(records[i - 4].text, "Device status errors for " + d + ": 0");
        EXPECT_EQ(records[i - 2].text, "Input queue content for " + d + ": 0.");
        EXPECT_EQ(records[i - 1].text.rfind("Output queue content for " + d + ": ", 0), 0u);
    }
    EXPECT_EQ(traced, 4u);
}

TEST(StreamIo, ReadOnAHungUpLineFailsAndLeavesTheStreamOpen) {
    PseudoTerminal pty;
    Ref<TRS232Stream> stream = OpenStream(pty.slavePath());
    pty.closeMaster();
    char c = 0;
    const EInOutError e = IoErrorOf([&] { stream->read(&c, 1); });
    EXPECT_EQ(e.what(), "ReadFile for " + pty.slavePath() + "\r\nInput/output error (5)");
    EXPECT_EQ(e.errorCode(), EIO);
    EXPECT_FALSE(stream->isClosed());
}

// The settings from the "rs" section as the pseudo-terminal holds them. A
// pseudo-terminal keeps rate, stop bits and flow control but always 8 data bits
// without parity; what it drops is told in a warning.
struct SettingsCase {
    const char* name;
    std::map<std::string, std::string> settings;
    speed_t speed;
    tcflag_t cflagOn, cflagOff, iflagOn, iflagOff;
    const char* notKept; // the warning's text after the device name, or nullptr
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class StreamSettings : public testing::TestWithParam<SettingsCase> {};

TEST_P(StreamSettings, ReachTheTerminal) {
    const SettingsCase& c = GetParam();
    PseudoTerminal pty;
    Ref<rtl::TConfiguration> rs(new rtl::TConfiguration);
    rs->set("device", pty.slavePath());
    for (const auto& [key, value] : c.settings)
        rs->set(key, value);
    rtl::LogCapture log;
    Ref<TRS232Stream> stream = rtl::MakeRef<TRS232Stream>(rs, false);

    const termios t = pty.slaveSettings();
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & (CSIZE | c.cflagOn), CS8 | c.cflagOn);
    EXPECT_EQ(t.c_cflag & c.cflagOff, 0u);
    EXPECT_EQ(t.c_iflag & c.iflagOn, c.iflagOn);
    EXPECT_EQ(t.c_iflag & c.iflagOff, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    const std::vector<std::string> warnings = log.texts(LogLevel::Warn, "TDefaultRS232Config");
    if (c.notKept) {
        EXPECT_EQ(warnings, std::vector<std::string>{"Device " + pty.slavePath() +
                                                     " did not keep all of " + c.notKept});
    } else {
        EXPECT_TRUE(warnings.empty()) << log.dump();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rs, StreamSettings,
    testing::Values(
        SettingsCase{
            "Defaults", {}, B9600, CS8, PARENB | CSTOPB | CRTSCTS, 0, IXON | IXOFF, nullptr},
        SettingsCase{"HardwareFlowTwoStopBits",
                     {{"rate", "19200"}, {"stop", "2"}, {"flow", "hardware"}},
                     B19200,
                     CS8 | CSTOPB | CRTSCTS,
                     PARENB,
                     0,
                     IXON | IXOFF,
                     nullptr},
        SettingsCase{"XonXoff",
                     {{"rate", "4800"}, {"flow", "XONXOFF"}},
                     B4800,
                     CS8,
                     CSTOPB | CRTSCTS,
                     IXON | IXOFF,
                     0,
                     nullptr},
        SettingsCase{"SevenDataBitsEvenParity",
                     {{"rate", "2400"}, {"parity", "even"}, {"data", "7"}},
                     B2400,
                     CS8,
                     PARENB | CSTOPB,
                     INPCK,
                     0,
                     "\"2400,e,7,1\": ByteSize 7 (kept 8), Parity 2 (kept 0)"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
