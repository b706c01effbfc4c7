#include <gtest/gtest.h>

#include "ops/paths.h"
#include "ops/wildcard.h"
#include "test_support.h"

namespace {

TEST(MatchName, FilterRules) {
    const struct {
        const char* name;
        const char* pattern;
        int case_sensitive;
        bool match;
    } cases[] = {
        {"readme.txt", "*.*", 0, true},     {"noext", "*.*", 0, true},
        {"noext", "*", 0, true},            {"dot.", "*", 0, true},
        {"a.txt", "*", 0, false},           {"noext", "*.", 0, true},
        {"docs/readme.txt", "*.txt", 0, true}, {"A.TXT", "*.txt", 0, true},
        {"A.TXT", "*.txt", 1, false},       {"docs/readme.txt", "r*.txt", 0, false},
        {"abc", "a?c", 0, true},            {"ac", "a?c", 0, false},
        {"a", "a*", 0, true},               {"a", "a**", 0, false},
        {"release1.2/readme", "release1.*", 0, true}, // the extension is "2/readme"
        {"release1.2/readme", "*.2/readme", 0, true},
        {"\xC4.txt", "\xE4.txt", 0, false}, // only a-z fold
        {"setup.exe", "SETUP.EXE", 0, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchName(c.name, c.pattern, c.case_sensitive), c.match) << c.name << " ~ " << c.pattern;
}

TEST(MatchWildcard, AbortEndsTheWholeMatch) {
    EXPECT_EQ(matchWildcard("abcd", "a*x", 0), 2);
    EXPECT_EQ(matchWildcard("abcd", "*b*d", 0), 1);
    EXPECT_EQ(matchWildcard("", "*", 0), 1);
    EXPECT_EQ(matchWildcard("", "?", 0), 0);
    EXPECT_EQ(matchWildcard("", "", 0), 1);
}

TEST(Wlist, ParsesSpaceSeparatedFilters) {
    const struct {
        const char* text;
        std::vector<std::string> filters;
    } cases[] = {
        {"*.txt *.doc", {"*.txt", "*.doc"}},
        {"  *.txt   *.doc", {"*.txt", "*.doc"}},
        {"*.txt ", {"*.txt", ""}}, // trailing blanks give one empty filter
        {"", {""}},
        {"abcdefghijklmnop.txt", {"abcdefghijklmnop.txt"}}, // long names are kept whole
    };
    for (const auto& c : cases) {
        wlist w(c.text);
        EXPECT_EQ(w.parse(), static_cast<int>(c.filters.size())) << c.text;
        EXPECT_EQ(w.filters(), c.filters) << c.text;
    }
    wlist w("*.txt *.doc ");
    w.parse();
    EXPECT_TRUE(w.matchAny("a.txt", 0));
    EXPECT_TRUE(w.matchAny("dir/b.DOC", 0));
    EXPECT_FALSE(w.matchAny("c.bin", 0));
    wlist long_name("annual-report-2026*.pdf");
    long_name.parse();
    EXPECT_TRUE(long_name.matchAny("annual-report-2026-final.pdf", 0));
    EXPECT_FALSE(long_name.matchAny("annual-report-2025.pdf", 0));
    wlist empty("");
    empty.parse();
    EXPECT_FALSE(empty.matchAny("anything", 0));
}

TEST(PathHelpers, StripFileName) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"C:\\a\\x.zip", "C:\\a"}, {"C:\\x.zip", "C:\\"}, {"x.zip", "x.zip"}, {"C:\\a\\b\\", "C:\\a\\b"}};
    for (const auto& c : cases) {
        char buf[260];
        platform::copy_bounded(buf, sizeof buf, c.in);
        stripFileName(buf);
        EXPECT_STREQ(buf, c.out) << c.in;
    }
}

TEST(PathHelpers, MemberTargetPaths) {
    const struct {
        const char* name;
        bool folders;
        const char* target; // nullptr: refused
    } cases[] = {
        {"a/b/c.txt", true, "D:\\out\\a\\b\\c.txt"},
        {"a/b/c.txt", false, "D:\\out\\c.txt"},
        {"dir/", true, "D:\\out\\dir\\"},
        {"..x/y..", true, "D:\\out\\..x\\y.."}, // dots inside a name are fine
        {"../x", true, nullptr},
        {"..\\x", true, nullptr},
        {"a/../../x", true, nullptr},
        {"/etc/x", true, nullptr},
        {"\\x", true, nullptr},
        {"C:\\x", true, nullptr},
        {"C:x", false, nullptr},
        {"a/..", false, nullptr},
        {"/etc/x", false, "D:\\out\\x"}, // only the last part is used
        {"", true, nullptr},
    };
    for (const auto& c : cases) {
        char target[260];
        bool ok = memberTargetPath("D:\\out\\", c.name, c.folders, target);
        EXPECT_EQ(ok, c.target != nullptr) << c.name;
        if (ok && c.target) EXPECT_STREQ(target, c.target) << c.name;
    }
    char target[260];
    EXPECT_TRUE(memberTargetPath("D:\\out\\", std::string(252, 'n'), true, target)); // 259 bytes
    EXPECT_FALSE(memberTargetPath("D:\\out\\", std::string(253, 'n'), true, target));
}

} // namespace

TEST(PathHelpers, DeleteFilesBelowThenRemoveEmptyFolders) {
    test::TempDir dir;
    std::string top = dir.dos("work");
    ASSERT_TRUE(platform::create_directory(top.c_str()));
    ASSERT_TRUE(platform::create_directory((top + "\\docs").c_str()));
    ASSERT_TRUE(platform::create_directory((top + "\\docs\\deep").c_str()));
    dir.write("work/a.txt", {'a'});
    dir.write("work/docs/b.txt", {'b'});
    std::string locked = dir.write("work/docs/deep/c.txt", {'c'});
    ASSERT_TRUE(platform::set_attributes(locked.c_str(), platform::kAttrReadOnly));
    test::ScriptedResponder prompts;

    deleteFilesBelow(top.c_str()); // no trailing backslash: one is added
    EXPECT_TRUE(prompts.prompts().empty());
    EXPECT_EQ(platform::get_attributes((top + "\\a.txt").c_str()), platform::kInvalidAttributes);
    EXPECT_EQ(platform::get_attributes(locked.c_str()), platform::kInvalidAttributes)
        << "read-only files go too";
    EXPECT_NE(platform::get_attributes((top + "\\docs\\deep").c_str()),
              platform::kInvalidAttributes)
        << "folders stay";

    removeEmptyFolders((top + "\\").c_str());
    EXPECT_EQ(platform::get_attributes(top.c_str()), platform::kInvalidAttributes);
    EXPECT_NE(platform::get_attributes(dir.dos("").c_str()), platform::kInvalidAttributes)
        << "nothing above the folder is touched";
}
