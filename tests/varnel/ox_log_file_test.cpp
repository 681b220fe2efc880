// TOxLogFile: file format, reload, the size cap arithmetic and saves refused by locks.
#include "ox_log_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

using namespace varnel;
using test_support::ReadFile;
using test_support::WriteFile;

namespace {

mode_t FileMode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class QueueFile : public ::testing::Test {
protected:
    test_support::TempDir dir;
    const std::string path = dir.file("Queue.txt");

    // n records of 98 characters (100 bytes per line), each starting with its number.
    static std::string Lines(size_t first, size_t n) {
        std::string text;
        for (size_t i = first; i < first + n; ++i) {
            std::string number = std::to_string(i);
            text += number + "|" + std::string(98 - number.size() - 1, 'x') + "\r\n";
        }
        return text;
    }
};

} // namespace

TEST_F(QueueFile, MissingFileStartsEmptyAndIsCreatedAtOnce) {
    {
        TOxLogFile queue(path);
        EXPECT_EQ(queue.count(), 0u);
        EXPECT_TRUE(platform::FileExists(path)); // so a folder that refuses files shows now
        EXPECT_EQ(ReadFile(path), "");
        queue.add("1|a|");
        EXPECT_EQ(ReadFile(path), "1|a|\r\n");
    }
    EXPECT_EQ(ReadFile(path), "1|a|\r\n");
}

TEST_F(QueueFile, ReloadKeepsRecordsInOrder) {
    {
        TOxLogFile queue(path);
        queue.add("1|first|");
        queue.add("2|second|");
    }
    TOxLogFile reopened(path);
    ASSERT_EQ(reopened.count(), 2u);
    EXPECT_EQ(reopened.item(0), "1|first|");
    EXPECT_EQ(reopened.item(1), "2|second|");
}

TEST_F(QueueFile, LineEndsOfAnyKindAndEmptyLines) {
    struct Case {
        std::string text;
        TOxLogRecordList records;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"\r\n", {""}},
        {"a\n\n", {"a", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFile(path, c.text);
        TOxLogFile queue(path);
        EXPECT_EQ(queue.records(), c.records);
    }
}

TEST_F(QueueFile, DeletingTheOnlyRecordLeavesAnEmptyFile) {
    TOxLogFile queue(path);
    queue.add("1|a|");
    queue.remove(0);
    EXPECT_EQ(queue.count(), 0u);
    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_EQ(ReadFile(path).size(), 0u);
}

TEST_F(QueueFile, KeyLookupFindsTheOldestOfEqualKeys) {
    TOxLogFile queue(path);
    queue.add("7|older|");
    queue.add("8|other|");
    queue.add("7|newer|");
    EXPECT_EQ(queue.indexOfKey("7"), 0);
    EXPECT_EQ(queue.indexOfKey("9"), -1);
    EXPECT_EQ(queue.indexOf("8|other|"), 1);
    queue.remove(size_t(queue.indexOfKey("7")));
    EXPECT_EQ(queue.item(0), "8|other|");
    EXPECT_EQ(ReadFile(path), "8|other|\r\n7|newer|\r\n");
}

TEST_F(QueueFile, CapKeepsAtMost10486RecordsOf98Characters) {
    // 10485 lines of 100 bytes stay below 1048576; the 10486th reaches it.
    WriteFile(path, Lines(1, 10484));
    TOxLogFile queue(path);
    ASSERT_EQ(queue.count(), 10484u);
    const std::string more = Lines(10485, 3);
    auto record = [&](size_t k) { return more.substr(k * 100, 98); };
    queue.add(record(0));
    EXPECT_EQ(queue.count(), 10485u);
    queue.add(record(1));
    EXPECT_EQ(queue.count(), 10486u);
    EXPECT_EQ(queue.item(0).substr(0, 2), "1|");
    queue.add(record(2)); // one more drops the oldest
    EXPECT_EQ(queue.count(), 10486u);
    EXPECT_EQ(queue.item(0).substr(0, 2), "2|");
    EXPECT_EQ(ReadFile(path).size(), 10486u * 100u);
}

TEST_F(QueueFile, RecordLongerThanTheCapStaysUntilNewerOnesReachIt) {
    TOxLogFile queue(path, 100);
    queue.add("1|a|");
    queue.add("2|b|");
    const std::string big(150, 'B');
    queue.add(big); // reaches the cap on its own: everything older goes
    EXPECT_EQ(queue.records(), TOxLogRecordList{big});
    queue.add(std::string(40, 'c')); // 42 bytes: below the cap, so the big one is counted too
    EXPECT_EQ(queue.count(), 2u);
    queue.add(std::string(60, 'd')); // 62 + 42 >= 100: the big one goes
    EXPECT_EQ(queue.records(), (TOxLogRecordList{std::string(40, 'c'), std::string(60, 'd')}));
}

TEST_F(QueueFile, AfterEveryChangeTheFileHoldsTheRecordsInMemory) {
    // Lone line ends in the file become CR LF at the first change; removals at the head,
    // in the middle and at the end, and adds that the cap cuts, in a row.
    WriteFile(path, "1|a|\n2|bb|\r3|ccc|\r\n4|dddd|");
    TOxLogFile queue(path, 30);
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"remove in the middle", [&] { queue.remove(1); }},
        {"remove the head", [&] { queue.remove(0); }},
        {"add", [&] { queue.add("5|eeeee|"); }},
        {"add past the cap",
         [&] {
             queue.add("6|ffffffffffff|");
             EXPECT_EQ(queue.item(0), "4|dddd|"); // "3|ccc|" dropped
         }},
        {"remove the last", [&] { queue.remove(queue.count() - 1); }},
        {"add after that", [&] { queue.add("7|g|"); }},
        {"clear", [&] { queue.clear(); }},
        {"add to the empty queue", [&] { queue.add("8|h|"); }},
    };
    for (const auto& [name, change] : steps) {
        SCOPED_TRACE(name);
        change();
        std::string expected;
        for (const auto& record : queue.records())
            expected += record + "\r\n";
        EXPECT_EQ(ReadFile(path), expected);
        TOxLogFile reopened(path, 30);
        EXPECT_EQ(reopened.records(), queue.records());
    }
    EXPECT_EQ(queue.records(), TOxLogRecordList{"8|h|"});
}

TEST_F(QueueFile, ARefusedSaveLeavesMemoryAsTheFileIs) {
    // Each change is refused while another program holds the file; afterwards memory
    // and file still hold the same records, and the next change writes only its own.
    struct Case {
        const char* name;
        std::function<void(TOxLogFile&)> change;
    };
    const std::vector<Case> cases = {
        {"add", [](TOxLogFile& q) { q.add("3|c|"); }},
        {"add that reaches the cap", [](TOxLogFile& q) { q.add(std::string(200, 'z')); }},
        {"remove", [](TOxLogFile& q) { q.remove(0); }},
        {"clear", [](TOxLogFile& q) { q.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(path, "1|a|\r\n2|b|\r\n");
        TOxLogFile queue(path, 100);
        {
            auto writer =
                platform::File::Open(path, platform::Access::ReadWrite, platform::Share::Exclusive);
            EXPECT_THROW(c.change(queue), platform::SharingViolation);
        }
        EXPECT_EQ(queue.records(), (TOxLogRecordList{"1|a|", "2|b|"}));
        EXPECT_EQ(ReadFile(path), "1|a|\r\n2|b|\r\n");
        queue.add("4|d|");
        EXPECT_EQ(ReadFile(path), "1|a|\r\n2|b|\r\n4|d|\r\n");
    }
}

TEST_F(QueueFile, FilesAreClosedToOthers) {
    struct Case {
        const char* name;
        int existingMode; // -1: no file yet
        mode_t mode;
    };
    for (const Case& c :
         {Case{"new file", -1, 0640}, Case{"file of an earlier version", 0644, 0640},
          Case{"file the operator closed further", 0600, 0600},
          Case{"file open to everyone", 0666, 0640}}) {
        SCOPED_TRACE(c.name);
        std::remove(path.c_str());
        if (c.existingMode >= 0) {
            WriteFile(path, "1|a|\r\n");
            ASSERT_EQ(::chmod(path.c_str(), mode_t(c.existingMode)), 0);
        }
        TOxLogFile queue(path);
        EXPECT_EQ(FileMode(path), c.mode); // at once, before any change
        queue.add("2|b|");
        EXPECT_EQ(FileMode(path), c.mode);
    }
}

TEST_F(QueueFile, TemporaryFilesOfAnInterruptedSaveAreRemovedAtOpen) {
    WriteFile(path, "1|a|\r\n");
    // What a crash between writing the temporary file and renaming it leaves, beside
    // files of other names that look alike.
    WriteFile(path + ".tmp-Ab12Cd", "1|a|\r\n2|b|\r\n");
    WriteFile(path + ".tmp-XYZ", "not one of ours: wrong length");
    WriteFile(path + ".backup", "kept");
    WriteFile(dir.file("Other.txt.tmp-Ab12Cd"), "another queue's");
    TOxLogFile queue(path);
    EXPECT_EQ(queue.records(), TOxLogRecordList{"1|a|"});
    EXPECT_FALSE(platform::FileExists(path + ".tmp-Ab12Cd"));
    for (const std::string& kept :
         {path + ".tmp-XYZ", path + ".backup", dir.file("Other.txt.tmp-Ab12Cd")})
        EXPECT_TRUE(platform::FileExists(kept)) << kept;
}

TEST_F(QueueFile, ReadersDoNotStopASave) {
    TOxLogFile queue(path);
    queue.add("1|a|");
    auto reader = platform::File::Open(path, platform::Access::Read, platform::Share::DenyWrite);
    EXPECT_NO_THROW(queue.add("2|b|"));
    EXPECT_EQ(ReadFile(path), "1|a|\r\n2|b|\r\n");
    EXPECT_EQ(reader.readAll(), "1|a|\r\n"); // the reader keeps the content it opened
}

TEST_F(QueueFile, FileThatCannotBeReadFailsTheOpen) {
    WriteFile(path, "1|a|\r\n");
    auto writer =
        platform::File::Open(path, platform::Access::ReadWrite, platform::Share::Exclusive);
    EXPECT_THROW(TOxLogFile queue(path), platform::Error);
}
