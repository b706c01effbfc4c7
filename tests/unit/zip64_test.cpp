// The crafted ZIP64 archives of tests/data/zip64 (make_zip64.py there): what
// opening, testing and extracting each gives. Their members hold "alpha " 300
// times (a.txt, deflated into 22 bytes) and "bravo\n" (b.txt, stored).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ops/extract.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/open_archive.h"
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
const std::string kTooLarge = "File a.txt is 4 GB or larger and was skipped";
const std::string kMismatchA = "Local header or data of a.txt disagree with its central header";
const std::string kMismatchB = "Local header or data of b.txt disagree with its central header";

TEST(Zip64, CraftedArchivesOpenTestAndExtractAsTheirRecordsSay) {
    const struct {
        const char* file;
        int open_error;
        bool directory_warning; // the ZIP64 end record's count disagrees
        std::vector<std::string> warnings;
        bool a_written;
    } cases[] = {
        {"zip64-every-value-in-its-records.zip", 0, false, {}, true},
        {"zip64-extra-with-the-offset-only.zip", 0, false, {}, true},
        {"zip64-local-sizes-in-the-local-extra.zip", 0, false, {}, true},
        {"zip64-streamed-local-sizes-zero.zip", 0, false, {}, true},
        {"zip64-streamed-local-sizes-marked.zip", 0, false, {}, true},
        {"zip64-end-record-counts-fewer-members.zip", 0, true, {}, true},
        {"zip64-extra-shorter-than-its-fields.zip", 0, false, {kShortExtra}, false},
        {"zip64-size-of-5-gb.zip", 0, false, {kTooLarge}, false},
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
            EXPECT_EQ(a.uncompressed_size, 1800u);
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

} // namespace
