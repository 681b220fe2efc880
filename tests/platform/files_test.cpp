#include "platform/error.h"
#include "platform/files.h"

#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace platform;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

TEST(CreateFolders, CreatesParentsAndReportsTheBadPath) {
    TempDir dir;
    const std::string nested = dir.file("a/b/c");
    CreateFolders(nested);
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    CreateFolders(nested); // existing: no error

    WriteFile(dir.file("plain"), "x");
    try {
        CreateFolders(dir.file("plain/sub"));
        FAIL();
    } catch (const Error& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Unable to create directory", 0), 0u) << text;
        EXPECT_NE(text.find("plain/sub"), std::string::npos) << text;
    }
}

TEST(File, SharingRulesFollowAccess) {
    TempDir dir;
    const std::string path = dir.file("q.txt");
    WriteFile(path, "abc");
    struct Case {
        const char* name;
        Access firstAccess;
        Share firstShare;
        Access secondAccess;
        Share secondShare;
        bool secondOpens;
    };
    const Case cases[] = {
        {"two readers", Access::Read, Share::DenyWrite, Access::Read, Share::DenyWrite, true},
        {"reader blocks writer", Access::Read, Share::DenyWrite, Access::ReadWrite,
         Share::DenyWrite, false},
        {"writer blocks reader", Access::ReadWrite, Share::DenyWrite, Access::Read,
         Share::DenyWrite, false},
        {"exclusive blocks reader", Access::ReadWrite, Share::Exclusive, Access::Read,
         Share::DenyWrite, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        File first = File::Open(path, c.firstAccess, c.firstShare);
        if (c.secondOpens) {
            EXPECT_NO_THROW(File::Open(path, c.secondAccess, c.secondShare));
        } else {
            EXPECT_THROW(File::Open(path, c.secondAccess, c.secondShare), SharingViolation);
        }
    }
    // Locks go with the file objects.
    EXPECT_NO_THROW(File::Open(path, Access::ReadWrite, Share::Exclusive));
}

TEST(File, ReadWriteTruncateAndSize) {
    TempDir dir;
    const std::string path = dir.file("cache.dat");
    EXPECT_THROW(File::Open(path, Access::Read, Share::DenyWrite), Error);
    File f = File::Open(path, Access::ReadWrite, Share::DenyWrite, Create::OpenOrCreate);
    f.seekEnd();
    f.writeAll("hello ");
    f.writeAll("world");
    EXPECT_EQ(f.size(), 11u);
    f.truncate(5);
    f.writeAll("!");
    EXPECT_EQ(f.readAll(), "hello!");
}

TEST(AtomicReplace, ReplacesContentWithModeAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("config.cfg");
    AtomicReplace(path, "first", 0600);
    AtomicReplace(path, "second\r\n", 0600);
    EXPECT_EQ(ReadFile(path), "second\r\n");
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(AtomicReplace, AReaderDoesNotStopItAWriterDoes) {
    TempDir dir;
    const std::string path = dir.file("TicketsOut.txt");
    WriteFile(path, "old");
    {
        File reader = File::Open(path, Access::Read, Share::DenyWrite);
        AtomicReplace(path, "new");
        EXPECT_EQ(reader.readAll(), "old"); // the reader keeps what it opened
    }
    EXPECT_EQ(ReadFile(path), "new");
    {
        File writer = File::Open(path, Access::ReadWrite, Share::Exclusive);
        EXPECT_THROW(AtomicReplace(path, "refused"), SharingViolation);
    }
    EXPECT_EQ(ReadFile(path), "new");
}
