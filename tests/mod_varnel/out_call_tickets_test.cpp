// Out-call tickets from the HL driver simulator through the link library's
// queue, the cache file and into the spool file: the lines byte for byte, a
// spool held by another writer, a merge that fails part-way, what a pass finds
// after one that a crash stopped, tickets that cannot be billed, and a library
// that keeps a ticket it was told to delete.
#include "adapter_fixture.h"

#include "cache_step.h"
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
using adapter_test::SpoolLine;
using rtl::LogLevel;

const char* const Source = "TvarnelDM";

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

TEST_F(TicketTest, AMergeFailingPartWayIsFinishedByAppendingOnlyTheRest) {
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
    queueTicket("2201", "2902242359", "86400", "0002");
    {
        // Room for one and a bit lines only: the spool keeps what reached it.
        FileSizeLimit limit(earlier.size() + 200);
        log.clear();
        dm().scanOutCallTickets();
        EXPECT_EQ(spool(), earlier + (line1 + line2).substr(0, 200));
        EXPECT_EQ(cache(), line1 + line2);
        EXPECT_GE(Count(errors(), "was NOT merged"), 1u) << logDump();

        // While part of the merge is in the spool, the cache takes no new line.
        log.clear();
        dm().scanOutCallTickets();
        EXPECT_EQ(spool(), earlier + (line1 + line2).substr(0, 200));
        EXPECT_EQ(cache(), line1 + line2);
        EXPECT_EQ(Count(errors(), "stopped part-way; the tickets stay queued"), 1u) << logDump();
    }
    log.clear();
    dm().scanOutCallTickets();
    EXPECT_EQ(spool(), earlier + line1 + line2 + line3);
    EXPECT_EQ(cache(), "");
    EXPECT_TRUE(log.contains(LogLevel::Warn, Source,
                             "Recovery of cache file " + dir.file("cache.dat") +
                                 ": the cache held 2 lines of a merge into " +
                                 dir.file("spool.dat") +
                                 " that had stopped after 1 line and 38 bytes of the next: "
                                 "appending the rest."))
        << logDump();
}

// A merge that a crash interrupted, as the step record beside the cache tells it, and
// what the spool holds by the time the adapter runs again.
struct InterruptedMerge {
    const char* name;
    std::string spoolBefore; // when the merge began
    std::string spoolNow;    // after the crash; "=" + n: spoolBefore and n bytes of the cache
    std::string expectedText;
};

void PrintTo(const InterruptedMerge& row, std::ostream* os) {
    *os << row.name;
}

class InterruptedMergeTest : public TicketTest,
                             public testing::WithParamInterface<InterruptedMerge> {};

TEST_P(InterruptedMergeTest, OnlyWhatTheSpoolLacksIsAppended) {
    const InterruptedMerge& row = GetParam();
    const std::string lines = line1 + line2;
    std::string now = row.spoolNow;
    if (!now.empty() && now[0] == '=')
        now = row.spoolBefore + lines.substr(0, std::stoul(now.substr(1)));
    test_support::WriteFile(dir.file("spool.dat"), now);
    test_support::WriteFile(dir.file("cache.dat"), lines);
    mod_varnel::WriteCacheStep(dir.file("cache.dat.step"),
                               {mod_varnel::CacheStep::Kind::Merge, dir.file("spool.dat"),
                                row.spoolBefore.size(), lines.size(), ""});
    dm().scanOutCallTickets();

    const bool asLeft = row.expectedText.find("not as that merge left it") == std::string::npos;
    EXPECT_EQ(spool(), (asLeft ? row.spoolBefore : now) + lines);
    EXPECT_EQ(cache(), "");
    std::string text = row.expectedText;
    for (size_t at = text.find("$spool"); at != std::string::npos; at = text.find("$spool"))
        text.replace(at, 6, dir.file("spool.dat"));
    EXPECT_TRUE(log.contains(LogLevel::Warn, Source,
                             "Recovery of cache file " + dir.file("cache.dat") + ": " + text))
        << logDump();
    EXPECT_EQ(Count(log.texts(LogLevel::Warn, Source), "Recovery"), 1u) << logDump();
}

const std::string Earlier(2 * 162, 'x');
const std::string NotAsLeft =
    "the cache held 2 lines of a merge into $spool that had stopped, but $spool is not as that "
    "merge left it (cut back, replaced or written by another program): appending the whole "
    "cache; lines of that merge may be in an earlier copy of the spool too.";

INSTANTIATE_TEST_SUITE_P(
    , InterruptedMergeTest,
    testing::Values(InterruptedMerge{"EveryLineAlreadyInTheSpool", Earlier, "=324",
                                     "the cache held 2 lines already in $spool: emptied the cache, "
                                     "nothing appended."},
                    InterruptedMerge{
                        "PartOfALineInTheSpool", Earlier, "=200",
                        "the cache held 2 lines of a merge into $spool that had stopped after "
                        "1 line and 38 bytes of the next: appending the rest."},
                    InterruptedMerge{"SpoolTakenAwaySince", Earlier, "", NotAsLeft},
                    InterruptedMerge{"SpoolReplacedSince", Earlier, std::string(2 * 162 + 200, 'y'),
                                     NotAsLeft}),
    [](const testing::TestParamInfo<InterruptedMerge>& info) {
        return std::string(info.param.name);
    });

// A ticket's line in the cache whose delete from the queue a crash may have stopped.
struct InterruptedLine {
    const char* name;
    bool sameRecord; // the step names the queued ticket itself, not another under its key
    std::string expectedText;
    LogLevel level;
};

void PrintTo(const InterruptedLine& row, std::ostream* os) {
    *os << row.name;
}

class InterruptedLineTest : public TicketTest,
                            public testing::WithParamInterface<InterruptedLine> {};

TEST_P(InterruptedLineTest, TheLineStaysExactlyWhenItsTicketLeftTheQueue) {
    const InterruptedLine& row = GetParam();
    queueTicket("2102", "0102241531", "03725");
    std::string record = test_support::ReadFile(dir.file("queues/TicketsOut.txt"));
    record.resize(record.size() - 2); // CR LF
    const std::string key = record.substr(0, record.find('|'));
    if (!row.sameRecord) // a ticket that came in the same tick and has left the queue
        record = key + "|2101|1|0102241530|00125|0001|ABCDEFGHIJKLMNOPQRST|2024.02.01 15:31|";
    const std::string cached = row.sameRecord ? line2 : line1;
    test_support::WriteFile(dir.file("cache.dat"), cached);
    mod_varnel::WriteCacheStep(
        dir.file("cache.dat.step"),
        {mod_varnel::CacheStep::Kind::Line, dir.file("cache.dat"), 0, cached.size(), record});
    dm().scanOutCallTickets();

    EXPECT_EQ(spool(), row.sameRecord ? line2 : line1 + line2);
    std::string text = row.expectedText;
    text.replace(text.find("$key"), 4, key);
    text.replace(text.find("$cache"), 6, dir.file("cache.dat"));
    EXPECT_TRUE(log.contains(row.level, Source,
                             "Recovery of cache file " + dir.file("cache.dat") + ": " + text))
        << logDump();
}

INSTANTIATE_TEST_SUITE_P(
    , InterruptedLineTest,
    testing::Values(InterruptedLine{"TicketStillQueued", true,
                                    "the line of OutTicketID $key in $cache was written but the "
                                    "ticket was not deleted from the queue: removed the line, "
                                    "the ticket is collected again.",
                                    LogLevel::Warn},
                    InterruptedLine{"AnotherTicketUnderTheSameKeyQueued", false,
                                    "the last line in $cache, of OutTicketID $key, is whole and "
                                    "its ticket has left the queue.",
                                    LogLevel::Debug}),
    [](const testing::TestParamInfo<InterruptedLine>& info) {
        return std::string(info.param.name);
    });

TEST_F(TicketTest, AStartWithNothingLeftOverSaysSoOnce) {
    dm().scanOutCallTickets();
    dm().scanOutCallTickets();
    EXPECT_EQ(Count(debugs(),
                    "Recovery of cache file " + dir.file("cache.dat") + ": nothing to recover."),
              1u)
        << logDump();
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

// A ticket that cannot be billed, and what the rejects line and the log say of it.
struct Unbillable {
    const char* name;
    std::string time;
    std::string duration;
    std::string why; // "cannot be read" or "cannot be a call", then the reason
};

class UnbillableTicketTest : public TicketTest, public testing::WithParamInterface<Unbillable> {};

TEST_P(UnbillableTicketTest, IsSetAsideAndLaterTicketsStillReachTheSpool) {
    const Unbillable& row = GetParam();
    queueTicket("2101", row.time, row.duration, "0001");
    queueTicket("2102", "0102241531", "03725");
    dm().scanOutCallTickets();

    EXPECT_EQ(spool(), line2);
    const std::string rejects = test_support::ReadFile(dir.file("spool.dat.rejected"));
    EXPECT_TRUE(std::regex_match(
        rejects, std::regex(R"(\d+\|2101\|1\|)" + row.time + R"(\|)" + row.duration +
                            R"(\|0001\|\|\d{4}\.\d\d\.\d\d \d\d:\d\d\|\r\n)")))
        << rejects;
    const std::string key = rejects.substr(0, rejects.find('|'));
    EXPECT_TRUE(log.contains(LogLevel::Error, Source,
                             "OutTicketID " + key + " " + row.why.substr(0, row.why.find(':')) +
                                 " and is set aside in " + dir.file("spool.dat.rejected") + ": " +
                                 rejects.substr(0, rejects.size() - 2) +
                                 row.why.substr(row.why.find(':'))))
        << logDump();

    // Nothing is left in the queue to fail again.
    log.clear();
    dm().scanOutCallTickets();
    EXPECT_TRUE(errors().empty()) << logDump();
    EXPECT_EQ(test_support::ReadFile(dir.file("spool.dat.rejected")), rejects);
    EXPECT_EQ(spool(), line2);
}

INSTANTIATE_TEST_SUITE_P(
    , UnbillableTicketTest,
    testing::Values(Unbillable{"DurationNoNumber", "0102241530", "12x",
                               "cannot be read: '12x' is not a valid integer value"},
                    Unbillable{"NegativeDuration", "0102241530", "-0005",
                               "cannot be a call: '-0005' is a negative duration"},
                    Unbillable{"CallTimeNoDate", "3213241530", "00125",
                               "cannot be a call: '3213241530' is not a call time"},
                    Unbillable{"NoCallTime", "", "00125",
                               "cannot be a call: '' is not a call time"}),
    [](const testing::TestParamInfo<Unbillable>& info) { return std::string(info.param.name); });

TEST_F(TicketTest, ARejectsFileThatCannotBeWrittenKeepsTheTicketQueuedAndSaysSoOncePerPass) {
    // A folder where the rejects file should be: it cannot be opened as a file.
    std::filesystem::create_directory(dir.file("spool.dat.rejected"));
    queueTicket("2101", "0102241530", "-0005", "0001");
    queueTicket("2102", "0102241531", "03725");
    for (int pass = 0; pass < 2; ++pass) {
        log.clear();
        dm().scanOutCallTickets();
        EXPECT_EQ(spool(), "");
        ASSERT_EQ(errors().size(), 1u) << logDump();
        EXPECT_NE(errors()[0].find(" cannot be set aside in " + dir.file("spool.dat.rejected") +
                                   " and stays queued, with the tickets after it: "),
                  std::string::npos)
            << errors()[0];
    }

    std::filesystem::remove(dir.file("spool.dat.rejected"));
    dm().scanOutCallTickets();
    EXPECT_EQ(spool(), line2);
    EXPECT_NE(test_support::ReadFile(dir.file("spool.dat.rejected")).find("|-0005|"),
              std::string::npos);
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

TEST_F(StubbornQueueTest, AnUnreadableTicketThatWillNotLeaveLeavesNoLineInTheRejectsFile) {
    script.setRecord(8, "2101|1|0102241530|12x|0001||2024.02.01 15:31");
    script.setDeleteResult(-1);
    dm().scanOutCallTickets();

    // Still queued, so it is set aside again later; its line went, so it is there once.
    EXPECT_EQ(test_support::ReadFile(dir.file("spool.dat.rejected")), "");
    const auto errors = log.texts(LogLevel::Error, Source);
    ASSERT_EQ(errors.size(), 3u) << logDump();
    EXPECT_EQ(errors[1], "OutTicketID 8 was not deleted.");
    EXPECT_EQ(errors[2], "OutTicketID 8 is still queued; scanning stops until the next pass");
}

} // namespace
