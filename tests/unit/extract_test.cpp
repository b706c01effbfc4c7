#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <deque>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ops/extract.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/list_text.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

test::ZipMember stored(const std::string& name, const std::string& text) {
    test::ZipMember m;
    m.name = name;
    m.data.assign(text.begin(), text.end());
    return m;
}

// Answers the replace questions from a script and keeps the job's progress calls.
class ScriptedUi : public JobUi {
  public:
    std::deque<std::uint32_t> answers;
    std::vector<std::string> questions;
    test::RecordingProgress progress;
    bool show_progress = true;

    JobProgress* create_progress(void*, std::int32_t*, std::uint32_t*) override {
        return show_progress ? &progress : nullptr;
    }
    void destroy_progress(JobProgress*) override { progress.calls.push_back("destroyed"); }
    std::uint32_t confirm_replace(JobProgress* p, void*, const char* target, const zentry&) override {
        EXPECT_EQ(p, show_progress ? &progress : nullptr); // owned by the progress dialog
        questions.push_back(target);
        if (answers.empty()) return kAnswerCancel;
        std::uint32_t a = answers.front();
        answers.pop_front();
        return a;
    }
    std::uint32_t confirm_delete_read_only(void*, const char*) override { return kAnswerNo; }

    std::vector<std::string> calls_starting(const std::string& prefix) const {
        return progress.calls_starting(prefix);
    }
};

// An archive in a temporary folder, opened into a catalog, with an output folder.
struct Fixture {
    test::TempDir dir;
    zip z;
    zlist list;
    ScriptedUi ui;
    std::string archive;
    std::string out;

    explicit Fixture(const std::vector<test::ZipMember>& members) {
        archive = dir.write("a.zip", test::build_zip(members));
        platform::create_directory(dir.dos("out").c_str());
        out = dir.dos("out");
        EXPECT_EQ(open_archive(z, list, archive.c_str()), 0);
        z.ui = &ui;
    }
    void mark(const std::vector<std::string>& names) {
        for (auto& e : list.entries)
            if (std::find(names.begin(), names.end(), e->name) != names.end()) list.mark(e.get());
    }
    int extract(bool folders = true, std::uint32_t overwrite = kAnswerYes) {
        return extract_files(z, list, nullptr, archive.c_str(), out.c_str(), folders, overwrite);
    }
    bool exists(const std::string& rel) const {
        return platform::get_attributes(dir.dos("out/" + rel).c_str()) != platform::kInvalidAttributes;
    }
    std::string read(const std::string& rel) const {
        Bytes b = test::read_host_file(dir.host("out/" + rel));
        return std::string(b.begin(), b.end());
    }
};

TEST(Extract, WithAndWithoutFolderNames) {
    for (bool folders : {true, false}) {
        Fixture f({stored("a/b/c.txt", "deep"), stored("top.txt", "top")});
        f.list.mark_all(1);
        ASSERT_EQ(f.extract(folders), 0);
        EXPECT_EQ(f.read(folders ? "a/b/c.txt" : "c.txt"), "deep");
        EXPECT_EQ(f.read("top.txt"), "top");
        EXPECT_EQ(f.exists("c.txt"), !folders);
        EXPECT_EQ(f.exists("a"), folders);
        EXPECT_EQ(f.list.marked, 0u); // marks are cleared at the end
        for (auto& e : f.list.entries) EXPECT_EQ(e->mark, 0);
    }
}

TEST(Extract, AMatchBeforeTheFirstMemberReadsZerosNotOldMemory) {
    // Leave a freed block full of other data where the job's window is likely to come from.
    {
        std::vector<std::uint8_t> old(65536, 0xAA);
        volatile std::uint8_t* keep = old.data();
        (void)keep;
    }
    test::ZipMember m;
    m.name = "m.bin";
    m.method = 8;
    m.version_needed = 20;
    m.data = {0x03, 0xD9, 0x01, 0x00}; // a fixed block: length 4 at distance 100, then the end
    m.uncompressed_size_override = 4;
    Fixture f({m});
    f.list.mark_all(1);
    f.extract();
    EXPECT_EQ(f.read("m.bin"), std::string(4, '\0'));
}

TEST(Extract, OnlyMarkedMembersAndTheProgressCalls) {
    Fixture f({stored("one.txt", "1"), stored("two.txt", "22"), stored("three.txt", "333")});
    f.mark({"one.txt", "three.txt"});
    ASSERT_EQ(f.extract(), 0);
    EXPECT_TRUE(f.exists("one.txt"));
    EXPECT_FALSE(f.exists("two.txt"));
    EXPECT_EQ(f.read("three.txt"), "333");
    auto& calls = f.ui.progress.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "SetCaption:Extracting: File(s)");
    EXPECT_EQ(calls[1], "StartJob:" + f.archive + ":2");
    EXPECT_EQ(f.ui.calls_starting("SetFile").size(), 2u);
    EXPECT_EQ(f.ui.calls_starting("Step").size(), 3u); // after every catalog entry
    EXPECT_EQ(f.ui.calls_starting("LogResult"),
              (std::vector<std::string>{"LogResult:Extract:" + f.dir.dos("out\\one.txt") + ":0",
                                        "LogResult:Extract:" + f.dir.dos("out\\three.txt") + ":0"}));
    EXPECT_EQ(calls[calls.size() - 2], "FinishJob");
    EXPECT_EQ(calls.back(), "destroyed");
}

TEST(Extract, TimesAndAttributesComeFromTheMember) {
    auto m = stored("ro.txt", "read only");
    m.date = 0x4E45; // 2019-02-05
    m.time = 0x3913; // 07:08:38
    m.external_attributes = 0x81240001;
    Fixture f({m});
    f.list.mark_all(1);
    ASSERT_EQ(f.extract(), 0);
    std::string path = f.dir.dos("out/ro.txt");
    EXPECT_TRUE(platform::get_attributes(path.c_str()) & platform::kAttrReadOnly);
    platform::ScopedFile file(platform::open_read(path.c_str()));
    platform::DosTime t;
    ASSERT_TRUE(platform::get_file_time(file.get(), &t));
    EXPECT_EQ(t.date, 0x4E45);
    EXPECT_EQ(t.time, 0x3913);
}

// The file gets the member's 0x5455 time (central, else local) to the
// second, else its NTFS time; without a well-formed one, its DOS fields taken as local time in
// the zone of their date. Natively each zone is set in turn; under Wine only
// the zone the run was started in counts (ctest starts one run per zone and
// names it in ZARVO_TEST_ZONE).
TEST(LocalTime, ExtractionTakesTheTimeBlockElseLocalDosTime) {
    const Bytes at_1 = {0x55, 0x54, 5, 0, 1, 0x41, 0x0F, 0x95, 0x66};  // 2024-07-15 12:00:01 UTC
    // A local block as Info-ZIP writes it: 12:00:03 and an access time.
    const Bytes at_3 = {0x55, 0x54, 9, 0, 3, 0x43, 0x0F, 0x95, 0x66, 0, 0, 0, 0};
    const Bytes local_short = {0x55, 0x54, 5, 0, 3, 0x43, 0x0F, 0x95, 0x66}; // the access time missing
    const Bytes flags_only = {0x55, 0x54, 1, 0, 1};                   // shorter than its flags claim
    const Bytes cut = {0x55, 0x54, 5, 0, 1, 0x41, 0x0F};              // runs past the field
    const Bytes no_mtime = {0x55, 0x54, 5, 0, 6, 0x41, 0x0F, 0x95, 0x66}; // bit 0 clear
    // NTFS times as Windows tools write them: 12:00:02.5 UTC, and one whose
    // times attribute is shorter than three FILETIMEs.
    const Bytes ntfs = {0x0A, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x18, 0x00,
                        0x40, 0x18, 0x33, 0x86, 0xAE, 0xD6, 0xDA, 0x01, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    const Bytes ntfs_short = {0x0A, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                              0x08, 0x00, 0x40, 0x18, 0x33, 0x86, 0xAE, 0xD6, 0xDA, 0x01};
    Bytes time_and_ntfs = ntfs;
    time_and_ntfs.insert(time_and_ntfs.end(), at_1.begin(), at_1.end());
    Bytes after_other = {0xFE, 0xCA, 2, 0, 9, 9};
    after_other.insert(after_other.end(), at_1.begin(), at_1.end());
    const std::int64_t kDos = -1; // the DOS fields' reading, per zone below
    const struct {
        const char* name;
        Bytes central, local;
        std::int64_t expected;
    } cases[] = {
        {"central.txt", at_1, at_3, 1721044801},
        {"local_only.txt", {}, at_3, 1721044803},
        {"after_other.txt", after_other, {}, 1721044801},
        {"short.txt", flags_only, {}, kDos},
        {"short_falls_to_local.txt", flags_only, at_3, 1721044803},
        {"cut.txt", cut, cut, kDos},
        {"local_short.txt", {}, local_short, kDos},
        {"no_mtime.txt", no_mtime, {}, kDos},
        {"none.txt", {}, {}, kDos},
        {"ntfs.txt", ntfs, {}, 1721044802},
        {"local_time_over_ntfs.txt", ntfs, at_3, 1721044803},
        {"time_over_ntfs.txt", time_and_ntfs, {}, 1721044801},
        {"ntfs_short.txt", ntfs_short, {}, kDos},
    };
    // DOS fields 2024-07-15 08:00:00 in each zone.
    const struct {
        const char* zone;
        std::int64_t dos_reading;
    } zones[] = {{"America/New_York", 1721044800}, {"Asia/Kolkata", 1721010600}};
    std::vector<test::ZipMember> members;
    for (const auto& c : cases) {
        auto m = stored(c.name, "t");
        m.date = static_cast<std::uint16_t>((44 << 9) | (7 << 5) | 15);
        m.time = static_cast<std::uint16_t>(8 << 11);
        m.central_extra = c.central;
        m.local_extra = c.local;
        members.push_back(m);
    }
    // Folders get their times too, after the files written into them.
    for (const char* folder : {"stamped/", "plain/"}) {
        auto m = stored(folder, "");
        m.date = members.front().date;
        m.time = members.front().time;
        m.external_attributes = 0x10;
        if (folder[0] == 's') m.central_extra = at_1;
        members.push_back(m);
        members.push_back(stored(std::string(folder) + "in.txt", "t"));
    }
    int runs = 0;
    for (const auto& zone : zones) {
#ifdef _WIN32
        const char* tz = std::getenv("ZARVO_TEST_ZONE"); // TZ itself is set to UTC for the C library
        if (!tz || std::strcmp(tz, zone.zone) != 0) continue;
#else
        setenv("TZ", zone.zone, 1);
        tzset();
#endif
        ++runs;
        Fixture f(members);
        f.list.mark_all(1);
        ASSERT_EQ(f.extract(), 0);
        for (const auto& c : cases) {
            platform::ScopedFile file(platform::open_read(f.dir.dos(std::string("out/") + c.name).c_str()));
            std::int64_t seconds = 0;
            ASSERT_TRUE(platform::get_file_unix_time(file.get(), &seconds));
            EXPECT_EQ(seconds, c.expected == kDos ? zone.dos_reading : c.expected) << zone.zone << " " << c.name;
        }
        for (const auto& folder : {std::make_pair("stamped", std::int64_t(1721044801)),
                                   std::make_pair("plain", zone.dos_reading)}) {
            std::int64_t seconds = 0;
            ASSERT_TRUE(platform::get_path_unix_time(
                f.dir.dos(std::string("out/") + folder.first).c_str(), &seconds));
            EXPECT_EQ(seconds, folder.second) << zone.zone << " " << folder.first;
        }
        // The list shows the time extraction gives, in this zone: 12:00:01
        // UTC is 08:00 in New York, as the DOS fields say, 17:30 in Kolkata.
        std::string date, time;
        member_date_time_texts(*f.list.entries.front(), &date, &time);
        EXPECT_EQ(date + " " + time,
                  zone.dos_reading == 1721044800 ? " 7/15/2024 08:00 am" : " 7/15/2024 05:30 pm")
            << zone.zone;
    }
#ifndef _WIN32
    setenv("TZ", "UTC", 1);
    tzset();
#endif
    EXPECT_GT(runs, 0) << "started in a zone without rows";
}

TEST(Extract, ReplacesReadOnlyFileAndGivesItTheMembersAttributes) {
    Fixture f({stored("x.txt", "new")});
    f.dir.write("out/x.txt", Bytes{'o', 'l', 'd'});
    platform::set_attributes(f.dir.dos("out/x.txt").c_str(), platform::kAttrReadOnly);
    f.list.mark_all(1);
    ASSERT_EQ(f.extract(true, kAnswerYesToAll), 0);
    EXPECT_TRUE(f.ui.questions.empty());
    EXPECT_EQ(f.read("x.txt"), "new");
    EXPECT_FALSE(platform::get_attributes(f.dir.dos("out/x.txt").c_str()) & platform::kAttrReadOnly);
}

TEST(Extract, OverwriteAnswers) {
    const struct {
        const char* what;
        std::vector<std::uint32_t> answers;
        std::size_t questions;
        const char* contents; // of a, b, c afterwards
    } cases[] = {
        {"yes each time", {kAnswerYes, kAnswerYes, kAnswerYes}, 3, "AAA BBB CCC"},
        {"no skips one and asks again", {kAnswerNo, kAnswerYes, kAnswerNo}, 3, "old BBB old"},
        {"yes to all asks no more", {kAnswerNo, kAnswerYesToAll}, 2, "old BBB CCC"},
        {"cancel stops without error", {kAnswerYes, kAnswerCancel}, 2, "AAA old old"},
    };
    for (const auto& c : cases) {
        Fixture f({stored("a", "AAA"), stored("b", "BBB"), stored("c", "CCC")});
        for (const char* n : {"a", "b", "c"}) f.dir.write(std::string("out/") + n, Bytes{'o', 'l', 'd'});
        f.ui.answers.assign(c.answers.begin(), c.answers.end());
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(), 0) << c.what;
        EXPECT_EQ(f.z.error, 0) << c.what;
        EXPECT_EQ(f.ui.questions.size(), c.questions) << c.what;
        EXPECT_EQ(f.read("a") + " " + f.read("b") + " " + f.read("c"), c.contents) << c.what;
    }
}

TEST(Extract, FolderMembersAreCreatedAndLogged) {
    auto with_bit = stored("dir/", "");
    with_bit.external_attributes = 0x10;
    auto without_bit = stored("other/", ""); // some writers leave the folder bit out
    Fixture f({with_bit, without_bit, stored("dir/f.txt", "f")});
    f.list.mark_all(1);
    ASSERT_EQ(f.extract(), 0);
    EXPECT_EQ(f.z.warnings, 0u);
    EXPECT_TRUE(platform::get_attributes(f.dir.dos("out/dir").c_str()) & platform::kAttrDirectory);
    EXPECT_TRUE(platform::get_attributes(f.dir.dos("out/other").c_str()) & platform::kAttrDirectory);
    EXPECT_EQ(f.ui.calls_starting("LogLine:Create Dir").size(), 2u);
    EXPECT_EQ(f.read("dir/f.txt"), "f");
}

// Each member the engine cannot read is skipped with its own warning, marked
// ones only, and the job goes on to the members behind it.
TEST(Extract, UnreadableMembersAreSkippedOneByOne) {
    const struct {
        std::uint16_t method, flags, version;
        const char* warning;
    } cases[] = {
        {0, 1, 20, "Can't extract encrypted files. File locked was skipped"},
        {8, 0x41, 51, "Can't extract encrypted files. File locked was skipped"},
        {99, 1, 51, "Can't extract encrypted files. File locked was skipped"},
        {12, 0, 46, "Method bzip2 is not supported. File locked was skipped"},
        {14, 2, 63, "Method LZMA is not supported. File locked was skipped"},
        {98, 0, 63, "Method PPMd is not supported. File locked was skipped"},
        {95, 0, 63, "Method XZ is not supported. File locked was skipped"},
        {93, 0, 63, "Method Zstandard is not supported. File locked was skipped"},
        {99, 0, 51, "Method AES is not supported. File locked was skipped"},
        {7, 0, 20, "Method 7 is not supported. File locked was skipped"},
        {3, 0, 10, "UnShrinking is not supported. File locked was skipped"},
        {0, 0, 46, "File locked needs a newer version of the format and was skipped"},
        {8, 0, 63, "File locked needs a newer version of the format and was skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.warning);
        auto locked = stored("locked", "secret");
        locked.method = c.method;
        locked.flags = c.flags;
        locked.version_needed = c.version;
        for (bool marked : {true, false}) {
            Fixture f({stored("before.txt", "b"), locked, stored("after.txt", "a")});
            f.mark({"before.txt", "after.txt"});
            if (marked) f.mark({"locked"});
            EXPECT_EQ(f.extract(), 0);
            EXPECT_EQ(f.read("before.txt"), "b");
            EXPECT_EQ(f.read("after.txt"), "a");
            EXPECT_FALSE(f.exists("locked"));
            EXPECT_EQ(
                f.ui.calls_starting("AddWarning"),
                marked ? std::vector<std::string>{std::string("AddWarning:Warning: ") + c.warning}
                       : std::vector<std::string>{});
            EXPECT_EQ(f.ui.calls_starting("AddLine"), std::vector<std::string>{});
        }
        // A test counts the member as failed, after its warning.
        Fixture t({stored("before.txt", "b"), locked, stored("after.txt", "a")});
        t.list.mark_all(1);
        EXPECT_EQ(test_files(t.z, t.list, nullptr, t.archive.c_str()), 0);
        EXPECT_EQ(t.z.warnings, 1u);
        EXPECT_EQ(
            t.ui.calls_starting("LogResult"),
            (std::vector<std::string>{"LogResult:Test:before.txt:0", "LogResult:Test:locked:1",
                                      "LogResult:Test:after.txt:0"}));
    }
}

// A version up to ZIP64's 4.5 is read.
TEST(Extract, VersionsUpTo45AreRead) {
    for (std::uint16_t version : {20, 21, 45}) {
        auto m = stored("m.txt", "made by a newer writer");
        m.version_needed = version;
        Fixture f({m});
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(), 0);
        EXPECT_EQ(f.z.warnings, 0u) << version;
        EXPECT_EQ(f.read("m.txt"), "made by a newer writer");
    }
}

TEST(Extract, BadCrcWarnsAndKeepsTheFile) {
    auto bad = stored("bad.txt", "damaged");
    bad.wrong_crc = true;
    Fixture f({bad, stored("good.txt", "good")});
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), 0);
    EXPECT_EQ(f.z.warnings, 1u);
    EXPECT_EQ(f.ui.calls_starting("AddWarning"), std::vector<std::string>{"AddWarning:Warning: Bad CRC for bad.txt"});
    EXPECT_EQ(f.read("bad.txt"), "damaged");
    EXPECT_EQ(f.read("good.txt"), "good");
}

TEST(Extract, UnsafeNamesAreSkippedAndNothingLandsOutside) {
    const char* unsafe[] = {"../x1", "..\\x2", "/x3", "\\x4", "C:\\x5", "C:x6", "a/../../x7", "a/.../x8", "a/.. /x9"};
    std::vector<test::ZipMember> members;
    for (const char* n : unsafe) members.push_back(stored(n, "evil"));
    members.push_back(stored("safe/ok.txt", "fine"));
    members.push_back(stored(std::string(300, 'n'), "long"));
    for (bool folders : {true, false}) {
        Fixture f(members);
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(folders), 0);
        EXPECT_EQ(f.read(folders ? "safe/ok.txt" : "ok.txt"), "fine");
        // Without folder names only the last part counts: x2, x4, x5 (after '\'), x7.. are then plain names.
        std::vector<platform::FindData> outside;
        platform::find_files(f.dir.dos("*").c_str(), &outside);
        for (const auto& e : outside) EXPECT_TRUE(e.name == "out" || e.name == "a.zip") << e.name;
        if (folders) {
            EXPECT_EQ(f.z.warnings, std::size(unsafe) + 1);
            EXPECT_EQ(f.ui.calls_starting("AddWarning")[0], "AddWarning:Warning: Unsafe path. File ../x1 was skipped");
        }
    }
}

TEST(Extract, MissingArchiveIsZipfileNotFound) {
    Fixture f({stored("a", "a")});
    f.list.mark_all(1);
    f.ui.show_progress = false;
    test::ScriptedResponder boxes({}, platform::kIdOk);
    EXPECT_EQ(extract_files(f.z, f.list, nullptr, f.dir.dos("gone.zip").c_str(), f.out.c_str(), 1, 1), ZERR_NOZIP);
    ASSERT_EQ(boxes.prompts().size(), 1u);
    EXPECT_EQ(boxes.prompts()[0].text, "Zipfile not found");
    EXPECT_EQ(f.list.marked, 0u);
}

TEST(Extract, WindowSizedMemberIsFlushedOnce) {
    test::ZipMember m;
    m.name = "w.bin";
    m.data.assign(32768, 'w');
    Fixture f({m});
    f.list.mark_all(1);
    ASSERT_EQ(f.extract(), 0);
    EXPECT_EQ(f.ui.calls_starting("FileProgress"), std::vector<std::string>{"FileProgress:32768:32768"});
}

TEST(Extract, DiskFullStopsAndRemovesThePartialFile) {
    test::TempDir small;
    platform::DriveMount m;
    m.host_folder = small.host();
    m.type = platform::kDriveFixed;
    m.capacity = 40000;
    if (!platform::mount_drive('G', m)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::ZipMember big;
    big.name = "big.bin";
    big.data.assign(70000, 'b');
    Fixture f({stored("small.txt", "s"), big, stored("after.txt", "a")});
    f.list.mark_all(1);
    EXPECT_EQ(extract_files(f.z, f.list, nullptr, f.archive.c_str(), "G:\\", 1, 1), ZERR_DISKFULL);
    EXPECT_NE(platform::get_attributes("G:\\small.txt"), platform::kInvalidAttributes);
    EXPECT_EQ(platform::get_attributes("G:\\big.bin"), platform::kInvalidAttributes);
    EXPECT_EQ(platform::get_attributes("G:\\after.txt"), platform::kInvalidAttributes);
    platform::unmount_drive('G');
}

// Cancels the job (as the progress dialog's button would) once the file gauge moves.
class CancellingProgress : public test::RecordingProgress {
  public:
    std::int32_t* error = nullptr;
    void FileProgress(std::uint64_t total, std::uint64_t done) override {
        RecordingProgress::FileProgress(total, done);
        *error = ZERR_CANCEL;
    }
};

class CancellingUi : public ScriptedUi {
  public:
    CancellingProgress cancelling;
    JobProgress* create_progress(void*, std::int32_t* error, std::uint32_t*) override {
        cancelling.error = error;
        return &cancelling;
    }
};

TEST(Extract, CancelStopsAndLeavesNoPartialFile) {
    test::ZipMember big;
    big.name = "big.bin";
    big.data.assign(100000, 'b');
    Fixture f({big, stored("after.txt", "a")});
    CancellingUi ui;
    f.z.ui = &ui;
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), ZERR_CANCEL);
    EXPECT_FALSE(f.exists("big.bin"));
    EXPECT_FALSE(f.exists("after.txt"));
    EXPECT_EQ(ui.cancelling.calls.back(), "FinishJob");
    EXPECT_NE(std::find(ui.cancelling.calls.begin(), ui.cancelling.calls.end(), "AddLine(1):User canceled"),
              ui.cancelling.calls.end());
}

// Callers take the buffer as the member: one that cannot be read is the
// job's error, never an empty buffer; unmarked ones do not matter.
TEST(ExtractToMemory, UnreadableMarkedMemberIsTheError) {
    const struct {
        std::uint16_t flags, version;
        int error;
    } cases[] = {{1, 20, ZERR_ENCRYPTED}, {0, 46, ZERR_FORMAT}};
    for (const auto& c : cases) {
        auto locked = stored("locked", "secret");
        locked.flags = c.flags;
        locked.version_needed = c.version;
        for (bool marked : {true, false}) {
            Fixture f({locked, stored("text.txt", "text")});
            f.mark({"text.txt"});
            if (marked) f.mark({"locked"});
            std::vector<std::uint8_t> buffer(64, 0xEE);
            test::ScriptedResponder boxes;
            EXPECT_EQ(extract_to_memory(f.z, f.list, nullptr, f.archive.c_str(), buffer.data(), 63),
                      marked ? c.error : 0);
            EXPECT_TRUE(boxes.prompts().empty());
            if (!marked) EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), "text");
        }
    }
}

TEST(ExtractToMemory, TooLargeKeepsCapacityBytesAndANul) {
    test::ZipMember m;
    m.name = "forty.bin";
    m.data.resize(40000);
    for (std::size_t i = 0; i < m.data.size(); ++i) m.data[i] = static_cast<std::uint8_t>('A' + i % 26);
    Fixture f({m});
    f.list.mark_all(1);
    std::vector<std::uint8_t> buffer(32767 + 1, 0xEE);
    test::ScriptedResponder boxes;
    EXPECT_EQ(extract_to_memory(f.z, f.list, nullptr, f.archive.c_str(), buffer.data(), 32767), ZERR_TOOLARGE);
    EXPECT_TRUE(boxes.prompts().empty()); // the caller reports
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 32767, m.data.begin()));
    EXPECT_EQ(buffer[32767], 0);
    EXPECT_EQ(f.z.to_memory, 0u);
    EXPECT_EQ(f.list.marked, 0u);
}

TEST(ExtractToMemory, MarkedMembersFollowOneAnother) {
    auto folder = stored("d/", "");
    folder.external_attributes = 0x10;
    auto odd = stored("odd.bin", "zz");
    odd.method = 12;
    Fixture f({stored("first", "Hello, "), folder, odd, stored("second", "world")});
    f.list.mark_all(1);
    std::vector<std::uint8_t> buffer(101, 0xEE);
    EXPECT_EQ(extract_to_memory(f.z, f.list, nullptr, f.archive.c_str(), buffer.data(), 100), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "Hello, world");
    EXPECT_EQ(f.z.warnings, 0u); // other methods are skipped silently here
}

TEST(TestArchive, DecodesAndChecksWithoutWriting) {
    auto bad = stored("bad.txt", "damaged");
    bad.wrong_crc = true;
    Fixture f({stored("good.txt", "good"), bad});
    f.list.mark_all(1);
    EXPECT_EQ(test_files(f.z, f.list, nullptr, f.archive.c_str()), 0);
    EXPECT_EQ(f.ui.calls_starting("LogResult"),
              (std::vector<std::string>{"LogResult:Test:good.txt:0", "LogResult:Test:bad.txt:1"}));
    EXPECT_EQ(f.z.warnings, 1u);
    std::vector<platform::FindData> written;
    platform::find_files(f.dir.dos("out\\*").c_str(), &written);
    EXPECT_TRUE(written.empty());
}

} // namespace

namespace {

// A set of two disks on a simulated removable drive: members are read from
// whichever disk holds them, the user being asked for each change of disk.
TEST(Extract, MembersOfADiskSetAreReadFromTheirDisks) {
    std::string disks[2] = {test::data_host_path("zip/spanned_2disks/disk1"),
                            test::data_host_path("zip/spanned_2disks/disk2")};
    auto insert = [&](int disk) {
        platform::DriveMount m;
        m.host_folder = disks[disk];
        m.type = platform::kDriveRemovable;
        m.label = disk == 0 ? "PKBACK# 001" : "PKBACK# 002";
        return platform::mount_drive('A', m);
    };
    if (!insert(1)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    zip z;
    zlist list;
    ASSERT_EQ(open_archive(z, list, "A:\\spanned.zip"), 0);
    test::TempDir out;
    ScriptedUi ui;
    z.ui = &ui;
    // true.bin and rand70k.bin start on the first disk; rand70k.bin runs on
    // into the second, which also holds bsd.txt.
    test::ScriptedResponder disks_asked({[&](const platform::Prompt&) { insert(0); return platform::kIdOk; },
                                         [&](const platform::Prompt&) { insert(1); return platform::kIdOk; }});
    list.mark_all(1);
    EXPECT_EQ(extract_files(z, list, nullptr, "A:\\spanned.zip", out.dos("").c_str(), 1, kAnswerYes), 0);
    platform::unmount_drive('A');
    ASSERT_EQ(disks_asked.prompts().size(), 2u);
    EXPECT_EQ(disks_asked.prompts()[0].text, "Insert disk # 1 ");
    EXPECT_EQ(disks_asked.prompts()[1].text, "Insert disk # 2 ");
    EXPECT_EQ(z.warnings, 0u);
    EXPECT_EQ(test::crc32_of(test::read_host_file(out.host("true.bin"))), 0x13fec32du);
    EXPECT_EQ(test::crc32_of(test::read_host_file(out.host("rand70k.bin"))), 0x08f7a13fu);
    EXPECT_EQ(test::crc32_of(test::read_host_file(out.host("bsd.txt"))), 0x7e4fbf86u);
}

} // namespace

namespace {

// A stored name that begins with a NUL byte reads as empty: it names the
// destination folder itself, which no member may overwrite.
TEST(Extract, NameStartingWithNulIsNotWritten) {
    auto odd = stored(std::string("\0hidden", 7), "data");
    Fixture f({odd, stored("after.txt", "a")});
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), 0);
    EXPECT_EQ(f.z.warnings, 1u);
    EXPECT_EQ(f.read("after.txt"), "a");
}

} // namespace

namespace {

// A damaged deflate member whose data would run on past the end of the file
// stops at once instead of decoding endless all-ones bytes (found by
// fuzzing). It is that member's bad data; the job then stops at the next
// member, whose local header the cut file no longer holds.
TEST(TestArchive, DamagedStreamRunningPastTheFileEnds) {
    zip z;
    zlist list;
    ScriptedUi ui;
    std::string path = test::data_dos_path("fuzz-regressions/extract-deflate-runs-past-end-of-file");
    ASSERT_EQ(open_archive(z, list, path.c_str()), 0);
    z.ui = &ui;
    list.mark_all(1);
    EXPECT_EQ(test_files(z, list, nullptr, path.c_str()), ZERR_FORMAT);
    EXPECT_EQ(ui.calls_starting("AddWarning"),
              std::vector<std::string>{
                  "AddWarning:Warning: Data of gpl3.txt are damaged or longer than declared"});
    EXPECT_EQ(ui.calls_starting("LogResult"),
              std::vector<std::string>{"LogResult:Test:gpl3.txt:1"});
}

} // namespace

namespace {

// Members named after Windows devices, or with characters Windows cannot
// store: the Windows build opened the devices and reported "Extract". Each
// is refused with a warning that names it, and only the ordinary member is
// written.
TEST(Extract, DeviceAndUnstorableNamesAreRefusedByName) {
    test::TempDir dir;
    zip z;
    zlist list;
    ScriptedUi ui;
    std::string archive = test::data_dos_path("names/extract_into_devices.zip");
    ASSERT_EQ(open_archive(z, list, archive.c_str()), 0);
    z.ui = &ui;
    std::string out = dir.dos("out");
    ASSERT_TRUE(platform::create_directory(out.c_str()));
    list.mark_all(1);
    EXPECT_EQ(extract_files(z, list, nullptr, archive.c_str(), out.c_str(), 1, kAnswerYesToAll), 0);

    std::vector<std::string> expected;
    // "COM¹" is stored as UTF-8 with bit 11, "LPT²" as code page 437 (0xFD).
    for (const char* n : {"NUL", "AUX", "COM1", "aux.txt", "nul .txt", "sub/aux.txt",
                          "con/readme.txt", "Lpt9.log", "CONOUT$", "COM\xC2\xB9", "LPT\xC2\xB2"})
        expected.push_back(std::string("AddWarning:Warning: Name ") + n +
                           " holds a Windows device name. File was skipped");
    for (const char* n : {"a<b.txt", "what?.txt", "ctl\x01.txt"})
        expected.push_back(std::string("AddWarning:Warning: Name ") + n +
                           " has characters Windows cannot store. File was skipped");
    EXPECT_EQ(ui.calls_starting("AddWarning"), expected);
    EXPECT_EQ(z.warnings, expected.size());
    EXPECT_EQ(ui.calls_starting("LogResult"),
              std::vector<std::string>{"LogResult:Extract:" + dir.dos("out\\kept.txt") + ":0"});
    std::vector<platform::FindData> written;
    ASSERT_TRUE(platform::find_files((out + "\\*").c_str(), &written));
    ASSERT_EQ(written.size(), 1u); // no folder "sub" or "con" either
    EXPECT_EQ(written[0].name, "kept.txt");
}

} // namespace

#ifndef _WIN32
namespace {

bool is_symlink(const std::string& host_path) {
    struct stat st;
    return lstat(host_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

mode_t mode_of(const std::string& host_path) {
    struct stat st;
    return stat(host_path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Links already in the destination are replaced, never written through: a
// dangling one made extraction create its target outside, and one to an
// outside file had that file overwritten and made read-only under "Yes to All".
TEST(ExtractLinks, LinkAtTheTargetIsReplacedNotFollowed) {
    for (bool dangling : {true, false}) {
        auto m = stored("x.txt", "from the archive");
        m.external_attributes = platform::kAttrReadOnly;
        Fixture f({m});
        ASSERT_TRUE(platform::create_directory(f.dir.dos("outside").c_str()));
        std::string victim = f.dir.host("outside/victim.txt");
        if (!dangling) test::write_host_file(victim, Bytes{'k', 'e', 'e', 'p'});
        if (!dangling) ASSERT_EQ(chmod(victim.c_str(), 0640), 0);
        ASSERT_EQ(symlink(victim.c_str(), f.dir.host("out/x.txt").c_str()), 0);
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(true, kAnswerYesToAll), 0);
        EXPECT_EQ(f.z.warnings, 0u);
        EXPECT_FALSE(is_symlink(f.dir.host("out/x.txt")));
        EXPECT_EQ(f.read("x.txt"), "from the archive");
        EXPECT_TRUE(platform::get_attributes(f.dir.dos("out/x.txt").c_str()) &
                    platform::kAttrReadOnly);
        std::vector<platform::FindData> outside;
        platform::find_files(f.dir.dos("outside\\*").c_str(), &outside);
        if (dangling) {
            EXPECT_TRUE(outside.empty());
        } else {
            EXPECT_EQ(test::read_host_file(victim), (Bytes{'k', 'e', 'e', 'p'}));
            EXPECT_EQ(mode_of(victim), 0640u);
            EXPECT_EQ(outside.size(), 1u);
        }
    }
}

// A folder of the destination that is a link to an outside folder: members
// below it are refused as unsafe, and nothing is made or written outside.
TEST(ExtractLinks, LinkedFolderOnTheWayIsRefused) {
    Fixture f({stored("sub/x.txt", "x"), stored("sub/deeper/y.txt", "y"), stored("sub/", ""),
               stored("fine.txt", "fine")});
    ASSERT_TRUE(platform::create_directory(f.dir.dos("outside").c_str()));
    ASSERT_EQ(symlink(f.dir.host("outside").c_str(), f.dir.host("out/sub").c_str()), 0);
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(true, kAnswerYesToAll), 0);
    EXPECT_EQ(f.ui.calls_starting("AddWarning"),
              (std::vector<std::string>{
                  "AddWarning:Warning: Unsafe path. File sub/x.txt was skipped",
                  "AddWarning:Warning: Unsafe path. File sub/deeper/y.txt was skipped",
                  "AddWarning:Warning: Unsafe path. File sub/ was skipped"}));
    EXPECT_EQ(f.read("fine.txt"), "fine");
    EXPECT_TRUE(is_symlink(f.dir.host("out/sub")));
    std::vector<platform::FindData> outside;
    platform::find_files(f.dir.dos("outside\\*").c_str(), &outside);
    EXPECT_TRUE(outside.empty());
}

constexpr std::uint16_t kMadeOnUnix = 0x031E;

// A member as a Unix zip writes it: the mode above the DOS bits.
test::ZipMember unix_member(const std::string& name, const std::string& text, std::uint32_t mode,
                            std::uint16_t made_by = kMadeOnUnix) {
    test::ZipMember m = stored(name, text);
    m.version_made_by = made_by;
    m.external_attributes = (mode << 16) | ((mode & 0200) ? 0 : platform::kAttrReadOnly);
    return m;
}

test::ZipMember link_member(const std::string& name, const std::string& target) {
    return unix_member(name, target, 0120777);
}

std::string link_text(const std::string& host_path) {
    char buf[4096];
    ssize_t n = readlink(host_path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

// Sets the umask for one test and puts the old one back.
struct ScopedUmask {
    mode_t old;
    explicit ScopedUmask(mode_t mask) : old(umask(mask)) {}
    ~ScopedUmask() { umask(old); }
};

// Permissions of members made on Unix survive (the executable bit above
// all), less the umask, never set-user-ID, set-group-ID or sticky. Members
// of other hosts keep the DOS rule: read-only takes every write bit away.
TEST(ExtractModes, UnixMembersKeepTheirPermissions) {
    const struct {
        std::uint32_t mode;
        std::uint16_t made_by;
        mode_t mask;
        mode_t expected;
    } cases[] = {
        {0100755, kMadeOnUnix, 022, 0755},
        {0100644, kMadeOnUnix, 022, 0644},
        {0100600, kMadeOnUnix, 022, 0600},
        {0100444, kMadeOnUnix, 022, 0444},
        {0100700, kMadeOnUnix, 022, 0700},
        {0104755, kMadeOnUnix, 022, 0755}, // set-user-ID dropped
        {0107777, kMadeOnUnix, 022, 0755}, // all special bits dropped, umask applied
        {0100777, kMadeOnUnix, 077, 0700},
        {0000750, kMadeOnUnix, 022, 0750}, // permissions without a type
        {0100755, 0x0B1E, 022, 0644},      // another host: its high half means nothing
        {0100444, 0x001E, 022, 0444},      // FAT read-only bit
    };
    for (const auto& c : cases) {
        ScopedUmask mask(c.mask);
        Fixture f({unix_member("f.bin", "data", c.mode, c.made_by)});
        f.list.mark_all(1);
        ASSERT_EQ(f.extract(), 0) << std::oct << c.mode;
        EXPECT_EQ(f.read("f.bin"), "data");
        EXPECT_EQ(mode_of(f.dir.host("out/f.bin")), c.expected)
            << std::oct << c.mode << " made by " << c.made_by;
    }
}

// A file replaced by a member keeps none of the old file's permissions.
TEST(ExtractModes, ReplacedFileTakesTheMembersMode) {
    ScopedUmask mask(022);
    Fixture f({unix_member("tool", "#!/bin/sh", 0100755)});
    test::write_host_file(f.dir.host("out/tool"), Bytes{'o', 'l', 'd'});
    ASSERT_EQ(chmod(f.dir.host("out/tool").c_str(), 0600), 0);
    f.list.mark_all(1);
    ASSERT_EQ(f.extract(true, kAnswerYesToAll), 0);
    EXPECT_EQ(f.read("tool"), "#!/bin/sh");
    EXPECT_EQ(mode_of(f.dir.host("out/tool")), 0755u);
}

// Each link member alone: made as a link when its target stays inside the
// destination, otherwise skipped with a warning and nothing in its place.
TEST(ExtractLinks, LinkMembersInsideAreMadeOthersSkipped) {
    const struct {
        const char* name;
        std::string target;
        bool made;
    } cases[] = {
        {"a", "b.txt", true},
        {"sub/a", "../b.txt", true},
        {"a", "sub", true},
        {"a", "missing/file", true}, // dangling but inside
        {"a", "../x", false},
        {"sub/a", "../../x", false},
        {"a", "/etc", false},
        {"a", "/etc/passwd", false},
        {"a", "sub/../..", false},
        {"a", "sub/..", false}, // ".." after a part that may be a link
        {"a", std::string("b.txt\0/../../x", 15), false},
        {"a", std::string(4096, 'n'), false},
        {"a", "", false},
    };
    for (const auto& c : cases) {
        Fixture f({stored("b.txt", "bee"), stored("sub/", ""), link_member(c.name, c.target)});
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(), 0) << c.target.substr(0, 40);
        const std::string at = f.dir.host(std::string("out/") + c.name);
        EXPECT_EQ(is_symlink(at), c.made) << c.name << " -> " << c.target.substr(0, 40);
        std::vector<std::string> warnings = f.ui.calls_starting("AddWarning");
        if (c.made) {
            EXPECT_EQ(link_text(at), c.target);
            EXPECT_TRUE(warnings.empty()) << warnings[0];
        } else {
            EXPECT_FALSE(f.exists(c.name)) << c.name << " -> " << c.target.substr(0, 40);
            EXPECT_EQ(warnings,
                      std::vector<std::string>{std::string("AddWarning:Warning: Link ") + c.name +
                                               " leads outside the destination or its target is "
                                               "malformed. It was skipped"});
            EXPECT_EQ(f.z.warnings, 1u);
        }
    }
}

// Links chained so that each looks inside alone: c -> ".", d -> "c/c" (the
// destination again), e -> "d/.." would be its parent on disk. The job
// refuses e by its "..", and writes nothing through c or d.
TEST(ExtractLinks, ChainedLinksNeverLeadOutside) {
    Fixture f({link_member("c", "."), link_member("d", "c/c"), link_member("e", "d/.."),
               link_member("b", "a"), link_member("a", ".."), stored("d/x.txt", "through d"),
               stored("e/y.txt", "through e")});
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(true, kAnswerYesToAll), 0);
    EXPECT_TRUE(is_symlink(f.dir.host("out/c")));
    EXPECT_TRUE(is_symlink(f.dir.host("out/d")));
    EXPECT_TRUE(is_symlink(f.dir.host("out/b"))); // to a, which was never made
    EXPECT_FALSE(is_symlink(f.dir.host("out/e")));
    EXPECT_FALSE(is_symlink(f.dir.host("out/a")));
    EXPECT_EQ(
        f.ui.calls_starting("AddWarning"),
        (std::vector<std::string>{"AddWarning:Warning: Link e leads outside the destination or its "
                                  "target is malformed. It was skipped",
                                  "AddWarning:Warning: Link a leads outside the destination or its "
                                  "target is malformed. It was skipped",
                                  "AddWarning:Warning: Unsafe path. File d/x.txt was skipped"}));
    // e was never made, so e/y.txt is an ordinary file in a new folder.
    EXPECT_EQ(f.read("e/y.txt"), "through e");
    std::vector<platform::FindData> beside;
    platform::find_files(f.dir.dos("x.txt").c_str(), &beside);
    EXPECT_TRUE(beside.empty());
}

// The classic attack: a link, then a member below it. Whatever the link
// leads to, the second member is refused, the link's target untouched.
TEST(ExtractLinks, MemberBelowALinkOfTheJobIsRefused) {
    const char* targets[] = {"sub", ".", "sub/inner"};
    for (const char* target : targets) {
        Fixture f({stored("sub/inner/", ""), link_member("a", target), stored("a/passwd", "owned"),
                   stored("a/", "")});
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(true, kAnswerYesToAll), 0);
        EXPECT_TRUE(is_symlink(f.dir.host("out/a"))) << target;
        EXPECT_EQ(
            f.ui.calls_starting("AddWarning"),
            (std::vector<std::string>{"AddWarning:Warning: Unsafe path. File a/passwd was skipped",
                                      "AddWarning:Warning: Unsafe path. File a/ was skipped"}))
            << target;
        EXPECT_FALSE(f.exists("sub/passwd"));
        EXPECT_FALSE(f.exists("passwd"));
        EXPECT_FALSE(f.exists("sub/inner/passwd"));
    }
}

// A link member over an existing file follows the replace rules: asked
// about, kept on No, replaced on Yes (the file itself, not what a link
// there led to).
TEST(ExtractLinks, LinkMemberOverAnExistingFileIsAskedAbout) {
    for (std::uint32_t answer : {kAnswerNo, kAnswerYes}) {
        Fixture f({stored("b.txt", "bee"), link_member("a", "b.txt")});
        test::write_host_file(f.dir.host("out/a"), Bytes{'m', 'i', 'n', 'e'});
        f.ui.answers = {answer};
        f.mark({"a"});
        f.extract();
        EXPECT_EQ(f.ui.questions, std::vector<std::string>{f.dir.dos("out\\a")});
        if (answer == kAnswerNo) {
            EXPECT_FALSE(is_symlink(f.dir.host("out/a")));
            EXPECT_EQ(f.read("a"), "mine");
        } else {
            EXPECT_EQ(link_text(f.dir.host("out/a")), "b.txt");
        }
    }
}

// The link bits count only on members made on Unix; elsewhere the member is
// an ordinary file, as it always was.
TEST(ExtractLinks, LinkBitsOfAnotherHostMakeAFile) {
    Fixture f({unix_member("a", "../x", 0120777, 0x001E)});
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), 0);
    EXPECT_FALSE(is_symlink(f.dir.host("out/a")));
    EXPECT_EQ(f.read("a"), "../x");
}

// A link's text is data like any other: a bad CRC or damaged data leave no link.
TEST(ExtractLinks, DamagedLinkTextMakesNoLink) {
    test::ZipMember bad_crc = link_member("a", "b.txt");
    bad_crc.wrong_crc = true;
    test::ZipMember bad_data = link_member("c", "b.txt");
    bad_data.method = 8;
    bad_data.version_needed = 20;
    bad_data.data = {0xFF, 0xFF, 0xFF};
    bad_data.uncompressed_size_override = 5;
    Fixture f({bad_crc, bad_data});
    f.list.mark_all(1);
    f.extract();
    EXPECT_FALSE(f.exists("a"));
    EXPECT_FALSE(is_symlink(f.dir.host("out/a")));
    EXPECT_FALSE(is_symlink(f.dir.host("out/c")));
    EXPECT_EQ(f.z.warnings, 2u);
}

} // namespace
namespace {

// Runs an action when the job asks whether to replace a given target: the
// moment another process could act between two members.
class ActingUi : public ScriptedUi {
  public:
    std::string when;
    std::function<void()> act;
    std::uint32_t confirm_replace(JobProgress* p, void* w, const char* target, const zentry& e) override {
        if (act && std::string(target).find(when) != std::string::npos) act();
        return ScriptedUi::confirm_replace(p, w, target, e);
    }
};

std::vector<std::string> files_below(const std::string& host) {
    std::vector<std::string> names;
    std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& dir,
                                                                          const std::string& rel) {
        std::vector<platform::FindData> found;
        platform::find_files((platform::dos_path_from_host(dir) + "\\*").c_str(), &found);
        for (const auto& e : found) {
            if (e.attributes & platform::kAttrDirectory)
                walk(dir + "/" + e.name, rel + e.name + "/");
            else
                names.push_back(rel + e.name);
        }
    };
    walk(host, "");
    std::sort(names.begin(), names.end());
    return names;
}

// Names in another case meet the files that were there before the job and
// those the job made itself, each replaced after its question.
TEST(ExtractNames, OtherCasesMeetExistingAndOwnFiles) {
    Fixture f({stored("docs/readme.txt", "R2"), stored("DOCS/new.txt", "N1"), stored("Docs/NEW.TXT", "N2"),
               stored("Other/a.txt", "A1"), stored("other/A.TXT", "A2"), stored("other/b/C.txt", "C1"),
               stored("OTHER/B/c.TXT", "C2")});
    ASSERT_EQ(mkdir(f.dir.host("out/Docs").c_str(), 0755), 0);
    f.dir.write("out/Docs/Readme.TXT", Bytes{'R', '1'});
    f.ui.answers.assign({kAnswerYes, kAnswerYes, kAnswerYes, kAnswerYes});
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), 0);
    EXPECT_EQ(f.z.warnings, 0u);
    EXPECT_EQ(f.ui.questions.size(), 4u);
    EXPECT_EQ(files_below(f.dir.host("out")),
              (std::vector<std::string>{"Docs/Readme.TXT", "Docs/new.txt", "Other/a.txt", "Other/b/C.txt"}));
    EXPECT_EQ(f.read("Docs/Readme.TXT") + f.read("Docs/new.txt") + f.read("Other/a.txt") + f.read("Other/b/C.txt"),
              "R2N2A2C2");
}

// A name the job found missing that another process makes before the job
// writes it is never written over: the member is refused with the usual
// warning, and the job goes on. One made in another case is not matched:
// the member lands beside it under its own name.
TEST(ExtractNames, FileMadeBehindTheJobsBackIsNeverWrittenOver) {
    Fixture f({stored("x/b.txt", "B"), stored("x/a.txt", "A"), stored("x/late2.txt", "ours2"),
               stored("x/late.txt", "ours"), stored("x/after.txt", "after")});
    ASSERT_EQ(mkdir(f.dir.host("out/x").c_str(), 0755), 0);
    f.dir.write("out/x/a.txt", Bytes{'o', 'l', 'd'});
    ActingUi ui;
    ui.when = "a.txt";
    ui.act = [&] {
        test::write_host_file(f.dir.host("out/x/late.txt"), {'t', 'h', 'e', 'i', 'r', 's'});
        test::write_host_file(f.dir.host("out/x/LATE2.txt"), {'t', 'w', 'o'});
    };
    ui.answers.assign({kAnswerYes});
    f.z.ui = &ui;
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), 0);
    EXPECT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.progress.calls_starting("AddWarning").size(), 1u);
    EXPECT_EQ(f.z.warnings, 1u);
    EXPECT_EQ(f.read("x/late.txt"), "theirs");
    EXPECT_EQ(f.read("x/LATE2.txt"), "two");
    EXPECT_EQ(f.read("x/late2.txt"), "ours2");
    EXPECT_EQ(f.read("x/a.txt") + f.read("x/b.txt") + f.read("x/after.txt"), "ABafter");
}

// The folder the job made for earlier members is moved or removed by
// another process: the next members make it again, nothing follows it.
TEST(ExtractNames, FolderMovedOrRemovedMidJobIsMadeAgain) {
    for (bool remove : {false, true}) {
        Fixture f({stored("d/a.txt", "A"), stored("d/b.txt", "B"), stored("d/c.txt", "C")});
        ASSERT_EQ(mkdir(f.dir.host("out/d").c_str(), 0755), 0);
    f.dir.write("out/d/b.txt", Bytes{'o', 'l', 'd'});
        ActingUi ui;
        ui.when = "b.txt";
        ui.act = [&] {
            if (remove) {
                ASSERT_EQ(unlink(f.dir.host("out/d/a.txt").c_str()), 0);
                ASSERT_EQ(unlink(f.dir.host("out/d/b.txt").c_str()), 0);
                ASSERT_EQ(rmdir(f.dir.host("out/d").c_str()), 0);
            } else {
                ASSERT_EQ(rename(f.dir.host("out/d").c_str(), f.dir.host("out/moved").c_str()), 0);
            }
        };
        ui.answers.assign({kAnswerYes});
        f.z.ui = &ui;
        f.list.mark_all(1);
        EXPECT_EQ(f.extract(), 0) << remove;
        EXPECT_EQ(f.z.warnings, 0u) << remove;
        const std::vector<std::string> expected =
            remove ? std::vector<std::string>{"d/b.txt", "d/c.txt"}
                   : std::vector<std::string>{"d/b.txt", "d/c.txt", "moved/a.txt", "moved/b.txt"};
        EXPECT_EQ(files_below(f.dir.host("out")), expected) << remove;
        EXPECT_EQ(f.read("d/b.txt") + f.read("d/c.txt"), "BC") << remove;
        if (!remove) EXPECT_EQ(f.read("moved/a.txt") + f.read("moved/b.txt"), "Aold");
    }
}

} // namespace
#else
namespace {

// Windows makes no links: a link member is skipped with a warning, never
// left as a file holding its target's text.
TEST(ExtractLinks, LinkMemberIsSkippedOnWindows) {
    test::ZipMember link = stored("a", "b.txt");
    link.version_made_by = 0x031E;
    link.external_attributes = 0120777u << 16;
    Fixture f({stored("b.txt", "bee"), link});
    f.list.mark_all(1);
    EXPECT_EQ(f.extract(), 0);
    EXPECT_EQ(f.read("b.txt"), "bee");
    EXPECT_FALSE(f.exists("a"));
    EXPECT_EQ(f.ui.calls_starting("AddWarning"),
              std::vector<std::string>{"AddWarning:Warning: a is a symbolic link, which this "
                                       "system does not restore. It was skipped"});
}

} // namespace

#endif
