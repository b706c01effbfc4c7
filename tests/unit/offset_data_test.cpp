// Archives with data in front of them that their recorded offsets do not
// count (tests/data/offset, made by make_offset.py there, and cases built
// here): the adjusted catalog, listing, testing and extraction, what the
// writing jobs leave, and the cases that must stay refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "ops/add.h"
#include "test_support.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

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

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

const std::string kAdjusted = "do not count the data in front of it. They were adjusted";

// The member texts make_offset.py writes.
std::string text_lines() {
    std::string s;
    char line[64];
    for (int i = 0; i < 200; ++i) {
        std::snprintf(line, sizeof line, "line %04d of a text that deflates well\n", i);
        s += line;
    }
    return s;
}

std::string file_text(const std::string& host_path) {
    const Bytes b = test::read_host_file(host_path);
    return std::string(b.begin(), b.end());
}

// Whether the file holds a local header for name at offset, read from its bytes.
bool local_header_at(const Bytes& file, std::uint64_t offset, const std::string& name) {
    if (offset + 30 + name.size() > file.size()) return false;
    const std::uint8_t* p = file.data() + offset;
    return std::memcmp(p, "PK\x03\x04", 4) == 0 && (p[26] | (p[27] << 8)) == int(name.size()) &&
           std::memcmp(p + 30, name.data(), name.size()) == 0;
}

struct Fixture {
    const char* archive;
    std::uint64_t in_front; // bytes the offsets leave out
    std::vector<std::string> members;
};

const Fixture kFixtures[] = {
    {"stub-not-counted-by-offsets.zip", 100, {"readme.txt", "data/one.bin", "data/two.txt"}},
    // The first archive, 1959 bytes, is all in front of the second.
    {"two-archives-end-to-end.zip", 1959, {"second/notes.txt", "second/raw.bin"}},
    {"zip64-stub-not-counted-by-offsets.zip", 100, {"readme.txt", "last.txt"}},
};

TEST(OffsetData, OpensWithOffsetsMovedAndOneWarning) {
    for (const auto& f : kFixtures) {
        SCOPED_TRACE(f.archive);
        const std::string path = test::data_dos_path(std::string("offset/") + f.archive);
        const Bytes file = test::read_host_file(test::data_host_path(std::string("offset/") + f.archive));
        test::ScriptedResponder answers({}, platform::kIdOk);
        zip z;
        zlist list;
        ASSERT_EQ(open_archive(z, list, path.c_str()), 0);
        EXPECT_EQ(list.offset_adjust, f.in_front);
        EXPECT_EQ(z.warnings, 1u);
        ASSERT_EQ(answers.prompts().size(), 1u);
        EXPECT_NE(answers.prompts()[0].text.find(kAdjusted), std::string::npos);
        ASSERT_EQ(list.count(), f.members.size());
        for (std::size_t i = 0; i < f.members.size(); ++i) {
            EXPECT_EQ(list.entries[i]->name, f.members[i]);
            EXPECT_TRUE(local_header_at(file, list.entries[i]->local_header_offset, f.members[i]))
                << f.members[i] << " at " << list.entries[i]->local_header_offset;
        }
        EXPECT_EQ(list.entries[0]->local_header_offset, f.in_front);
        ASSERT_LT(list.central_directory_offset + 4, file.size());
        EXPECT_EQ(std::memcmp(file.data() + list.central_directory_offset, "PK\x01\x02", 4), 0);
    }
}

TEST(OffsetData, ListTestAndExtractWarnOnceAndReadTheRightBytes) {
    const std::string text = text_lines();
    std::string reversed(text.rbegin(), text.rend());
    std::string one;
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 256; ++c)
            one += static_cast<char>(c);
    std::string raw;
    for (int i = 0; i < 300; ++i)
        raw += "\x01\x02";
    const struct {
        const char* archive;
        std::vector<std::pair<std::string, std::string>> files;
    } cases[] = {
        {"stub-not-counted-by-offsets.zip",
         {{"readme.txt", text}, {"data/one.bin", one}, {"data/two.txt", text.substr(0, 900)}}},
        {"two-archives-end-to-end.zip", {{"second/notes.txt", reversed}, {"second/raw.bin", raw}}},
        {"zip64-stub-not-counted-by-offsets.zip",
         {{"readme.txt", text}, {"last.txt", text.substr(0, 700)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::string archive = test::data_host_path(std::string("offset/") + c.archive);
        CliRun listed = cli({"l", archive});
        EXPECT_EQ(listed.status, 1) << listed.err;
        EXPECT_EQ(count_of(listed.err, kAdjusted), 1u) << listed.err;
        for (const auto& file : c.files)
            EXPECT_NE(listed.out.find(file.first), std::string::npos) << file.first;

        CliRun tested = cli({"t", archive});
        EXPECT_EQ(tested.status, 1) << tested.err;
        EXPECT_EQ(count_of(tested.err, "\n"), 1u) << tested.err;
        EXPECT_EQ(count_of(tested.err, kAdjusted), 1u) << tested.err;

        test::TempDir out;
        CliRun extracted = cli({"x", "-o", out.host(), archive});
        EXPECT_EQ(extracted.status, 1) << extracted.err;
        EXPECT_EQ(count_of(extracted.err, "\n"), 1u) << extracted.err;
        for (const auto& file : c.files)
            EXPECT_EQ(file_text(out.host(file.first)), file.second) << file.first;
    }
}

test::ZipMember member(const std::string& name, std::size_t size, std::uint8_t fill = 'x') {
    test::ZipMember m;
    m.name = name;
    m.data.assign(size, fill);
    return m;
}

Bytes stub_of(std::size_t size) {
    Bytes stub(size);
    for (std::size_t i = 0; i < size; ++i)
        stub[i] = static_cast<std::uint8_t>(i * 7 + 1);
    stub[0] = 'M';
    stub[1] = 'Z';
    return stub;
}

// The end record's fields of an archive without comment, patched in place.
void patch_end_record(Bytes& b, int field_offset, std::uint32_t value, int width) {
    std::size_t at = b.size() - 22 + field_offset;
    for (int i = 0; i < width; ++i)
        b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(OffsetData, OnlyADirectoryThatEndsAtItsRecordAndLeadsToItsMembersIsMoved) {
    const std::vector<test::ZipMember> members = {member("a.txt", 300), member("b.txt", 40)};
    const std::uint32_t directory_size = 2 * (46 + 5);
    test::ZipLayout unadjusted;
    unadjusted.stub = stub_of(100);
    unadjusted.offsets_from_file_start = false;
    test::ZipLayout adjusted = unadjusted;
    adjusted.offsets_from_file_start = true;
    // 100 KiB: the directory and members start in other blocks than their records say.
    test::ZipLayout large = unadjusted;
    large.stub = stub_of(102400);
    const Bytes plain = test::build_zip(members, unadjusted);
    auto with = [&](Bytes b, auto change) {
        change(b);
        return b;
    };
    const struct {
        const char* what;
        Bytes bytes;
        int rc;
        std::uint64_t adjust;
        std::uint32_t warnings;
    } cases[] = {
        {"100-byte stub", plain, 0, 100, 1},
        {"100 KiB stub", test::build_zip(members, large), 0, 102400, 1},
        // Offsets that count the stub (a self-extractor's maker adjusted them) read as ever.
        {"adjusted stub", test::build_zip(members, adjusted), 0, 0, 0},
        {"no stub", test::build_zip(members), 0, 0, 0},
        // A size that lies does not lead to the directory: refused as before.
        {"size says one header less",
         with(plain, [&](Bytes& b) { patch_end_record(b, 12, directory_size - 51, 4); }),
         ZERR_FORMAT, 0, 0},
        {"size says one byte more",
         with(plain, [&](Bytes& b) { patch_end_record(b, 12, directory_size + 1, 4); }),
         ZERR_FORMAT, 0, 0},
        // A directory where its size says, but no member where it then leads.
        {"first local header damaged", with(plain, [](Bytes& b) { b[100 + 2] = 9; }), ZERR_FORMAT,
         0, 0},
        // Data between the directory and the end record, offsets right: as before.
        {"gap before the end record", with(test::build_zip(members), [](Bytes& b) {
             b.insert(b.end() - 22, 8, 'g');
         }),
         0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::ScriptedResponder answers({}, platform::kIdOk);
        zip z;
        zlist list;
        EXPECT_EQ(open_archive(z, list, dir.write("t.zip", c.bytes).c_str()), c.rc);
        EXPECT_EQ(list.offset_adjust, c.adjust);
        EXPECT_EQ(z.warnings, c.warnings);
        EXPECT_EQ(list.count(), c.rc ? 0u : 2u);
        for (const auto& e : list.entries)
            EXPECT_TRUE(local_header_at(c.bytes, e->local_header_offset, e->name)) << e->name;
    }
}

// What a job that writes the archive leaves: the bytes in front kept,
// counted now, and members and directory where the records say.
void expect_counted(const std::string& archive, const Bytes& in_front,
                    const std::vector<std::string>& members) {
    const Bytes after = test::read_host_file(archive);
    ASSERT_GE(after.size(), in_front.size());
    EXPECT_TRUE(std::equal(in_front.begin(), in_front.end(), after.begin()));
    test::ScriptedResponder answers({}, platform::kIdOk);
    zip z;
    zlist list;
    ASSERT_EQ(open_archive(z, list, platform::dos_path_from_host(archive).c_str()), 0);
    EXPECT_EQ(z.warnings, 0u);
    EXPECT_EQ(list.offset_adjust, 0u);
    std::vector<std::string> names;
    for (const auto& e : list.entries) {
        names.push_back(e->name);
        EXPECT_TRUE(local_header_at(after, e->local_header_offset, e->name)) << e->name;
    }
    EXPECT_EQ(names, members);
    ASSERT_FALSE(list.entries.empty());
    EXPECT_EQ(list.entries[0]->local_header_offset, in_front.size());
    CliRun tested = cli({"t", archive});
    EXPECT_EQ(tested.status, 0) << tested.err;
}

TEST(OffsetData, WritingJobsKeepTheDataInFrontAndCountIt) {
    for (const auto& f : kFixtures) {
        const Bytes original =
            test::read_host_file(test::data_host_path(std::string("offset/") + f.archive));
        const Bytes in_front(original.begin(), original.begin() + f.in_front);
        std::vector<std::string> kept(f.members.begin() + 1, f.members.end());
        std::vector<std::string> added = f.members;
        added.push_back("new.txt");
        const struct {
            std::vector<std::string> args; // after the command, before the archive: none
            std::vector<std::string> members;
        } jobs[] = {
            {{"d", "", f.members[0]}, kept},
            {{"a", "", "new.txt"}, added},
            {{"u", "", "new.txt"}, added},
        };
        for (auto job : jobs) {
            SCOPED_TRACE(std::string(f.archive) + ": " + job.args[0]);
            test::TempDir dir;
            const std::string archive = dir.host("a.zip");
            test::write_host_file(archive, original);
            test::write_host_file(dir.host("new.txt"), {'n', 'e', 'w', '\n'});
            const std::string start_dir = platform::current_directory();
            ASSERT_TRUE(platform::set_current_directory(dir.dos("").c_str()));
            job.args[1] = archive;
            CliRun r = cli(job.args);
            platform::set_current_directory(start_dir.c_str());
            // The warning of the open that read the old archive.
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_EQ(count_of(r.err, kAdjusted), 1u) << r.err;
            expect_counted(archive, in_front, job.members);
        }
    }
}

TEST(OffsetData, FreshenOfAViewedMemberCountsTheStub) {
    test::TempDir dir;
    const std::string archive = dir.host("a.zip");
    const Bytes original =
        test::read_host_file(test::data_host_path("offset/stub-not-counted-by-offsets.zip"));
    test::write_host_file(archive, original);
    test::write_host_file(dir.host("two.txt"), {'e', 'd', 'i', 't', 'e', 'd'});
    test::ScriptedResponder answers({}, platform::kIdOk);
    zip z;
    zlist list;
    const std::string dos = platform::dos_path_from_host(archive);
    ASSERT_EQ(open_archive(z, list, dos.c_str()), 0);
    ASSERT_EQ(list.offset_adjust, 100u);
    EXPECT_EQ(freshen_member(z, list, dos.c_str(), "data/two.txt", dir.dos("two.txt").c_str(), 6), 0);
    expect_counted(archive, Bytes(original.begin(), original.begin() + 100),
                   {"readme.txt", "data/one.bin", "data/two.txt"});
    test::TempDir out;
    EXPECT_EQ(cli({"x", "-o", out.host(), archive, "data/two.txt"}).status, 0);
    EXPECT_EQ(file_text(out.host("data/two.txt")), "edited");
}

TEST(OffsetData, CommentChangeKeepsTheRecordedOffsets) {
    for (const auto& f : kFixtures) {
        SCOPED_TRACE(f.archive);
        test::TempDir dir;
        const std::string archive = dir.host("a.zip");
        const Bytes original =
            test::read_host_file(test::data_host_path(std::string("offset/") + f.archive));
        test::write_host_file(archive, original);
        test::write_host_file(dir.host("comment.txt"), {'n', 'e', 'w'});
        CliRun r = cli({"c", "-f", dir.host("comment.txt"), archive});
        EXPECT_EQ(r.status, 1) << r.err;
        // Only the comment length and the comment changed.
        const Bytes after = test::read_host_file(archive);
        ASSERT_EQ(after.size(), original.size() + 3);
        EXPECT_TRUE(std::equal(original.begin(), original.end() - 2, after.begin()));
        EXPECT_EQ(std::string(after.end() - 5, after.end()), std::string("\x03\x00new", 5));
        CliRun tested = cli({"t", archive});
        EXPECT_EQ(tested.status, 1) << tested.err;
        EXPECT_EQ(count_of(tested.err, kAdjusted), 1u) << tested.err;
        EXPECT_NE(cli({"l", archive}).out.find("\nnew\n"), std::string::npos);
    }
}

} // namespace
