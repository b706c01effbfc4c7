// Every archive of the fixture corpus (written by other tools) is listed by
// `zarvo-cli l -v` exactly as its manifest says, and the broken ones fail with
// their code and text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>

#include "cli/commands.h"
#include "manifest.h"
#include "test_support.h"
#include "zip/errors.h"

namespace {

using test::ManifestArchive;

std::string find(const std::string& notes, const std::string& pattern) { return test::find_in(notes, pattern); }

struct CliResult {
    int status;
    std::string out, err;
};

CliResult list_verbose(const std::string& archive) {
    std::string path = test::data_host_path("zip/" + archive);
    const char* argv[] = {"zarvo-cli", "l", "-v", "-n", path.c_str()};
    std::ostringstream out, err;
    int status = run_cli(5, const_cast<char**>(argv), out, err);
    return {status, out.str(), err.str()};
}

class ManifestArchives : public ::testing::TestWithParam<ManifestArchive> {};

TEST_P(ManifestArchives, ListAsTheManifestSays) {
    const ManifestArchive& a = GetParam();
    CliResult r = list_verbose(a.path);

    std::string fails = find(a.notes, R"(open fails(?: with error|: .*\(error) (\d+))");
    if (!fails.empty()) {
        int code = std::stoi(fails);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(error_text(code, 3)), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        return;
    }
    // A warning of the archive's own, given once as it is read.
    const bool warns = !find(a.notes, R"(opens with \d+ members? and gives warning (\d+))").empty();
    ASSERT_EQ(r.status, warns ? 1 : 0) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), warns ? 1 : 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream all(r.out);
    for (std::string line; std::getline(all, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 1u);
    std::string count = find(a.notes, R"((?:opens with|last disk:) (\d+) member)");
    ASSERT_FALSE(count.empty()) << a.notes;
    ASSERT_EQ(lines.size() - 1, std::stoul(count));
    ASSERT_EQ(lines.size() - 1, a.members.size());

    for (std::size_t i = 0; i < a.members.size(); ++i) {
        const auto& m = a.members[i];
        std::vector<std::string> got;
        std::istringstream row(lines[i + 1]);
        for (std::string cell; std::getline(row, cell, '\t');) got.push_back(cell);
        if (!lines[i + 1].empty() && lines[i + 1].back() == '\t') got.emplace_back();
        ASSERT_EQ(got.size(), 12u) << lines[i + 1];
        SCOPED_TRACE(a.path + " " + m.name);
        EXPECT_EQ(got[0], m.name); // escaped alike
        EXPECT_EQ(got[1], m.method);
        EXPECT_EQ("0x" + got[2], m.flags);
        EXPECT_EQ(got[3], m.crc32);
        EXPECT_EQ(got[4], m.compressed_size);
        EXPECT_EQ(got[5], m.uncompressed_size);
        const std::string& notes = m.notes;
        EXPECT_EQ(got[6], find(notes, R"(dos (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d))"));
        EXPECT_EQ("0x" + got[7], find(notes, R"(external attributes (0x[0-9a-f]{8}))"));
        EXPECT_EQ(got[8], find(notes, R"(version needed (\d+))"));
        EXPECT_EQ(got[10], find(notes, R"(local header offset (\d+))"));
        std::string disk = find(notes, R"(local header offset \d+ on disk (\d+))");
        if (!disk.empty()) EXPECT_EQ(got[9], disk);
        EXPECT_EQ(got[11], find(notes, R"(member comment '([^']*)')"));
    }
}

std::vector<ManifestArchive> manifest_or_empty() {
    try {
        return test::load_manifest();
    } catch (...) {
        return {};
    }
}

std::string archive_test_name(const ::testing::TestParamInfo<ManifestArchive>& info) { return test::test_name_of(info.param); }

INSTANTIATE_TEST_SUITE_P(Fixtures, ManifestArchives, ::testing::ValuesIn(manifest_or_empty()), archive_test_name);

TEST(Fixtures, ManifestIsThere) { EXPECT_GE(test::load_manifest().size(), 30u); }

TEST(Fixtures, ArchiveCommentsAreReadWhole) {
    const struct {
        const char* archive;
        std::size_t length;
        const char* starts;
    } cases[] = {
        {"izip_comments.zip", 89, "Archive comment, line one.\r\nLine two"},
        {"izip_eocd_straddle.zip", 8172, ""},
        {"izip_comment_40938.zip", 40938, ""},
        {"izip_comment_40939.zip", 40939, ""},
        {"mixed_methods.zip", 39, "methods 8, 1, 6, 0 mixed in one archive"},
    };
    for (const auto& c : cases) {
        std::string path = test::data_host_path(std::string("zip/") + c.archive);
        const char* argv[] = {"zarvo-cli", "l", path.c_str()};
        std::ostringstream out, err;
        ASSERT_EQ(run_cli(3, const_cast<char**>(argv), out, err), 0) << c.archive << err.str();
        // The comment is printed between the member list and the totals line.
        std::string text = out.str();
        std::size_t totals = text.rfind("\nFiles: ");
        ASSERT_NE(totals, std::string::npos);
        std::size_t start = text.find("\n\n");
        ASSERT_NE(start, std::string::npos);
        std::string comment = text.substr(start + 2, totals - 1 - (start + 2));
        EXPECT_EQ(comment.size(), c.length) << c.archive;
        EXPECT_EQ(comment.compare(0, std::strlen(c.starts), c.starts), 0) << c.archive;
    }
}

} // namespace
