// hl-driver-sim: the HL driver simulator as a program, for commissioning and demos.
// Listens for the link library, prints what it sees, and runs simulator commands from
// a script file and then from stdin.
#include "hlsim/command_interpreter.h"
#include "hlsim/simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const Usage = R"(Usage: hl-driver-sim [options]

Simulates the hotel-link (HL) driver: accepts one TCP connection from the link
library, acknowledges every frame, answers hotel requests (default: accept), sends
event frames on command, and prints every frame it receives or sends readably
(<STX>, <ETX>, <ACK>, <NAK>, <hh> for other control bytes) with its decoded fields.

Options:
  --port N         TCP port to listen on (default 0: a free port; the first line of
                   output names it: "hl-driver-sim listening on ADDRESS:PORT")
  --address A      address to listen on (default 127.0.0.1)
  --script FILE    run the commands of FILE first (a bad line ends the program with 2)
  --no-stdin       do not read commands from stdin after the script
  --quiet          print only command output, not the frames
  --help           this text

After the script, commands are read from stdin; at its end the simulator keeps
running until "quit", SIGTERM or SIGINT.

)";

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct Options {
    uint16_t port = 0;
    std::string address = "127.0.0.1";
    std::string script;
    bool readStdin = true;
    bool quiet = false;
};

// Returns false (after printing why) when the arguments are not usable.
bool ParseOptions(int argc, char** argv, Options& options, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "hl-driver-sim: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--port") {
            const char* v = value("--port");
            if (!v)
                return false;
            unsigned port = 0;
            const auto [end, ec] = std::from_chars(v, v + std::strlen(v), port);
            if (ec != std::errc() || *end != '\0' || port > 65535) {
                std::fprintf(stderr, "hl-driver-sim: bad port \"%s\"\n", v);
                return false;
            }
            options.port = uint16_t(port);
        } else if (arg == "--address") {
            const char* v = value("--address");
            if (!v)
                return false;
            options.address = v;
        } else if (arg == "--script") {
            const char* v = value("--script");
            if (!v)
                return false;
            options.script = v;
        } else if (arg == "--no-stdin") {
            options.readStdin = false;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else {
            std::fprintf(stderr, "hl-driver-sim: unknown option \"%s\" (try --help)\n",
                         arg.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help))
        return 2;
    if (help) {
        std::fputs(Usage, stdout);
        std::fputs(hlsim::CommandInterpreter::Help().c_str(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }

    std::vector<std::string> scriptLines;
    if (!options.script.empty()) {
        std::ifstream in(options.script);
        if (!in) {
            std::fprintf(stderr, "hl-driver-sim: cannot read the script \"%s\": %s\n",
                         options.script.c_str(), std::strerror(errno));
            return 2;
        }
        for (std::string line; std::getline(in, line);)
            scriptLines.push_back(line);
    }

    QCoreApplication app(argc, argv);
    hlsim::Simulator simulator;
    if (!options.quiet)
        simulator.setLogger(PrintLine);
    try {
        simulator.listen(options.port, options.address);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hl-driver-sim: %s\n", e.what());
        return 1;
    }
    PrintLine("hl-driver-sim listening on " + options.address + ":" + simulator.portText());

    hlsim::CommandInterpreter interpreter(simulator, PrintLine);
    int exitCode = 0;

    // SIGTERM and SIGINT end the program cleanly, also in the middle of a wait.
    if (::pipe(signalPipe) != 0) {
        std::perror("hl-driver-sim: pipe");
        return 1;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        PrintLine("** stopping");
        interpreter.requestStop();
        QCoreApplication::exit(0);
    });

    std::unique_ptr<QSocketNotifier> stdinNotifier;
    std::string stdinBuffer;
    auto readStdin = [&] {
        stdinNotifier->setEnabled(false); // no nested reads while a command waits
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinNotifier.release()->deleteLater(); // end of input: keep running
            return;
        }
        stdinBuffer.append(buffer, size_t(n));
        size_t end;
        while ((end = stdinBuffer.find('\n')) != std::string::npos) {
            const std::string line = stdinBuffer.substr(0, end);
            stdinBuffer.erase(0, end + 1);
            try {
                if (!interpreter.execute(line)) {
                    QCoreApplication::exit(0);
                    return;
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "hl-driver-sim: %s\n", e.what());
            }
            if (interpreter.stopRequested())
                return;
        }
        stdinNotifier->setEnabled(true);
    };

    QTimer::singleShot(0, [&] {
        for (size_t i = 0; i < scriptLines.size(); ++i) {
            if (interpreter.stopRequested())
                return;
            try {
                if (!interpreter.execute(scriptLines[i])) {
                    QCoreApplication::exit(0);
                    return;
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "hl-driver-sim: %s line %zu: %s\n", options.script.c_str(),
                             i + 1, e.what());
                exitCode = 2;
                QCoreApplication::exit(2);
                return;
            }
        }
        if (options.readStdin && !interpreter.stopRequested()) {
            stdinNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
            QObject::connect(stdinNotifier.get(), &QSocketNotifier::activated, readStdin);
        }
    });

    const int code = app.exec();
    return exitCode != 0 ? exitCode : code;
}
