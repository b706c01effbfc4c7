#include <gtest/gtest.h>

#include <cstring>

#include "ops/drives.h"
#include "test_support.h"
#include "zip/input.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

test::ZipMember member(const std::string& name, std::size_t size, std::uint8_t fill = 'x') {
    test::ZipMember m;
    m.name = name;
    m.data.assign(size, fill);
    return m;
}

struct Opened {
    zip z;
    zlist list;
    int rc = 0;
};

void open_bytes(Opened& o, const test::TempDir& dir, const Bytes& bytes) {
    o.rc = open_archive(o.z, o.list, dir.write("t.zip", bytes).c_str());
}

TEST(OpenArchive, ReadsMembersCommentAndEndRecord) {
    test::TempDir dir;
    test::ZipLayout layout;
    layout.archive_comment = "line one\r\nline two";
    auto a = member("Dir/File.TXT", 10);
    a.comment = "first";
    a.external_attributes = 0x20;
    Opened o;
    open_bytes(o, dir, test::build_zip({a, member("b.bin", 3)}, layout));
    ASSERT_EQ(o.rc, 0);
    ASSERT_EQ(o.list.count(), 2u);
    const zentry& e = *o.list.entries[0];
    EXPECT_EQ(e.name, "Dir/File.TXT"); // separators and case as stored
    EXPECT_EQ(e.comment, "first");
    EXPECT_EQ(e.comment_length, 5u);
    EXPECT_EQ(e.uncompressed_size, 10u);
    EXPECT_EQ(e.crc, test::crc32_of(a.data));
    EXPECT_EQ(e.external_attributes, 0x20u);
    EXPECT_EQ(o.list.entries[1]->local_header_offset, 30u + 12 + 10);
    EXPECT_EQ(o.list.comment, "line one\r\nline two");
    EXPECT_EQ(o.list.total_entries, 2u);
    EXPECT_EQ(o.z.input_handle, platform::kInvalidFile); // closed after reading
    EXPECT_EQ(o.z.input_buffer, nullptr);
    // Sorted by name, case ignored.
    ASSERT_EQ(o.list.sorted.size(), 2u);
    EXPECT_EQ(o.list.sorted[0]->name, "b.bin");
}

TEST(OpenArchive, KeepsTheCatalogSortMode) {
    test::TempDir dir;
    Opened o;
    o.list.sort_mode = kSortSizeDown;
    open_bytes(o, dir, test::build_zip({member("small", 1), member("big", 100), member("mid", 50)}));
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(o.list.sorted[0]->name, "big");
    EXPECT_EQ(o.list.sorted[2]->name, "small");
}

// The end record's signature straddles the boundary between the last block
// and the one before it by 1, 2 or 3 bytes; also exactly at the boundary. The
// same at the start of the eighth block, where the ninth and last block read
// overlaps it.
TEST(OpenArchive, FindsEndSignatureSplitAcrossBlocks) {
    for (std::size_t boundary : {8192u, 65536u}) {
        for (std::size_t k : {0u, 1u, 2u, 3u, 4u}) {
            // Choose the comment so that the signature starts boundary + k bytes before the end.
            test::ZipLayout layout;
            layout.archive_comment.assign(boundary + k - 22, 'c');
            test::TempDir dir;
            Opened o;
            open_bytes(o, dir, test::build_zip({member("a", 100)}, layout));
            EXPECT_EQ(o.rc, 0) << "boundary=" << boundary << " k=" << k;
            EXPECT_EQ(o.list.count(), 1u) << "boundary=" << boundary << " k=" << k;
            EXPECT_EQ(o.list.comment.size(), boundary + k - 22);
        }
    }
}

// The longest comment (65,535 bytes) puts the end record 65,557 bytes before
// the end; one byte more behind it and no end record can be that far back.
TEST(OpenArchive, SearchesAtMost65557BytesFromTheEnd) {
    const struct {
        std::size_t comment;
        std::size_t trailing; // bytes behind the comment
        std::size_t member;
        int rc;
    } cases[] = {
        {40938, 0, 20000, 0},
        {40939, 0, 20000, 0}, // a file shorter than the reach: searched back to its start
        {65535, 0, 20000, 0},
        {65534, 1, 20000, 0},
        {65535, 1, 20000, ZERR_NOEND},
        {65535, 9000, 20000, ZERR_NOEND},
        {65535, 0, 10, 0}, // the record is the file's 89th byte
        {65535, 1, 10, ZERR_NOEND},
    };
    for (const auto& c : cases) {
        test::ZipLayout layout;
        layout.archive_comment.assign(c.comment, 'c');
        Bytes bytes = test::build_zip({member("a", c.member)}, layout);
        bytes.insert(bytes.end(), c.trailing, 't');
        test::TempDir dir;
        Opened o;
        open_bytes(o, dir, bytes);
        EXPECT_EQ(o.rc, c.rc) << c.comment << " + " << c.trailing;
        if (c.rc == 0) EXPECT_EQ(o.list.comment, std::string(c.comment, 'c'));
    }
}

TEST(OpenArchive, SmallFilesAreSearchedWhole) {
    // A small file of exactly 8192 bytes, and one whose end record is its first byte.
    Bytes one = test::build_zip({member("a", 100)});
    Bytes exact = test::build_zip({member("a", 8192 - one.size() + 100)});
    ASSERT_EQ(exact.size(), 8192u);
    test::TempDir dir;
    Opened o;
    open_bytes(o, dir, exact);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.list.count(), 1u);
}

TEST(OpenArchive, BrokenArchivesGiveTheirCodes) {
    Bytes good = test::build_zip({member("a", 100), member("b", 50)});
    Bytes only_end = test::build_zip({});
    test::ZipLayout shifted;
    shifted.central_offset_shift = 100000;
    test::ZipLayout behind;
    behind.central_offset_shift = -1;
    Bytes bad_signature = good;
    bad_signature[good.size() - 22 - 46 - 1 - 46 - 1] ^= 0xFF; // first central header's signature

    const struct {
        const char* what;
        Bytes bytes;
        int rc;
    } cases[] = {
        {"only an end record", only_end, ZERR_FORMAT},
        {"empty file", {}, ZERR_EOF},
        {"shorter than an end record", Bytes{'P', 'K', 5, 6, 0, 0}, ZERR_NOEND},
        {"no end record", Bytes(20000, 'z'), ZERR_NOEND},
        {"directory offset past the end", test::build_zip({member("a", 10)}, shifted), ZERR_FORMAT},
        {"directory offset one byte early", test::build_zip({member("a", 10)}, behind), ZERR_FORMAT},
        {"first central header damaged", bad_signature, ZERR_FORMAT},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        Opened o;
        open_bytes(o, dir, c.bytes);
        EXPECT_EQ(o.rc, c.rc) << c.what;
        EXPECT_EQ(o.z.error, c.rc) << c.what;
        EXPECT_EQ(o.z.input_handle, platform::kInvalidFile) << c.what;
    }
}

TEST(OpenArchive, DirectoryRunningIntoTheEndRecordIsRefused) {
    // The end record claims a directory that starts in the last bytes of the file.
    Bytes b = test::build_zip({member("a", 10)});
    Bytes cut(b.begin(), b.end() - 22);     // drop the end record
    cut.resize(cut.size() - 20);            // and the tail of the central header
    Bytes end_record = {'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, 46, 0, 0, 0};
    std::uint32_t cd = 30 + 1 + 10;
    for (int i = 0; i < 4; ++i) end_record.push_back(static_cast<std::uint8_t>(cd >> (8 * i)));
    end_record.push_back(0);
    end_record.push_back(0);
    cut.insert(cut.end(), end_record.begin(), end_record.end());
    test::TempDir dir;
    Opened o;
    open_bytes(o, dir, cut);
    // The header's name would take the end record's bytes.
    EXPECT_EQ(o.rc, ZERR_NOEND);
    EXPECT_EQ(o.list.count(), 0u);
}

// The end record's fields of an archive without comment, patched in place.
void patch_end_record(Bytes& b, int field_offset, std::uint32_t value, int width) {
    std::size_t at = b.size() - 22 + field_offset;
    for (int i = 0; i < width; ++i)
        b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t central_header_at(const Bytes& b, int index) {
    std::size_t found = 0;
    for (std::size_t i = 0; i + 4 <= b.size(); ++i)
        if (b[i] == 'P' && b[i + 1] == 'K' && b[i + 2] == 1 && b[i + 3] == 2 &&
            found++ == std::size_t(index))
            return i;
    return b.size();
}

TEST(OpenArchive, TheDirectoryIsReadWholeOrRefused) {
    const Bytes three = test::build_zip({member("a", 10), member("b", 20), member("c", 30)});
    const std::uint32_t directory_size = 3 * (46 + 1);
    auto with = [&](auto change) {
        Bytes b = three;
        change(b);
        return b;
    };
    const struct {
        const char* what;
        Bytes bytes;
        int rc;
        std::uint32_t warnings;
    } cases[] = {
        {"intact", three, 0, 0},
        {"second header's signature damaged",
         with([](Bytes& b) { b[central_header_at(b, 1)] = 'X'; }), ZERR_NOEND, 0},
        {"third header's signature damaged",
         with([](Bytes& b) { b[central_header_at(b, 2) + 3] = 9; }), ZERR_NOEND, 0},
        {"count says four", with([](Bytes& b) { patch_end_record(b, 10, 4, 2); }), ZERR_NOEND, 0},
        {"size says one header more",
         with([&](Bytes& b) { patch_end_record(b, 12, directory_size + 47, 4); }), ZERR_NOEND, 0},
        // Lying figures that hide no member are reported, and every member shows.
        {"count says two", with([](Bytes& b) { patch_end_record(b, 10, 2, 2); }), 0, 1},
        {"size says 0", with([](Bytes& b) { patch_end_record(b, 12, 0, 4); }), 0, 1},
        {"size says one byte less",
         with([&](Bytes& b) { patch_end_record(b, 12, directory_size - 1, 4); }), 0, 1},
        // A ZIP64 count must end where the records after the directory begin.
        // ZIP64's markers without a ZIP64 record behind the directory lie too.
        {"count 0xFFFF, directory whole",
         with([](Bytes& b) { patch_end_record(b, 10, 0xFFFF, 2); }), 0, 1},
        {"size 0xFFFFFFFF, directory whole",
         with([](Bytes& b) { patch_end_record(b, 12, 0xFFFFFFFFu, 4); }), 0, 1},
        {"count 0xFFFF, second header damaged", with([](Bytes& b) {
             patch_end_record(b, 10, 0xFFFF, 2);
             b[central_header_at(b, 1)] = 'X';
         }),
         ZERR_NOEND, 0},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::ScriptedResponder answers({}, platform::kIdOk);
        Opened o;
        open_bytes(o, dir, c.bytes);
        EXPECT_EQ(o.rc, c.rc) << c.what;
        EXPECT_EQ(o.z.warnings, c.warnings) << c.what;
        EXPECT_EQ(o.list.count(), c.rc ? 0u : 3u) << c.what;
        EXPECT_EQ(o.list.sorted.size(), c.rc ? 0u : 3u) << c.what;
        if (c.warnings) {
            ASSERT_EQ(answers.prompts().size(), 1u) << c.what;
            EXPECT_EQ(answers.prompts()[0].caption, "Warning");
            EXPECT_EQ(answers.prompts()[0].text.rfind("Warning: The end record of ", 0), 0u)
                << answers.prompts()[0].text;
        }
    }
}

TEST(OpenArchive, DiskNumbersOfAFileOnAFixedDriveDoNotLiftTheBound) {
    // The end record names disk 16384 for the directory; on a fixed drive the
    // file is one disk, and the headers it points at run on past the end
    // record into its comment, where a comment change would cut them off.
    test::TempDir dir;
    Opened o;
    o.rc = open_archive(
        o.z, o.list,
        test::data_dos_path("fuzz-regressions/open-directory-of-another-disk-runs-past-end-record")
            .c_str());
    EXPECT_EQ(o.rc, ZERR_NOEND);
    EXPECT_EQ(o.list.count(), 0u);
}

TEST(OpenArchive, MoreMembersThanA16BitCountHolds) {
    // 65,537 members: writers without ZIP64 store the count modulo 65,536.
    std::vector<test::ZipMember> members(65537);
    for (std::size_t i = 0; i < members.size(); ++i)
        members[i].name = std::to_string(i);
    Bytes b = test::build_zip(members);
    test::TempDir dir;
    test::ScriptedResponder answers({}, platform::kIdOk);
    Opened o;
    open_bytes(o, dir, b);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.list.count(), 65537u);
    EXPECT_EQ(o.list.total_entries, 1u);
    EXPECT_EQ(o.z.warnings, 0u);
}

TEST(OpenArchive, MissingFileAndOverlongPathGive17) {
    test::TempDir dir;
    Opened o;
    EXPECT_EQ(open_archive(o.z, o.list, dir.dos("nothing.zip").c_str()), ZERR_OPEN);
    std::string long_path = "Z:\\" + std::string(400, 'p') + ".zip";
    Opened p;
    EXPECT_EQ(open_archive(p.z, p.list, long_path.c_str()), ZERR_OPEN);
    EXPECT_LT(std::strlen(p.z.archive_path), sizeof p.z.archive_path);
}

TEST(OpenArchive, SelfExtractingArchives) {
    Bytes stub(4096, 0x90);
    stub[0] = 'M';
    stub[1] = 'Z';
    test::ZipLayout adjusted;
    adjusted.stub = stub;
    test::ZipLayout unadjusted = adjusted;
    unadjusted.offsets_from_file_start = false;
    test::TempDir dir;
    Opened a;
    a.rc = open_archive(a.z, a.list, dir.write("a.exe", test::build_zip({member("setup.exe", 500)}, adjusted)).c_str());
    EXPECT_EQ(a.rc, 0);
    ASSERT_EQ(a.list.count(), 1u);
    EXPECT_EQ(a.list.entries[0]->local_header_offset, 4096u);
    EXPECT_EQ(a.z.warnings, 0u);
    // A maker that did not count its stub in the offsets: read, moved, with a warning.
    test::ScriptedResponder answers({}, platform::kIdOk);
    Opened u;
    u.rc = open_archive(u.z, u.list, dir.write("u.exe", test::build_zip({member("setup.exe", 500)}, unadjusted)).c_str());
    EXPECT_EQ(u.rc, 0);
    ASSERT_EQ(u.list.count(), 1u);
    EXPECT_EQ(u.list.entries[0]->local_header_offset, 4096u);
    EXPECT_EQ(u.list.offset_adjust, 4096u);
    EXPECT_EQ(u.z.warnings, 1u);
}

TEST(OpenArchive, LastOfSeveralEndSignaturesWins) {
    // A stored member whose data holds an end record of its own: only the real one counts.
    Bytes inner = test::build_zip({member("inner", 5)});
    test::ZipMember m;
    m.name = "nested.zip";
    m.data = inner;
    test::TempDir dir;
    Opened o;
    open_bytes(o, dir, test::build_zip({m}));
    ASSERT_EQ(o.rc, 0);
    ASSERT_EQ(o.list.count(), 1u);
    EXPECT_EQ(o.list.entries[0]->name, "nested.zip");
}

TEST(BufferedInput, SeekReusesTheBufferedBlockAndReadsAcrossBlocks) {
    Bytes data(3 * 8192 + 100);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    test::TempDir dir;
    zip z;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path, dir.write("d.bin", data).c_str());
    ASSERT_EQ(open_archive_input(z), 0);
    z.input_buffer = allocate_buffer(z, kInputBufferSize);
    z.drive_type = kDriveTypeFixed;

    const std::uint32_t offsets[] = {8190, 8100, 0, 16384, 3 * 8192 + 99, 8191};
    for (std::uint32_t off : offsets) {
        ASSERT_EQ(seek_archive(z, off, 0), 0) << off;
        std::uint8_t got[1] = {};
        read_bytes(z, got, 1);
        ASSERT_EQ(z.error, 0);
        EXPECT_EQ(got[0], data[off]) << off;
    }
    ASSERT_EQ(seek_archive(z, 8000, 0), 0);
    Bytes run(9000);
    read_bytes(z, run.data(), static_cast<std::uint32_t>(run.size()));
    ASSERT_EQ(z.error, 0);
    EXPECT_TRUE(std::equal(run.begin(), run.end(), data.begin() + 8000));

    // Reading past the end of the last disk.
    ASSERT_EQ(seek_archive(z, static_cast<std::uint32_t>(data.size()) - 2, 0), 0);
    std::uint8_t tail[4];
    read_bytes(z, tail, 4);
    EXPECT_EQ(z.error, ZERR_EOF);
    z.error = 0;
    EXPECT_EQ(seek_archive(z, 5 * 8192, 0), ZERR_EOF);
    release_job(z);
}

// ---- Disk sets on a simulated removable drive --------------------------------

struct SpannedSet {
    std::string disk_folder[2];
    SpannedSet() {
        disk_folder[0] = test::data_host_path("zip/spanned_2disks/disk1");
        disk_folder[1] = test::data_host_path("zip/spanned_2disks/disk2");
    }
    bool insert(int disk, const char* label = nullptr) {
        platform::DriveMount m;
        m.host_folder = disk_folder[disk];
        m.type = platform::kDriveRemovable;
        char buf[16];
        std::snprintf(buf, sizeof buf, "PKBACK# %03d", disk + 1);
        m.label = label ? label : buf;
        m.serial = 0x1000u + static_cast<std::uint32_t>(disk);
        return platform::mount_drive('A', m);
    }
    test::ScriptedResponder::Step insert_then_ok(int disk) {
        return [this, disk](const platform::Prompt&) {
            insert(disk);
            return platform::kIdOk;
        };
    }
    ~SpannedSet() { platform::unmount_drive('A'); }
};

TEST(SpannedArchive, OpenedFromTheLastDiskWithoutPrompt) {
    SpannedSet set;
    if (!set.insert(1)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::ScriptedResponder responder;
    Opened o;
    o.rc = open_archive(o.z, o.list, "A:\\spanned.zip");
    ASSERT_EQ(o.rc, 0);
    EXPECT_TRUE(responder.prompts().empty());
    EXPECT_EQ(o.z.drive_type, kDriveTypeRemovable);
    EXPECT_EQ(o.z.current_disk, 1u);
    EXPECT_EQ(o.z.last_disk, 1u);
    ASSERT_EQ(o.list.count(), 3u);
    EXPECT_EQ(o.list.entries[0]->name, "true.bin");
    EXPECT_EQ(o.list.entries[0]->disk_number_start, 0u);
    EXPECT_EQ(o.list.entries[0]->local_header_offset, 4u);
}

TEST(SpannedArchive, AsksForTheLastDiskWhenTheFirstIsInTheDrive) {
    SpannedSet set;
    if (!set.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    // The user presses OK once with the first disk still in, then inserts the last.
    test::ScriptedResponder responder({test::answer(platform::kIdOk), set.insert_then_ok(1)});
    Opened o;
    o.rc = open_archive(o.z, o.list, "A:\\spanned.zip");
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(o.list.count(), 3u);
    EXPECT_EQ(o.z.current_disk, 1u);
    ASSERT_EQ(responder.prompts().size(), 2u);
    for (const auto& p : responder.prompts()) {
        EXPECT_EQ(p.text, "Insert the last disk of the set");
        EXPECT_EQ(p.caption, "Paused");
        EXPECT_EQ(p.style, platform::kMbOkCancel | platform::kMbIconStop);
    }
}

TEST(SpannedArchive, CancelAtTheLastDiskPromptGives8) {
    SpannedSet set;
    if (!set.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::ScriptedResponder responder({test::answer(platform::kIdCancel)});
    Opened o;
    EXPECT_EQ(open_archive(o.z, o.list, "A:\\spanned.zip"), ZERR_CANCEL);
    EXPECT_EQ(o.z.input_handle, platform::kInvalidFile);
}

TEST(SpannedArchive, FirstDiskWithoutSpanLabelIsJustABrokenArchive) {
    SpannedSet set;
    if (!set.insert(0, "DATA")) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::ScriptedResponder responder;
    Opened o;
    EXPECT_EQ(open_archive(o.z, o.list, "A:\\spanned.zip"), ZERR_NOEND);
    EXPECT_TRUE(responder.prompts().empty());
}

TEST(SpannedArchive, MemberDataIsReadAcrossTheDisks) {
    SpannedSet set;
    if (!set.insert(1)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    Opened o;
    ASSERT_EQ(open_archive(o.z, o.list, "A:\\spanned.zip"), 0);
    zentry* e = o.list.entries[1].get();
    ASSERT_EQ(e->name, "rand70k.bin");

    // Seeking the member's local header on disk 0 asks for the first disk; its
    // data runs on into the second disk, which is asked for in turn.
    test::ScriptedResponder responder({set.insert_then_ok(0), set.insert_then_ok(1)});
    zip& z = o.z;
    ASSERT_EQ(open_archive_input(z), 0);
    z.input_buffer = allocate_buffer(z, kInputBufferSize);
    z.current_entry = e;
    ASSERT_EQ(seek_archive(z, e->local_header_offset, e->disk_number_start), 0);
    ASSERT_EQ(read_local_header(z), 0);
    Bytes data(e->compressed_size);
    read_bytes(z, data.data(), e->compressed_size);
    ASSERT_EQ(z.error, 0);
    ASSERT_EQ(responder.prompts().size(), 2u);
    EXPECT_EQ(responder.prompts()[0].text, "Insert disk # 1 ");
    EXPECT_EQ(responder.prompts()[1].text, "Insert disk # 2 ");

    Bytes disk1 = test::read_host_file(set.disk_folder[0] + "/spanned.zip");
    Bytes disk2 = test::read_host_file(set.disk_folder[1] + "/spanned.zip");
    std::size_t start = e->local_header_offset + 30 + e->local_name_length + e->local_extra_length;
    Bytes expected(disk1.begin() + static_cast<std::ptrdiff_t>(start), disk1.end());
    expected.insert(expected.end(), disk2.begin(), disk2.begin() + static_cast<std::ptrdiff_t>(data.size() - expected.size()));
    EXPECT_EQ(data, expected);
    release_job(z);
}

} // namespace
