// The configuration file: order, nodes with value and children, every byte
// value kept, syntax errors with their line, atomic saving with mode 0600.
#include "rtl/configuration.h"

#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <tuple>

#include <sys/stat.h>

namespace {

using rtl::Ref;
using rtl::TConfiguration;

std::vector<std::string> Entries(TConfiguration& config) {
    std::vector<std::string> out;
    for (const auto& e : config.tree()->descendants())
        out.push_back(e->path() + "=" + e->value());
    return out;
}

TEST(ConfigFile, WritesSectionsAndRelativeKeysInTreeOrder) {
    TConfiguration config;
    config.set("host.plugins.manager", "mod_quorvin");
    config.set("mod_tellum.rs.device", "/dev/ttyS0");
    config.set("mod_tellum.rs", "serial");
    config.set("mod_tellum.lock_command_line", "");
    config.set("mod_tellum.unlock_command_line", "ATD\\n\\p");
    config.set("mod_tellum", "section value");
    config.set("empty", "");
    EXPECT_EQ(config.toText(), "[host]\n"
                               "plugins.manager = mod_quorvin\n"
                               "\n"
                               "[mod_tellum] = section value\n"
                               "rs = serial\n"
                               "rs.device = /dev/ttyS0\n"
                               "lock_command_line =\n"
                               "unlock_command_line = ATD\\n\\p\n"
                               "\n"
                               "[empty]\n");
}

TEST(ConfigFile, RoundTripKeepsEveryByteAndTheOrder) {
    std::string allBytes;
    for (int c = 1; c < 256; ++c)
        allBytes += char(c);
    const std::vector<std::pair<std::string, std::string>> values = {
        {"z.all_bytes", allBytes},
        {"z.nul", std::string("a\0b", 3)},
        {"a.blanks", "  padded  "},
        {"a.quotes", "\"quoted\" and \\"},
        {"a.leading_quote", "\"x"},
        {"a.equals", "= x = y ="},
        {"a.lines", "one\r\ntwo\n"},
        {"a.comment_like", "# not a comment ; really"},
        {"a.cyrillic", "\xC8\xE2\xE0\xED\xEE\xE2"},
        {"a.empty", ""},
        {"m", "top value"},
        {"m.child", "c"},
    };
    TConfiguration written;
    for (const auto& [key, value] : values)
        written.set(key, value);

    test_support::TempDir dir;
    const std::string path = dir.file("pbxhost.conf");
    written.save(path);
    Ref<TConfiguration> read = TConfiguration::load(path);

    EXPECT_EQ(Entries(*read), Entries(written));
    for (const auto& [key, value] : values)
        EXPECT_EQ(read->get(key), value) << key;
    EXPECT_EQ(read->toText(), written.toText());
}

TEST(ConfigFile, ReadsHandWrittenFiles) {
    TConfiguration config;
    config.fromText("# comment\r\n"
                    "top = 1\r\n"
                    "  ; another comment\n"
                    "[ mod_tellum ]\n"
                    "  rs.device   =   COM1   \n"
                    "read_time_out=1000\n"
                    "quoted = \"a\\tb\\x41\"  \n"
                    "[mod_tellum.rs]\n"
                    "rate = 9600\n"
                    "[host] = v\n"
                    "log.level = \"\"\n",
                    "hand.conf");
    EXPECT_EQ(Entries(config),
              (std::vector<std::string>{
                  "top=1", "mod_tellum=", "mod_tellum.rs=", "mod_tellum.rs.device=COM1",
                  "mod_tellum.rs.rate=9600", "mod_tellum.read_time_out=1000",
                  "mod_tellum.quoted=a\tbA", "host=v", "host.log=", "host.log.level="}));
}

TEST(ConfigFile, SyntaxErrorsNameFileAndLineAndKeepTheTree) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[a]\njust words\n", "x.conf:2: expected \"key = value\" or \"[section]\""},
        {"\n\n[a\n", "x.conf:3: missing \"]\" in section header"},
        {"[a] extra\n", "x.conf:1: unexpected text after section header"},
        {"[a..b]\n", "x.conf:1: invalid key \"a..b\""},
        {"a b = 1\n", "x.conf:1: invalid key \"a b\""},
        {"= 1\n", "x.conf:1: invalid key \"\""},
        {"k = \"open\n", "x.conf:1: unterminated quoted value"},
        {"k = \"a\\qb\"\n", "x.conf:1: unknown escape \\q in quoted value"},
        {"k = \"\\x4\"\n", "x.conf:1: \\x needs two hexadecimal digits"},
        {"k = \"a\" b\n", "x.conf:1: unexpected text after quoted value"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        TConfiguration config;
        config.set("kept", "yes");
        try {
            config.fromText(text, "x.conf");
            ADD_FAILURE() << "no error";
        } catch (const rtl::EConfigError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_EQ(config.get("kept"), "yes");
    }
}

// A new file holds passwords nobody else may read; an existing one keeps the
// mode its administrator gave it (the service may read it through its group).
TEST(ConfigFile, SavesNewFilesOwnerOnlyKeepsAnExistingModeAndReportsUnreadableFiles) {
    test_support::TempDir dir;
    TConfiguration config;
    config.set("mod_quorvin.db.password", "tamarind");
    for (const auto& [name, before, after] :
         {std::tuple{"new.conf", mode_t(0), mode_t(0600)},
          std::tuple{"group.conf", mode_t(0640), mode_t(0640)},
          std::tuple{"open.conf", mode_t(0644), mode_t(0644)}}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        if (before != 0) {
            test_support::WriteFile(path, "old");
            ASSERT_EQ(::chmod(path.c_str(), before), 0);
        }
        config.save(path);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, after);
        EXPECT_EQ(TConfiguration::load(path)->get("mod_quorvin.db.password"), "tamarind");
    }

    try {
        TConfiguration::load(dir.file("none.conf"));
        ADD_FAILURE() << "no error";
    } catch (const rtl::EConfigError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.file("none.conf")), std::string::npos) << e.what();
    }
}

} // namespace
