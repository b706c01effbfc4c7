#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "test_support.h"

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun cli(std::vector<std::string> args) {
    args.insert(args.begin(), "zarvo-cli");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    std::ostringstream out, err;
    int status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

TEST(CliList, ShowsTheListWindowColumnsCommentAndTotals) {
    CliRun r = cli({"l", test::data_host_path("zip/izip_comments.zip")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    std::string header, first;
    std::getline(in, header);
    std::getline(in, first);
    for (const char* column : {"Name", "Date", "Time", "Size", "Packed", "Ratio", "Comment"})
        EXPECT_NE(header.find(column), std::string::npos) << column;
    // Name order; 2019-04-07 23:51:36 UTC; 31526 bytes packed into 6670.
    EXPECT_EQ(first.substr(0, 7), "plain.h");
    for (const char* cell : {" 4/ 7/2019", "11:51 pm", "31526", "6670", "79%", "Third member comment."})
        EXPECT_NE(first.find(cell), std::string::npos) << cell << " in " << first;
    EXPECT_NE(r.out.find("Line three: 3 lines in all.\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nFiles: 3    Size: 44383    Pack: 11398    Ratio: 74%\n"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST(CliList, FoldersShowFolderAndMidnight) {
    CliRun r = cli({"l", test::data_host_path("zip/izip_store.zip")});
    ASSERT_EQ(r.status, 0);
    std::istringstream in(r.out);
    std::string line;
    bool seen = false;
    while (std::getline(in, line))
        if (line.rfind("data/nested/ ", 0) == 0) {
            seen = true;
            EXPECT_NE(line.find("Folder"), std::string::npos) << line;
            EXPECT_NE(line.find("00:00"), std::string::npos) << line;
        }
    EXPECT_TRUE(seen);
}

TEST(CliList, ErrorsGoToStderrWithStatus2) {
    const struct {
        const char* archive;
        const char* message;
    } cases[] = {
        {"zip/py_eocd_only.zip", "Error: Bad zip structure\n"},
        {"zip/izip_truncated.zip", "Error: Bad CE signature\n"},
        {"zip/no_such_archive.zip", "Error: Can't open file\n"},
        // A self-extracting file without a ZIP inside is told apart.
        {"zip/spanned_2disks/disk1/spanned.zip", "Error: Bad CE signature\n"},
    };
    for (const auto& c : cases) {
        CliRun r = cli({"l", test::data_host_path(c.archive)});
        EXPECT_EQ(r.status, 2) << c.archive;
        EXPECT_EQ(r.err, c.message) << c.archive;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliList, NotASelfExtractingArchive) {
    test::TempDir dir;
    test::write_host_file(dir.host("tool.exe"), test::Bytes(20000, 'M'));
    CliRun r = cli({"l", dir.host("tool.exe")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Zip format not detected: Its not a self extracting zip file or its been corrupted.\n");
}

TEST(CliList, UsageErrors) {
    for (auto args : std::vector<std::vector<std::string>>{{}, {"q", "a.zip"}, {"l"}, {"l", "-x", "a.zip"}, {"l", "a", "b"}}) {
        CliRun r = cli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: zarvo-cli"), std::string::npos);
    }
}

TEST(CliList, RelativeHostPathsAreAccepted) {
    // A path with "." and ".." parts names the same archive.
    std::string path = test::data_host_path("zip/../zip/./izip_store.zip");
    CliRun r = cli({"l", "-v", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("data/rand100k.bin\t0\t0000\t5e79ff2e\t100000\t100000"), std::string::npos);
}

} // namespace
