// A pseudo-terminal pair for serial port tests: the port opens the slave path like a
// serial device, the test plays the far end on the master side.
#pragma once

#include <chrono>
#include <string>
#include <termios.h>

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // The line's settings as the slave holds them.
    termios slaveSettings() const;
    // Bytes waiting for a reader of the slave side.
    int slaveInputCount() const;

    void send(const std::string& bytes); // to the port
    // Everything that arrives within `quiet` of silence, waiting up to `first` for
    // the first byte.
    std::string receive(std::chrono::milliseconds first = std::chrono::seconds(20),
                        std::chrono::milliseconds quiet = std::chrono::milliseconds(200));
    // Waits (up to 20 s) until the slave side has `count` bytes waiting.
    bool waitForSlaveInput(int count) const;
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
