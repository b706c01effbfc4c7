// The crafted ZIP64 archives of tests/data/zip64 (make_zip64.py there): what
// opening, testing and extracting each gives. Their members hold "alpha " 300
// times (a.txt, deflated into 22 bytes) and "bravo\n" (b.txt, stored).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ops/extract.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/input.h"
#include "zip/open_archive.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

class RecordingUi : public JobUi {
  public:
    test::RecordingProgress progress;
    JobProgress* create_progress(void*, std::int32_t*, std::uint32_t*) override {
        return &progress;
    }
    void destroy_progress(JobProgress*) override {}
    std::uint32_t confirm_replace(JobProgress*, void*, const char*, const zentry&) override {
        return kAnswerYes;
    }
    std::uint32_t confirm_delete_read_only(void*, const char*) override { return kAnswerNo; }
};

std::string alpha() {
    std::string s;
    for (int i = 0; i < 300; ++i)
        s += "alpha ";
    return s;
}

const std::string kShortExtra = "The ZIP64 extra field of a.txt is damaged. File was skipped";
const std::string kMismatchA = "Local header or data of a.txt disagree with its central header";
const std::string kMismatchB = "Local header or data of b.txt disagree with its central header";

TEST(Zip64, CraftedArchivesOpenTestAndExtractAsTheirRecordsSay) {
    const struct {
        const char* file;
        int open_error;
        bool directory_warning; // the ZIP64 end record's count disagrees
        std::vector<std::string> warnings;
        bool a_written;
        std::uint64_t a_size = 1800; // as the central header and its block say
    } cases[] = {
        {"zip64-every-value-in-its-records.zip", 0, false, {}, true},
        {"zip64-extra-with-the-offset-only.zip", 0, false, {}, true},
        {"zip64-local-sizes-in-the-local-extra.zip", 0, false, {}, true},
        {"zip64-streamed-local-sizes-zero.zip", 0, false, {}, true},
        {"zip64-streamed-local-sizes-marked.zip", 0, false, {}, true},
        {"zip64-end-record-counts-fewer-members.zip", 0, true, {}, true},
        {"zip64-extra-shorter-than-its-fields.zip", 0, false, {kShortExtra}, false},
        // The catalog holds the 5 GB; the local header's 1,800 bytes disagree.
        {"zip64-size-of-5-gb.zip", 0, false, {kMismatchA}, true, 5ull << 30},
        {"zip64-local-and-central-size-of-5-gb.zip", 0, false, {}, true, 5ull << 30},
        // Reported, still extracted, like any header that disagrees.
        {"zip64-local-extra-disagrees.zip", 0, false, {kMismatchA, kMismatchB}, true},
        {"zip64-locator-points-past-the-file.zip", ZERR_FORMAT, false, {}, false},
        {"zip64-locator-points-behind-itself.zip", ZERR_FORMAT, false, {}, false},
        {"zip64-end-record-signature-wrong.zip", ZERR_FORMAT, false, {}, false},
        {"zip64-end-record-offset-past-4-gb.zip", ZERR_FORMAT, false, {}, false},
        {"zip64-end-record-counts-a-billion-members.zip", ZERR_NOEND, false, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        test::TempDir dir;
        const std::string archive = dir.write(
            "a.zip", test::read_host_file(test::data_host_path(std::string("zip64/") + c.file)));
        zip z;
        zlist list;
        test::ScriptedResponder answers({}, platform::kIdOk);
        ASSERT_EQ(open_archive(z, list, archive.c_str()), c.open_error);
        if (c.open_error) {
            EXPECT_EQ(list.count(), 0u);
            continue;
        }
        EXPECT_EQ(z.warnings, c.directory_warning ? 1u : 0u);
        ASSERT_EQ(list.count(), 2u);
        const zentry& a = *list.entries[0];
        const zentry& b = *list.entries[1];
        EXPECT_EQ(b.uncompressed_size, 6u);
        EXPECT_EQ(b.compressed_size, 6u);
        if (c.a_written) {
            EXPECT_EQ(a.uncompressed_size, c.a_size);
            EXPECT_EQ(a.compressed_size, 22u);
            EXPECT_EQ(a.local_header_offset, 0u);
            EXPECT_EQ(a.disk_number_start, 0u);
        }

        std::vector<std::string> expected_warnings;
        for (const auto& w : c.warnings)
            expected_warnings.push_back("AddWarning:Warning: " + w);
        platform::create_directory(dir.dos("out").c_str());
        RecordingUi ui;
        z.ui = &ui;
        list.mark_all(1);
        EXPECT_EQ(
            extract_files(z, list, nullptr, archive.c_str(), dir.dos("out").c_str(), 1, kAnswerYes),
            0);
        EXPECT_EQ(ui.progress.calls_starting("AddWarning"), expected_warnings);
        EXPECT_EQ(test::read_host_file(dir.host("out/b.txt")),
                  test::Bytes({'b', 'r', 'a', 'v', 'o', '\n'}));
        const std::string a_text = alpha();
        if (c.a_written)
            EXPECT_EQ(test::read_host_file(dir.host("out/a.txt")),
                      test::Bytes(a_text.begin(), a_text.end()));
        else
            EXPECT_EQ(platform::get_attributes(dir.dos("out/a.txt").c_str()),
                      platform::kInvalidAttributes);

        // A test fails a skipped member, and one whose headers disagree.
        RecordingUi tested;
        z.ui = &tested;
        list.mark_all(1);
        EXPECT_EQ(test_files(z, list, nullptr, archive.c_str()), 0);
        EXPECT_EQ(tested.progress.calls_starting("AddWarning"), expected_warnings);
        const bool a_fails = !c.warnings.empty();
        const bool b_fails = c.warnings.size() == 2;
        EXPECT_EQ(tested.progress.calls_starting("LogResult"),
                  (std::vector<std::string>{
                      std::string("LogResult:Test:a.txt:") + (a_fails ? "1" : "0"),
                      std::string("LogResult:Test:b.txt:") + (b_fails ? "1" : "0")}));
    }
}

// ZIP64 markers with no locator before the end record are values of their
// own, read as before: the directory that ends at the end record is whole.
TEST(Zip64, MarkersWithoutALocatorAreTheEndRecordsOwnValues) {
    test::ZipMember m;
    m.name = "a.txt";
    m.data = {'x'};
    test::Bytes bytes = test::build_zip({m});
    // The directory size in the end record becomes the marker.
    const std::size_t end = bytes.size() - 22;
    for (int i = 0; i < 4; ++i)
        bytes[end + 12 + i] = 0xFF;
    test::TempDir dir;
    const std::string archive = dir.write("a.zip", bytes);
    zip z;
    zlist list;
    test::ScriptedResponder answers({}, platform::kIdOk);
    EXPECT_EQ(open_archive(z, list, archive.c_str()), 0);
    EXPECT_EQ(list.count(), 1u);
    EXPECT_FALSE(list.zip64);
}

// The directory writer: ZIP64 blocks and records only where a value does
// not fit, read back whole. The values stand in the directory only, so the
// members' data need not exist.
struct WrittenDirectory {
    test::Bytes bytes;
    int error = 0;
    zlist reread;
    int reopen_error = 0;
};

WrittenDirectory write_directory(zlist& list, bool spanned = false) {
    test::TempDir dir;
    zip z;
    z.output_handle = platform::create_file(dir.dos("d.zip").c_str());
    if (spanned) z.room_check = [](zip&, std::uint32_t) {};
    write_central_directory(z, list);
    write_end_record(z, list);
    WrittenDirectory w;
    w.error = z.error;
    z.room_check = nullptr;
    release_job(z);
    w.bytes = test::read_host_file(dir.host("d.zip"));
    zip r;
    test::ScriptedResponder answers({}, platform::kIdOk);
    w.reopen_error = open_archive(r, w.reread, dir.dos("d.zip").c_str());
    return w;
}

std::unique_ptr<zentry> member(const std::string& name, std::uint64_t size, std::uint64_t packed,
                               std::uint64_t offset) {
    auto e = std::make_unique<zentry>();
    e->name = e->stored_name = name;
    e->name_length = static_cast<std::uint32_t>(name.size());
    e->version_needed = 20;
    e->uncompressed_size = size;
    e->compressed_size = packed;
    e->local_header_offset = offset;
    return e;
}

TEST(Zip64Write, ABlockHoldsExactlyTheValuesThatDoNotFit) {
    const std::uint64_t k5G = 5ull << 30;
    const struct {
        std::uint64_t size, packed, offset;
        std::vector<std::uint64_t> block; // the values of the ZIP64 block, in order
    } cases[] = {
        {1000, 400, 0, {}},
        {0xFFFFFFFEu, 0xFFFFFFFEu, 0xFFFFFFFEu, {}}, // the largest that fit
        {0xFFFFFFFFu, 10, 0, {0xFFFFFFFFu}},          // the marker itself does not
        {k5G, 10, 0, {k5G}},
        {k5G, k5G + 1, 0, {k5G, k5G + 1}},
        {100, 10, k5G, {k5G}},
        {k5G, 10, k5G + 7, {k5G, k5G + 7}},
        {k5G, k5G - 1, k5G + 2, {k5G, k5G - 1, k5G + 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " " << c.packed << " " << c.offset);
        zlist list;
        list.append(member("big.bin", c.size, c.packed, c.offset));
        WrittenDirectory w = write_directory(list);
        ASSERT_EQ(w.error, 0);
        // Header, name, block; then the plain end record.
        const std::size_t block = c.block.empty() ? 0 : 4 + 8 * c.block.size();
        ASSERT_EQ(w.bytes.size(), 46 + 7 + block + 22);
        EXPECT_EQ(get16(w.bytes.data() + 6), c.block.empty() ? 20u : 45u);
        EXPECT_EQ(get16(w.bytes.data() + 30), block);
        if (!c.block.empty()) {
            EXPECT_EQ(get16(w.bytes.data() + 53), 1u);
            EXPECT_EQ(get16(w.bytes.data() + 55), 8 * c.block.size());
            for (std::size_t i = 0; i < c.block.size(); ++i)
                EXPECT_EQ(get64(w.bytes.data() + 57 + 8 * i), c.block[i]);
        }
        ASSERT_EQ(w.reopen_error, 0);
        ASSERT_EQ(w.reread.count(), 1u);
        const zentry& e = *w.reread.entries[0];
        EXPECT_EQ(e.uncompressed_size, c.size);
        EXPECT_EQ(e.compressed_size, c.packed);
        EXPECT_EQ(e.local_header_offset, c.offset);
        EXPECT_FALSE(w.reread.zip64);
    }
}

TEST(Zip64Write, AnOldBlockIsReplacedAndOtherExtraBlocksKept) {
    zlist list;
    auto e = member("m", 10, 10, 6ull << 30);
    // A stale ZIP64 block between two blocks of other writers.
    e->central_extra = {0x55, 0x54, 0x05, 0x00, 1, 2, 3, 4, 5,  // a time block
                        0x01, 0x00, 0x08, 0x00, 9, 9, 9, 9, 9, 9, 9, 9, // stale ZIP64
                        0x75, 0x70, 0x01, 0x00, 7};            // another
    e->central_extra_length = static_cast<std::uint32_t>(e->central_extra.size());
    list.append(std::move(e));
    WrittenDirectory w = write_directory(list);
    ASSERT_EQ(w.error, 0);
    ASSERT_EQ(w.reopen_error, 0);
    const zentry& r = *w.reread.entries[0];
    EXPECT_EQ(r.local_header_offset, 6ull << 30);
    EXPECT_EQ(r.central_extra, (std::vector<std::uint8_t>{0x01, 0x00, 0x08, 0x00, 0, 0, 0, 0x80, 1,
                                                           0, 0, 0, 0x55, 0x54, 0x05, 0x00, 1, 2,
                                                           3, 4, 5, 0x75, 0x70, 0x01, 0x00, 7}));
}

TEST(Zip64Write, TheZip64EndRecordComesOnlyPast65535MembersOrFourGigabytes) {
    const struct {
        std::uint32_t members;
        std::uint64_t first_offset; // where the directory claims its first member
        bool zip64_end;
        std::uint32_t count_field;
    } cases[] = {
        {65535, 0, false, 65535},
        {65536, 0, true, 0xFFFF},
        {70000, 0, true, 0xFFFF},
        {3, 0, false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.members);
        zlist list;
        for (std::uint32_t i = 0; i < c.members; ++i)
            list.append(member("f" + std::to_string(i), 1, 1, 31 * std::uint64_t(i)));
        WrittenDirectory w = write_directory(list);
        ASSERT_EQ(w.error, 0);
        const std::size_t end = w.bytes.size() - 22;
        ASSERT_EQ(get32(w.bytes.data() + end), 0x06054B50u);
        EXPECT_EQ(get16(w.bytes.data() + end + 10), c.count_field);
        EXPECT_EQ(get32(w.bytes.data() + end - 20) == 0x07064B50u, c.zip64_end);
        if (c.zip64_end) {
            ASSERT_EQ(get32(w.bytes.data() + end - 76), 0x06064B50u);
            EXPECT_EQ(get64(w.bytes.data() + end - 76 + 32), c.members);
            EXPECT_EQ(get64(w.bytes.data() + end - 12), end - 76); // the locator's pointer
        }
        ASSERT_EQ(w.reopen_error, 0);
        EXPECT_EQ(w.reread.count(), c.members);
        EXPECT_EQ(w.reread.total_entries, c.members);
        EXPECT_EQ(w.reread.zip64, c.zip64_end);
    }
}

TEST(Zip64Write, SpannedSetsRefuseWhatNeedsZip64) {
    zlist big;
    big.append(member("big.bin", 5ull << 30, 10, 0));
    EXPECT_EQ(write_directory(big, true).error, ZERR_ARCHIVE_SIZE);
    zlist many;
    for (int i = 0; i < 65536; ++i)
        many.append(member("f" + std::to_string(i), 1, 1, 0));
    EXPECT_EQ(write_directory(many, true).error, ZERR_ARCHIVE_SIZE);
    zlist fits;
    fits.append(member("a", 1, 1, 0));
    EXPECT_EQ(write_directory(fits, true).error, 0);
}

} // namespace
