// The modem adapter's line operations against the simulated modem: results and
// info texts, begin and end lines, failures that escape as exceptions, and phone
// lines that would smuggle commands to the modem.
#include "io_errors.h"
#include "modem_adapter_impl.h"
#include "rsstream.h"

#include "simulated_modem.h"

#include "frame/edit_int.h"
#include "frame/pbxAdapter_int.h"

#include "platform/uucp_lock.h"
#include "rtl/log_sinks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using rtl::LogLevel;
using rtl::Ref;
using tellum::TModemAdapter;

using Lines = std::vector<std::string>;

// Position of the record with `text` from `source`, or npos.
size_t IndexOf(const rtl::LogCapture& log, const std::string& source, const std::string& text) {
    const auto records = log.records();
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].source == source && records[i].text == text)
            return i;
    return std::string::npos;
}

class ModemAdapterTest : public testing::Test {
protected:
    ModemAdapterTest() { adapter->setContext(modem.context.get()); }

    bool open(const std::string& line, std::string& info) {
        return adapter->openLine(frame::TPBXData::Create(line, "Smith").get(), info);
    }
    bool close(const std::string& line, std::string& info) {
        return adapter->closeLine(frame::TPBXData::Create(line, "").get(), info);
    }

    SimulatedModem modem;
    Ref<TModemAdapter> adapter = rtl::MakeRef<TModemAdapter>();
};

TEST_F(ModemAdapterTest, IdentityAndEditorWhileStarted) {
    EXPECT_EQ(adapter->pluginName(), "mod_tellum");
    EXPECT_EQ(adapter->description(), "PBX adapter for modem communication");
    EXPECT_EQ(adapter->version(), 101);
    EXPECT_EQ(adapter->vendor(), "");

    EXPECT_FALSE(adapter->isStarted());
    adapter->start();
    EXPECT_TRUE(adapter->isStarted());
    const auto editors = rtl::TContextQuery::all<frame::ICfgEditor>(modem.context.get());
    ASSERT_EQ(editors.size(), 1u);
    EXPECT_EQ(editors[0]->editorName(), "TModemAdapterEditor");
    EXPECT_EQ(editors[0]->configName(), "mod_tellum");

    adapter->stop();
    EXPECT_FALSE(adapter->isStarted());
    EXPECT_TRUE(rtl::TContextQuery::all<frame::ICfgEditor>(modem.context.get()).empty());
}

TEST_F(ModemAdapterTest, OpenLineSendsTheUnlockLineAndEmptiesInfo) {
    modem.section->set("unlock_command_line", "ATX\\n");
    modem.section->set("lock_command_line", "ATY\\n");
    rtl::LogCapture log(LogLevel::Debug);
    std::string info = "left from the last event";
    EXPECT_TRUE(open("204", info));
    EXPECT_EQ(info, "");
    ASSERT_TRUE(modem.sim.waitForLines(3, std::chrono::seconds(20)));
    EXPECT_EQ(modem.sim.commandLines(), (Lines{"AT", "ATX204", "ATH"}));

    // The port is closed after the end line, when the driver goes.
    const size_t begin = IndexOf(log, "TModemAdapter", "--- Begin open line ---");
    const size_t end = IndexOf(log, "TModemAdapter", "--- End open line ---");
    const size_t closed =
        IndexOf(log, "TRS232Stream", "Closing stream for " + modem.path() + " DONE.");
    ASSERT_NE(closed, std::string::npos) << log.dump();
    EXPECT_LT(begin, end);
    EXPECT_LT(end, closed);

    info = "stale";
    EXPECT_TRUE(close("204", info));
    EXPECT_EQ(info, "");
    ASSERT_TRUE(modem.sim.waitForLines(6, std::chrono::seconds(20)));
    EXPECT_EQ(modem.sim.commandLines(), (Lines{"AT", "ATX204", "ATH", "AT", "ATY204", "ATH"}));
    EXPECT_NE(IndexOf(log, "TModemAdapter", "--- End close line ---"), std::string::npos);
}

TEST_F(ModemAdapterTest, CloseLineWithoutCommandLineFailsAndWritesNothing) {
    modem.section->set("unlock_command_line", "ATX\\n");
    rtl::LogCapture log(LogLevel::Debug);
    std::string info;
    EXPECT_FALSE(close("204", info));
    EXPECT_EQ(info, "Command line is not defined.");
    EXPECT_EQ(modem.sim.receivedBytes(), "");
    // The port was opened and closed again all the same.
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TRS232Stream",
                             "Opening stream for " + modem.path() + " DONE."));
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TRS232Stream",
                             "Closing stream for " + modem.path() + " DONE."));
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TModemAdapter", "--- End close line ---"));
}

TEST_F(ModemAdapterTest, FailedConversationGivesItsTextAndSetGuestNameStillAnswersTrue) {
    modem_sim::ModemBehaviour numeric;
    numeric.okText = "0";
    modem.sim.setBehaviour(numeric);
    modem.section->set("unlock_command_line", "ATX\\n");
    rtl::LogCapture log(LogLevel::Debug);
    std::string info;
    EXPECT_FALSE(open("204", info));
    EXPECT_EQ(info, "The modem send error respond: 0, expected respond: OK");

    EXPECT_TRUE(adapter->setGuestName(frame::TPBXData::Create("204", "Smith").get(), info));
    EXPECT_EQ(info, "");
    EXPECT_TRUE(
        log.contains(LogLevel::Debug, "TModemAdapter", "Set guest name is not supported function"));
    EXPECT_EQ(modem.sim.commandLines(), Lines{"AT"}); // setGuestName sent nothing
}

TEST_F(ModemAdapterTest, PortHeldByAnotherStreamRaisesAfterTheEndLine) {
    modem.section->set("unlock_command_line", "ATX\\n");
    auto holder = rtl::MakeRef<tellum::TRS232Stream>(
        modem.path(), rtl::MakeRef<tellum::TDefaultRS232Config>("9600,n,8,1"));
    rtl::LogCapture log(LogLevel::Debug);
    std::string info = "stale";
    try {
        open("204", info);
        ADD_FAILURE() << "opened a port held by another stream";
    } catch (const tellum::EInOutError& e) {
        // The holder is named as the device's lock file tells.
        EXPECT_EQ(e.what(), "Open file " + modem.path() + "\r\nSerial device \"" + modem.path() +
                                "\" is in use by this program (process " +
                                std::to_string(::getpid()) + "), as its lock file " +
                                platform::UucpLock::PathFor(modem.path()) + " tells (16)");
    }
    EXPECT_EQ(info, "");
    EXPECT_EQ(log.texts(LogLevel::Debug, "TModemAdapter"),
              (Lines{"--- Begin open line ---", "--- End open line ---"}));
    EXPECT_EQ(modem.sim.receivedBytes(), "");
}

TEST_F(ModemAdapterTest, SetUpFailuresEscapeAsExceptions) {
    modem.section->set("lock_command_line", "ATY\\n");
    modem.section->set("rs.flow", "rts/cts");
    std::string info;
    EXPECT_THROW(close("204", info), tellum::EConfigurationError);

    // Without any configuration in the context there is no section to read.
    adapter->setContext(Ref<rtl::TContext>(new rtl::TContext).get());
    rtl::LogCapture log(LogLevel::Debug);
    EXPECT_THROW(close("204", info), rtl::EContextError);
    EXPECT_EQ(log.texts(LogLevel::Debug, "TModemAdapter"),
              (Lines{"--- Begin close line ---", "--- End close line ---"}));
    EXPECT_EQ(modem.sim.receivedBytes(), "");
}

// A phone line is data from the front database; it must never reach the modem
// as commands of its own, nor join the command line's text into a marker.
TEST_F(ModemAdapterTest, PhoneLineThatIsNoDialStringIsRefusedBeforeAnythingIsSent) {
    const std::string notSent = ", which is not a dial character (0-9, *, #, +, A-D, \",\"); the "
                                "command line was not sent.";
    const struct {
        const char* commandLine;
        std::string line;
        std::string info;
    } cases[] = {
        {"ATX\\n", "204\rATD0", "Phone line \"204<0D>ATD0\" holds 0x0D" + notSent},
        {"ATX\\n", "204\n", "Phone line \"204<0A>\" holds 0x0A" + notSent},
        {"ATX\\n",
         std::string("20\0"
                     "4",
                     4),
         "Phone line \"20<00>4\" holds 0x00" + notSent},
        {"ATX\\n", "204\x7f", "Phone line \"204\x7f\" holds 0x7F" + notSent},
        {"ATX\\n", "204\\pATD0", "Phone line \"204\\pATD0\" holds \"\\\"" + notSent},
        // The line's last byte and the template's "p" after the marker would
        // make a "\p" of their own.
        {"ATX\\np", "20\\", "Phone line \"20\\\" holds \"\\\"" + notSent},
        {"ATX\\n", "204;H", "Phone line \"204;H\" holds \";\"" + notSent},
        {"ATX\\n", "20 4", "Phone line \"20 4\" holds \" \"" + notSent},
        {"ATX\\n", "", "No phone line for the command line; the command line was not sent."},
        // The configured text itself must be something a modem takes.
        {"ATX\\n\x7f", "204",
         "Command \"ATX204\x7f\" of the command line holds the byte 0x7F, which a modem does not "
         "take; the command line was not sent."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.info);
        modem.section->set("unlock_command_line", c.commandLine);
        std::string info;
        EXPECT_FALSE(open(c.line, info));
        EXPECT_EQ(info, c.info);
    }
    EXPECT_EQ(modem.sim.receivedBytes(), "");

    // What dial strings are made of goes out as it is.
    modem.section->set("unlock_command_line", "ATX\\n");
    std::string info;
    EXPECT_TRUE(open("*21#+49,30ABCD", info)) << info;
    ASSERT_TRUE(modem.sim.waitForLines(3, std::chrono::seconds(20)));
    EXPECT_EQ(modem.sim.commandLines(), (Lines{"AT", "ATX*21#+49,30ABCD", "ATH"}));
}

// An exchange that refuses the line's own command: the operation fails with the
// modem's answer, and the line is hung up all the same.
TEST_F(ModemAdapterTest, ErrorToTheLinesCommandFailsTheOperation) {
    const struct {
        const char* answer;
        const char* info;
    } cases[] = {
        {"ERROR",
         "The modem answered \"ERROR\" to the command line: AT*U204<0D><0D><0A>ERROR<0D><0A>"},
        {"4", "The modem answered \"4\" to the command line: AT*U204<0D><0D><0A>4<0D><0A>"},
        {"+CME ERROR: 3", "The modem answered \"+CME ERROR: 3\" to the command line: "
                          "AT*U204<0D><0D><0A>+CME ERROR: 3<0D><0A>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        modem_sim::ModemBehaviour refusing;
        refusing.answers = {{"AT*U204", c.answer}};
        modem.sim.setBehaviour(refusing);
        modem.section->set("unlock_command_line", "AT*U\\n\\p");
        const size_t before = modem.sim.commandLines().size();
        std::string info;
        EXPECT_FALSE(open("204", info));
        EXPECT_EQ(info, c.info);
        ASSERT_TRUE(modem.sim.waitForLines(before + 3, std::chrono::seconds(20)));
        EXPECT_EQ(modem.sim.commandLines().back(), "ATH");
    }
}

TEST_F(ModemAdapterTest, PhoneLineIsOnlyCheckedWhereTheCommandLineUsesIt) {
    modem.section->set("lock_command_line", "ATY0");
    std::string info;
    EXPECT_TRUE(close("204\r", info)) << info;
    ASSERT_TRUE(modem.sim.waitForLines(3, std::chrono::seconds(20)));
    EXPECT_EQ(modem.sim.commandLines(), (Lines{"AT", "ATY0", "ATH"}));
}

} // namespace
