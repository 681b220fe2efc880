// The command language of the HL driver simulator (script files and stdin of
// hl-driver-sim): one command per line, "#" starts a comment. See Help() and README.md.
#pragma once

#include "hlsim/simulator.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace hlsim {

class CommandInterpreter {
public:
    // `print` receives the interpreter's own output lines (results of wait, status, print).
    CommandInterpreter(Simulator& simulator, std::function<void(const std::string&)> print);

    // Runs one line. Returns false when it asks to quit. Waits (wait, pause) dispatch
    // the Qt events meanwhile, so the simulator keeps working. Raises
    // std::invalid_argument with a message that names the bad word.
    bool execute(const std::string& line);

    // Ends a running wait or pause at once and makes later ones return at once
    // (used on SIGTERM).
    void requestStop() { stop_ = true; }
    bool stopRequested() const { return stop_; }

    static std::string Help();

private:
    bool run(const std::vector<std::string>& words);
    bool repeat(const std::vector<std::string>& words);
    void pace(const std::vector<std::string>& words);
    void on(const std::vector<std::string>& args);
    void sendEvents(const std::vector<std::string>& args);
    void raw(const std::vector<std::string>& args);
    void waitFor(const std::vector<std::string>& args);

    Simulator& simulator_;
    std::function<void(const std::string&)> print_;
    size_t nextRequest_ = 0; // requests before this index were taken by earlier waits
    bool stop_ = false;
};

// Splits a command line into words: blanks separate, double quotes group (inside them
// \xHH, \\ and \" are escapes), an unquoted ";" is a word of its own, "#" outside
// quotes ends the line.
std::vector<std::string> SplitWords(const std::string& line);

} // namespace hlsim
