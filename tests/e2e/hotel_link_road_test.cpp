// The hotel-link road end to end: pbxhost runs the PBX manager and the hotel-link
// adapter (which loads the link library) against a scratch front database, and the
// HL driver simulator in this process plays the exchange. A stay booked at the
// front desk reaches the exchange as request frames, and what the exchange reports
// comes back into the database and the spool file.
#include "config_text.h"
#include "front_db.h"
#include "host_run.h"

#include "hlsim/simulator.h"
#include "test_db/scratch_database.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using e2e::WaitFor;
using test_db::Rows;
using test_support::ReadFile;

// "Жук Юлия" in Windows-1251: on the exchange "JUK IULIIA" (Ж J, Ю IU, я IA, upper
// case), exactly the ten characters of the name field.
const std::string kGuest = "\xC6\xF3\xEA \xDE\xEB\xE8\xFF";

// The requests the exchange must receive, written out by hand: STX, the body, the
// XOR of the body as two hexadecimal digits, ETX.
const std::string kCheckIn = "\x02"
                             "A    2101 JUK IULIIA          2    593103          000000"
                             "39\x03";
const std::string kShowName = "\x02"
                              "M    2101 JUK IULIIA          0                          "
                              "3A\x03";
const std::string kClearName = "\x02"
                               "M    2101                     0                          "
                               "5F\x03";
const std::string kPartialReinit = "\x02Z    2101P08\x03";
const std::string kCheckOut = "\x02"
                              "D    210146\x03";

std::vector<std::string> RequestFrames(const hlsim::Simulator& driver) {
    std::vector<std::string> frames;
    for (const hlsim::Request& request : driver.requests())
        frames.push_back(request.frame);
    return frames;
}

// A spool line: eight right-aligned columns of 20 characters and CR LF.
std::string SpoolLine(const std::vector<std::string>& columns) {
    std::string line;
    for (const std::string& column : columns)
        line += std::string(20 - column.size(), ' ') + column;
    return line + "\r\n";
}

TEST(HotelLinkRoad, StayAtTheFrontDeskReachesTheExchangeAndItsReportsComeBack) {
    test_support::TempDir dir;
    test_db::ScratchDatabase database;
    fbdb::Connection db;
    database.connect(db);
    hlsim::Simulator driver;
    driver.listen();

    // The adapter polls nothing (timer_interval 0): room states and tickets must come
    // in on the link library's notifications. Keep-alives run every half second, so
    // they interleave with the requests and events.
    e2e::HostRun host(dir,
                      "[host]\n"
                      "plugins.adapter = mod_varnel\n"
                      "plugins.manager = mod_quorvin\n"
                      "\n"
                      "[mod_quorvin]\n"
                      "pbx_adapter = mod_varnel\n"
                      "timer_interval = 100\n" +
                          e2e::DatabaseKeys(database) +
                          "\n"
                          "[mod_varnel]\n"
                          // The test build of the link library, whose waits the
                          // environment below shortens.
                          "varnel.path = " VARNEL_TEST_LIBRARY_DIR "\n"
                          "varnel.driver_ip = 127.0.0.1\n"
                          "varnel.driver_port = " +
                          driver.portText() +
                          "\n"
                          "varnel.log_path = " +
                          dir.file("queues") +
                          "\n"
                          "check_in.def_language = 2\n"
                          "check_in.def_password = 5931\n"
                          "out_tickect_scan.cache_file_name = " +
                          dir.file("cache.dat") +
                          "\n"
                          "out_tickect_scan.spool_file_name = " +
                          dir.file("spool.dat") +
                          "\n"
                          "timer_interval = 0\n" +
                          e2e::DatabaseKeys(database),
                      {{"VARNEL_TEST_KEEPALIVE_MS", "500"},
                       {"VARNEL_TEST_ANSWER_WAIT_MS", "20000"},
                       {"VARNEL_TEST_PARTIAL_REINIT_WAIT_MS", "20000"}});
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(host.waitForLog("DEBUG [TpbxManagerDM] Timer started on 100")) << host.log();

    const auto lineState = [&] {
        return test_db::Select(db, "select LINE_STATUS, LINE_REASON from ROOM_STATE_V "
                                   "where ROOM_NAME = '101'");
    };

    // The guest arrives: the check-in and the guest's name go to the exchange, and
    // the line is recorded open.
    front_db::Queue(db, {.code = "CHECK_IN", .room = "101", .guest = kGuest});
    ASSERT_TRUE(WaitFor([&] { return driver.requests().size() >= 2; })) << host.log();
    EXPECT_EQ(RequestFrames(driver), (std::vector<std::string>{kCheckIn, kShowName}));
    EXPECT_TRUE(WaitFor([&] { return lineState() == Rows{{"OPEN", "CHECK_IN"}}; })) << host.log();

    // Housekeeping keys "dirty" with a text on the phone of room 102, and the guest
    // makes a call of 3725 seconds.
    driver.send(
        {hlsim::BuildFrame("roomstatus", {{"room", "2102"}, {"status", "0"}, {"field", "TWL"}}),
         hlsim::BuildFrame("ticket", {{"line", "2101"},
                                      {"type", "1"},
                                      {"time", "1505241942"},
                                      {"duration", "03725"},
                                      {"f4", "0001"},
                                      {"f20", "ACCT42"}})});
    EXPECT_TRUE(WaitFor([&] {
        return test_db::Select(db, "select HK_STATUS, HK_TEXT from ROOMS "
                                   "where ROOM_NAME = '102'") == Rows{{"DIRTY", "TWL"}};
    })) << host.log();
    const std::string spoolLine =
        SpoolLine({"15/05/2024 19:42:00", "2101", "0001", "1:02:05", "ACCT42", "0", "", ""});
    EXPECT_TRUE(WaitFor([&] { return ReadFile(dir.file("spool.dat")) == spoolLine; }))
        << ReadFile(dir.file("spool.dat")) << host.log();
    // The cache is emptied only after the spool holds its lines.
    EXPECT_TRUE(WaitFor([&] { return ReadFile(dir.file("cache.dat")).empty(); }))
        << ReadFile(dir.file("cache.dat"));

    // The guest leaves: the name is cleared, the line re-initialised and checked out,
    // and the line is recorded closed.
    front_db::Queue(db, {.code = "CHECK_OUT", .room = "101"});
    EXPECT_TRUE(WaitFor([&] { return lineState() == Rows{{"CLOSE", "CHECK_OUT"}}; })) << host.log();
    EXPECT_EQ(RequestFrames(driver), (std::vector<std::string>{kCheckIn, kShowName, kClearName,
                                                               kPartialReinit, kCheckOut}));
    EXPECT_EQ(test_db::Select(db, "select count(*) from EAI_EVENTQ where QUEUE_STATE = 0"),
              Rows{{"0"}});

    EXPECT_EQ(host.stop(), 0) << host.log();
    const std::string log = host.log();
    EXPECT_NE(log.find("DEBUG [THLDriver] Library was released"), std::string::npos) << log;
    EXPECT_EQ(log.find(" ERROR "), std::string::npos) << log;
}

} // namespace
