#include <gtest/gtest.h>

#include "ops/paths.h"
#include "ops/wildcard.h"
#include "test_support.h"
#include "zip/errors.h"

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
        {"/etc/x", false, "D:\\out\\x"},        // only the last part is used
    };
    for (const auto& c : cases) {
        char target[260];
        EXPECT_EQ(memberTargetPath("D:\\out\\", c.name, c.folders, target), 0) << c.name;
        EXPECT_STREQ(target, c.target) << c.name;
    }
    char target[260];
    EXPECT_EQ(memberTargetPath("D:\\out\\", std::string(252, 'n'), true, target), 0); // 259 bytes
    EXPECT_EQ(memberTargetPath("D:\\out\\", std::string(253, 'n'), true, target), ZWARN_TOO_LONG);
}

// Every refused name with the reason given for it. Device names are refused
// in any part, in any case, with any extension and with blanks or dots
// before it, as Windows would open the device for each of them.
TEST(PathHelpers, RefusedMemberNamesSayWhy) {
    const struct {
        std::string name;
        bool folders;
        int why;
    } cases[] = {
        {"", true, ZWARN_UNSAFE},
        {"../x", true, ZWARN_UNSAFE},
        {"..\\x", true, ZWARN_UNSAFE},
        {"a/../../x", true, ZWARN_UNSAFE},
        {"a/..", false, ZWARN_UNSAFE},
        {"/etc/x", true, ZWARN_UNSAFE},
        {"\\x", true, ZWARN_UNSAFE},
        {"C:\\x", true, ZWARN_UNSAFE},
        {"C:x", false, ZWARN_UNSAFE},
        {"file.txt:stream", true, ZWARN_UNSAFE}, // a stream of another file
        {"aux/../../x", true, ZWARN_UNSAFE},     // leaving the destination weighs most
        {"NUL", true, ZWARN_DEVICE},
        {"AUX", true, ZWARN_DEVICE},
        {"COM1", true, ZWARN_DEVICE},
        {"com0", true, ZWARN_DEVICE},
        {"lpt9.log", true, ZWARN_DEVICE},
        {"aux.txt", true, ZWARN_DEVICE},
        {"nul .txt", true, ZWARN_DEVICE},
        {"Nul.tar.gz", true, ZWARN_DEVICE},
        {"con.", true, ZWARN_DEVICE},
        {"prn  ", true, ZWARN_DEVICE},
        {"sub/aux.txt", true, ZWARN_DEVICE},
        {"sub/aux.txt", false, ZWARN_DEVICE},
        {"con/readme.txt", true, ZWARN_DEVICE}, // a folder part
        {"conin$", true, ZWARN_DEVICE},
        {"CONOUT$.txt", true, ZWARN_DEVICE},
        {"COM\xB9", true, ZWARN_DEVICE},     // superscript one, Windows-1252
        {"lpt\xB3.txt", true, ZWARN_DEVICE}, // superscript three
        {"COM\xC2\xB2", true, ZWARN_DEVICE}, // superscript two, UTF-8
        {"a<b", true, ZWARN_BAD_NAME},
        {"a>b", true, ZWARN_BAD_NAME},
        {"say \"hi\"", true, ZWARN_BAD_NAME},
        {"a|b", true, ZWARN_BAD_NAME},
        {"what?", true, ZWARN_BAD_NAME},
        {"star*", true, ZWARN_BAD_NAME},
        {"tab\there", true, ZWARN_BAD_NAME},
        {"dir\x01/x.txt", true, ZWARN_BAD_NAME},
        {"line\x1f", true, ZWARN_BAD_NAME},
        {std::string(253, 'n'), true, ZWARN_TOO_LONG},
    };
    for (const auto& c : cases) {
        char target[260];
        EXPECT_EQ(memberTargetPath("D:\\out\\", c.name, c.folders, target), c.why) << c.name;
    }
    // Names that only look like devices are ordinary names.
    const char* ordinary[] = {"console",       "nul2",  "com10",        "lpt",     "comA",
                              "auxiliary.txt", "x.nul", "sub.aux/file", "com\xB4", " nul",
                              "a.b c",         "\x7F",  "caf\xE9"};
    for (const char* n : ordinary) {
        char target[260];
        EXPECT_EQ(memberTargetPath("D:\\out\\", n, true, target), 0) << n;
    }
}

} // namespace

// A link's target resolved lexically from the link's own folder: it may
// climb as many folders as the link lies deep and no further, and ".." may
// not follow a named part, which could be another link on disk.
TEST(PathHelpers, LinkTargetsStayInsideTheDestination) {
    const struct {
        const char* link;
        std::string target;
        bool allowed;
    } cases[] = {
        {"a", "b.txt", true},
        {"a", "sub/deeper/c.txt", true},
        {"a", ".", true},
        {"a", "./b.txt", true},
        {"a", "sub//c.txt", true},
        {"d\\a", "../b.txt", true},
        {"d\\e\\a", "../../b.txt", true},
        {"d\\e\\a", "../..", true},
        {"d\\\\a", "../b.txt", true}, // an empty part is no folder
        {"a", "..", false},
        {"a", "../x", false},
        {"d\\a", "../../x", false},
        {"d\\e\\a", "../../../x", false},
        {"a", "/etc", false},
        {"a", "/", false},
        {"a", "\\etc", false},
        {"d\\a", "..\\..\\x", false}, // a backslash separates as well
        {"a", "dir/..", false},
        {"a", "dir/../b.txt", false},
        {"d\\a", "x/../..", false},
        {"a", "", false},
        {"a", std::string("b\0c", 3), false},
        {"a", std::string(4095, 'n'), true},
        {"a", std::string(4096, 'n'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linkTargetStaysInside(c.link, c.target), c.allowed)
            << c.link << " -> " << c.target.substr(0, 40);
}

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
