#include "serial_termios.h"

namespace platform::serial_termios {

namespace {

struct Speed {
    uint32_t rate;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kBinaryInputOff = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                     IUCLC | IXANY | IMAXBEL | IXON | IXOFF;
constexpr tcflag_t kBinaryLocalOff = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;

bool IsBinary(const termios& t) {
    return (t.c_iflag & (INLCR | IGNCR | ICRNL | ISTRIP | IUCLC)) == 0 &&
           (t.c_oflag & OPOST) == 0 && (t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN)) == 0;
}

tcflag_t SizeBits(uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

} // namespace

std::optional<speed_t> SpeedCode(uint32_t baudRate) {
    for (const Speed& s : kSpeeds)
        if (s.rate == baudRate)
            return s.code;
    return std::nullopt;
}

uint32_t BaudRateOf(speed_t code) {
    for (const Speed& s : kSpeeds)
        if (s.code == code)
            return s.rate;
    return 0;
}

std::string Impossible(const SerialControlBlock& b) {
    if (b.ByteSize < 5 || b.ByteSize > 8)
        return "data bits " + std::to_string(b.ByteSize) + " are not 5 to 8";
    if (!SpeedCode(b.BaudRate))
        return "baud rate " + std::to_string(b.BaudRate) + " is not supported";
    if (uint8_t(b.Parity) > uint8_t(Parity::Space))
        return "parity " + std::to_string(uint8_t(b.Parity)) + " is unknown";
    if (uint8_t(b.StopBits) > uint8_t(StopBits::Two))
        return "stop bits code " + std::to_string(uint8_t(b.StopBits)) + " is unknown";
    // A UART sends 1.5 stop bits only with 5 data bits, and 2 only with 6 to 8.
    if (b.StopBits == StopBits::OneAndHalf && b.ByteSize != 5)
        return "1.5 stop bits need 5 data bits";
    if (b.StopBits == StopBits::Two && b.ByteSize == 5)
        return "2 stop bits cannot go with 5 data bits";
    if (uint8_t(b.fDtrControl) > uint8_t(DtrControl::Handshake))
        return "DTR control " + std::to_string(uint8_t(b.fDtrControl)) + " is unknown";
    if (uint8_t(b.fRtsControl) > uint8_t(RtsControl::Toggle))
        return "RTS control " + std::to_string(uint8_t(b.fRtsControl)) + " is unknown";
    if (b.XonChar == b.XoffChar)
        return "XON and XOFF characters are equal (" + std::to_string(b.XonChar) + ")";
    return {};
}

void MakeBinary(termios& t) {
    t.c_iflag &= ~kBinaryInputOff;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~kBinaryLocalOff;
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    // With the descriptor non-blocking, a read with nothing waiting fails with
    // EAGAIN; every wait is a poll() with the port's own time-out.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void Apply(const SerialControlBlock& b, termios& t) {
    MakeBinary(t);
    const speed_t speed = *SpeedCode(b.BaudRate);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= SizeBits(b.ByteSize);
    switch (b.Parity) {
    case Parity::None:
        break;
    case Parity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case Parity::Even:
        t.c_cflag |= PARENB;
        break;
    case Parity::Mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    // With 5 data bits the UART makes CSTOPB 1.5 stop bits.
    if (b.StopBits != StopBits::One)
        t.c_cflag |= CSTOPB;
    // One termios switch covers both directions of RTS/CTS flow control.
    if (b.fOutxCtsFlow || b.fRtsControl == RtsControl::Handshake)
        t.c_cflag |= CRTSCTS;

    // A byte with a parity error is read as NUL; the error itself is counted.
    t.c_iflag &= ~(INPCK | IGNPAR);
    if (b.fParity)
        t.c_iflag |= INPCK;
    if (b.fOutX)
        t.c_iflag |= IXON;
    if (b.fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = cc_t(b.XonChar);
    t.c_cc[VSTOP] = cc_t(b.XoffChar);
}

SerialControlBlock Read(const termios& t, const SerialControlBlock& stored) {
    SerialControlBlock b = stored;
    b.BaudRate = BaudRateOf(cfgetospeed(&t));
    b.fBinary = IsBinary(t);
    b.fParity = (t.c_iflag & INPCK) != 0;
    const bool rtsCts = (t.c_cflag & CRTSCTS) != 0;
    b.fOutxCtsFlow = rtsCts;
    if (rtsCts)
        b.fRtsControl = RtsControl::Handshake;
    else if (stored.fRtsControl == RtsControl::Handshake)
        b.fRtsControl = RtsControl::Enable;
    b.fOutX = (t.c_iflag & IXON) != 0;
    b.fInX = (t.c_iflag & IXOFF) != 0;
    b.ByteSize = ByteSizeOf(t.c_cflag);
    if (!(t.c_cflag & PARENB))
        b.Parity = Parity::None;
    else if (t.c_cflag & CMSPAR)
        b.Parity = (t.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
    else
        b.Parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    if (!(t.c_cflag & CSTOPB))
        b.StopBits = StopBits::One;
    else
        b.StopBits = b.ByteSize == 5 ? StopBits::OneAndHalf : StopBits::Two;
    b.XonChar = uint8_t(t.c_cc[VSTART]);
    b.XoffChar = uint8_t(t.c_cc[VSTOP]);
    return b;
}

std::vector<SettingNotKept> Compare(const SerialControlBlock& w, const SerialControlBlock& k) {
    std::vector<SettingNotKept> lost;
    auto check = [&lost](const char* field, uint32_t wanted, uint32_t kept) {
        if (wanted != kept)
            lost.push_back({field, wanted, kept});
    };
    check("BaudRate", w.BaudRate, k.BaudRate);
    check("fBinary", w.fBinary, k.fBinary);
    check("fParity", w.fParity, k.fParity);
    check("fOutxCtsFlow", w.fOutxCtsFlow, k.fOutxCtsFlow);
    check("fOutX", w.fOutX, k.fOutX);
    check("fInX", w.fInX, k.fInX);
    check("fRtsControl", uint32_t(w.fRtsControl), uint32_t(k.fRtsControl));
    check("ByteSize", w.ByteSize, k.ByteSize);
    check("Parity", uint32_t(w.Parity), uint32_t(k.Parity));
    check("StopBits", uint32_t(w.StopBits), uint32_t(k.StopBits));
    check("XonChar", w.XonChar, k.XonChar);
    check("XoffChar", w.XoffChar, k.XoffChar);
    return lost;
}

} // namespace platform::serial_termios
