#include "platform/error.h"
#include "platform/serial_port.h"

#include "pseudo_terminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace platform;

namespace {

SerialControlBlock FromMode(const std::string& mode) {
    SerialControlBlock block;
    BuildControlBlock(mode, block);
    return block;
}

TEST(SerialPortName, ComNamesMapToTtySOthersStayAsGiven) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"}, {"com12", "/dev/ttyS11"},     {"Com3", "/dev/ttyS2"},
        {"COM0", "COM0"},       {"COM01", "COM01"},           {"COM1X", "COM1X"},
        {"COM", "COM"},         {"/dev/pts/7", "/dev/pts/7"}, {"/dev/Com1", "/dev/Com1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialPort::DevicePath(c.name), c.path) << c.name;
}

TEST(SerialPortOpen, AMissingDeviceNamesItselfAndTheSystemText) {
    for (const char* name : {"/nonexistent/ttyX", "COM250"}) {
        SCOPED_TRACE(name);
        SerialPort port;
        try {
            port.open(name);
            FAIL() << "opened";
        } catch (const Error& e) {
            const std::string text = e.what();
            EXPECT_EQ(e.code(), ENOENT);
            EXPECT_NE(text.find(SerialPort::DevicePath(name)), std::string::npos) << text;
            EXPECT_NE(text.find(name), std::string::npos) << text;
            EXPECT_NE(text.find(SystemErrorText(ENOENT)), std::string::npos) << text;
        }
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(SerialPortOpen, ASecondPortCannotShareTheDevice) {
    PseudoTerminal pty;
    SerialPort first;
    first.open(pty.slavePath());
    SerialPort second;
    try {
        second.open(pty.slavePath());
        FAIL() << "the device was opened twice";
    } catch (const SharingViolation& e) {
        EXPECT_EQ(e.code(), EBUSY);
        EXPECT_NE(std::string(e.what()).find(pty.slavePath()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.isOpen());

    first.close();
    // The terminal's exclusive mode went with the port, so users that are not
    // root can open the device again.
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
    EXPECT_NO_THROW(second.open(pty.slavePath()));

    // A moved port keeps the device.
    SerialPort moved = std::move(second);
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(moved.isOpen());
    EXPECT_THROW(first.open(pty.slavePath()), SharingViolation);
}

TEST(SerialPortOpen, TheLineIsBinaryAndStartsEmpty) {
    PseudoTerminal pty; // a fresh pseudo-terminal edits lines and echoes
    pty.send("stale\n");
    ASSERT_TRUE(pty.waitForSlaveInput(6));
    EXPECT_EQ(pty.receive(), "stale\r\n");
    SerialPort port;
    port.open(pty.slavePath());
    EXPECT_EQ(port.clearError().inQueue, 0u); // an earlier user's bytes are gone

    // Every byte value passes unchanged both ways, with no echo.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    port.setTimeouts({0, 0, 20000, 0, 20000});
    ASSERT_EQ(port.write(all.data(), all.size()), all.size());
    EXPECT_EQ(pty.receive(), all);
    pty.send(all);
    std::string got(all.size(), '\0');
    ASSERT_EQ(port.read(got.data(), got.size()), all.size());
    EXPECT_EQ(got, all);
    EXPECT_EQ(pty.receive(std::chrono::milliseconds(300)), "");
}

TEST(SerialPortOpen, CallsOnAClosedPortFail) {
    SerialPort port;
    char byte = 0;
    const std::function<void()> calls[] = {
        [&] { port.read(&byte, 1); },
        [&] { port.write(&byte, 1); },
        [&] { port.clearError(); },
        [&] { port.controlBlock(); },
        [&] { port.setControlBlock({}); },
        [&] { port.setTimeouts({}); },
        [&] { port.flush(); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "a call on a closed port passed";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), EBADF) << e.what();
        }
    }
    EXPECT_NO_THROW(port.close());
}

// Mode strings applied to a pseudo-terminal, checked against the slave's termios.
// A pseudo-terminal keeps the rate, stop bits and flow control, but always holds 8
// data bits and no parity.
TEST(SerialPortSettings, ModeStringsReachTheDeviceAndWhatItDropsIsReported) {
    const struct {
        const char* mode;
        speed_t speed;
        tcflag_t cflagOn, cflagOff, iflagOn, iflagOff;
        std::vector<SettingNotKept> notKept;
    } cases[] = {
        {"9600,n,8,1", B9600, CS8, PARENB | CSTOPB | CRTSCTS, 0, IXON | IXOFF | INPCK, {}},
        {"115200,n,8,2,p", B115200, CS8 | CSTOPB | CRTSCTS, PARENB, 0, IXON | IXOFF, {}},
        {"4800,n,8,1,x", B4800, CS8, CSTOPB | CRTSCTS, IXON | IXOFF, 0, {}},
        {"19200,e,7,2",
         B19200,
         CS8 | CSTOPB,
         PARENB,
         0,
         0,
         {{"ByteSize", 7, 8}, {"Parity", uint32_t(Parity::Even), uint32_t(Parity::None)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        PseudoTerminal pty;
        SerialPort port;
        port.open(pty.slavePath());
        const SerialControlBlock wanted = FromMode(c.mode);
        EXPECT_EQ(port.setControlBlock(wanted), c.notKept);

        const termios t = pty.slaveSettings();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (CSIZE | c.cflagOn), CS8 | c.cflagOn);
        EXPECT_EQ(t.c_cflag & c.cflagOff, 0u);
        EXPECT_EQ(t.c_iflag & c.iflagOn, c.iflagOn);
        EXPECT_EQ(t.c_iflag & c.iflagOff, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);

        // Reading the block back shows what the device holds.
        SerialControlBlock kept = wanted;
        for (const SettingNotKept& s : c.notKept) {
            if (s.field == "ByteSize")
                kept.ByteSize = uint8_t(s.kept);
            if (s.field == "Parity")
                kept.Parity = platform::Parity(s.kept);
        }
        EXPECT_EQ(port.controlBlock(), kept);
    }
    EXPECT_EQ(DescribeNotKept(cases[3].notKept), "ByteSize 7 (kept 8), Parity 2 (kept 0)");
}

TEST(SerialPortSettings, FieldsTermiosLacksAreKeptByThePortAndCharactersReachTheDevice) {
    PseudoTerminal pty;
    SerialPort port;
    port.open(pty.slavePath());
    SerialControlBlock block = FromMode("9600,n,8,1");
    block.fParity = 1;
    block.fAbortOnError = 1;
    block.XonLim = 512;
    block.XoffLim = 512;
    block.XonChar = 0x01;
    block.XoffChar = 0x02;
    block.EofChar = 0x04;
    block.fDtrControl = DtrControl::Disable;
    EXPECT_EQ(port.setControlBlock(block), std::vector<SettingNotKept>{});
    EXPECT_EQ(port.controlBlock(), block);
    const termios t = pty.slaveSettings();
    EXPECT_EQ(t.c_cc[VSTART], 0x01);
    EXPECT_EQ(t.c_cc[VSTOP], 0x02);
    EXPECT_NE(t.c_iflag & INPCK, 0u);
}

TEST(SerialPortSettings, BlocksNoLineCanHaveAreRefusedBeforeTouchingTheDevice) {
    PseudoTerminal pty;
    SerialPort port;
    port.open(pty.slavePath());
    port.setControlBlock(FromMode("2400,n,8,1"));
    const struct {
        const char* name;
        void (*change)(SerialControlBlock&);
    } cases[] = {
        {"1.5 stop bits with 8 data bits",
         [](SerialControlBlock& b) { b.StopBits = StopBits::OneAndHalf; }},
        {"2 stop bits with 5 data bits",
         [](SerialControlBlock& b) { b.ByteSize = 5, b.StopBits = StopBits::Two; }},
        {"9 data bits", [](SerialControlBlock& b) { b.ByteSize = 9; }},
        {"rate without a termios code", [](SerialControlBlock& b) { b.BaudRate = 12345; }},
        {"XON equal to XOFF", [](SerialControlBlock& b) { b.XoffChar = b.XonChar; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SerialControlBlock block = FromMode("38400,n,8,1,x");
        c.change(block);
        try {
            port.setControlBlock(block);
            ADD_FAILURE() << "applied";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), EINVAL);
            EXPECT_NE(std::string(e.what()).find(pty.slavePath()), std::string::npos);
        }
        const termios t = pty.slaveSettings();
        EXPECT_EQ(cfgetospeed(&t), B2400);
        EXPECT_EQ(t.c_iflag & IXON, 0u);
    }
}

TEST(SerialPortStatus, QueueCountsAndNoErrorsOnAPseudoTerminal) {
    PseudoTerminal pty;
    SerialPort port;
    port.open(pty.slavePath());
    port.setupQueues(2048, 512);
    EXPECT_EQ(port.inQueueSize(), 2048u);
    EXPECT_EQ(port.outQueueSize(), 512u);
    port.setTimeouts({300, 50, 300, 50, 300});

    pty.send("OK\r\nRING\r\n");
    ASSERT_TRUE(pty.waitForSlaveInput(10));
    SerialDeviceStatus status = port.clearError();
    EXPECT_EQ(status.inQueue, 10u);
    EXPECT_EQ(status.errors, 0u);
    EXPECT_EQ(status.flags, 0u);

    char buffer[4];
    ASSERT_EQ(port.read(buffer, 4), 4u);
    EXPECT_EQ(port.clearError().inQueue, 6u);
    status = port.clearError();
    EXPECT_EQ(status.outQueue, 0u); // a pseudo-terminal hands written bytes on at once
}

TEST(SerialPortIo, AHungUpLineFailsInsteadOfWaiting) {
    PseudoTerminal pty;
    SerialPort port;
    port.open(pty.slavePath());
    port.setTimeouts({0, 0, 20000, 0, 0});
    pty.closeMaster();
    char byte = 0;
    try {
        port.read(&byte, 1);
        FAIL() << "read passed on a hung-up line";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), EIO) << e.what();
        EXPECT_NE(std::string(e.what()).find(pty.slavePath()), std::string::npos);
    }
    EXPECT_TRUE(port.isOpen()); // a failed read leaves the port open
}

} // namespace
