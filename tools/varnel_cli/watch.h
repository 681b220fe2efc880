// varnel-cli watch: prints the link library's notifications as they arrive on the
// system bus, each with the record it announces from a queue folder, for
// commissioning (which program sees what, and when).
#pragma once

#include <string>
#include <vector>

namespace varnel_cli {

extern const char* const WatchUsage;

// Runs until the bus connection ends or the program is stopped; the arguments
// after "watch". Answers the exit code.
int RunWatch(const std::vector<std::string>& args);

} // namespace varnel_cli
