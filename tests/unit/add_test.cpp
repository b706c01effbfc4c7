#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ops/add.h"
#include "ops/add_member.h"
#include "ops/extract.h"
#include "ops/flist.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/open_archive.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Records progress, answers questions from a script, and can cancel the job
// at the first file gauge move of a chosen file.
class TestUi : public JobUi {
  public:
    test::RecordingProgress progress;
    std::deque<std::uint32_t> read_only_answers;
    std::vector<std::string> read_only_questions;
    std::int32_t* error = nullptr;
    std::string cancel_on; // SetFile name at which a cancel comes
    bool cancelling = false;

    class Progress : public test::RecordingProgress {
      public:
        TestUi* ui = nullptr;
        void SetFile(const char* name) override {
            RecordingProgress::SetFile(name);
            ui->cancelling = !ui->cancel_on.empty() && std::string(name).find(ui->cancel_on) != std::string::npos;
        }
        void FileProgress(std::uint64_t total, std::uint64_t done) override {
            RecordingProgress::FileProgress(total, done);
            if (ui->cancelling) *ui->error = ZERR_CANCEL;
        }
    } live;

    JobProgress* create_progress(void*, std::int32_t* e, std::uint32_t*) override {
        error = e;
        live.ui = this;
        live.calls.clear();
        return &live;
    }
    void destroy_progress(JobProgress*) override {}
    std::uint32_t confirm_replace(JobProgress*, void*, const char*, const zentry&) override { return kAnswerYesToAll; }
    std::uint32_t confirm_delete_read_only(void*, const char* path) override {
        read_only_questions.push_back(path);
        if (read_only_answers.empty()) return kAnswerCancel;
        std::uint32_t a = read_only_answers.front();
        read_only_answers.pop_front();
        return a;
    }
    std::vector<std::string> calls(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : live.calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
};

// A work area: sources under src\, the archive, a work folder for temporary archives.
struct Area {
    test::TempDir dir;
    zip z;
    zlist list;
    TestUi ui;
    std::string archive;

    Area() {
        archive = dir.dos("a.zip");
        platform::create_directory(dir.dos("src").c_str());
        platform::create_directory(dir.dos("work").c_str());
        platform::copy_bounded(z.work_folder, sizeof z.work_folder, dir.dos("work").c_str());
        z.ui = &ui;
    }
    std::string src(const std::string& name, const Bytes& data, std::uint16_t date = 0x4E21, std::uint16_t time = 0x6000) {
        std::string p = dir.write("src/" + name, data);
        platform::ScopedFile f(platform::open_write(p.c_str()));
        platform::set_file_time(f.get(), {date, time});
        return p;
    }
    // Runs a job over the given source paths, stored relative to src\.
    int run(std::uint32_t action, std::vector<std::string> paths, std::uint32_t level = 0, bool delete_sources = false) {
        auto files = std::make_unique<flist>();
        files->set_source_folder(dir.dos("src"));
        files->delete_sources = delete_sources;
        for (auto& p : paths) files->append(p);
        z.file_list = files.release();
        return zip_operation(z, list, nullptr, archive.c_str(), action, level, 0);
    }
    int reopen() { return open_archive(z, list, archive.c_str()); }
    Bytes archive_bytes() const { return test::read_host_file(dir.host("a.zip")); }
    std::string member(const std::string& name) {
        list.mark_all(0);
        for (auto& e : list.entries)
            if (e->name == name) list.mark(e.get());
        std::vector<std::uint8_t> buf(1 << 20);
        z.ui = nullptr;
        int rc = extract_to_memory(z, list, nullptr, archive.c_str(), buf.data(), static_cast<std::uint32_t>(buf.size() - 1));
        z.ui = &ui;
        EXPECT_EQ(rc, 0) << name;
        return std::string(reinterpret_cast<char*>(buf.data()), z.output_count);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (auto& e : list.entries) n.push_back(e->name);
        return n;
    }
    bool work_folder_empty() const {
        std::vector<platform::FindData> found;
        platform::find_files(dir.dos("work\\*").c_str(), &found);
        return found.empty();
    }
};

TEST(StoredName, RelativeOrFull) {
    const struct {
        const char* path;
        int prefix;
        int full;
        const char* name;
    } cases[] = {
        {"C:\\src\\a.txt", 3, 0, "a.txt"},
        {"C:\\src\\sub\\b.txt", 3, 0, "sub/b.txt"},
        {"C:\\src\\sub\\b.txt", 3, 1, "src/sub/b.txt"},
        {"C:\\a.txt", 0, 0, "a.txt"},
        {"C:\\src\\empty\\", 3, 0, "empty/"},
        {"C:\\src", 3, 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(stored_name(c.path, c.prefix, c.full), c.name) << c.path;
}

TEST(AddJob, CreateWritesMembersWithTheirFields) {
    Area a;
    std::string f1 = a.src("one.txt", text("first file"), 0x4E45, 0x3913);
    platform::create_directory(a.dir.dos("src/empty").c_str());
    // The folder's own time, 2019-02-05 07:08:38 UTC.
    ASSERT_TRUE(platform::set_folder_unix_time(a.dir.dos("src/empty").c_str(), 1549350518));
#ifndef _WIN32
    ASSERT_EQ(chmod(a.dir.host("src/one.txt").c_str(), 0640), 0);
    ASSERT_EQ(chmod(a.dir.host("src/empty").c_str(), 0750), 0);
#endif
    ASSERT_EQ(a.run(kActionCreate, {f1, a.dir.dos("src/empty") + "\\"}), 0);
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.names(), (std::vector<std::string>{"one.txt", "empty/"}));
    const zentry& e = *a.list.entries[0];
#ifndef _WIN32
    // Made on Unix: the file's type and mode above its DOS bits (archive).
    EXPECT_EQ(e.version_made_by, 0x0314);
    EXPECT_EQ(e.external_attributes, 0x81A00020u);
#else
    EXPECT_EQ(e.version_made_by, 20);
    EXPECT_EQ(e.external_attributes >> 16, 0u);
#endif
    EXPECT_EQ(e.version_needed, 10);
    EXPECT_EQ(e.method, 0);
    EXPECT_EQ(e.flags, 0);
    EXPECT_EQ(e.internal_attributes, 0);
    EXPECT_EQ(e.date, 0x4E45);
    EXPECT_EQ(e.time, 0x3913);
    EXPECT_EQ(e.crc, test::crc32_of(text("first file")));
    EXPECT_EQ(e.local_header_offset, 0u);
    // The extended-timestamp block: modification time only, 2019-02-05 07:08:38 UTC.
    const std::vector<std::uint8_t> time_block = {0x55, 0x54, 5, 0, 1, 118, 54, 89, 92};
    EXPECT_EQ(e.central_extra, time_block);
    const Bytes bytes = a.archive_bytes(); // the local header of one.txt, then its extra field
    EXPECT_EQ(bytes[28], 9);
    EXPECT_EQ(bytes[29], 0);
    EXPECT_TRUE(std::equal(time_block.begin(), time_block.end(), bytes.begin() + 30 + 7));
    const zentry& folder = *a.list.entries[1];
    EXPECT_TRUE(folder.external_attributes & 0x10);
#ifndef _WIN32
    EXPECT_EQ(folder.version_made_by, 0x0314);
    EXPECT_EQ(folder.external_attributes >> 16, 040750u);
#endif
    EXPECT_EQ(folder.date, 0x4E45);
    EXPECT_EQ(folder.time, 0x3913);
    EXPECT_EQ(folder.central_extra, time_block);
    EXPECT_EQ(folder.uncompressed_size, 0u);
    EXPECT_EQ(folder.method, 0);
    EXPECT_EQ(a.member("one.txt"), "first file");
    EXPECT_EQ(a.ui.calls("SetCaption"), std::vector<std::string>{"SetCaption:Creating new archive"});
}

// Readers differ on whether the block's 32 bits are signed: a time past
// January 2038 is left to the DOS fields, which all of them read alike.
TEST(AddJob, TimeBlockOnlyWhereEveryReaderAgreesOnIt) {
    Area a;
    const std::uint16_t y2037 = ((2037 - 1980) << 9) | (12 << 5) | 31,
                        y2040 = ((2040 - 1980) << 9) | (1 << 5) | 1;
    ASSERT_EQ(a.run(kActionCreate, {a.src("2037.txt", text("a"), y2037, 0x6000),
                                    a.src("2040.txt", text("b"), y2040, 0x6000)}),
              0);
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.names(), (std::vector<std::string>{"2037.txt", "2040.txt"}));
    EXPECT_EQ(a.list.entries[0]->central_extra.size(), 9u);
    EXPECT_TRUE(a.list.entries[1]->central_extra.empty());
    EXPECT_EQ(a.list.entries[1]->date, y2040);
    EXPECT_EQ(a.list.entries[1]->time, 0x6000);
}

TEST(AddJob, CreateWithoutFilesIsNothingToDoAndLeavesNoFile) {
    Area a;
    EXPECT_EQ(a.run(kActionCreate, {}), ZERR_NOTHING);
    EXPECT_EQ(platform::get_attributes(a.archive.c_str()), platform::kInvalidAttributes);
    EXPECT_EQ(a.run(kActionCreate, {a.dir.dos("src/missing.txt")}), ZERR_NOTHING);
    EXPECT_EQ(a.z.warnings, 1u); // can't open it
    EXPECT_EQ(platform::get_attributes(a.archive.c_str()), platform::kInvalidAttributes);
}

TEST(AddJob, AddReplacesWithoutRegardToCaseAndKeepsTheFilesCase) {
    Area a;
    ASSERT_EQ(a.run(kActionCreate, {a.src("readme.txt", text("old")), a.src("other.txt", text("o"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    std::string upper = a.src("README.TXT", text("new text"));
    ASSERT_EQ(a.run(kActionAdd, {upper}), 0);
    EXPECT_EQ(a.ui.calls("SetCaption"), std::vector<std::string>{"SetCaption:Adding files"});
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.names(), (std::vector<std::string>{"other.txt", "README.TXT"})); // kept first, new after
    EXPECT_EQ(a.member("README.TXT"), "new text");
    EXPECT_TRUE(a.work_folder_empty());
}

TEST(AddJob, FreshenComparesDateAndTimeAsOneValue) {
    Area a;
    // Members dated 2019-01-02 12:00.
    ASSERT_EQ(a.run(kActionCreate, {a.src("later_day.txt", text("m1"), 0x4E22, 0x6000),
                                    a.src("earlier_day.txt", text("m2"), 0x4E22, 0x6000),
                                    a.src("same.txt", text("m3"), 0x4E22, 0x6000)}),
              0);
    ASSERT_EQ(a.reopen(), 0);
    std::vector<std::string> files = {
        a.src("later_day.txt", text("newer"), 0x4E23, 0x0000),   // a day later, earlier in the day
        a.src("earlier_day.txt", text("older"), 0x4E21, 0xB800), // a day earlier, later in the day
        a.src("same.txt", text("same"), 0x4E22, 0x6000),
        a.src("not_a_member.txt", text("x"), 0x4F00, 0),
    };
    ASSERT_EQ(a.run(kActionFreshen, files), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.member("later_day.txt"), "newer");
    EXPECT_EQ(a.member("earlier_day.txt"), "m2");
    EXPECT_EQ(a.member("same.txt"), "m3");
    EXPECT_EQ(a.list.count(), 3u);
}

// A member's 0x5455 time is what a file is compared with, in UTC seconds,
// and less than 2 seconds newer is the same (DOS steps are 2 seconds).
TEST(AddJob, FreshenComparesWithTheMembersTimeBlock) {
    Area a;
    // DOS fields a year away from the block's 2019-02-05 07:08:38 UTC: only the block may count.
    std::vector<test::ZipMember> members;
    for (const char* name : {"same.txt", "one_second.txt", "two_seconds.txt", "older.txt"}) {
        test::ZipMember m;
        m.name = name;
        m.data = text("member");
        m.date = 0x4C45;
        m.central_extra = {0x55, 0x54, 5, 0, 1, 118, 54, 89, 92};
        members.push_back(m);
    }
    a.dir.write("a.zip", test::build_zip(members));
    ASSERT_EQ(a.reopen(), 0);
    auto file_at = [&](const std::string& name, std::int64_t seconds) {
        std::string p = a.dir.write("src/" + name, text("file"));
        platform::ScopedFile f(platform::open_write(p.c_str()));
        EXPECT_TRUE(platform::set_file_unix_time(f.get(), seconds));
        return p;
    };
    ASSERT_EQ(a.run(kActionFreshen, {file_at("same.txt", 1549350518), file_at("one_second.txt", 1549350519),
                                     file_at("two_seconds.txt", 1549350520), file_at("older.txt", 1549350000)}),
              0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.member("same.txt"), "member");
    EXPECT_EQ(a.member("one_second.txt"), "member");
    EXPECT_EQ(a.member("two_seconds.txt"), "file");
    EXPECT_EQ(a.member("older.txt"), "member");
}

TEST(AddJob, UpdateWithNothingNewLeavesTheArchiveAlone) {
    Area a;
    std::string f = a.src("a.txt", text("a"));
    ASSERT_EQ(a.run(kActionCreate, {f}), 0);
    ASSERT_EQ(a.reopen(), 0);
    Bytes before = a.archive_bytes();
    EXPECT_EQ(a.run(kActionUpdate, {f}), ZERR_NOTHING);
    EXPECT_EQ(a.archive_bytes(), before);
    EXPECT_TRUE(a.work_folder_empty());
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.run(kActionUpdate, {f, a.src("b.txt", text("b"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.names(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// A self-extractor: 4096 bytes of program in front of the first member.
Bytes sfx_archive() {
    test::ZipMember m1, m2;
    m1.name = "first.txt";
    m1.data = text("first member");
    m2.name = "second.txt";
    m2.data = text("second member");
    test::ZipLayout layout;
    layout.stub.assign(4096, 0xCC);
    layout.stub[0] = 'M';
    layout.stub[1] = 'Z';
    layout.archive_comment = "sfx comment";
    return test::build_zip({m1, m2}, layout);
}

TEST(AddJob, SelfExtractorKeepsItsProgramAndMembersBytes) {
    Area a;
    Bytes original = sfx_archive();
    a.dir.write("a.zip", original);
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.run(kActionAdd, {a.src("third.txt", text("third"))}), 0);
    Bytes now = a.archive_bytes();
    // Program and both members unchanged in front; the new member follows.
    std::size_t kept = 4096 + 2 * 30 + 9 + 10 + 12 + 13;
    ASSERT_GT(now.size(), kept);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(kept), now.begin()));
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.list.comment, "sfx comment");
    EXPECT_EQ(a.member("third.txt"), "third");
    EXPECT_EQ(a.member("first.txt"), "first member");
}

TEST(RemoveJob, KeepsProgramOrderAndMovesTheRestUp) {
    Area a;
    a.dir.write("a.zip", sfx_archive());
    ASSERT_EQ(a.reopen(), 0);
    a.list.mark(a.list.entries[0].get());
    ASSERT_EQ(zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionRemove, 0, 0), 0);
    EXPECT_EQ(a.ui.calls("SetCaption"), std::vector<std::string>{"SetCaption:Removing files"});
    EXPECT_EQ(a.ui.calls("LogResult"), (std::vector<std::string>{"LogResult:Copy:second.txt:0",
                                                                 "LogResult:Replace:" + a.archive + ":0"}));
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.names(), std::vector<std::string>{"second.txt"});
    EXPECT_EQ(a.list.entries[0]->local_header_offset, 4096u);
    Bytes now = a.archive_bytes();
    EXPECT_EQ(now[0], 'M');
    EXPECT_EQ(a.member("second.txt"), "second member");
    EXPECT_EQ(a.list.comment, "sfx comment");
}

TEST(RemoveJob, RemovingEveryMemberStillWritesAnEndRecordWithTheComment) {
    Area a;
    a.dir.write("a.zip", sfx_archive());
    ASSERT_EQ(a.reopen(), 0);
    a.list.mark_all(1);
    ASSERT_EQ(zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionRemove, 0, 0), 0);
    Bytes now = a.archive_bytes();
    ASSERT_EQ(now.size(), 4096u + 22 + 11);
    EXPECT_EQ(now[4096], 'P');
    EXPECT_EQ(now[4096 + 10], 0); // total entries 0
}

// Every way a job can fail leaves the user's archive byte for byte as it was.
TEST(AddJob, FailuresLeaveTheArchiveUntouched) {
    enum Fault { Cancel, BadLocalHeader, DiskFull };
    for (Fault fault : {Cancel, BadLocalHeader, DiskFull}) {
        Area a;
        Bytes original = sfx_archive();
        if (fault == BadLocalHeader) original[4096 + 30 + 9 + 12] ^= 0xFF; // the second local signature
        a.dir.write("a.zip", original);
        ASSERT_EQ(a.reopen(), 0);
        test::TempDir small;
        if (fault == DiskFull) {
            platform::DriveMount m;
            m.host_folder = small.host();
            m.type = platform::kDriveFixed;
            m.capacity = 6000;
            if (!platform::mount_drive('W', m)) continue; // simulated drives: posix build only
            platform::copy_bounded(a.z.work_folder, sizeof a.z.work_folder, "W:\\");
        }
        Bytes big(100000);
        for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
        std::string f = a.src("big.bin", big);
        if (fault == Cancel) a.ui.cancel_on = "big.bin";
        int expected = fault == Cancel ? ZERR_CANCEL : fault == BadLocalHeader ? ZERR_FORMAT : ZERR_DISKFULL;
        EXPECT_EQ(a.run(kActionAdd, {f}), expected) << fault;
        EXPECT_EQ(a.archive_bytes(), original) << fault;
        EXPECT_TRUE(a.work_folder_empty()) << fault;
        if (fault == DiskFull) {
            std::vector<platform::FindData> left;
            platform::find_files("W:\\*", &left);
            EXPECT_TRUE(left.empty());
            platform::unmount_drive('W');
        }
    }
}

// Members large enough that a removal fills and writes out the output
// buffer several times: a failure can strike in the middle of a copy, between
// members or only when the end record leaves.
Bytes multi_megabyte_archive() {
    std::vector<test::ZipMember> members(4);
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i) + ".bin";
        members[i].data.resize(700000 + 1000 * i);
        for (auto& b : members[i].data) {
            x = x * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(x >> 24);
        }
    }
    test::ZipLayout layout;
    layout.stub.assign(5000, 0xCC);
    layout.archive_comment = "kept comment";
    return test::build_zip(members, layout);
}

// A removal either leaves the archive exactly as it was, with the error of
// what stopped it and no temporary file, or gives the old bytes minus the
// member, however its writes are cut into pieces.
TEST(RemoveJob, FailureAtAnyPointOfTheCopyLeavesTheArchiveAsItWas) {
    const Bytes original = multi_megabyte_archive();
    // Where m1 lies in the original, and what the new archive's size is.
    std::uint64_t m1_start = 0, m2_start = 0, m1_central = 0;
    {
        Area probe;
        probe.dir.write("a.zip", original);
        ASSERT_EQ(probe.reopen(), 0);
        ASSERT_EQ(probe.list.count(), 4u);
        m1_start = probe.list.entries[1]->local_header_offset;
        m2_start = probe.list.entries[2]->local_header_offset;
        m1_central = 46 + probe.list.entries[1]->name_length;
    }
    const std::uint64_t new_size = original.size() - (m2_start - m1_start) - m1_central;
    struct Case {
        const char* what;
        std::uint64_t capacity; // of the drive holding the temporary archive; 0: no limit
        const char* cancel_on;
        bool bad_header;
        std::int32_t expected;
    };
    const Case cases[] = {
#ifndef _WIN32 // drives of a set capacity are simulated by the posix platform
        {"disk full at the first write", 3000, "", false, ZERR_DISKFULL},
        {"disk full after the first buffer", 1500000, "", false, ZERR_DISKFULL},
        {"disk full at the end record", new_size - 5, "", false, ZERR_DISKFULL},
        {"exactly room", new_size, "", false, 0},
#endif
        {"no limit", 0, "", false, 0},
        {"cancel while m2 is copied", 0, "m2.bin", false, ZERR_CANCEL},
        {"m3's local header damaged", 0, "", true, ZERR_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Area a;
        Bytes before = original;
        if (c.bad_header) before[m2_start + 700000 + 1000 * 2 + 30 + 6] ^= 0xFF;
        a.dir.write("a.zip", before);
        ASSERT_EQ(a.reopen(), 0);
        test::TempDir small;
        std::string work = a.dir.dos("work");
        if (c.capacity) {
            platform::DriveMount m;
            m.host_folder = small.host();
            m.type = platform::kDriveFixed;
            m.capacity = c.capacity;
            ASSERT_TRUE(platform::mount_drive('W', m));
            work = "W:\\";
        }
        platform::copy_bounded(a.z.work_folder, sizeof a.z.work_folder, work.c_str());
        a.ui.cancel_on = c.cancel_on;
        a.list.mark(a.list.entries[1].get());
        EXPECT_EQ(zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionRemove, 0, 0),
                  c.expected);
        std::vector<platform::FindData> left;
        platform::find_files((platform::with_backslash(work) + "*").c_str(), &left);
        EXPECT_TRUE(left.empty());
        if (c.capacity) platform::unmount_drive('W');
        const Bytes now = a.archive_bytes();
        if (c.expected) {
            EXPECT_TRUE(now == before);
            continue;
        }
        // Stub and m0 in place, the records of m2 and m3 moved up byte for byte.
        ASSERT_EQ(now.size(), new_size);
        auto at = [](const Bytes& b, std::uint64_t offset) {
            return b.begin() + static_cast<std::ptrdiff_t>(offset);
        };
        EXPECT_TRUE(std::equal(at(before, 0), at(before, m1_start), at(now, 0)));
        const std::uint64_t m2_m3_records = 2 * (30 + 6) + 702000 + 703000;
        EXPECT_TRUE(std::equal(at(before, m2_start), at(before, m2_start + m2_m3_records),
                               at(now, m1_start)));
        ASSERT_EQ(a.reopen(), 0);
        EXPECT_EQ(a.names(), (std::vector<std::string>{"m0.bin", "m2.bin", "m3.bin"}));
        EXPECT_EQ(a.list.comment, "kept comment");
        a.list.mark_all(1);
        a.z.ui = nullptr;
        test::ScriptedResponder boxes({}, platform::kIdOk);
        EXPECT_EQ(test_files(a.z, a.list, nullptr, a.archive.c_str()), 0);
        EXPECT_EQ(a.z.warnings, 0u);
    }
}

TEST(AddJob, UnreadableSourceWarnsAndKeepsEverySource) {
    Area a;
    std::string good = a.src("good.txt", text("g"));
    std::string other = a.src("other.txt", text("o"));
    EXPECT_EQ(a.run(kActionCreate, {good, a.dir.dos("src/vanished.txt"), other}, 0, true), 0);
    EXPECT_EQ(a.z.warnings, 1u);
    EXPECT_EQ(a.ui.calls("AddWarning"), std::vector<std::string>{"AddWarning:Warning: Can't open " +
                                                                 a.dir.dos("src/vanished.txt") + ". File was skipped"});
    EXPECT_NE(platform::get_attributes(good.c_str()), platform::kInvalidAttributes);
    EXPECT_NE(platform::get_attributes(other.c_str()), platform::kInvalidAttributes);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.list.count(), 2u);
}

TEST(AddJob, DeleteSourcesAfterACleanJob) {
    Area a;
    platform::create_directory(a.dir.dos("src/sub").c_str());
    std::string f1 = a.src("sub/one.txt", text("1"));
    std::string f2 = a.src("two.txt", text("2"));
    ASSERT_EQ(a.run(kActionCreate, {f1, f2}, 0, true), 0);
    EXPECT_EQ(platform::get_attributes(f1.c_str()), platform::kInvalidAttributes);
    EXPECT_EQ(platform::get_attributes(f2.c_str()), platform::kInvalidAttributes);
    EXPECT_EQ(platform::get_attributes(a.dir.dos("src/sub").c_str()), platform::kInvalidAttributes); // emptied folder
    // The source folder itself, and what lies above it, stay.
    EXPECT_NE(platform::get_attributes(a.dir.dos("src").c_str()), platform::kInvalidAttributes);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.member("sub/one.txt"), "1");
}

TEST(DeleteSources, ReadOnlyAnswers) {
    const struct {
        const char* what;
        std::vector<std::uint32_t> answers;
        const char* gone; // which of a, b, c (all read-only) are deleted
    } cases[] = {
        {"yes to each", {kAnswerYes, kAnswerYes, kAnswerYes}, "abc"},
        {"no keeps one", {kAnswerYes, kAnswerNo, kAnswerYes}, "ac"},
        // Asked for c, then b: Yes to All deletes b and what is not yet
        // answered (a); c, which the user kept, stays.
        {"no then yes to all", {kAnswerNo, kAnswerYesToAll}, "ab"},
        {"cancel keeps all", {kAnswerYes, kAnswerCancel}, ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        flist files;
        files.set_source_folder(dir.dos(""));
        for (const char* n : {"c", "b", "a"}) {
            std::string p = dir.write(n, Bytes{1});
            platform::set_attributes(p.c_str(), platform::kAttrReadOnly);
            files.append(p);
        }
        TestUi ui;
        ui.read_only_answers.assign(c.answers.begin(), c.answers.end());
        deleteSourceFiles(files, &ui);
        std::string gone;
        for (const char* n : {"a", "b", "c"})
            if (platform::get_attributes(dir.dos(n).c_str()) == platform::kInvalidAttributes) gone += n;
        // Asked in descending order of the paths: c, b, a.
        std::string expected = c.gone;
        std::string asked_order;
        for (auto& q : ui.read_only_questions) asked_order += q.back();
        EXPECT_EQ(gone, expected) << c.what << " asked " << asked_order;
    }
}

TEST(ReplaceArchive, ReadOnlyArchiveKeepsOldAndLeavesNewBesideIt) {
    Area a;
    ASSERT_EQ(a.run(kActionCreate, {a.src("a.txt", text("a"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    Bytes before = a.archive_bytes();
    platform::set_attributes(a.archive.c_str(), platform::kAttrReadOnly);
    EXPECT_EQ(a.run(kActionAdd, {a.src("b.txt", text("b"))}), 0);
    EXPECT_EQ(a.z.warnings, 1u);
    EXPECT_EQ(a.archive_bytes(), before);
    std::string left = a.archive + ".zrvnew";
    EXPECT_EQ(a.ui.calls("AddWarning"),
              std::vector<std::string>{"AddWarning:Warning: Can't replace original file. New file left as " + left});
    EXPECT_TRUE(a.work_folder_empty()); // not where the work folder clean-up would take it
    zip z2;
    zlist l2;
    ASSERT_EQ(open_archive(z2, l2, left.c_str()), 0);
    EXPECT_EQ(l2.count(), 2u);
    platform::set_attributes(a.archive.c_str(), 0);
}

TEST(Comment, SetAndEraseInPlace) {
    Area a;
    ASSERT_EQ(a.run(kActionCreate, {a.src("a.txt", text("a"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    platform::copy_bounded(a.z.archive_path, sizeof a.z.archive_path, a.archive.c_str());
    ASSERT_EQ(set_comment(a.z, a.list, "a long first comment", 20), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.list.comment, "a long first comment");
    ASSERT_EQ(set_comment(a.z, a.list, "short", 5), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.list.comment, "short");
    ASSERT_EQ(set_comment(a.z, a.list, nullptr, 0), 0); // no text: removed
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.list.comment_length, 0u);
    EXPECT_EQ(a.member("a.txt"), "a");
}

std::vector<std::string> temporary_files_in(const std::string& dos_folder) {
    std::vector<platform::FindData> found;
    platform::find_files((dos_folder + "\\ZRV*").c_str(), &found);
    std::vector<std::string> names;
    for (const auto& f : found)
        names.push_back(f.name);
    return names;
}

TEST(TemporaryArchive, TwoJobsAtOnceEachKeepTheirOwnMembers) {
    // A damaged member read back without a progress dialog warns in a box.
    test::ScriptedResponder boxes({}, platform::kIdOk);
    Area a, b;
    // One work folder for both: the temporary archives meet there.
    platform::copy_bounded(b.z.work_folder, sizeof b.z.work_folder, a.z.work_folder);
    ASSERT_EQ(a.run(kActionCreate, {a.src("own.txt", text("A-start"))}), 0);
    ASSERT_EQ(b.run(kActionCreate, {b.src("own.txt", text("B-start"))}), 0);
    for (int round = 0; round < 20; ++round) {
        std::string a_text = "A-" + std::to_string(round), b_text = "B-" + std::to_string(round);
        std::vector<std::string> a_src{a.src("own.txt", text(a_text))},
            b_src{b.src("own.txt", text(b_text))};
        int a_rc = -1, b_rc = -1;
        std::thread other([&] { b_rc = b.run(kActionAdd, b_src); });
        a_rc = a.run(kActionAdd, a_src);
        other.join();
        ASSERT_EQ(a_rc, 0) << round;
        ASSERT_EQ(b_rc, 0) << round;
        ASSERT_EQ(a.reopen(), 0);
        ASSERT_EQ(b.reopen(), 0);
        ASSERT_EQ(a.names(), std::vector<std::string>{"own.txt"}) << round;
        ASSERT_EQ(b.names(), std::vector<std::string>{"own.txt"}) << round;
        ASSERT_EQ(a.member("own.txt"), a_text) << round;
        ASSERT_EQ(b.member("own.txt"), b_text) << round;
    }
    EXPECT_TRUE(a.work_folder_empty());
}

TEST(TemporaryArchive, NamesAreNewFilesOnly) {
    test::TempDir dir;
    char first[platform::kMaxPath], second[platform::kMaxPath];
    platform::ScopedFile f1(create_unique_file(dir.dos("").c_str(), first));
    platform::ScopedFile f2(create_unique_file(dir.dos("").c_str(), second));
    ASSERT_TRUE(f1.valid() && f2.valid());
    EXPECT_STRNE(first, second);
    // A folder that is not there gives no file and an empty path.
    char none[platform::kMaxPath] = "x";
    EXPECT_EQ(create_unique_file(dir.dos("missing"), none), platform::kInvalidFile);
    EXPECT_STREQ(none, "");

    // Whatever stands at a name already is never opened.
    test::write_host_file(dir.host("taken"), text("keep"));
    platform::create_directory(dir.dos("folder").c_str());
    for (const char* name : {"taken", "folder"}) {
        EXPECT_EQ(platform::create_new_file(dir.dos(name).c_str()), platform::kInvalidFile) << name;
    }
    EXPECT_EQ(test::read_host_file(dir.host("taken")), text("keep"));
#ifndef _WIN32
    ASSERT_EQ(symlink(dir.host("outside").c_str(), dir.host("dangling").c_str()), 0);
    EXPECT_EQ(platform::create_new_file(dir.dos("dangling").c_str()), platform::kInvalidFile);
    EXPECT_EQ(platform::last_error(), 80u);
    EXPECT_EQ(platform::get_attributes(dir.dos("outside").c_str()), platform::kInvalidAttributes);
#endif
}

TEST(TemporaryArchive, WhatLiesAtTheOldFixedNameNeitherBlocksNorIsTouched) {
    Area a;
    ASSERT_EQ(a.run(kActionCreate, {a.src("a.txt", text("a"))}), 0);
    std::string fixed = a.dir.dos("work\\ZRVTMP.ZIP");
    test::write_host_file(a.dir.host("work/ZRVTMP.ZIP"), text("someone else's"));
    ASSERT_TRUE(platform::set_attributes(fixed.c_str(), platform::kAttrReadOnly));
#ifndef _WIN32
    test::write_host_file(a.dir.host("victim"), text("victim"));
    ASSERT_EQ(symlink(a.dir.host("victim").c_str(), a.dir.host("work/ZRV00000.ZIP").c_str()), 0);
#endif
    EXPECT_EQ(a.run(kActionAdd, {a.src("b.txt", text("b"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(test::read_host_file(a.dir.host("work/ZRVTMP.ZIP")), text("someone else's"));
#ifndef _WIN32
    EXPECT_EQ(test::read_host_file(a.dir.host("victim")), text("victim"));
#endif
    platform::set_attributes(fixed.c_str(), 0);
}

TEST(TemporaryArchive, ACreateThatFailsLeavesNothingUnderTheArchivesName) {
    for (bool existed : {false, true}) {
        Area a;
        if (existed) test::write_host_file(a.dir.host("a.zip"), text("the user's own file"));
        a.ui.cancel_on = "two.bin";
        EXPECT_EQ(a.run(kActionCreate,
                        {a.src("one.bin", Bytes(200000, 1)), a.src("two.bin", Bytes(200000, 2))}),
                  ZERR_CANCEL);
        if (existed)
            EXPECT_EQ(a.archive_bytes(), text("the user's own file"));
        else
            EXPECT_EQ(platform::get_attributes(a.archive.c_str()), platform::kInvalidAttributes);
        EXPECT_TRUE(temporary_files_in(a.dir.dos("")).empty());
        EXPECT_TRUE(a.work_folder_empty());
    }
    // A create that succeeds puts the archive in place and leaves nothing beside it.
    Area b;
    test::write_host_file(b.dir.host("a.zip"), text("replaced when the new one is complete"));
    ASSERT_EQ(b.run(kActionCreate, {b.src("one.bin", Bytes(1000, 1))}), 0);
    ASSERT_EQ(b.reopen(), 0);
    EXPECT_EQ(b.names(), std::vector<std::string>{"one.bin"});
    EXPECT_TRUE(temporary_files_in(b.dir.dos("")).empty());
}

Bytes noise(std::size_t n, std::uint32_t seed) {
    Bytes b(n);
    for (auto& c : b) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<std::uint8_t>(seed >> 16);
    }
    return b;
}

std::uint32_t le(const Bytes& b, std::size_t at, int width) {
    std::uint32_t v = 0;
    for (int i = width; i-- > 0;)
        v = v << 8 | b[at + static_cast<std::size_t>(i)];
    return v;
}

// Noise larger than the window (so deflate writes several blocks before it
// knows the total) grows when deflated: it is stored, in both headers, and
// nothing the deflate wrote stays behind it. Text around it is deflated.
TEST(AddJob, DataThatDeflateDoesNotShrinkIsStored) {
    const Bytes random = noise(200000, 7);
    std::string lines;
    for (int i = 0; lines.size() < 150000; ++i) lines += "line " + std::to_string(i % 97) + " of the text\r\n";
    const struct {
        std::uint32_t level;
        std::uint16_t deflated_flags;
    } cases[] = {{1, 4}, {6, 0}, {9, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        Area a;
        // The noise last, so that a tail left behind it would sit in front of the directory.
        ASSERT_EQ(a.run(kActionCreate, {a.src("text.txt", text(lines)), a.src("noise.bin", random)}, c.level), 0);
        ASSERT_EQ(a.reopen(), 0);
        ASSERT_EQ(a.names(), (std::vector<std::string>{"text.txt", "noise.bin"}));
        const zentry& t = *a.list.entries[0];
        const zentry& n = *a.list.entries[1];
        EXPECT_EQ(n.method, 0);
        EXPECT_EQ(n.version_needed, 10);
        EXPECT_EQ(n.flags, 0);
        EXPECT_EQ(n.internal_attributes, 0);
        EXPECT_EQ(n.compressed_size, 200000u);
        EXPECT_EQ(n.uncompressed_size, 200000u);
        EXPECT_EQ(n.crc, test::crc32_of(random));
        EXPECT_EQ(t.method, 8);
        EXPECT_EQ(t.version_needed, 20);
        EXPECT_EQ(t.flags, c.deflated_flags);
        EXPECT_EQ(t.internal_attributes, 1);
        EXPECT_LT(t.compressed_size, lines.size() / 10);

        const Bytes bytes = a.archive_bytes();
        const std::size_t at = n.local_header_offset;
        // Each local header carries the 9-byte time block: 2019-01-01 12:00:00 UTC.
        ASSERT_EQ(at, 30u + 8 + 9 + t.compressed_size);
        EXPECT_EQ(le(bytes, at + 4, 2), 10u);
        EXPECT_EQ(le(bytes, at + 6, 2), 0u);
        EXPECT_EQ(le(bytes, at + 8, 2), 0u);
        EXPECT_EQ(le(bytes, at + 14, 4), test::crc32_of(random));
        EXPECT_EQ(le(bytes, at + 18, 4), 200000u);
        EXPECT_EQ(le(bytes, at + 28, 2), 9u);
        EXPECT_EQ(le(bytes, at + 39, 2), 0x5455u);
        EXPECT_EQ(le(bytes, at + 41, 2), 5u);
        EXPECT_EQ(le(bytes, at + 43, 1), 1u);
        EXPECT_EQ(le(bytes, at + 44, 4), 1546344000u);
        EXPECT_TRUE(std::equal(random.begin(), random.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + 30 + 9 + 9)));
        EXPECT_EQ(bytes.size(), at + 30 + 9 + 9 + 200000 + 46 + 8 + 9 + 46 + 9 + 9 + 22);
        EXPECT_EQ(a.member("noise.bin"), std::string(random.begin(), random.end()));
        EXPECT_EQ(a.member("text.txt"), lines);
    }
}

// The end record of an archive without comment: its offset and a patch of one field.
void patch_le(Bytes& b, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t last_end_record(const Bytes& b) {
    for (std::size_t i = b.size() - 22 + 1; i-- > 0;)
        if (b[i] == 'P' && b[i + 1] == 'K' && b[i + 2] == 5 && b[i + 3] == 6) return i;
    return b.size();
}

TEST(Comment, WrittenOnlyWhereTheEndRecordWasFoundAndNothingOldStays) {
    const Bytes plain = test::build_zip({{"a.txt", text("alpha")}, {"b.txt", text("beta")}});
    const std::size_t end = plain.size() - 22;
    test::ZipLayout secret;
    secret.archive_comment = "SECRET old comment that must not survive";
    const Bytes commented =
        test::build_zip({{"a.txt", text("alpha")}, {"b.txt", text("beta")}}, secret);
    // A comment holding an end record of its own: readers take the last one.
    Bytes nested = plain;
    {
        Bytes fake(plain.end() - 22, plain.end());
        test::ZipLayout layout;
        layout.archive_comment.assign(fake.begin(), fake.end());
        nested = test::build_zip({{"a.txt", text("alpha")}, {"b.txt", text("beta")}}, layout);
    }
    auto lying_size = [&](std::uint32_t size) {
        Bytes b = plain;
        patch_le(b, end + 12, size, 4);
        return b;
    };
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"honest", plain},
        {"with an old comment", commented},
        {"directory size 0", lying_size(0)},
        {"directory size 0xFFFFFFFF", lying_size(0xFFFFFFFFu)},
        {"directory size too small", lying_size(40)},
        {"second end record in the comment", nested},
    };
    for (const auto& c : cases) {
        for (const std::string& comment : {std::string("new"), std::string()}) {
            test::TempDir dir;
            std::string path = dir.write("c.zip", c.bytes);
            test::ScriptedResponder answers({}, platform::kIdOk); // the lying figures' warning
            zip z;
            zlist list;
            ASSERT_EQ(open_archive(z, list, path.c_str()), 0) << c.what;
            const std::size_t found = last_end_record(c.bytes);
            int rc = comment.empty() ? (z.error = 0, delete_comment(z, list))
                                     : set_comment(z, list, comment.data(),
                                                   static_cast<std::uint32_t>(comment.size()));
            ASSERT_EQ(rc, 0) << c.what;
            Bytes after = test::read_host_file(dir.host("c.zip"));
            // Everything before the end record as it was; the file ends with the new comment.
            ASSERT_EQ(after.size(), found + 22 + comment.size()) << c.what;
            EXPECT_TRUE(std::equal(after.begin(), after.begin() + found, c.bytes.begin()))
                << c.what;
            EXPECT_EQ(std::string(after.end() - comment.size(), after.end()), comment) << c.what;
            EXPECT_EQ(std::search(after.begin(), after.end(), std::begin("SECRET"),
                                  std::end("SECRET") - 1),
                      after.end())
                << c.what;
            zip z2;
            zlist l2;
            ASSERT_EQ(open_archive(z2, l2, path.c_str()), 0) << c.what;
            EXPECT_EQ(l2.count(), 2u) << c.what;
            EXPECT_EQ(l2.comment, comment) << c.what;
        }
    }
}

TEST(Comment, RefusedWhenTheEndRecordIsNoLongerWhereItWasRead) {
    test::TempDir dir;
    std::string path = dir.write("c.zip", test::build_zip({{"a.txt", text("alpha")}}));
    zip z;
    zlist list;
    ASSERT_EQ(open_archive(z, list, path.c_str()), 0);
    // Another program rewrote the archive meanwhile, longer.
    test::ZipLayout layout;
    layout.stub.assign(100, 'S');
    const Bytes changed = test::build_zip({{"a.txt", text("alpha")}}, layout);
    test::write_host_file(dir.host("c.zip"), changed);
    EXPECT_EQ(set_comment(z, list, "new", 3), ZERR_FORMAT);
    EXPECT_EQ(test::read_host_file(dir.host("c.zip")), changed);
    EXPECT_EQ(list.comment_length, 0u); // the catalog still says what the file holds
}

TEST(Writer, OnlyADiskOfASpannedSetStopsAtFourGigabytes) {
    for (bool spanned : {false, true}) {
        SCOPED_TRACE(spanned);
        test::TempDir dir;
        zip z;
        z.output_handle = platform::create_file(dir.dos("x.bin").c_str());
        z.output_position = 0xFFFFFFF0u;
        if (spanned) z.room_check = [](zip&, std::uint32_t) {};
        zentry e;
        e.name = e.stored_name = "name.txt";
        e.name_length = 8;
        write_local_header(z, e);
        z.room_check = nullptr;
        EXPECT_EQ(z.error, spanned ? ZERR_ARCHIVE_SIZE : 0);
        EXPECT_EQ(z.output_position, spanned ? 0xFFFFFFF0ull : 0xFFFFFFF0ull + 38);
        release_job(z);
        EXPECT_EQ(test::read_host_file(dir.host("x.bin")).size(), spanned ? 0u : 38u);
    }
}

TEST(CopyEntry, DataDescriptorsTravelWithTheirMembers) {
    Area a;
    a.dir.write("a.zip", test::read_host_file(test::data_host_path("zip/izip_streamed_dd.zip")));
    ASSERT_EQ(a.reopen(), 0);
    std::string first = a.list.entries[0]->name;
    a.list.mark(a.list.entries[0].get());
    ASSERT_EQ(zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionRemove, 0, 0), 0);
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.list.count(), 2u);
    Bytes now = a.archive_bytes();
    // Every kept member's data is followed by its signed descriptor.
    for (auto& e : a.list.entries) {
        std::size_t at = e->local_header_offset;
        std::size_t end = at + 30 + (now[at + 26] | now[at + 27] << 8) + (now[at + 28] | now[at + 29] << 8) +
                          e->compressed_size;
        ASSERT_LT(end + 16, now.size());
        EXPECT_EQ(now[end], 'P');
        EXPECT_EQ(now[end + 2], 7);
        EXPECT_EQ(now[end + 3], 8);
    }
    a.list.mark_all(1);
    a.z.ui = nullptr;
    test::ScriptedResponder boxes({}, platform::kIdOk);
    EXPECT_EQ(test_files(a.z, a.list, nullptr, a.archive.c_str()), 0);
    EXPECT_EQ(a.z.warnings, 0u);
}

// The flags and name bytes of a member's local header in the archive.
std::uint16_t local_flags_at(const Bytes& archive, const zentry& e) {
    return static_cast<std::uint16_t>(archive[e.local_header_offset + 6] |
                                      (archive[e.local_header_offset + 7] << 8));
}
std::string local_name_at(const Bytes& archive, const zentry& e) {
    const std::size_t at = e.local_header_offset;
    const std::size_t n = archive[at + 26] | (archive[at + 27] << 8);
    return std::string(archive.begin() + at + 30, archive.begin() + at + 30 + n);
}

// A name that is not pure ASCII is written as UTF-8 with bit 11 in both
// headers; an ASCII name gets neither the bit nor anything else new.
TEST(NewNames, NonAsciiNamesAreUtf8WithBitElevenAndAsciiNamesAsBefore) {
    const struct {
        std::string name;
        bool utf8;
    } cases[] = {
        {"plain.txt", false},
        {"caf\xC3\xA9.txt", true},
        {"\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", true},
        {"\xCE\xBA\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1.txt", true},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", true},
        {"\xF0\x9F\x98\x80.txt", true},
    };
    Area a;
    std::vector<std::string> paths;
    for (const auto& c : cases)
        paths.push_back(a.src(c.name, text("data of " + c.name)));
    ASSERT_EQ(a.run(kActionCreate, paths, 6), 0);
    ASSERT_EQ(a.reopen(), 0);
    const Bytes bytes = a.archive_bytes();
    ASSERT_EQ(a.list.count(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const zentry& e = *a.list.entries[i];
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(e.name, cases[i].name);
        EXPECT_EQ(e.stored_name, cases[i].name);
        EXPECT_EQ(e.flags & 0x0800, cases[i].utf8 ? 0x0800 : 0);
        EXPECT_EQ(local_flags_at(bytes, e), e.flags);
        EXPECT_EQ(local_name_at(bytes, e), cases[i].name);
        EXPECT_EQ(e.central_extra_length, 9u); // the time block alone
        EXPECT_EQ(a.member(cases[i].name), "data of " + cases[i].name);
    }
    EXPECT_EQ(a.list.entries[0]->flags, 0); // level 6 sets no level bits either
}

// Add and freshen find the member of a non-ASCII file by its UTF-8 name,
// also when the archive stored it in code page 437.
TEST(NewNames, AddAndFreshenMatchNonAsciiMembersWhateverTheirStoredForm) {
    Area a;
    test::ZipMember m;
    m.name = "caf\x82.txt"; // code page 437
    m.data = text("old");
    m.date = 0x4E21;
    a.dir.write("a.zip", test::build_zip({m}));
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.names(), std::vector<std::string>{"caf\xC3\xA9.txt"});
    ASSERT_EQ(a.run(kActionFreshen, {a.src("caf\xC3\xA9.txt", text("fresh"), 0x5000)}), 0);
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.names(), std::vector<std::string>{"caf\xC3\xA9.txt"});
    EXPECT_EQ(a.member("caf\xC3\xA9.txt"), "fresh");
    EXPECT_EQ(a.list.entries[0]->stored_name, "caf\xC3\xA9.txt");
    ASSERT_EQ(a.run(kActionAdd, {a.src("caf\xC3\xA9.txt", text("added"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.names(), std::vector<std::string>{"caf\xC3\xA9.txt"});
    EXPECT_EQ(a.member("caf\xC3\xA9.txt"), "added");
}

// Members copied by a job keep their stored bytes: a code page 437 name, a
// name with a Unicode Path block and a bit-11 name come out as they were,
// so removing the last member leaves exactly the archive of the others.
TEST(NewNames, CopiedMembersKeepTheirStoredNameBytesAndFlags) {
    std::vector<test::ZipMember> kept(3);
    kept[0].name = "caf\x82.txt";
    kept[1].name = "???.txt";
    kept[1].central_extra = {0x75, 0x70, 14,   0,    1,    0,    0,    0,    0,
                             0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC, 0xE8, 0xAA, 0x9E};
    const std::uint32_t crc = test::crc32_of(text("???.txt"));
    for (int i = 0; i < 4; ++i)
        kept[1].central_extra[5 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    kept[2].name = "\xD0\xBF.txt";
    kept[2].flags = 0x0800;
    for (auto& m : kept)
        m.data = text("bytes of " + m.name);
    std::vector<test::ZipMember> all = kept;
    all.push_back(kept[0]);
    all.back().name = "gone.txt";
    Area a;
    a.dir.write("a.zip", test::build_zip(all));
    ASSERT_EQ(a.reopen(), 0);
    ASSERT_EQ(a.list.entries[1]->name, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
    a.list.mark(a.list.entries[3].get());
    ASSERT_EQ(zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionRemove, 0, 0), 0);
    EXPECT_EQ(a.archive_bytes(), test::build_zip(kept));
}

} // namespace

#ifndef _WIN32
namespace {

// Runs a job on its own thread. A job that blocks on one of the FIFOs is
// released (a writer opens and closes it, so the reader sees its end) and
// the test fails instead of hanging.
int run_guarded(const std::function<int()>& job, const std::vector<std::string>& fifos) {
    auto done = std::async(std::launch::async, job);
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the job blocked on a FIFO";
        while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
            for (const auto& f : fifos) {
                int fd = ::open(f.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) ::close(fd);
            }
        }
    }
    return done.get();
}

std::string not_a_file_warning(const std::string& path) {
    return "AddWarning:Warning: " + path + " is not a file or folder. It was skipped";
}

void expect_unzip_test_passes(const std::string& host_archive) {
    std::string command = "unzip -tqq '" + host_archive + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// A FIFO or a device given as a source used to hang the job on opening it.
// They are skipped with a warning each, the other sources are added, and a
// link counts as what it leads to: a link to a file adds the file's bytes,
// a link to a FIFO is skipped like the FIFO.
TEST(AddSources, FifoDeviceAndLinksGivenDirectly) {
    Area a;
    std::string good = a.src("good.txt", text("good bytes"));
    std::string fifo = a.dir.host("src/pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(symlink(a.dir.host("src/good.txt").c_str(), a.dir.host("src/link.txt").c_str()), 0);
    ASSERT_EQ(symlink(fifo.c_str(), a.dir.host("src/pipe-link").c_str()), 0);
    std::string dev_null = platform::dos_path_from_host("/dev/null");
    // Stored with their full paths, so that /dev/null has a name.
    auto files = std::make_unique<flist>();
    files->full_paths = 1;
    for (const std::string& p : {good, a.dir.dos("src/pipe"), dev_null, a.dir.dos("src/link.txt"),
                                 a.dir.dos("src/pipe-link")})
        files->append(p);
    a.z.file_list = files.release();
    int rc = run_guarded(
        [&] { return zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionCreate, 6, 0); },
        {fifo});
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(a.ui.calls("AddWarning"),
              (std::vector<std::string>{not_a_file_warning(a.dir.dos("src/pipe")),
                                        not_a_file_warning(dev_null),
                                        not_a_file_warning(a.dir.dos("src/pipe-link"))}));
    ASSERT_EQ(a.reopen(), 0);
    std::string good_name = a.dir.host("src/good.txt").substr(1);
    std::string link_name = a.dir.host("src/link.txt").substr(1);
    EXPECT_EQ(a.names(), (std::vector<std::string>{good_name, link_name}));
    EXPECT_EQ(a.member(link_name), "good bytes");
    expect_unzip_test_passes(a.dir.host("a.zip"));
}

// The same for a FIFO met while recursing a folder.
TEST(AddSources, FifoInsideARecursedFolder) {
    Area a;
    platform::create_directory(a.dir.dos("src/tree").c_str());
    platform::create_directory(a.dir.dos("src/tree/sub").c_str());
    a.src("tree/a.txt", text("a"));
    a.src("tree/sub/b.txt", text("b"));
    std::string fifo = a.dir.host("src/tree/sub/pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto files = std::make_unique<flist>();
    files->set_source_folder(a.dir.dos("src"));
    files->recurse = 1;
    ASSERT_TRUE(collectFiles(*files, a.dir.dos("src/tree"), "*.*"));
    a.z.file_list = files.release();
    int rc = run_guarded(
        [&] { return zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionCreate, 6, 0); },
        {fifo});
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(a.ui.calls("AddWarning"),
              std::vector<std::string>{not_a_file_warning(a.dir.dos("src/tree/sub/pipe"))});
    ASSERT_EQ(a.reopen(), 0);
    std::vector<std::string> names = a.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"tree/a.txt", "tree/sub/b.txt"}));
    expect_unzip_test_passes(a.dir.host("a.zip"));
}

// A file name that is not UTF-8 (a host file system in another encoding)
// keeps its bytes, without bit 11 and with a warning; the catalog shows what
// a reader makes of them, so a later add finds the member again.
TEST(NewNames, AFileNameThatIsNotUtf8KeepsItsBytesWithAWarning) {
    Area a;
    const std::string latin1 = "caf\xE9.txt";
    ASSERT_EQ(a.run(kActionCreate, {a.src(latin1, text("latin-1"))}), 0);
    EXPECT_EQ(a.z.warnings, 1u);
    EXPECT_EQ(a.ui.calls("AddWarning"),
              std::vector<std::string>{
                  "AddWarning:Warning: Name " + latin1 +
                  " is not UTF-8. It was stored as it is and will read as code page 437"});
    ASSERT_EQ(a.reopen(), 0);
    const zentry& e = *a.list.entries[0];
    EXPECT_EQ(e.stored_name, latin1);
    EXPECT_EQ(e.flags & 0x0800, 0);
    EXPECT_EQ(e.name, "caf\xCE\x98.txt"); // 0xE9 is Theta in code page 437
    ASSERT_EQ(a.run(kActionAdd, {a.src(latin1, text("again"))}), 0);
    ASSERT_EQ(a.reopen(), 0);
    EXPECT_EQ(a.list.count(), 1u);
    EXPECT_EQ(a.member("caf\xCE\x98.txt"), "again");
}

// A tree with a file, a link to it and a link to a folder, collected with
// recursion and added with or without storing links as links.
struct LinkTree {
    Area a;
    LinkTree() {
        platform::create_directory(a.dir.dos("src/tree").c_str());
        platform::create_directory(a.dir.dos("src/tree/dir").c_str());
        a.src("tree/b.txt", text("bee"));
        a.src("tree/dir/in.txt", text("inside"));
        EXPECT_EQ(chmod(a.dir.host("src/tree/b.txt").c_str(), 0750), 0);
        EXPECT_EQ(symlink("b.txt", a.dir.host("src/tree/lnk").c_str()), 0);
        EXPECT_EQ(symlink("dir", a.dir.host("src/tree/dlink").c_str()), 0);
    }
    int add(bool store_links, std::uint32_t level) {
        auto files = std::make_unique<flist>();
        files->set_source_folder(a.dir.dos("src"));
        files->recurse = 1;
        files->store_links = store_links;
        EXPECT_TRUE(collectFiles(*files, a.dir.dos("src/tree"), "*.*"));
        a.z.file_list = files.release();
        int rc = zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionCreate, level, 0);
        EXPECT_EQ(a.reopen(), 0);
        return rc;
    }
    const zentry* entry(const std::string& name) const {
        for (auto& e : a.list.entries)
            if (e->name == name) return e.get();
        return nullptr;
    }
};

// By default a link is what it leads to: a file's bytes and mode, a
// folder's files. Every member is made on Unix with its mode.
TEST(AddLinks, FollowedByDefault) {
    LinkTree t;
    ASSERT_EQ(t.add(false, 0), 0);
    std::vector<std::string> names = t.a.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"tree/b.txt", "tree/dir/in.txt", "tree/dlink/in.txt",
                                               "tree/lnk"}));
    const zentry* lnk = t.entry("tree/lnk");
    ASSERT_NE(lnk, nullptr);
    EXPECT_EQ(lnk->version_made_by, 0x0314);
    EXPECT_EQ(lnk->external_attributes, 0x81E80020u); // the file's 0750
    EXPECT_EQ(t.a.member("tree/lnk"), "bee");
}

// With the option a link is stored as a link: made on Unix, S_IFLNK|0777,
// its text as data (CRC of the text), deflated like any member when that
// shrinks it; a link to a folder is not walked into.
TEST(AddLinks, StoredAsLinksWithTheOption) {
    const std::string long_target = "deep/" + std::string(300, 'x') + "/file";
    for (std::uint32_t level : {0u, 9u}) {
        LinkTree t;
        ASSERT_EQ(symlink(long_target.c_str(), t.a.dir.host("src/tree/long").c_str()), 0);
        ASSERT_EQ(t.add(true, level), 0) << level;
        std::vector<std::string> names = t.a.names();
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"tree/b.txt", "tree/dir/in.txt", "tree/dlink",
                                                   "tree/lnk", "tree/long"}));
        const struct {
            const char* name;
            std::string text;
            std::uint16_t method;
        } links[] = {
            {"tree/lnk", "b.txt", 0},
            {"tree/dlink", "dir", 0},
            {"tree/long", long_target, static_cast<std::uint16_t>(level ? 8 : 0)},
        };
        for (const auto& l : links) {
            const zentry* e = t.entry(l.name);
            ASSERT_NE(e, nullptr) << l.name;
            EXPECT_EQ(e->version_made_by, 0x0314) << l.name;
            EXPECT_EQ(e->external_attributes, 0xA1FF0020u) << l.name;
            EXPECT_EQ(e->uncompressed_size, l.text.size()) << l.name;
            EXPECT_EQ(e->crc, test::crc32_of(Bytes(l.text.begin(), l.text.end()))) << l.name;
            EXPECT_EQ(e->method, l.method) << l.name;
            EXPECT_EQ(t.a.member(l.name), l.text) << l.name;
        }
        EXPECT_EQ(t.entry("tree/b.txt")->external_attributes, 0x81E80020u);
        expect_unzip_test_passes(t.a.dir.host("a.zip"));
    }
}

// A link given by name is stored as a link even when nothing is at its
// target; without the option it is a file that cannot be opened.
TEST(AddLinks, DanglingLinkGivenByName) {
    for (bool store_links : {true, false}) {
        Area a;
        ASSERT_EQ(symlink("nowhere", a.dir.host("src/dangling").c_str()), 0);
        auto files = std::make_unique<flist>();
        files->set_source_folder(a.dir.dos("src"));
        files->store_links = store_links;
        files->append(a.dir.dos("src/dangling"));
        a.z.file_list = files.release();
        int rc = zip_operation(a.z, a.list, nullptr, a.archive.c_str(), kActionCreate, 6, 0);
        if (store_links) {
            EXPECT_EQ(rc, 0);
            ASSERT_EQ(a.reopen(), 0);
            ASSERT_EQ(a.names(), std::vector<std::string>{"dangling"});
            EXPECT_TRUE(a.list.entries[0]->is_link());
            EXPECT_EQ(a.member("dangling"), "nowhere");
        } else {
            EXPECT_EQ(rc, ZERR_NOTHING);
            EXPECT_EQ(a.ui.calls("AddWarning").size(), 1u);
        }
    }
}

} // namespace
#endif
