// The modem's user in the simulator tests: a serial port set up like the modem
// driver's (9600,n,8,1; one-byte reads that give up after about 350 ms), reading an
// answer the way the driver does: until a line feed followed by a silent read.
#pragma once

#include "platform/serial_port.h"

#include <chrono>
#include <string>

class ModemClient {
public:
    explicit ModemClient(const std::string& device) {
        port.open(device);
        platform::SerialControlBlock block = port.controlBlock();
        platform::BuildControlBlock("9600,n,8,1", block);
        port.setControlBlock(block);
        port.setTimeouts({300, 50, 300, 50, 300});
    }

    void send(const std::string& bytes) { port.write(bytes.data(), bytes.size()); }

    // Everything received until a line feed was followed by a silent read, or
    // until `deadline` has passed.
    std::string answer(std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        std::string bytes;
        char last = 0;
        while (std::chrono::steady_clock::now() < end) {
            char c = 0;
            if (port.read(&c, 1) == 1) {
                bytes += c;
                last = c;
            } else if (last == '\n') {
                break;
            }
        }
        return bytes;
    }

    std::string command(const std::string& line,
                        std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
        send(line + "\r");
        return answer(deadline);
    }

    platform::SerialPort port;
};
