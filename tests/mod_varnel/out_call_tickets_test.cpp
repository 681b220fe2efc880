// Out-call tickets from the HL driver simulator through the link library's
// queue, the cache file and into the spool file: the lines byte for byte, a
// spool held by another writer, a merge that fails part-way, an unreadable
// ticket, and a library that keeps a ticket it was told to delete.
#include "adapter_fixture.h"

#include "frame/pbxAdapter_int.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/resource.h>

namespace {

using adapter_test::AdapterTest;
using adapter_test::OutCallTicket;
using adapter_test::ScriptedLibrary;
using rtl::LogLevel;

const char* const Source = "TvarnelDM";

// A spool line worked out by hand: eight right-aligned columns of 20 and CR LF.
std::string SpoolLine(const std::string& callTime, const std::string& line,
                      const std::string& field4, const std::string& duration,
                      const std::string& field20) {
    std::string text;
    for (const std::string& column : {callTime, line, field4, duration, field20, std::string("0"),
                                      std::string(), std::string()})
        text += std::string(20 - column.size(), ' ') + column;
    return text + "\r\n";
}

size_t Count(const std::vector<std::string>& lines, const std::string& part) {
    size_t n = 0;
    for (const auto& l : lines)
        n += l.find(part) != std::string::npos ? 1 : 0;
    return n;
}

class TicketTest : public AdapterTest {
protected:
    // The library loaded and connected, with the passes left to the test.
    void SetUp() override {
        gate.closed = true;
        rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("2101", "Smith");
        std::string info;
        ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
    }
    void queueTicket(const std::string& line, const std::string& time, const std::string& duration,
                     const std::string& field4 = "", const std::string& field20 = "") {
        const size_t before = gate.count(OutCallTicket);
        sendTicket(line, time, duration, field4, field20);
        ASSERT_TRUE(waitForNotification(OutCallTicket, before + 1));
    }
    std::vector<std::string> errors() const { return log.texts(LogLevel::Error, Source); }
    std::vector<std::string> debugs() const { return log.texts(LogLevel::Debug, Source); }

    const std::string line1 =
        SpoolLine("01/02/2024 15:30:00", "2101", "0001", "0:02:05", "ABCDEFGHIJKLMNOPQRST");
    const std::string line2 = SpoolLine("01/02/2024 15:31:00", "2102", "", "1:02:05", "");
    const std::string line3 = SpoolLine("29/02/2024 23:59:00", "2201", "0002", "0:00:00", "");
};

TEST_F(TicketTest, AnEmptyQueueLeavesAnEmptyCacheAndNoSpool) {
    dm().scanOutCallTickets();
    EXPECT_TRUE(std::filesystem::exists(dir.file("cache.dat")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("cache.dat")), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("spool.dat")));
    EXPECT_EQ(Count(debugs(), "was merged"), 0u) << logDump();
    EXPECT_TRUE(errors().empty()) << logDump();
}

TEST_F(TicketTest, QueuedTicketsBecomeSpoolLinesInQueueOrderInOneMerge) {
    queueTicket("2101", "0102241530", "00125", "0001", "ABCDEFGHIJKLMNOPQRST");
    queueTicket("2102", "0102241531", "03725");
    queueTicket("2201", "2902242359", "86400", "0002");
    dm().scanOutCallTickets();

    EXPECT_EQ(spool(), line1 + line2 + line3);
    EXPECT_EQ(cache(), "");
    EXPECT_EQ(Count(debugs(), "Cache file " + dir.file("cache.dat") + " was merged with " +
                                  dir.file("spool.dat") + "."),
              1u)
        << logDump();
    EXPECT_TRUE(
        log.contains(LogLevel::Debug, Source,
                     "Data line was added in cache - " + line2.substr(0, line2.size() - 2) + "."))
        << logDump();
    EXPECT_TRUE(errors().empty()) << logDump();

    // The queue is empty now: the next pass adds nothing.
    dm().scanOutCallTickets();
    EXPECT_EQ(spool(), line1 + line2 + line3);
}

TEST_F(TicketTest, ASpoolHeldByAnotherWriterGetsTheWaitingLinesOnceInOrder) {
    std::optional<platform::File> holder =
        platform::File::Open(dir.file("spool.dat"), platform::Access::ReadWrite,
                             platform::Share::Exclusive, platform::Create::OpenOrCreate);

    queueTicket("2101", "0102241530", "00125", "0001", "ABCDEFGHIJKLMNOPQRST");
    dm().scanOutCallTickets();
    queueTicket("2102", "0102241531", "03725");
    dm().scanOutCallTickets();
    EXPECT_EQ(cache(), line1 + line2);
    EXPECT_EQ(spool(), "");
    EXPECT_GE(Count(errors(), "Cache file " + dir.file("cache.dat") + " was NOT merged with " +
                                  dir.file("spool.dat") + "."),
              2u)
        << logDump();

    holder.reset();
    queueTicket("2201", "2902242359", "86400", "0002");
    dm().scanOutCallTickets();
    EXPECT_EQ(spool(), line1 + line2 + line3);
    EXPECT_EQ(cache(), "");
    EXPECT_TRUE(log.contains(LogLevel::Debug, Source,
                             "Cache file " + dir.file("cache.dat") + " is not empty."));
}

// Lets the process write files only up to `bytes` while it lives: a longer write
// stops part-way, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(TicketTest, AMergeFailingPartWayLeavesNothingOfItInTheSpool) {
    const std::string earlier(5 * 162, 'x');
    test_support::WriteFile(dir.file("spool.dat"), earlier);
    {
        // The lines wait in the cache while the spool is held.
        platform::File holder =
            platform::File::Open(dir.file("spool.dat"), platform::Access::ReadWrite,
                                 platform::Share::Exclusive, platform::Create::OpenExisting);
        queueTicket("2101", "0102241530", "00125", "0001", "ABCDEFGHIJKLMNOPQRST");
        queueTicket("2102", "0102241531", "03725");
        dm().scanOutCallTickets();
    }
    ASSERT_EQ(cache(), line1 + line2);
    {
        // Room for one and a bit lines only.
        FileSizeLimit limit(earlier.size() + 200);
        log.clear();
        dm().scanOutCallTickets();
    }
    EXPECT_EQ(spool(), earlier);
    EXPECT_EQ(cache(), line1 + line2);
    EXPECT_GE(Count(errors(), "was NOT merged"), 1u) << logDump();

    dm().scanOutCallTickets();
    EXPECT_EQ(spool(), earlier + line1 + line2);
    EXPECT_EQ(cache(), "");
}

TEST_F(TicketTest, ALineThatCannotBeWrittenIntoTheCacheLeavesItsTicketQueued) {
    queueTicket("2101", "0102241530", "00125", "0001", "ABCDEFGHIJKLMNOPQRST");
    {
        FileSizeLimit limit(100); // less than one line
        dm().scanOutCallTickets();
    }
    EXPECT_EQ(cache(), "");
    EXPECT_EQ(spool(), "");
    ASSERT_EQ(errors().size(), 1u) << logDump();
    EXPECT_EQ(errors()[0].rfind("Scan error.: ", 0), 0u) << errors()[0];

    dm().scanOutCallTickets();
    EXPECT_EQ(spool(), line1);
    EXPECT_EQ(cache(), "");
}

TEST_F(TicketTest, AnUnreadableTicketIsSetAsideAndLaterTicketsStillReachTheSpool) {
    queueTicket("2101", "0102241530", "12x", "0001");
    queueTicket("2102", "0102241531", "03725");
    dm().scanOutCallTickets();

    EXPECT_EQ(spool(), line2);
    const std::string rejects = test_support::ReadFile(dir.file("spool.dat.rejected"));
    EXPECT_TRUE(std::regex_match(
        rejects,
        std::regex(R"(\d+\|2101\|1\|0102241530\|12x\|0001\|\|\d{4}\.\d\d\.\d\d \d\d:\d\d\|\r\n)")))
        << rejects;
    const std::string key = rejects.substr(0, rejects.find('|'));
    EXPECT_TRUE(log.contains(LogLevel::Error, Source,
                             "OutTicketID " + key + " cannot be read and is set aside in " +
                                 dir.file("spool.dat.rejected") + ": " +
                                 rejects.substr(0, rejects.size() - 2) +
                                 ": '12x' is not a valid integer value"))
        << logDump();

    // Nothing is left in the queue to fail again.
    log.clear();
    dm().scanOutCallTickets();
    EXPECT_TRUE(errors().empty()) << logDump();
    EXPECT_EQ(test_support::ReadFile(dir.file("spool.dat.rejected")), rejects);
    EXPECT_EQ(spool(), line2);
}

// A stand-in library that keeps handing out a ticket whatever the delete says.
class StubbornQueueTest : public AdapterTest {
protected:
    StubbornQueueTest() { section->set("varnel.path", ScriptedLibrary::folder()); }
    ScriptedLibrary script;
};

TEST_F(StubbornQueueTest, ATicketThatWillNotLeaveTheQueueEndsThePass) {
    script.setRecord(7, "2101|1|0102241530|00125|0001||2024.02.01 15:31");
    script.setDeleteResult(-1);
    dm().scanOutCallTickets();

    EXPECT_EQ(cache(), "");
    EXPECT_EQ(spool(), "");
    EXPECT_EQ(log.texts(LogLevel::Error, Source),
              (std::vector<std::string>{
                  "OutTicketID 7 was not deleted. Data line was removed from cache.",
                  "OutTicketID 7 is still queued; scanning stops until the next pass"}))
        << logDump();
    EXPECT_TRUE(log.contains(LogLevel::Debug, Source, "--- End scanning for outcall tickets ---"));
}

TEST_F(StubbornQueueTest, AnUnreadableTicketThatWillNotLeaveIsSetAsideOnce) {
    script.setRecord(8, "2101|1|0102241530|12x|0001||2024.02.01 15:31");
    script.setDeleteResult(-1);
    dm().scanOutCallTickets();

    EXPECT_EQ(test_support::ReadFile(dir.file("spool.dat.rejected")),
              "8|2101|1|0102241530|12x|0001||2024.02.01 15:31|\r\n");
    const auto errors = log.texts(LogLevel::Error, Source);
    ASSERT_EQ(errors.size(), 3u) << logDump();
    EXPECT_EQ(errors[1], "OutTicketID 8 was not deleted.");
    EXPECT_EQ(errors[2], "OutTicketID 8 is still queued; scanning stops until the next pass");
}

} // namespace
