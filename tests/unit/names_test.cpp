// Member names are UTF-8 inside the engine: how each kind of header name is
// read, and that names made of bad bytes stay names inside the destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ops/extract.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/errors.h"
#include "zip/names.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

Bytes bytes_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Info-ZIP's Unicode Path block: version, CRC-32 of the header's name, the
// UTF-8 name. crc_flip spoils the CRC.
Bytes unicode_path_block(const std::string& header_name, const std::string& utf8,
                         std::uint8_t version = 1, std::uint32_t crc_flip = 0) {
    const std::uint32_t crc = test::crc32_of(bytes_of(header_name)) ^ crc_flip;
    const std::size_t size = 5 + utf8.size();
    Bytes b = {0x75, 0x70, static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
               version};
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    b.insert(b.end(), utf8.begin(), utf8.end());
    return b;
}

const char kCafe[] = "caf\xC3\xA9.txt";
const char kPrivet[] = "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt";
const char kNihongo[] = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";
const char kGrinning[] = "\xF0\x9F\x98\x80.txt";
const char kReplacement[] = "\xEF\xBF\xBD";

// Code page 437 from 0x80 to 0xFF in UTF-8, as Python's cp437 codec gives it.
const char kCp437HighHalf[] =
    "\xC3\x87\xC3\xBC\xC3\xA9\xC3\xA2\xC3\xA4\xC3\xA0\xC3\xA5\xC3\xA7\xC3\xAA\xC3\xAB\xC3\xA8\xC3"
    "\xAF\xC3\xAE\xC3\xAC\xC3\x84\xC3\x85"
    "\xC3\x89\xC3\xA6\xC3\x86\xC3\xB4\xC3\xB6\xC3\xB2\xC3\xBB\xC3\xB9\xC3\xBF\xC3\x96\xC3\x9C\xC2"
    "\xA2\xC2\xA3\xC2\xA5\xE2\x82\xA7\xC6\x92"
    "\xC3\xA1\xC3\xAD\xC3\xB3\xC3\xBA\xC3\xB1\xC3\x91\xC2\xAA\xC2\xBA\xC2\xBF\xE2\x8C\x90\xC2\xAC"
    "\xC2\xBD\xC2\xBC\xC2\xA1\xC2\xAB\xC2\xBB"
    "\xE2\x96\x91\xE2\x96\x92\xE2\x96\x93\xE2\x94\x82\xE2\x94\xA4\xE2\x95\xA1\xE2\x95\xA2\xE2\x95"
    "\x96\xE2\x95\x95\xE2\x95\xA3\xE2\x95\x91\xE2\x95\x97\xE2\x95\x9D\xE2\x95\x9C\xE2\x95\x9B\xE2"
    "\x94\x90"
    "\xE2\x94\x94\xE2\x94\xB4\xE2\x94\xAC\xE2\x94\x9C\xE2\x94\x80\xE2\x94\xBC\xE2\x95\x9E\xE2\x95"
    "\x9F\xE2\x95\x9A\xE2\x95\x94\xE2\x95\xA9\xE2\x95\xA6\xE2\x95\xA0\xE2\x95\x90\xE2\x95\xAC\xE2"
    "\x95\xA7"
    "\xE2\x95\xA8\xE2\x95\xA4\xE2\x95\xA5\xE2\x95\x99\xE2\x95\x98\xE2\x95\x92\xE2\x95\x93\xE2\x95"
    "\xAB\xE2\x95\xAA\xE2\x94\x98\xE2\x94\x8C\xE2\x96\x88\xE2\x96\x84\xE2\x96\x8C\xE2\x96\x90\xE2"
    "\x96\x80"
    "\xCE\xB1\xC3\x9F\xCE\x93\xCF\x80\xCE\xA3\xCF\x83\xC2\xB5\xCF\x84\xCE\xA6\xCE\x98\xCE\xA9\xCE"
    "\xB4\xE2\x88\x9E\xCF\x86\xCE\xB5\xE2\x88\xA9"
    "\xE2\x89\xA1\xC2\xB1\xE2\x89\xA5\xE2\x89\xA4\xE2\x8C\xA0\xE2\x8C\xA1\xC3\xB7\xE2\x89\x88\xC2"
    "\xB0\xE2\x88\x99\xC2\xB7\xE2\x88\x9A\xE2\x81\xBF\xC2\xB2\xE2\x96\xA0\xC2\xA0";

TEST(MemberNames, CodePage437IsReadAsItsUnicodeCharactersAndAsciiAsItIs) {
    std::string high, low;
    for (int b = 0x80; b < 0x100; ++b)
        high += static_cast<char>(b);
    for (int b = 1; b < 0x80; ++b)
        low += static_cast<char>(b);
    EXPECT_EQ(member_name(high, 0, 20, nullptr, 0), kCp437HighHalf);
    EXPECT_EQ(member_name(low, 0, 20, nullptr, 0), low);
}

TEST(MemberNames, OnlyShortestFormsOfScalarValuesAreUtf8) {
    const struct {
        const char* bytes;
        bool utf8;
    } cases[] = {
        {"caf\xC3\xA9", true},
        {"\xE6\x97\xA5", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xEF\xBF\xBD", true},
        {"\xF4\x8F\xBF\xBF", true}, // U+10FFFF
        {"\xC0\xAF", false},        // '/' in two bytes
        {"\xC1\xBF", false},
        {"\xE0\x80\xAF", false},     // '/' in three bytes
        {"\xF0\x80\x80\xAF", false}, // '/' in four bytes
        {"\xED\xA0\x80", false},     // a surrogate
        {"\xED\xBF\xBF", false},
        {"\xF4\x90\x80\x80", false},     // past U+10FFFF
        {"\xF8\x88\x80\x80\x80", false}, // five bytes
        {"\x80", false},                 // a lone continuation byte
        {"\xC3", false},                 // cut short
        {"\xE6\x97", false},
        {"\xE6\x97x", false},
        {"a\xFF", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_utf8(c.bytes), c.utf8) << c.bytes;
}

TEST(MemberNames, BitElevenUnicodePathBlockHostAndCodePage) {
    const std::string header = "??????.txt";
    Bytes time_block = {0x55, 0x54, 5, 0, 1, 0, 0, 0, 0};
    Bytes after_time = time_block;
    Bytes block = unicode_path_block(header, kPrivet);
    after_time.insert(after_time.end(), block.begin(), block.end());
    Bytes cut = block;
    cut[2] = static_cast<std::uint8_t>(cut[2] + 1); // one byte longer than the field
    const std::string fffd2 = std::string(kReplacement) + kReplacement;
    const struct {
        const char* what;
        std::string stored;
        std::uint16_t flags;
        std::uint16_t made_by;
        Bytes extra;
        std::string name;
    } cases[] = {
        {"bit 11", kCafe, 0x0800, 20, {}, kCafe},
        {"bit 11, overlong slashes",
         "..\xC0\xAF..\xC0\xAFx",
         0x0800,
         20,
         {},
         ".." + fffd2 + ".." + fffd2 + "x"},
        {"bit 11, surrogate", "\xED\xA0\x80.txt", 0x0800, 20, {}, fffd2 + kReplacement + ".txt"},
        {"bit 11, cut short", "a\xE6\x97", 0x0800, 20, {}, "a" + fffd2},
        {"bit 11 wins over the block", "a.txt", 0x0800, 20, unicode_path_block("a.txt", "b.txt"),
         "a.txt"},
        {"code page 437", "caf\x82.txt", 0, 20, {}, kCafe},
        {"UTF-8 bytes from DOS are code page 437",
         kCafe,
         0,
         20,
         {},
         "caf\xE2\x94\x9C\xE2\x8C\x90.txt"},
        {"UTF-8 bytes from Unix", kCafe, 0, 0x031E, {}, kCafe},
        {"UTF-8 bytes from macOS", kNihongo, 0, 0x1314, {}, kNihongo},
        {"other bytes from Unix", "caf\x82.txt", 0, 0x031E, {}, kCafe},
        {"Unicode Path block", header, 0, 20, block, kPrivet},
        {"Unicode Path block after another", header, 0, 20, after_time, kPrivet},
        {"Unicode Path block, wrong CRC", header, 0, 20, unicode_path_block(header, kPrivet, 1, 1),
         header},
        {"Unicode Path block, version 2", header, 0, 20, unicode_path_block(header, kPrivet, 2),
         header},
        {"Unicode Path block without a name", header, 0, 20, unicode_path_block(header, ""),
         header},
        {"Unicode Path block past its field", header, 0, 20, cut, header},
        {"Unicode Path block, not UTF-8", header, 0, 20, unicode_path_block(header, "\xC0\xAF"),
         header},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(member_name(c.stored, c.flags, c.made_by, c.extra.data(),
                              static_cast<std::uint32_t>(c.extra.size())),
                  c.name)
            << c.what;
    }
}

// Answers every replace question with yes and keeps the warnings.
class QuietUi : public JobUi {
  public:
    test::RecordingProgress progress;
    JobProgress* create_progress(void*, std::int32_t*, std::uint32_t*) override {
        return &progress;
    }
    void destroy_progress(JobProgress*) override {}
    std::uint32_t confirm_replace(JobProgress*, void*, const char*, const zentry&) override {
        return kAnswerYesToAll;
    }
    std::uint32_t confirm_delete_read_only(void*, const char*) override { return kAnswerNo; }
};

test::ZipMember member(const std::string& stored, const std::string& text, std::uint16_t flags = 0,
                       Bytes central_extra = {}, std::uint16_t made_by = 20) {
    test::ZipMember m;
    m.name = stored;
    m.data = bytes_of(text);
    m.flags = flags;
    m.central_extra = std::move(central_extra);
    m.version_made_by = made_by;
    return m;
}

struct Extraction {
    test::TempDir dir;
    zip z;
    zlist list;
    QuietUi ui;
    std::string archive;
    int open_result = 0;
    int result = 0;

    explicit Extraction(const std::vector<test::ZipMember>& members) {
        archive = dir.write("a.zip", test::build_zip(members));
        platform::create_directory(dir.dos("out").c_str());
        open_result = open_archive(z, list, archive.c_str());
        z.ui = &ui;
        list.mark_all(1);
        result =
            extract_files(z, list, nullptr, archive.c_str(), dir.dos("out").c_str(), 1, kAnswerYes);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (auto& e : list.entries)
            n.push_back(e->name);
        return n;
    }
    std::string read(const std::string& relative) const {
        Bytes b = test::read_host_file(dir.host("out/" + relative));
        return std::string(b.begin(), b.end());
    }
};

// Every kind of header name lands on disk under its UTF-8 name, and the
// local header, whose bytes are those of the central one, is not reported
// as disagreeing.
TEST(MemberNames, ExtractionWritesEachKindUnderItsUtf8Name) {
    const std::string greek_folder =
        "\xCE\xBA\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1";
    Extraction x({member("caf\x82.txt", "cp437"),
                  member(greek_folder + "/" + kPrivet, "bit 11", 0x0800),
                  member("???.txt", "block", 0, unicode_path_block("???.txt", kNihongo)),
                  member(kGrinning, "unix", 0, {}, 0x0314)});
    ASSERT_EQ(x.open_result, 0);
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(x.names(),
              (std::vector<std::string>{kCafe, greek_folder + "/" + kPrivet, kNihongo, kGrinning}));
    EXPECT_EQ(x.ui.progress.calls_starting("AddWarning"), std::vector<std::string>{});
    EXPECT_EQ(x.read(kCafe), "cp437");
    EXPECT_EQ(x.read(greek_folder + "/" + kPrivet), "bit 11");
    EXPECT_EQ(x.read(kNihongo), "block");
    EXPECT_EQ(x.read(kGrinning), "unix");
}

// Names whose bytes are not UTF-8, or whose UTF-8 leads out, never write
// outside the destination: the path checks see the converted name.
TEST(MemberNames, BadBytesAndConvertedNamesStayInsideTheDestination) {
    const std::string fffd2 = std::string(kReplacement) + kReplacement;
    Extraction x({member("..\xC0\xAF..\xC0\xAF"
                         "escape.txt",
                         "a", 0x0800),
                  member("\xC0\xAE\xC0\xAE/up.txt", "b", 0x0800),
                  member("x1.txt", "c", 0, unicode_path_block("x1.txt", "../evil.txt")),
                  member("x2.txt", "d", 0, unicode_path_block("x2.txt", "C:/evil.txt")),
                  member("x3.txt", "e", 0, unicode_path_block("x3.txt", "/evil.txt")),
                  member("kept.txt", "f")});
    ASSERT_EQ(x.open_result, 0);
    EXPECT_EQ(x.read(".." + fffd2 + ".." + fffd2 + "escape.txt"), "a");
    EXPECT_EQ(x.read(fffd2 + fffd2 + "/up.txt"), "b");
    EXPECT_EQ(x.read("kept.txt"), "f");
    EXPECT_EQ(
        x.ui.progress.calls_starting("AddWarning"),
        (std::vector<std::string>{"AddWarning:Warning: Unsafe path. File ../evil.txt was skipped",
                                  "AddWarning:Warning: Unsafe path. File C:/evil.txt was skipped",
                                  "AddWarning:Warning: Unsafe path. File /evil.txt was skipped"}));
    std::vector<platform::FindData> beside;
    ASSERT_TRUE(platform::find_files(x.dir.dos("*").c_str(), &beside));
    std::vector<std::string> names;
    for (const auto& f : beside)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.zip", "out"}));
}

// A code page 437 name grows up to three times when converted: the catalog
// keeps it whole, and a path past 260 bytes is skipped with the warning
// over-long names always had.
TEST(MemberNames, ANameThatGrowsPast260BytesIsSkippedWithAWarning) {
    const std::string blocks(100, '\xDB'); // each becomes U+2588, three bytes
    Extraction x({member(blocks, "long"), member("kept.txt", "kept")});
    ASSERT_EQ(x.open_result, 0);
    std::string expected_name;
    for (int i = 0; i < 100; ++i)
        expected_name += "\xE2\x96\x88";
    EXPECT_EQ(x.names(), (std::vector<std::string>{expected_name, "kept.txt"}));
    EXPECT_EQ(x.ui.progress.calls_starting("AddWarning"),
              std::vector<std::string>{"AddWarning:Warning: Path too long. File " + expected_name +
                                       " was skipped"});
    EXPECT_EQ(x.read("kept.txt"), "kept");
}

} // namespace
