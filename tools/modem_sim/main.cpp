// modem-sim: a modem on a pseudo-terminal for commissioning and demonstrations.
// Prints the slave path first, then every command line received and the bytes sent
// back for it, until SIGTERM or SIGINT.
#include "modem_sim/modem_simulator.h"

#include "platform/error.h"
#include "platform/files.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

const char kUsage[] = R"(Usage: modem-sim [OPTION]...
Opens a pseudo-terminal pair and answers "AT" command lines on the master side
like a modem. The first line of output is the slave path to configure as the serial
device; then every command line received (a command ends with a carriage return)
and every byte sent back for it are printed, control bytes as <0D>, <0A>.
Answers are CR LF, the text, CR LF. SIGTERM or SIGINT ends the program.

Options:
  --no-echo           do not echo the received bytes
  --lower-case        answer "ok" instead of "OK"
  --numeric           answer "0" instead of "OK" (and "4" to --error lines)
  --error LINE        answer ERROR to the command line LINE (repeatable)
  --answer LINE=TEXT  answer TEXT to the command line LINE (repeatable; the
                      line ends at the last "=")
  --silent-on LINE    leave the command line LINE unanswered (repeatable)
  --silent            neither echo nor answer anything
  --no-line-feed      end answers with CR only (no LF anywhere)
  --path-file FILE    also write the slave path into FILE (replaced atomically,
                      removed at the end)
  --help              show this text
)";

struct Options {
    modem_sim::ModemBehaviour behaviour;
    std::string pathFile;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "modem-sim: %s\nTry 'modem-sim --help'.\n", problem.c_str());
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    std::vector<std::string> errorLines;
    bool numeric = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage("option " + arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--no-echo") {
            o.behaviour.echo = false;
        } else if (arg == "--lower-case") {
            o.behaviour.okText = "ok";
        } else if (arg == "--numeric") {
            numeric = true;
        } else if (arg == "--error") {
            errorLines.push_back(value());
        } else if (arg == "--answer") {
            const std::string v = value();
            const auto eq = v.rfind('=');
            if (eq == std::string::npos)
                Usage("--answer wants LINE=TEXT, not \"" + v + "\"");
            o.behaviour.answers[v.substr(0, eq)] = v.substr(eq + 1);
        } else if (arg == "--silent-on") {
            o.behaviour.silentOn.insert(value());
        } else if (arg == "--silent") {
            o.behaviour.silent = true;
        } else if (arg == "--no-line-feed") {
            o.behaviour.lineEnd = "\r";
        } else if (arg == "--path-file") {
            o.pathFile = value();
        } else {
            Usage("unknown option \"" + arg + "\"");
        }
    }
    if (numeric)
        o.behaviour.okText = "0";
    for (const std::string& line : errorLines)
        o.behaviour.answers.emplace(line, numeric ? "4" : "ERROR");
    return o;
}

void Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);

    // The signals are taken by sigwait below; blocked before the simulator's
    // thread starts, so that thread never gets them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        modem_sim::ModemSimulator modem(options.behaviour, [](const modem_sim::Exchange& e) {
            Print("recv: " + modem_sim::Printable(e.line + "\r") + "\n" + "send: " +
                  (e.reply.empty() ? "(nothing)" : modem_sim::Printable(e.reply)) + "\n");
        });
        // The file first: whoever has read the path from the output finds it too.
        if (!options.pathFile.empty())
            platform::AtomicReplace(options.pathFile, modem.slavePath() + "\n");
        Print(modem.slavePath() + "\n");

        int signal = 0;
        sigwait(&stopSignals, &signal);
        modem.stop();
        if (!options.pathFile.empty())
            std::remove(options.pathFile.c_str());
        std::fprintf(stderr, "modem-sim: stopped by %s\n", strsignal(signal));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "modem-sim: %s\n", e.what());
        return 1;
    }
}
