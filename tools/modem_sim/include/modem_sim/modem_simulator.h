// A modem on a pseudo-terminal for tests and demonstrations: a program opens the
// slave path like a serial device, and the simulator answers its "AT" command lines
// on the master side from its own thread, echoing and answering as configured.
#pragma once

#include "platform/printable.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace modem_sim {

// How the modem answers. A command line ends with a carriage return; the answer to
// it is lineEnd + text + lineEnd, where the text is the scripted answer for that
// exact line, or else okText.
struct ModemBehaviour {
    bool echo = true;                           // send every received byte back as it comes
    std::string okText = "OK";                  // "OK", "ok" or the numeric "0"
    std::string lineEnd = "\r\n";               // "\r" gives answers without a line feed
    std::map<std::string, std::string> answers; // command line -> answer text, e.g. "ERROR"
    std::set<std::string> silentOn;             // command lines left unanswered (echo still comes)
    bool silent = false;                        // no echo and no answer at all
};

// One received command line (without its carriage return) and every byte sent back
// for it: the echo of the line and the answer.
struct Exchange {
    std::string line;
    std::string reply;
};

// Bytes of 0x20 and above as they are, lower ones as "<0D>".
using platform::Printable;

class ModemSimulator {
public:
    using Observer = std::function<void(const Exchange&)>;

    // Opens the pseudo-terminal pair and starts answering. The observer, if any, is
    // called on the simulator's thread after each answer was sent. Raises
    // std::runtime_error when no pseudo-terminal can be had.
    explicit ModemSimulator(ModemBehaviour behaviour = {}, Observer observer = {});
    // Stops (see stop) and closes the pseudo-terminal.
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // The device path for the program under test, e.g. "/dev/pts/3".
    const std::string& slavePath() const { return slavePath_; }

    // Changes the behaviour for the command lines that follow.
    void setBehaviour(ModemBehaviour behaviour);

    // Every command line received so far, in order.
    std::vector<std::string> commandLines() const;
    // Every byte received so far, including a command line not yet ended.
    std::string receivedBytes() const;
    // Waits until at least `count` command lines have come; false on time-out.
    bool waitForLines(size_t count, std::chrono::milliseconds timeout) const;

    // Ends the simulator's thread, also while it waits to hand on an answer that
    // nobody reads, and closes the master side: the slave's user then sees a
    // hung-up line. Idempotent.
    void stop();

private:
    void run();
    void handle(const char* bytes, size_t count);
    bool send(const std::string& bytes); // false when stopping

    int master_ = -1;
    int slave_ = -1; // held open so the line stays up between the users' opens
    int wake_ = -1;  // eventfd that interrupts the thread's waits
    std::string slavePath_;
    Observer observer_;

    mutable std::mutex mutex_;
    mutable std::condition_variable linesChanged_;
    ModemBehaviour behaviour_;
    std::vector<std::string> lines_;
    std::string received_;
    std::string pending_; // the command line being received
    std::string echo_;    // echo already sent for the pending line

    std::thread thread_;
};

} // namespace modem_sim
