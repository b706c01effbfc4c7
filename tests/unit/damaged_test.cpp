// Extraction and testing of the crafted damaged archives in tests/data/damaged
// (made by make_damaged.py there, each named after its fault): the warnings,
// the test verdict per member, which files are kept, and that no member
// writes past its declared size.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ops/extract.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

class SilentUi : public JobUi {
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

    std::vector<std::string> calls_starting(const std::string& prefix) const {
        return progress.calls_starting(prefix);
    }
    // The file gauge calls whose count (what the flush wrote) passes the
    // total (the member's declared size).
    std::vector<std::string> written_past_declared_size() const {
        std::vector<std::string> out;
        for (const auto& c : calls_starting("FileProgress:")) {
            const std::size_t colon = c.rfind(':');
            if (std::stoull(c.substr(colon + 1)) > std::stoull(c.substr(13, colon - 13)))
                out.push_back(c);
        }
        return out;
    }
};

const std::string kOverlap = "overlap other data of the archive. File was skipped";
const std::string kBadData = "are damaged or longer than declared";
const std::string kMismatch = "disagree with its central header";

std::string warning(const std::string& name, const std::string& what) {
    if (what == kMismatch)
        return "AddWarning:Warning: Local header or data of " + name + " " + what;
    return "AddWarning:Warning: Data of " + name + " " + what;
}

struct Case {
    const char* archive;
    std::vector<std::pair<std::string, std::string>> warnings; // member, fault, in job order
    std::vector<std::string> kept;                             // files extraction leaves
    std::vector<std::string> gone;                             // members extraction must not leave
};

const Case kCases[] = {
    {"local-name-differs.zip", {{"notes.txt", kMismatch}}, {"notes.txt", "good.txt"}, {}},
    {"local-method-differs.zip", {{"notes.txt", kMismatch}}, {"notes.txt", "good.txt"}, {}},
    {"local-crc-differs.zip", {{"notes.txt", kMismatch}}, {"notes.txt", "good.txt"}, {}},
    {"local-sizes-differ.zip", {{"notes.txt", kMismatch}}, {"notes.txt", "good.txt"}, {}},
    {"bytes-after-deflate-stream.zip", {{"notes.txt", kMismatch}}, {"notes.txt", "good.txt"}, {}},
    // Declares 40 bytes fewer than its stored data hold.
    {"stored-sizes-differ.zip",
     {{"notes.txt", kMismatch}, {"notes.txt", kBadData}},
     {"good.txt"},
     {"notes.txt"}},
    // 64 KiB of zeros declared as 10 bytes.
    {"inflates-past-declared-size.zip", {{"bomb.bin", kBadData}}, {"good.txt"}, {"bomb.bin"}},
    {"deflate-stream-cut-short.zip", {{"notes.txt", kBadData}}, {"good.txt"}, {"notes.txt"}},
    {"deflate-bad-block-type.zip", {{"notes.txt", kBadData}}, {"good.txt"}, {"notes.txt"}},
    {"imploded-data-not-used-up.zip", {{"lgpl21.txt", kBadData}}, {"good.txt"}, {"lgpl21.txt"}},
    {"member-inside-member.zip", {{"outer.txt", kOverlap}}, {"inner.txt"}, {"outer.txt"}},
    {"member-reaches-central-directory.zip", {{"notes.txt", kOverlap}}, {}, {"notes.txt"}},
    {"compressed-size-wraps-past-4-gib.zip", {{"huge.txt", kOverlap}}, {"after.txt"}, {"huge.txt"}},
    {"shared-stream-other-disk-number.zip",
     {{"zeros0.bin", kOverlap}, {"zeros1.bin", kOverlap}},
     {},
     {"zeros0.bin", "zeros1.bin"}},
    {"data-descriptors-intact.zip", {}, {"notes.txt", "good.txt"}, {}},
};

std::string name_of(const ::testing::TestParamInfo<Case>& info) {
    std::string n = info.param.archive;
    n = n.substr(0, n.size() - 4);
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
}

class DamagedArchive : public ::testing::TestWithParam<Case> {
  protected:
    zip z;
    zlist list;
    SilentUi ui;
    std::string path;

    void SetUp() override {
        path = test::data_dos_path(std::string("damaged/") + GetParam().archive);
        ASSERT_EQ(open_archive(z, list, path.c_str()), 0);
        z.ui = &ui;
        list.mark_all(1);
    }
    std::vector<std::string> expected_warnings() const {
        std::vector<std::string> out;
        for (const auto& w : GetParam().warnings)
            out.push_back(warning(w.first, w.second));
        return out;
    }
};

TEST_P(DamagedArchive, TestFailsTheDamagedMembersOnly) {
    const Case& c = GetParam();
    ASSERT_EQ(test_files(z, list, nullptr, path.c_str()), 0);
    EXPECT_EQ(ui.calls_starting("AddWarning"), expected_warnings());
    std::set<std::string> damaged;
    for (const auto& w : c.warnings)
        damaged.insert(w.first);
    std::vector<std::string> verdicts = ui.calls_starting("LogResult:Test:");
    EXPECT_EQ(verdicts.size(), list.count());
    for (const auto& v : verdicts) {
        const std::string member = v.substr(15, v.rfind(':') - 15);
        EXPECT_EQ(v.back(), damaged.count(member) ? '1' : '0') << v;
    }
    EXPECT_TRUE(ui.written_past_declared_size().empty());
}

TEST_P(DamagedArchive, ExtractionKeepsOnlyWholeMembers) {
    const Case& c = GetParam();
    test::TempDir out;
    ASSERT_EQ(extract_files(z, list, nullptr, path.c_str(), out.dos("").c_str(), 1, kAnswerYes), 0);
    EXPECT_EQ(ui.calls_starting("AddWarning"), expected_warnings());
    EXPECT_EQ(z.warnings, c.warnings.size());
    for (const auto& name : c.kept)
        EXPECT_NE(platform::get_attributes(out.dos(name).c_str()), platform::kInvalidAttributes)
            << name;
    for (const auto& name : c.gone)
        EXPECT_EQ(platform::get_attributes(out.dos(name).c_str()), platform::kInvalidAttributes)
            << name;
    EXPECT_TRUE(ui.written_past_declared_size().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, DamagedArchive, ::testing::ValuesIn(kCases), name_of);

// 300 central entries on one 64 KiB stream: each one is skipped unread.
TEST(OverlapBomb, EveryEntryOnTheSharedStreamIsSkipped) {
    zip z;
    zlist list;
    SilentUi ui;
    const std::string path = test::data_dos_path("damaged/overlapping-members.zip");
    ASSERT_EQ(open_archive(z, list, path.c_str()), 0);
    ASSERT_EQ(list.count(), 300u);
    z.ui = &ui;
    test::TempDir out;
    list.mark_all(1);
    ASSERT_EQ(extract_files(z, list, nullptr, path.c_str(), out.dos("").c_str(), 1, kAnswerYes), 0);
    EXPECT_EQ(z.warnings, 300u);
    EXPECT_EQ(ui.calls_starting("AddWarning").front(), warning("zeros000.bin", kOverlap));
    EXPECT_EQ(ui.calls_starting("AddWarning").back(), warning("zeros299.bin", kOverlap));
    EXPECT_TRUE(ui.calls_starting("FileProgress").empty());
    EXPECT_EQ(platform::get_attributes(out.dos("zeros000.bin").c_str()),
              platform::kInvalidAttributes);

    list.mark_all(1);
    ASSERT_EQ(test_files(z, list, nullptr, path.c_str()), 0);
    EXPECT_EQ(z.warnings, 300u);
}

// Into memory the faults stop the job: its callers take the buffer as the
// member, so a warning would hand them a cut or padded one.
TEST(ExtractToMemory, DamagedDataAndOverlapAreErrors) {
    const struct {
        const char* archive;
        const char* member;
        std::int32_t error;
        std::uint32_t most_kept;
    } cases[] = {
        {"inflates-past-declared-size.zip", "bomb.bin", ZWARN_BAD_DATA, 10},
        {"deflate-bad-block-type.zip", "notes.txt", ZWARN_BAD_DATA},
        {"member-inside-member.zip", "outer.txt", ZWARN_OVERLAP, 0},
    };
    for (const auto& c : cases) {
        zip z;
        zlist list;
        const std::string path = test::data_dos_path(std::string("damaged/") + c.archive);
        ASSERT_EQ(open_archive(z, list, path.c_str()), 0) << c.archive;
        for (auto& e : list.entries)
            if (e->name == c.member) list.mark(e.get());
        ASSERT_EQ(list.marked, 1u) << c.archive;
        std::vector<std::uint8_t> buffer(1 << 20);
        EXPECT_EQ(extract_to_memory(z, list, nullptr, path.c_str(), buffer.data(), 1 << 19),
                  c.error)
            << c.archive;
        EXPECT_LE(z.output_count, c.most_kept) << c.archive;
        EXPECT_EQ(z.warnings, 0u) << c.archive;
    }
}

} // namespace
