// The configuration tree: dotted keys, sections sharing the tree, removal and
// the entry tree an editor walks.
#include "rtl/configuration.h"

#include <gtest/gtest.h>

namespace {

using rtl::IConfiguration;
using rtl::Ref;
using rtl::TConfiguration;

std::vector<std::string> Paths(const Ref<rtl::IResTree>& root) {
    std::vector<std::string> out;
    for (const auto& entry : root->descendants())
        out.push_back(entry->path() + "=" + entry->value());
    return out;
}

TEST(Configuration, DottedKeysAddressNestedNodes) {
    TConfiguration config;
    config.set("mod_tellum.rs.device", "/dev/ttyS0");
    config.set("mod_tellum.read_time_out", "");

    EXPECT_EQ(config.get("mod_tellum.rs.device"), "/dev/ttyS0");
    EXPECT_EQ(config.sub("mod_tellum")->get("rs.device"), "/dev/ttyS0");
    EXPECT_EQ(config.sub("mod_tellum.rs")->get("device"), "/dev/ttyS0");
    // Intermediate nodes exist with empty values; an empty value still counts.
    EXPECT_TRUE(config.has("mod_tellum.rs"));
    EXPECT_TRUE(config.has("mod_tellum.read_time_out"));
    EXPECT_EQ(config.get("mod_tellum.read_time_out", "5000"), "");
    EXPECT_FALSE(config.has("mod_tellum.rs.rate"));
    EXPECT_EQ(config.get("mod_tellum.rs.rate"), "");
    EXPECT_EQ(config.get("mod_tellum.rs.rate", "9600"), "9600");
}

TEST(Configuration, InvalidKeysAreRefusedOnWriteAndAbsentOnRead) {
    TConfiguration config;
    for (const char* key :
         {"", ".a", "a.", "a..b", "a b", "a=b", "[a]", "a\"b", "a#b", "a;b", "a\tb", "a\x7F"}) {
        SCOPED_TRACE(key);
        EXPECT_THROW(config.set(key, "x"), rtl::EConfigError);
        EXPECT_FALSE(config.has(key));
        EXPECT_EQ(config.get(key, "fallback"), "fallback");
        EXPECT_FALSE(config.remove(key));
    }
    // 8-bit names (a code page's letters) are fine.
    config.set("\xEA\xEE\xEC\xE0\xED\xE4\xE0.x", "1");
    EXPECT_EQ(config.get("\xEA\xEE\xEC\xE0\xED\xE4\xE0.x"), "1");
}

TEST(Configuration, SectionsShareTheTreeWithTheRoot) {
    Ref<TConfiguration> root(new TConfiguration);
    Ref<IConfiguration> section = root->sub("mod_varnel");
    EXPECT_FALSE(root->has("mod_varnel")); // a view creates nothing by itself

    section->set("db.name", "localhost:/srv/front.fdb");
    EXPECT_EQ(root->get("mod_varnel.db.name"), "localhost:/srv/front.fdb");
    root->set("mod_varnel.timer_interval", "5000");
    EXPECT_EQ(section->get("timer_interval"), "5000");

    // The view survives its branch being removed and made again elsewhere.
    EXPECT_TRUE(root->remove("mod_varnel"));
    EXPECT_FALSE(section->has("timer_interval"));
    root->set("mod_varnel.timer_interval", "0");
    EXPECT_EQ(section->get("timer_interval"), "0");
    EXPECT_EQ(section->sub("db")->get("name"), "");
}

TEST(Configuration, RemoveDropsTheNodeWithItsChildrenOnly) {
    TConfiguration config;
    config.set("a.b.c", "1");
    config.set("a.b", "2");
    config.set("a.d", "3");
    EXPECT_TRUE(config.remove("a.b"));
    EXPECT_FALSE(config.has("a.b.c"));
    EXPECT_FALSE(config.remove("a.b"));
    EXPECT_FALSE(config.remove("x.y"));
    EXPECT_EQ(config.get("a.d"), "3");
}

TEST(Configuration, TreeGivesPathsRelativeToTheBranchInOrder) {
    TConfiguration config;
    config.set("mod_tellum.lock_command_line", "");
    config.set("mod_tellum.rs.device", "COM1");
    config.set("mod_tellum.rs.rate", "9600");
    config.set("mod_tellum.read_time_out", "1000");
    config.set("mod_tellum.rs", "serial");
    config.set("other.key", "x");

    auto section = config.sub("mod_tellum");
    auto root = section->tree();
    EXPECT_EQ(root->name(), "mod_tellum");
    EXPECT_EQ(root->path(), "");
    EXPECT_EQ(Paths(root),
              (std::vector<std::string>{"lock_command_line=", "rs=serial", "rs.device=COM1",
                                        "rs.rate=9600", "read_time_out=1000"}));
    const auto rs = root->children()[1];
    EXPECT_EQ(rs->name(), "rs");
    ASSERT_EQ(rs->children().size(), 2u);
    EXPECT_EQ(rs->children()[1]->name(), "rate");
    // Every path is a key of the branch it came from.
    for (const auto& entry : root->descendants())
        EXPECT_EQ(section->get(entry->path()), entry->value()) << entry->path();

    // The tree is a snapshot: later changes do not reach it.
    section->set("rs.device", "COM2");
    EXPECT_EQ(rs->children()[0]->value(), "COM1");

    // A missing branch gives a root entry without children.
    auto empty = config.sub("mod_quorvin")->tree();
    EXPECT_EQ(empty->name(), "mod_quorvin");
    EXPECT_TRUE(empty->children().empty());
}

} // namespace
