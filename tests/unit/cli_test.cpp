#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/commands.h"
#include "test_support.h"

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

// A message naming a file of a temporary folder in the host's form:
// natively its host path; under Wine the folder lies in the prefix and is
// shown at its Unix place, which ends in the same folder and name.
void expect_message(const std::string& got, const std::string& head, const test::TempDir& dir,
                    const std::string& name, const std::string& tail) {
#ifdef _WIN32
    const std::string leaf = dir.host().substr(dir.host().find_last_of("\\/") + 1);
    const std::string end = "/" + leaf + "/" + name + tail;
    EXPECT_EQ(got.substr(0, head.size()), head) << got;
    EXPECT_TRUE(got.size() >= end.size() &&
                got.compare(got.size() - end.size(), end.size(), end) == 0)
        << got;
    EXPECT_EQ(got.find('\\'), std::string::npos) << got;
#else
    EXPECT_EQ(got, head + dir.host(name) + tail);
#endif
}

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
    // Each names the archive as the user's host spells it.
    const struct {
        const char* archive;
        const char* message;
    } cases[] = {
        {"zip/py_eocd_only.zip", "Bad zip structure"},
        {"zip/izip_truncated.zip", "Bad CE signature"},
        {"zip/no_such_archive.zip", "Can't open file"},
        // A self-extracting file without a ZIP inside is told apart.
        {"zip/spanned_2disks/disk1/spanned.zip", "Bad CE signature"},
    };
    for (const auto& c : cases) {
        const std::string archive = test::data_host_path(c.archive);
        CliRun r = cli({"l", archive});
        EXPECT_EQ(r.status, 2) << c.archive;
        EXPECT_EQ(r.err, "Error: " + archive + ": " + c.message + "\n") << c.archive;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliList, NotASelfExtractingArchive) {
    test::TempDir dir;
    test::write_host_file(dir.host("tool.exe"), test::Bytes(20000, 'M'));
    CliRun r = cli({"l", dir.host("tool.exe")});
    EXPECT_EQ(r.status, 2);
    expect_message(r.err, "Zip format not detected: ", dir, "tool.exe",
                   ": Its not a self extracting zip file or its been corrupted.\n");
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

namespace {

std::vector<std::string> listed_names(const std::string& host_archive) {
    CliRun r = cli({"l", "-v", host_archive});
    std::vector<std::string> names;
    std::istringstream in(r.out);
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line))
        names.push_back(line.substr(0, line.find('\t')));
    return names;
}

TEST(CliFilters, EachArgumentIsOneFilterBlanksIncluded) {
    test::TempDir dir;
    std::string archive = dir.host("a.zip");
    test::write_host_file(
        archive,
        test::build_zip(
            {{"my", {'1'}}, {"file.txt", {'2'}}, {"my file.txt", {'3'}}, {"keep.txt", {'4'}}}));
    CliRun x = cli({"x", "-o", dir.host("out"), archive, "my file.txt"});
    EXPECT_EQ(x.status, 0) << x.err;
    EXPECT_EQ(test::read_host_file(dir.host("out/my file.txt")), test::Bytes{'3'});
    for (const char* other : {"out/my", "out/file.txt", "out/keep.txt"})
        EXPECT_EQ(platform::get_attributes(dir.dos(other).c_str()), platform::kInvalidAttributes)
            << other;

    CliRun d = cli({"d", archive, "my file.txt", "keep.*"});
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(listed_names(archive), (std::vector<std::string>{"my", "file.txt"}));
}

TEST(CliTerminal, ControlBytesAreShownEscaped) {
    const struct {
        std::string text;
        bool keep_lines;
        std::string shown;
    } cases[] = {
        {"plain name.txt", false, "plain name.txt"},
        {"\x1b]0;owned\x07.txt", false, "\\x1b]0;owned\\x07.txt"},
        {"clear\x1b[2J", false, "clear\\x1b[2J"},
        {"tab\there\nline", false, "tab\\x09here\\x0aline"},
        {"line one\r\nline two\nend\tx", true, "line one\r\nline two\nend\tx"},
        {"over\rwrite", true, "over\\x0dwrite"},
        {"del\x7f", false, "del\\x7f"},
        // UTF-8 letters stay; C1 controls, even well-formed, and stray bytes do not.
        {"caf\xc3\xa9 \xe6\x96\x87", false, "caf\xc3\xa9 \xe6\x96\x87"},
        {"csi\xc2\x9b"
         "2J",
         false, "csi\\xc2\\x9b2J"},
        {"lone\x9b", false, "lone\\x9b"},
        {"cut\xe6\x96", false, "cut\\xe6\\x96"},
        {"overlong\xc0\xaf", false, "overlong\\xc0\\xaf"},
        {std::string("nul\0x", 5), false, "nul\\x00x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(terminal_safe(c.text, c.keep_lines), c.shown) << c.shown;
}

TEST(CliTerminal, NamesAndCommentsFromTheArchiveCannotDriveTheTerminal) {
    test::TempDir dir;
    std::string archive = dir.host("evil.zip");
    const std::string evil = "title\x1b]0;owned\x07.txt";
    test::ZipLayout layout;
    layout.archive_comment = "first\r\nsecond\x1b[2J";
    test::write_host_file(archive,
                          test::build_zip({{evil, {'x'}, 0x4E21, 0x6000, 0, "c\x1b[31m"}}, layout));

    auto run = [&](std::vector<std::string> args, bool terminal) {
        args.insert(args.begin(), "zarvo-cli");
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        std::ostringstream out, err;
        Terminals t;
        t.out = t.err = terminal;
        int status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err, t);
        return CliRun{status, out.str(), err.str()};
    };
    // Extraction refuses the name, and its warning names the member escaped.
    const struct {
        std::vector<std::string> args;
        int status;
    } runs[] = {
        {{"l", archive}, 0}, {{"t", archive}, 0}, {{"x", "-y", "-o", dir.host("out"), archive}, 1}};
    for (const auto& c : runs) {
        CliRun r = run(c.args, true);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos)
            << c.args[0] << ": " << r.out << r.err;
        EXPECT_NE((r.out + r.err).find("title\\x1b]0;owned\\x07.txt"), std::string::npos)
            << c.args[0] << ": " << r.out << r.err;
    }
    CliRun listed = run({"l", archive}, true);
    EXPECT_NE(listed.out.find("first\r\nsecond\\x1b[2J"), std::string::npos) << listed.out;
    // Into a pipe or a file the bytes go as they are.
    CliRun piped = run({"l", archive}, false);
    EXPECT_NE(piped.out.find(evil), std::string::npos);
}

} // namespace

namespace {

TEST(CliDamagedDirectory, HiddenMembersStopEveryCommandAndTheArchiveStaysAsItWas) {
    test::TempDir dir;
    test::Bytes bytes = test::build_zip({{"a.txt", {'a'}}, {"b.txt", {'b'}}, {"c.txt", {'c'}}});
    // The second central header's signature: members b and c stand behind it.
    std::size_t second = bytes.size() - 22 - 2 * (46 + 5);
    ASSERT_EQ(bytes[second], 'P');
    bytes[second] = 'X';
    std::string archive = dir.host("damaged.zip");
    test::write_host_file(archive, bytes);
    test::write_host_file(dir.host("new.txt"), {'n'});
    const std::string start_dir = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(dir.dos("").c_str()));

    for (auto args : std::vector<std::vector<std::string>>{
             {"l", archive}, {"t", archive}, {"a", archive, "new.txt"}, {"d", archive, "a.txt"}}) {
        CliRun r = cli(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("Bad CE signature"), std::string::npos) << args[0] << ": " << r.err;
        EXPECT_EQ(test::read_host_file(archive), bytes) << args[0];
    }
    platform::set_current_directory(start_dir.c_str());
}

} // namespace

namespace {

// The crafted directories of tests/data/damaged: what listing says, and that
// no command that would write changes an archive it cannot read whole.
TEST(CliDamagedDirectory, CraftedDirectoriesAreRefusedOrReported) {
    const struct {
        const char* archive;
        int list_status;
    } cases[] = {
        {"second-central-header-damaged.zip", 2},   {"end-record-counts-more-members.zip", 2},
        {"directory-shorter-than-its-size.zip", 2}, {"directory-runs-into-end-record.zip", 2},
        {"end-record-counts-fewer-members.zip", 1}, {"directory-size-zero.zip", 1},
        {"directory-size-all-ones.zip", 1},         {"second-end-record-in-comment.zip", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        test::TempDir dir;
        const test::Bytes original =
            test::read_host_file(test::data_host_path(std::string("damaged/") + c.archive));
        std::string archive = dir.host("a.zip");
        test::write_host_file(archive, original);
        CliRun listed = cli({"l", archive});
        EXPECT_EQ(listed.status, c.list_status) << listed.err;
        if (c.list_status == 2) {
            expect_message(listed.err, "Error: ", dir, "a.zip", ": Bad CE signature\n");
            EXPECT_EQ(cli({"d", archive, "a.txt"}).status, 2);
            EXPECT_EQ(cli({"c", "-f", archive, archive}).status, 2);
            EXPECT_EQ(test::read_host_file(archive), original);
            continue;
        }
        // Every member shows, and a comment goes where the end record was found.
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            EXPECT_NE(listed.out.find(name), std::string::npos);
        test::write_host_file(dir.host("comment.txt"), {'n', 'e', 'w'});
        EXPECT_EQ(cli({"c", "-f", dir.host("comment.txt"), archive}).status, 1);
        test::Bytes after = test::read_host_file(archive);
        const std::size_t found = original.size() - 22;
        ASSERT_EQ(after.size(), found + 22 + 3);
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + found, original.begin()));
        EXPECT_EQ(std::string(after.end() - 3, after.end()), "new");
        EXPECT_EQ(cli({"t", archive}).status, 1);
    }
}

} // namespace

namespace {

// Writes a file of dir, making the folders on its way.
void write_in(const test::TempDir& dir, const std::string& name, const test::Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::u8path(dir.host(name)).parent_path());
    test::write_host_file(dir.host(name), bytes);
}

CliRun cli_answering(std::vector<std::string> args, bool stdin_terminal, const std::string& input) {
    args.insert(args.begin(), "zarvo-cli");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    std::ostringstream out, err;
    std::istringstream in(input);
    Terminals t;
    t.in = stdin_terminal;
    int status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err, t, in);
    return {status, out.str(), err.str()};
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Two members over two files that exist: what each way of answering leaves.
TEST(CliReplace, AQuestionNobodyCanAnswerKeepsTheFileAndIsReported) {
    const struct {
        const char* what;
        const char* option; // nullptr: ask
        bool terminal;
        const char* input;
        const char* a_after; // contents of a.txt and b.txt after the job
        const char* b_after;
        int status;
        int skipped; // files reported as skipped unasked
    } cases[] = {
        {"-y replaces", "-y", false, "", "A", "B", 0, 0},
        {"-n keeps, no warning", "-n", false, "", "a", "b", 0, 0},
        {"no terminal", nullptr, false, "y\ny\n", "a", "b", 1, 2},
        {"input already ended", nullptr, true, "", "a", "b", 1, 2},
        {"ends after one answer", nullptr, true, "y\n", "A", "b", 1, 1},
        {"yes, then no", nullptr, true, "y\nn\n", "A", "b", 0, 0},
        {"all", nullptr, true, "A\n", "A", "B", 0, 0},
        {"an unknown answer asks again", nullptr, true, "?\nn\ny\n", "a", "B", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string archive = dir.host("r.zip");
        test::write_host_file(archive, test::build_zip({{"a.txt", {'A'}}, {"b.txt", {'B'}}}));
        write_in(dir, "out/a.txt", {'a'});
        write_in(dir, "out/b.txt", {'b'});
        std::vector<std::string> args{"x", "-o", dir.host("out"), archive};
        if (c.option) args.insert(args.begin() + 1, c.option);
        CliRun r = cli_answering(args, c.terminal, c.input);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(test::read_host_file(dir.host("out/a.txt")),
                  test::Bytes{static_cast<std::uint8_t>(c.a_after[0])});
        EXPECT_EQ(test::read_host_file(dir.host("out/b.txt")),
                  test::Bytes{static_cast<std::uint8_t>(c.b_after[0])});
        EXPECT_EQ(count_of(r.err, "Skipped (exists, not replaced): "),
                  static_cast<std::size_t>(c.skipped))
            << r.err;
        if (c.skipped == 0) {
            EXPECT_EQ(r.err.find("skipped"), std::string::npos) << r.err;
        } else {
            const std::string summary =
                c.skipped == 1 ? "Warning: 1 file was skipped" : "Warning: 2 files were skipped";
            EXPECT_NE(r.err.find(summary), std::string::npos) << r.err;
        }
        if (c.skipped == 1) {
            const std::size_t at = r.err.find("Skipped (");
            expect_message(r.err.substr(at, r.err.find('\n', at) + 1 - at),
                           "Skipped (exists, not replaced): ", dir, "out/b.txt", "\n");
        }
    }
}

// Per-file lines and warnings name files in the host's form, never as the
// engine's DOS paths.
TEST(CliMessages, FilesAreNamedInTheHostForm) {
    test::TempDir dir;
    const std::string archive = dir.host("m.zip");
    test::write_host_file(archive, test::build_zip({{"sub/a.txt", {'A'}}}));
    CliRun x = cli({"x", "-o", dir.host("out"), archive});
    EXPECT_EQ(x.status, 0) << x.err;
    expect_message(x.out, "Extract:  ", dir, "out/sub/a.txt", "\n");

    test::write_host_file(dir.host("here.txt"), {'h'});
    const std::string start_dir = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(dir.dos("").c_str()));
    CliRun a = cli({"a", archive, "here.txt", "missing.txt"});
    platform::set_current_directory(start_dir.c_str());
    EXPECT_EQ(a.status, 1) << a.err;
    expect_message(a.err, "Warning: Can't open ", dir, "missing.txt", ". File was skipped\n");
    EXPECT_NE(a.out.find("here.txt"), std::string::npos) << a.out;
    EXPECT_EQ((a.out + x.out).find('\\'), std::string::npos) << a.out << x.out;

    // A warning given while the archive opens, before any job, says
    // "Warning:" once and names the archive as the user wrote it.
    std::vector<std::uint8_t> shifted = {'J', 'U', 'N', 'K'};
    const std::vector<std::uint8_t> plain = test::build_zip({{"a.txt", {'A'}}});
    shifted.insert(shifted.end(), plain.begin(), plain.end());
    const std::string moved = dir.host("moved.zip");
    test::write_host_file(moved, shifted);
    CliRun l = cli({"l", moved});
    EXPECT_EQ(l.status, 1) << l.err;
    expect_message(l.err, "Warning: The offsets of ", dir, "moved.zip",
                   " do not count the data in front of it. They were adjusted\n");
}

// "." is the current folder: its files go in by their names below it, and
// the archive, which lies there, never goes into itself.
TEST(CliAdd, TheCurrentFolderAsDot) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> names;
        int status, second_status;
    } cases[] = {
        {{"a", "-r", "arc.zip", "."}, {"a.txt", "sub/b.txt"}, 0, 0},
        {{"a", "arc.zip", "."}, {"a.txt"}, 0, 0},
        {{"a", "-r", "arc.zip", "./"}, {"a.txt", "sub/b.txt"}, 0, 0},
        // The second run finds every file in the archive: nothing to do.
        {{"u", "-r", "arc.zip", "."}, {"a.txt", "sub/b.txt"}, 0, 2},
        // Named on its own it is skipped with a warning, as no archive can hold itself.
        {{"a", "arc.zip", "arc.zip", "a.txt"}, {"a.txt"}, 1, 1},
    };
    const std::string start_dir = platform::current_directory();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args.back());
        test::TempDir dir;
        test::write_host_file(dir.host("a.txt"), {'a'});
        write_in(dir, "sub/b.txt", {'b'});
        ASSERT_TRUE(platform::set_current_directory(dir.dos("").c_str()));
        // Twice: the second run finds the archive in the folder it adds.
        CliRun first = cli(c.args);
        CliRun second = cli(c.args);
        platform::set_current_directory(start_dir.c_str());
        EXPECT_EQ(first.status, c.status) << first.err;
        EXPECT_EQ(second.status, c.second_status) << second.err;
        std::vector<std::string> names = listed_names(dir.host("arc.zip"));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(cli({"t", dir.host("arc.zip")}).status, 0);
    }
}

TEST(CliOptions, QuietLeavesOutThePerFileLinesButNotTheWarnings) {
    test::TempDir dir;
    const std::string archive = dir.host("q.zip");
    test::write_host_file(archive, test::build_zip({{"a.txt", {'A'}}, {"b.txt", {'B'}}}));
    write_in(dir, "out/b.txt", {'b'});
    const struct {
        std::vector<std::string> args;
        int status;
        const char* err_holds; // nullptr: nothing on stderr
    } cases[] = {
        {{"t", "-q", archive}, 0, nullptr},
        {{"x", "-q", "-o", dir.host("out"), archive}, 1, "Skipped (exists, not replaced): "},
        {{"e", "-q", "-y", "-o", dir.host("out2"), archive}, 0, nullptr},
        {{"d", "-q", archive, "b.txt"}, 0, nullptr},
        {{"a", "-q", "-p", archive, dir.host("missing.txt"), dir.host("out/b.txt")},
         1,
         "Warning: Can't open "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        CliRun r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, "");
        if (c.err_holds)
            EXPECT_NE(r.err.find(c.err_holds), std::string::npos) << r.err;
        else
            EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(listed_names(archive).size(), 2u);
}

TEST(CliOptions, HelpForTheProgramAndEachCommand) {
    const struct {
        std::vector<std::string> args;
        const char* first_line;
    } cases[] = {
        {{"--help"}, "usage: zarvo-cli COMMAND [OPTIONS] ARCHIVE"},
        {{"-h"}, "usage: zarvo-cli COMMAND [OPTIONS] ARCHIVE"},
        {{"help"}, "usage: zarvo-cli COMMAND [OPTIONS] ARCHIVE"},
        {{"l", "--help"}, "usage: zarvo-cli l [-v] ARCHIVE"},
        {{"x", "-h"}, "usage: zarvo-cli x|e [-o DIR] [-y|-n] [-q] ARCHIVE [FILTER...]"},
        {{"e", "--help", "a.zip"},
         "usage: zarvo-cli x|e [-o DIR] [-y|-n] [-q] ARCHIVE [FILTER...]"},
        {{"t", "--help"}, "usage: zarvo-cli t [-q] ARCHIVE"},
        {{"u", "--help"},
         "usage: zarvo-cli a|f|u [-l LEVEL] [-j N] [-r] [-p] [-D] [-m] [-S] [-i FILTERS] [-x FILTERS]"},
        {{"d", "--help"}, "usage: zarvo-cli d [-q] ARCHIVE FILTER..."},
        {{"c", "--help"}, "usage: zarvo-cli c [-f FILE] ARCHIVE"},
    };
    for (const auto& c : cases) {
        CliRun r = cli(c.args);
        EXPECT_EQ(r.status, 0) << c.first_line;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.first_line);
        EXPECT_EQ(r.err, "");
    }
    // After "--" it is a name.
    CliRun named = cli({"l", "--", "--help"});
    EXPECT_EQ(named.status, 2);
    EXPECT_NE(named.err.find("Can't open file"), std::string::npos) << named.err;
}

TEST(CliOptions, PasswordsAreRefusedUntilEncryptionIsSupported) {
    test::TempDir dir;
    const std::string archive = dir.host("p.zip");
    const test::Bytes bytes = test::build_zip({{"a.txt", {'A'}}});
    test::write_host_file(archive, bytes);
    for (auto args : std::vector<std::vector<std::string>>{
             {"x", "-P", "secret", "-o", dir.host("out"), archive},
             {"l", "--password", archive},
             {"a", "--password=secret", archive, archive},
             {"t", archive, "-P"}}) {
        CliRun r = cli(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("not supported yet"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(test::read_host_file(archive), bytes);
    EXPECT_EQ(platform::get_attributes(dir.dos("out").c_str()), platform::kInvalidAttributes);
}

} // namespace
