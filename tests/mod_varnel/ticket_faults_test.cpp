// The out-call ticket pass killed at every change it makes to a file, its own and the
// link library's queue file alike: a process running the real adapter against the
// real library is made to fail at the n-th write, fsync, rename or truncate of one
// pass, for every n, then runs again. Afterwards every ticket is in the spool exactly
// once, in queue order, as whole lines, and every ticket that cannot be billed is in
// the rejects file once. The faults: SIGKILL before the call; a power cut there (the
// folder goes back to what was synced); a write that reaches the disk in part.
#include "adapter_fixture.h"

#include "platform/files.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using adapter_test::SpoolLine;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

// The link library's eleven queue files, as a library that ran before leaves them.
const char* const QueueFiles[] = {
    "TicketsOut.txt",    "TicketsIn.txt",   "Nodes.txt",       "WakeUps.txt",
    "RoomStates.txt",    "CheckIns.txt",    "CheckOuts.txt",   "PhoneAllocs.txt",
    "Modifications.txt", "FullReinits.txt", "PartReinits.txt",
};

std::string FileOrEmpty(const std::string& path) {
    return platform::FileExists(path) ? ReadFile(path) : std::string();
}

struct Outcome {
    bool killed = false; // by SIGKILL
    int exitCode = -1;
};

// Runs the pass in a child process, its output appended to `log`; with `fault`, the
// fault library is loaded with those settings.
Outcome RunPass(const std::string& folder, const std::string& log,
                const std::map<std::string, std::string>& fault = {}) {
    // Everything is made before the fork: the child only redirects and executes.
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos)
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    vars["QT_QPA_PLATFORM"] = "offscreen";
    if (!fault.empty()) {
        vars["LD_PRELOAD"] = FAULT_CALLS_LIBRARY;
        // A sanitizer build wants its runtime first; the fault library needs none.
        vars["ASAN_OPTIONS"] += ":verify_asan_link_order=0";
        vars["FAULT_FOLDER"] = folder;
        for (const auto& [name, value] : fault)
            vars[name] = value;
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : vars)
        entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = TICKET_PASS_RUNNER;
    std::string folderArg = folder;
    std::string libraryArg = VARNEL_LIBRARY_DIR;
    char* argv[] = {program.data(), folderArg.data(), libraryArg.data(), nullptr};

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome outcome;
    outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// A ticket record of the queue file and the spool line it gives.
struct Ticket {
    std::string record;
    std::string line; // empty: it cannot be billed and goes to the rejects file
};

Ticket Billed(const std::string& key, const std::string& line, const std::string& time,
              const std::string& duration, const std::string& field4, const std::string& field20,
              const std::string& spoolTime, const std::string& spoolDuration) {
    return {key + "|" + line + "|1|" + time + "|" + duration + "|" + field4 + "|" + field20 +
                "|2024.02.01 15:31|",
            SpoolLine(spoolTime, line, field4, spoolDuration, field20)};
}

Ticket Rejected(const std::string& key, const std::string& line, const std::string& time,
                const std::string& duration, const std::string& field20) {
    return {key + "|" + line + "|1|" + time + "|" + duration + "||" + field20 +
                "|2024.02.01 15:31|",
            ""};
}

std::string QueueText(const std::vector<Ticket>& tickets) {
    std::string text;
    for (const Ticket& t : tickets)
        text += t.record + "\r\n";
    return text;
}

// A folder as the pass finds it, and the spool and rejects files it must end with.
struct Scenario {
    std::function<void(const std::string& folder, const std::string& logs)> prepare;
    std::string spool;
    std::string rejects;
};

void WriteQueues(const std::string& folder, const std::vector<Ticket>& tickets) {
    for (const char* name : QueueFiles)
        WriteFile(folder + "/" + name, "");
    WriteFile(folder + "/TicketsOut.txt", QueueText(tickets));
}

std::string SpoolOf(const std::vector<Ticket>& tickets) {
    std::string text;
    for (const Ticket& t : tickets)
        text += t.line;
    return text;
}

std::string RejectsOf(const std::vector<Ticket>& tickets) {
    std::string text;
    for (const Ticket& t : tickets)
        if (t.line.empty())
            text += t.record + "\r\n";
    return text;
}

std::string Numbered(char prefix, int n) {
    std::string digits = std::to_string(n);
    return prefix + std::string(19 - digits.size(), '0') + digits;
}

// Three tickets under one key (they came in the same tick), told apart by their
// 20-character field only.
Scenario ThreeTicketsSharingAKey() {
    const std::vector<Ticket> tickets = {
        Billed("5000", "2101", "0102241530", "00125", "0001", Numbered('A', 1),
               "01/02/2024 15:30:00", "0:02:05"),
        Billed("5000", "2102", "0102241531", "03725", "", Numbered('A', 2), "01/02/2024 15:31:00",
               "1:02:05"),
        Billed("5000", "2102", "0102241531", "03725", "", Numbered('A', 3), "01/02/2024 15:31:00",
               "1:02:05"),
    };
    return {
        [tickets](const std::string& folder, const std::string&) { WriteQueues(folder, tickets); },
        SpoolOf(tickets), ""};
}

// Twenty lines wait in the cache from a pass whose merge met a spool held by another
// writer; two more tickets are queued.
Scenario ABacklogOfTwentyLinesInTheCache() {
    std::vector<Ticket> backlog;
    for (int i = 1; i <= 20; ++i)
        backlog.push_back(Billed(std::to_string(6000 + 16 * i), "2101", "0102241530", "00060", "",
                                 Numbered('B', i), "01/02/2024 15:30:00", "0:01:00"));
    const std::vector<Ticket> queued = {
        Billed("6400", "2102", "0102241540", "00001", "", Numbered('B', 21), "01/02/2024 15:40:00",
               "0:00:01"),
        Billed("6416", "2103", "0102241541", "00002", "", Numbered('B', 22), "01/02/2024 15:41:00",
               "0:00:02"),
    };
    std::vector<Ticket> all = backlog;
    all.insert(all.end(), queued.begin(), queued.end());
    return {[backlog, queued](const std::string& folder, const std::string& logs) {
                WriteQueues(folder, backlog);
                {
                    platform::File holder = platform::File::Open(
                        folder + "/spool.dat", platform::Access::ReadWrite,
                        platform::Share::Exclusive, platform::Create::OpenOrCreate);
                    ASSERT_EQ(RunPass(folder, logs + "/prepare.log").exitCode, 0);
                }
                ASSERT_EQ(FileOrEmpty(folder + "/cache.dat"), SpoolOf(backlog))
                    << FileOrEmpty(logs + "/prepare.log");
                WriteFile(folder + "/TicketsOut.txt", QueueText(queued));
            },
            SpoolOf(all), ""};
}

// Tickets that cannot be billed between billed ones: a duration that is no number
// (under the key of the ticket before it) and a negative one.
Scenario TicketsSetAsideBetweenBilledOnes() {
    const std::vector<Ticket> tickets = {
        Billed("7001", "2101", "0102241530", "00125", "0001", Numbered('C', 1),
               "01/02/2024 15:30:00", "0:02:05"),
        Rejected("7001", "2102", "0102241531", "12x", Numbered('C', 2)),
        Rejected("7020", "2103", "0102241532", "-0005", Numbered('C', 3)),
        Billed("7040", "2104", "0102241533", "00010", "", Numbered('C', 4), "01/02/2024 15:33:00",
               "0:00:10"),
    };
    return {
        [tickets](const std::string& folder, const std::string&) { WriteQueues(folder, tickets); },
        SpoolOf(tickets), RejectsOf(tickets)};
}

struct Row {
    const char* name;
    Scenario (*scenario)();
    const char* fault; // FAULT_KIND
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class TicketPassFaults : public testing::TestWithParam<Row> {
protected:
    TempDir dir;
    std::string templateFolder = dir.file("template");
    std::string work = dir.file("work");
    std::string logs = dir.file("logs");

    void SetUp() override {
        fs::create_directory(templateFolder);
        fs::create_directory(logs);
    }
    void fresh() {
        fs::remove_all(work);
        fs::copy(templateFolder, work);
    }
    // The counted calls of one undisturbed pass: "n call file" each.
    std::vector<std::string> trace() {
        fresh();
        const std::string file = dir.file("trace.txt");
        fs::remove(file);
        EXPECT_EQ(RunPass(work, logs + "/trace.log", {{"FAULT_TRACE", file}}).exitCode, 0);
        std::vector<std::string> lines;
        std::istringstream in(FileOrEmpty(file));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

TEST_P(TicketPassFaults, EveryTicketIsBilledOnceWhereverThePassStops) {
    const Row& row = GetParam();
    const Scenario scenario = row.scenario();
    scenario.prepare(templateFolder, logs);
    if (HasFatalFailure())
        return;
    const std::vector<std::string> calls = trace();
    ASSERT_GT(calls.size(), 10u);
    const bool tornWrites = std::string(row.fault) == "torn-write";

    size_t faults = 0;
    for (size_t n = 1; n <= calls.size(); ++n) {
        if (tornWrites && calls[n - 1].find(" write ") == std::string::npos)
            continue;
        fresh();
        const std::string log = logs + "/run-" + std::to_string(n) + ".log";
        const Outcome failed =
            RunPass(work, log, {{"FAULT_AT", std::to_string(n)}, {"FAULT_KIND", row.fault}});
        ASSERT_TRUE(failed.killed) << "call " << calls[n - 1] << "\n" << FileOrEmpty(log);
        ++faults;
        ASSERT_EQ(RunPass(work, log).exitCode, 0) << FileOrEmpty(log);

        const std::string at = "after a " + std::string(row.fault) + " at call " + calls[n - 1];
        ASSERT_EQ(FileOrEmpty(work + "/spool.dat"), scenario.spool) << at << "\n"
                                                                    << FileOrEmpty(log);
        ASSERT_EQ(FileOrEmpty(work + "/spool.dat.rejected"), scenario.rejects) << at << "\n"
                                                                               << FileOrEmpty(log);
        ASSERT_EQ(FileOrEmpty(work + "/cache.dat"), "") << at << "\n" << FileOrEmpty(log);
        ASSERT_EQ(FileOrEmpty(work + "/TicketsOut.txt"), "") << at << "\n" << FileOrEmpty(log);
        fs::remove(log);
    }
    std::printf("[ figures  ] %s: %zu calls in one pass, %zu faults, each followed by a "
                "restart: every ticket once\n",
                row.name, calls.size(), faults);
}

INSTANTIATE_TEST_SUITE_P(
    , TicketPassFaults,
    testing::Values(
        Row{"ThreeTicketsSharingAKey_Killed", ThreeTicketsSharingAKey, "kill"},
        Row{"ThreeTicketsSharingAKey_PowerCut", ThreeTicketsSharingAKey, "power-cut"},
        Row{"ThreeTicketsSharingAKey_TornWrite", ThreeTicketsSharingAKey, "torn-write"},
        Row{"BacklogOfTwentyLines_Killed", ABacklogOfTwentyLinesInTheCache, "kill"},
        Row{"BacklogOfTwentyLines_PowerCut", ABacklogOfTwentyLinesInTheCache, "power-cut"},
        Row{"BacklogOfTwentyLines_TornWrite", ABacklogOfTwentyLinesInTheCache, "torn-write"},
        Row{"TicketsSetAside_Killed", TicketsSetAsideBetweenBilledOnes, "kill"},
        Row{"TicketsSetAside_PowerCut", TicketsSetAsideBetweenBilledOnes, "power-cut"},
        Row{"TicketsSetAside_TornWrite", TicketsSetAsideBetweenBilledOnes, "torn-write"}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
