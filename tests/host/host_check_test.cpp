// pbxhost --check-config as a real child process: one line per finding on
// standard output, exit 0 without errors and 1 with any, never a plug-in
// started. The modem adapter is the real one (it knows its keys and names
// its serial device); the host's test plug-in knows nothing of its keys.
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <pty.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using test_support::TempDir;
using test_support::WriteFile;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct CheckRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the check on dir/pbxhost.conf, as `user` when given (setpriv).
CheckRun RunCheck(const TempDir& dir, const std::string& config,
                  std::vector<std::string> extra = {}, mode_t mode = 0600, bool asNobody = false) {
    const std::string file = dir.file("pbxhost.conf");
    WriteFile(file, config);
    EXPECT_EQ(::chmod(file.c_str(), mode), 0);
    QStringList args{"--config", QString::fromStdString(file), "--check-config"};
    for (const auto& a : extra)
        args << QString::fromStdString(a);
    QProcess process;
    if (asNobody) {
        args.prepend(PBXHOST_PATH);
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args;
        process.start("setpriv", args);
    } else {
        process.start(PBXHOST_PATH, args);
    }
    CheckRun run;
    EXPECT_TRUE(process.waitForFinished(60000));
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

std::string ModemConfig(const std::string& device, const std::string& extraModemKeys = {}) {
    return "[host]\n"
           "plugins.modem = " MODEM_PLUGIN_PATH "\n"
           "state_dir = .\n"
           "[mod_tellum]\n"
           "rs.device = " +
           device + "\n" + extraModemKeys;
}

TEST(HostCheckConfig, AGoodConfigurationIsOkLineByLineAndStartsNothing) {
    TempDir dir;
    const CheckRun run = RunCheck(dir, ModemConfig("/dev/null"));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string prefix = dir.file("pbxhost.conf") + ": ok: ";
    EXPECT_TRUE(Has(run.out, prefix + "syntax: read\n")) << run.out;
    EXPECT_TRUE(
        Has(run.out, prefix + "plug-in mod_tellum (host.plugins.modem): " MODEM_PLUGIN_PATH "\n"))
        << run.out;
    EXPECT_TRUE(Has(run.out, prefix + "state folder (host.state_dir) " + dir.path() + ": writable"))
        << run.out;
    EXPECT_TRUE(Has(run.out, prefix + "file (mod_tellum.rs.device) /dev/null: writable"))
        << run.out;
    for (const char* line : {": warning: ", ": error: "})
        EXPECT_FALSE(Has(run.out, line)) << run.out;
    // Loaded, never started: the adapter's start registers its editor and logs nothing here.
    EXPECT_FALSE(Has(run.out + run.err, "started")) << run.out << run.err;
}

struct FindingCase {
    const char* name;
    std::string config;
    mode_t mode;
    int exitCode;
    std::string finding; // after "<file>: "
};

void PrintTo(const FindingCase& c, std::ostream* os) {
    *os << c.name;
}

class HostCheckFinding : public testing::TestWithParam<FindingCase> {};

TEST_P(HostCheckFinding, IsOneLineWithTheRightExitCode) {
    const FindingCase& c = GetParam();
    TempDir dir;
    const CheckRun run = RunCheck(dir, c.config, {}, c.mode);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, dir.file("pbxhost.conf") + ": " + c.finding)) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostCheckFinding,
    testing::Values(
        FindingCase{"SyntaxError", "[host\nplugins.a = x\n", 0600, 1, "error: "},
        FindingCase{"NoPlugins", "[host]\nplugin.modem = mod_tellum\n", 0600, 1,
                    "error: no plug-in is named under host.plugins"},
        FindingCase{"MissingPlugin", "[host]\nstate_dir = .\nplugins.x = /nonexistent/mod_x.so\n",
                    0600, 1, "error: plug-in host.plugins.x /nonexistent/mod_x.so not loaded: "},
        FindingCase{"UnknownPluginKey", ModemConfig("/dev/null", "rs.baud = 9600\n"), 0600, 0,
                    "warning: key mod_tellum.rs.baud is not a setting of mod_tellum"},
        FindingCase{"UnknownHostKey", ModemConfig("/dev/null") + "[host]\nlogfile = x.log\n", 0600,
                    0, "warning: key host.logfile is not a setting of the host"},
        FindingCase{"SectionOfNoPlugin",
                    ModemConfig("/dev/null") + "[mod_varnel]\ntimer_interval = 0\n", 0600, 0,
                    "warning: section [mod_varnel] belongs to no plug-in that was loaded"},
        FindingCase{"PasswordReadableByAll", ModemConfig("/dev/null") + "[host]\ndb.password = x\n",
                    0644, 0, "warning: every user of this machine can read host.db.password"},
        FindingCase{"DeviceMissing", ModemConfig("/nonexistent/ttyX"), 0600, 1,
                    "error: file (mod_tellum.rs.device) /nonexistent/ttyX: "}),
    [](const auto& info) { return std::string(info.param.name); });

// What the service user cannot write is an error, found before the service
// runs into it: checked here as an unprivileged user.
TEST(HostCheckConfig, AFolderTheUserCannotWriteIsAnError) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the check as another user";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const CheckRun run = RunCheck(
        dir, ModemConfig("/dev/null", "") + "[host]\nlog.file = " + dir.file("host.log") + "\n", {},
        0644, true);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, ": error: log file (host.log.file) " + dir.file("host.log") + ": " +
                                 dir.file("host.log") + " does not exist and "))
        << run.out << run.err;
    EXPECT_TRUE(Has(run.out, ": error: state folder (host.state_dir) " + dir.path() + ": "))
        << run.out;
}

TEST(HostCheckConfig, ConnectOpensTheSerialDeviceOnce) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    TempDir dir;
    const CheckRun ok = RunCheck(dir, ModemConfig(name), {"--connect"});
    EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
    EXPECT_TRUE(Has(ok.out, ": ok: mod_tellum: serial device " + std::string(name) + ": opened"))
        << ok.out;

    const CheckRun missing = RunCheck(dir, ModemConfig("/dev/nonexistent-tty"), {"--connect"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing.out, ": error: mod_tellum: serial device /dev/nonexistent-tty: "))
        << missing.out;
    ::close(master);
}

} // namespace
