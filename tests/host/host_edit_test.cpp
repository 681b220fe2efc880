// pbxhost --edit as a real child process on the offscreen platform: the
// test build's editor dialog is answered through PBXHOST_TEST_DIALOG, and the
// file is judged afterwards (content, mode, owner, a symlink to it) together
// with the exit code and the log.
#include "plugin_editing.h"
#include "plugin_loader.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/log_sinks.h"

#include "test_support/temp_dir.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

const std::string Config = "# written by the edit tests\n"
                           "[host]\n"
                           "plugin_dir = " TEST_PLUGIN_DIR "\n"
                           "plugins.first = mod_hosttest\n"
                           "plugins.second = mod_hosttest2\n"
                           "\n"
                           "[mod_hosttest]\n"
                           "greeting = \" hello \"\n"
                           "[mod_hosttest2]\n"
                           "editor_section = hosttest2_settings\n";

struct EditRun {
    int exitCode = -1;
    std::string output; // standard output and error
    std::string log;
    std::string file; // the configuration file afterwards
    mode_t mode = 0;  // its permission bits
};

// Runs the test build of pbxhost (or `program`) with `args` after --config;
// `dialogAnswer` is PBXHOST_TEST_DIALOG (empty: not set). There is never a display.
EditRun RunHost(const TempDir& dir, const std::vector<std::string>& args,
                const std::string& dialogAnswer, const char* program = PBXHOST_TEST_BUILD_PATH) {
    const std::string configFile = dir.file("pbxhost.conf");
    const std::string logFile = dir.file("pbxhost.log");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (dialogAnswer.empty())
        env.remove("PBXHOST_TEST_DIALOG");
    else
        env.insert("PBXHOST_TEST_DIALOG", QString::fromStdString(dialogAnswer));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{"--config",    QString::fromStdString(configFile),
                          "--log-file",  QString::fromStdString(logFile),
                          "--log-level", "trace"};
    for (const auto& a : args)
        arguments << QString::fromStdString(a);
    process.start(program, arguments);
    EditRun run;
    EXPECT_TRUE(process.waitForFinished(60000)) << "pbxhost did not end";
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAll().toStdString();
    run.log = ReadFile(logFile);
    run.file = ReadFile(configFile);
    struct stat info {};
    EXPECT_EQ(::stat(configFile.c_str(), &info), 0);
    run.mode = info.st_mode & 07777;
    return run;
}

std::string WriteConfig(const TempDir& dir) {
    const std::string file = dir.file("pbxhost.conf");
    WriteFile(file, Config);
    EXPECT_EQ(::chmod(file.c_str(), 0644), 0);
    return file;
}

rtl::Ref<rtl::TConfiguration> Parsed(const std::string& text) {
    rtl::Ref<rtl::TConfiguration> config(new rtl::TConfiguration);
    config->fromText(text, "saved.conf");
    return config;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(HostEdit, SavedDialogWritesTheFileWithTheEditorsDefaultsAndKeepsItsMode) {
    TempDir dir;
    WriteConfig(dir);
    const EditRun run = RunHost(dir, {"--edit", "mod_hosttest"}, "save");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.mode, mode_t(0644));
    auto saved = Parsed(run.file);
    EXPECT_EQ(saved->get("mod_hosttest.greeting"), " hello ");
    EXPECT_EQ(saved->get("mod_hosttest.timer_interval"), "0");
    EXPECT_EQ(saved->get("mod_hosttest.rs.device"), "COM1");
    EXPECT_EQ(saved->get("host.plugins.second"), "mod_hosttest2");
    EXPECT_FALSE(saved->has("hosttest2_settings"));
    // The editor's lines after the save, then the host's; plug-ins stopped afterwards.
    const std::vector<std::string> inOrder = {
        "DEBUG [pbxhost] Editing mod_hosttest with THostTestEditor\n",
        "TRACE [THostTestEditor] Config key greeting =  hello \n",
        "TRACE [THostTestEditor] Config key rs.device = COM1\n",
        "DEBUG [pbxhost] Settings of mod_hosttest saved to " + dir.file("pbxhost.conf") + "\n",
        "DEBUG [TPluginLoader] Plug-in mod_hosttest unloaded\n",
        "DEBUG [pbxhost] Host stopped\n",
    };
    size_t previous = 0;
    for (const auto& line : inOrder) {
        SCOPED_TRACE(line);
        const size_t at = run.log.find(line, previous);
        ASSERT_NE(at, std::string::npos) << run.log;
        previous = at;
    }
    EXPECT_FALSE(Has(run.log, "Host running")) << run.log;
}

// An administrator keeps /etc/pbxhost/pbxhost.conf as a link into a managed
// folder, readable by the service through its group: a save must leave the
// link, the target's owner, group and mode as they were.
TEST(HostEdit, SaveWritesThroughASymlinkAndKeepsOwnerGroupAndMode) {
    TempDir dir;
    const std::string target = dir.file("managed.conf");
    WriteFile(target, Config);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 0, 65534), 0);
    }
    ASSERT_EQ(::symlink(target.c_str(), dir.file("pbxhost.conf").c_str()), 0);

    const EditRun run = RunHost(dir, {"--edit", "mod_hosttest"}, "save");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    struct stat link {};
    ASSERT_EQ(::lstat(dir.file("pbxhost.conf").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link was replaced by a file";
    struct stat saved {};
    ASSERT_EQ(::stat(target.c_str(), &saved), 0);
    EXPECT_EQ(saved.st_mode & 07777, mode_t(0640));
    if (root) {
        EXPECT_EQ(saved.st_gid, gid_t(65534));
    }
    EXPECT_EQ(Parsed(ReadFile(target))->get("mod_hosttest.rs.device"), "COM1");
}

TEST(HostEdit, InstalledProgramHasNoAutomaticAnswer) {
    TempDir dir;
    WriteConfig(dir);
    const EditRun run = RunHost(dir, {"--edit", "mod_hosttest"}, "save", PBXHOST_PATH);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Has(run.output, "there is no display to show the dialog on")) << run.output;
    EXPECT_EQ(run.file, Config);
}

TEST(HostEdit, CancelledDialogLeavesTheFileAsItWas) {
    TempDir dir;
    WriteConfig(dir);
    const EditRun run = RunHost(dir, {"--edit", "mod_hosttest"}, "cancel");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.file, Config);
    EXPECT_EQ(run.mode, mode_t(0644));
    EXPECT_TRUE(Has(run.log,
                    "Editing mod_hosttest cancelled; " + dir.file("pbxhost.conf") + " not changed"))
        << run.log;
    EXPECT_FALSE(Has(run.log, "Config key")) << run.log;
}

TEST(HostEdit, EditorIsFoundByItsPluginsNameWhenItEditsAnotherSection) {
    TempDir dir;
    WriteConfig(dir);
    const EditRun run = RunHost(dir, {"--edit", "mod_hosttest2"}, "save");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    auto saved = Parsed(run.file);
    EXPECT_EQ(saved->get("hosttest2_settings.rs.device"), "COM1");
    EXPECT_FALSE(saved->has("mod_hosttest2.rs"));
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    const char* dialogAnswer;
    int exitCode;
    const char* message; // in the output
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class HostEditRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(HostEditRefusal, ExitsWithTheReasonAndLeavesTheFile) {
    const RefusalCase& c = GetParam();
    TempDir dir;
    WriteConfig(dir);
    const EditRun run = RunHost(dir, c.args, c.dialogAnswer);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_TRUE(Has(run.output, c.message)) << run.output;
    EXPECT_EQ(run.file, Config);
    // Refused before anything starts: a plug-in's start may already change
    // the live database (the manager clears its event log).
    EXPECT_FALSE(Has(run.log, " started from ")) << run.log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostEditRefusal,
    testing::Values(
        RefusalCase{"NoDisplay",
                    {"--edit", "mod_hosttest"},
                    "",
                    1,
                    "Cannot edit mod_hosttest: there is no display to show the dialog on (Qt "
                    "platform \"offscreen\"; set DISPLAY or WAYLAND_DISPLAY)"},
        RefusalCase{"NoSuchEditor",
                    {"--edit", "mod_absent"},
                    "save",
                    1,
                    "Cannot edit mod_absent: no plug-in of that name is listed in "},
        RefusalCase{"UnknownTestAnswer",
                    {"--edit", "mod_hosttest"},
                    "maybe",
                    2,
                    "Unknown PBXHOST_TEST_DIALOG \"maybe\" (save or cancel)"},
        RefusalCase{
            "EmptyPluginName", {"--edit="}, "save", 2, "Option --edit needs a plug-in name"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindEditor, ByConfigNameThenByThePluginThatRegisteredIt) {
    rtl::LogCapture log;
    rtl::Ref<rtl::TContext> context(new rtl::TContext);
    rtl::Ref<rtl::TConfiguration> config(new rtl::TConfiguration);
    config->set("mod_hosttest2.editor_section", "mod_hosttest");
    context->registerObject(config.get());
    host::TPluginLoader loader(
        context, rtl::Ref<rtl::IHostModule>(new rtl::TGUIHostModule(QCoreApplication::instance())));
    ASSERT_TRUE(loader.load(TEST_PLUGIN_DIR "/mod_hosttest.so")) << log.dump();
    ASSERT_TRUE(loader.load(TEST_PLUGIN_DIR "/mod_hosttest2.so")) << log.dump();

    // Both editors edit "mod_hosttest": the name finds the first registered;
    // the second plug-in's own name finds the one it registered.
    auto first = host::FindEditor(context.get(), loader, "mod_hosttest");
    auto second = host::FindEditor(context.get(), loader, "mod_hosttest2");
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_FALSE(rtl::SameObject(first.get(), second.get()));
    EXPECT_TRUE(loader.comesFrom("mod_hosttest2", second.get()));
    EXPECT_FALSE(loader.comesFrom("mod_hosttest2", first.get()));
    EXPECT_FALSE(host::FindEditor(context.get(), loader, "mod_other"));
    first.reset();
    second.reset();
    loader.unloadAll();
}

} // namespace
