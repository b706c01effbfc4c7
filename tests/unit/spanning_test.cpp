#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>

#include "ops/add.h"
#include "ops/extract.h"
#include "ops/flist.h"
#include "ops/spanning.h"
#include "test_support.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

constexpr std::uint64_t kFloppy = 1457664; // a 1.44 MB disk

// A box of floppies for a simulated removable drive A:, each a folder with
// its own serial number; "changing the disk" mounts another one.
struct Floppies {
    std::vector<std::unique_ptr<test::TempDir>> disks;
    std::vector<std::string> labels;
    int in_drive = -1;

    explicit Floppies(int n) {
        for (int i = 0; i < n; ++i) {
            disks.push_back(std::make_unique<test::TempDir>());
            labels.push_back("BLANK");
        }
    }
    ~Floppies() { platform::unmount_drive('A'); }
    bool insert(int i) {
        if (in_drive >= 0) { // keep the label the engine wrote on the disk we take out
            char label[25] = {};
            platform::get_volume_info("A:\\", label, sizeof label, nullptr);
            labels[static_cast<std::size_t>(in_drive)] = label;
        }
        platform::DriveMount m;
        m.host_folder = disks[static_cast<std::size_t>(i)]->host();
        m.type = platform::kDriveRemovable;
        m.label = labels[static_cast<std::size_t>(i)];
        m.serial = 0xD15C0000u + static_cast<std::uint32_t>(i);
        m.capacity = kFloppy;
        in_drive = i;
        return platform::mount_drive('A', m);
    }
    test::ScriptedResponder::Step insert_then_ok(int i) {
        return [this, i](const platform::Prompt&) {
            insert(i);
            return platform::kIdOk;
        };
    }
};

test::Bytes noise(std::size_t n, std::uint32_t seed) {
    test::Bytes b(n);
    for (auto& c : b) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<std::uint8_t>(seed >> 16);
    }
    return b;
}

TEST(Spanning, CreatesASetOfDisksThatReadsBack) {
    Floppies box(3);
    if (!box.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::TempDir src, work, out;
    std::vector<test::Bytes> data = {noise(1000000, 1), noise(900000, 2), test::Bytes(5, 'x')};
    auto files = std::make_unique<flist>();
    files->set_source_folder(src.dos(""));
    for (std::size_t i = 0; i < data.size(); ++i) files->append(src.write("f" + std::to_string(i) + ".bin", data[i]));

    zip z;
    zlist list;
    platform::copy_bounded(z.work_folder, sizeof z.work_folder, work.dos("").c_str());
    z.drive_type = kDriveTypeRemovable;
    z.file_list = files.release();
    // Disk 1 fills up: the user first puts the same disk back, then disk 2.
    test::ScriptedResponder prompts({test::answer(platform::kIdOk), box.insert_then_ok(1)});
    ASSERT_EQ(zip_operation(z, list, nullptr, "A:\\set.zip", kActionCreate, 0, 2), 0);
    ASSERT_EQ(prompts.prompts().size(), 2u);
    for (const auto& p : prompts.prompts()) {
        EXPECT_EQ(p.text, "Insert next disk");
        EXPECT_EQ(p.caption, "Paused");
    }
    test::Bytes disk1 = test::read_host_file(box.disks[0]->host("set.zip"));
    ASSERT_GE(disk1.size(), 4u);
    EXPECT_EQ(disk1[0], 0x50);
    EXPECT_EQ(disk1[2], 0x07);
    EXPECT_EQ(disk1[3], 0x08);
    EXPECT_LE(disk1.size(), kFloppy);
    char label[25];
    platform::get_volume_info("A:\\", label, sizeof label, nullptr);
    EXPECT_STREQ(label, "PKBACK# 002");
    EXPECT_EQ(box.labels[0], "PKBACK# 001");

    // Read back from the last disk, and extract across both.
    zip r;
    zlist rl;
    ASSERT_EQ(open_archive(r, rl, "A:\\set.zip"), 0);
    ASSERT_EQ(rl.count(), 3u);
    EXPECT_EQ(r.last_disk, 1u);
    EXPECT_EQ(rl.entries[0]->disk_number_start, 0u);
    EXPECT_EQ(rl.entries[0]->local_header_offset, 4u);
    EXPECT_EQ(rl.entries[1]->disk_number_start, 0u); // starts on the first disk, ends on the second
    test::ScriptedResponder disks({box.insert_then_ok(0), box.insert_then_ok(1)});
    rl.mark_all(1);
    ASSERT_EQ(extract_files(r, rl, nullptr, "A:\\set.zip", out.dos("").c_str(), 1, 8), 0);
    EXPECT_EQ(r.warnings, 0u);
    ASSERT_EQ(disks.prompts().size(), 2u);
    EXPECT_EQ(disks.prompts()[0].text, "Insert disk # 1 ");
    EXPECT_EQ(disks.prompts()[1].text, "Insert disk # 2 ");
    for (std::size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(test::read_host_file(out.host("f" + std::to_string(i) + ".bin")), data[i]) << i;
}

TEST(Spanning, SmallArchiveStillCarriesLabelAndMarker) {
    Floppies box(1);
    if (!box.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::TempDir src, work;
    auto files = std::make_unique<flist>();
    files->set_source_folder(src.dos(""));
    files->append(src.write("a.txt", test::Bytes(10, 'a')));
    zip z;
    zlist list;
    platform::copy_bounded(z.work_folder, sizeof z.work_folder, work.dos("").c_str());
    z.drive_type = kDriveTypeRemovable;
    z.file_list = files.release();
    test::ScriptedResponder prompts;
    ASSERT_EQ(zip_operation(z, list, nullptr, "A:\\one.zip", kActionCreate, 0, 1), 0);
    EXPECT_TRUE(prompts.prompts().empty());
    char label[25];
    platform::get_volume_info("A:\\", label, sizeof label, nullptr);
    EXPECT_STREQ(label, "PKBACK# 001");
    test::Bytes b = test::read_host_file(box.disks[0]->host("one.zip"));
    EXPECT_EQ(b[2], 0x07);
    zip r;
    zlist rl;
    ASSERT_EQ(open_archive(r, rl, "A:\\one.zip"), 0);
    EXPECT_EQ(rl.count(), 1u);
}

TEST(Spanning, EraseDiskEmptiesEachDiskFirst) {
    Floppies box(1);
    if (!box.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    box.disks[0]->write("old.txt", test::Bytes(100, 'o'));
    platform::create_directory("A:\\olddir");
    box.disks[0]->write("olddir/inner.txt", test::Bytes(3, 'i'));
    test::TempDir src, work;
    auto files = std::make_unique<flist>();
    files->set_source_folder(src.dos(""));
    files->append(src.write("a.txt", test::Bytes(10, 'a')));
    zip z;
    zlist list;
    platform::copy_bounded(z.work_folder, sizeof z.work_folder, work.dos("").c_str());
    z.drive_type = kDriveTypeRemovable;
    z.file_list = files.release();
    ASSERT_EQ(zip_operation(z, list, nullptr, "A:\\new.zip", kActionCreate, 0, 4), 0);
    std::vector<platform::FindData> left;
    platform::find_files("A:\\*", &left);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "new.zip");
}

// A member is deflated into its temporary file before it goes on the disk:
// noise that grows there is stored instead, and only its own bytes are copied.
TEST(Spanning, DataThatDeflateDoesNotShrinkIsStored) {
    const test::Bytes random = noise(300000, 5);
    std::string lines;
    for (int i = 0; lines.size() < 100000; ++i) lines += "line " + std::to_string(i % 89) + " of the text\r\n";
    const test::Bytes text(lines.begin(), lines.end());
    for (std::uint32_t level : {1u, 6u, 9u}) {
        SCOPED_TRACE(level);
        Floppies box(1);
        if (!box.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
        test::TempDir src, work, out;
        auto files = std::make_unique<flist>();
        files->set_source_folder(src.dos(""));
        files->append(src.write("text.txt", text));
        files->append(src.write("noise.bin", random));
        zip z;
        zlist list;
        platform::copy_bounded(z.work_folder, sizeof z.work_folder, work.dos("").c_str());
        z.drive_type = kDriveTypeRemovable;
        z.file_list = files.release();
        test::ScriptedResponder prompts;
        ASSERT_EQ(zip_operation(z, list, nullptr, "A:\set.zip", kActionCreate, level, 1), 0);
        EXPECT_TRUE(prompts.prompts().empty());
        std::vector<platform::FindData> work_left;
        platform::find_files(work.dos("*").c_str(), &work_left);
        EXPECT_TRUE(work_left.empty());

        zip r;
        zlist rl;
        ASSERT_EQ(open_archive(r, rl, "A:\set.zip"), 0);
        ASSERT_EQ(rl.count(), 2u);
        const zentry& t = *rl.entries[0];
        const zentry& n = *rl.entries[1];
        EXPECT_EQ(t.method, 8);
        EXPECT_LT(t.compressed_size, text.size() / 10);
        EXPECT_EQ(n.method, 0);
        EXPECT_EQ(n.version_needed, 10);
        EXPECT_EQ(n.flags, 0);
        EXPECT_EQ(n.internal_attributes, 0);
        EXPECT_EQ(n.compressed_size, 300000u);
        // Every header carries the 9-byte time block.
        EXPECT_EQ(n.local_header_offset, 4 + 30 + 8 + 9 + t.compressed_size);
        const test::Bytes disk = test::read_host_file(box.disks[0]->host("set.zip"));
        EXPECT_EQ(disk.size(), n.local_header_offset + 30 + 9 + 9 + 300000 + 46 + 8 + 9 + 46 + 9 + 9 + 22);
        rl.mark_all(1);
        ASSERT_EQ(extract_files(r, rl, nullptr, "A:\set.zip", out.dos("").c_str(), 1, 8), 0);
        EXPECT_EQ(test::read_host_file(out.host("noise.bin")), random);
        EXPECT_EQ(test::read_host_file(out.host("text.txt")), text);
    }
}

TEST(Spanning, CancelAtTheNextDiskPromptStops) {
    Floppies box(1);
    if (!box.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::TempDir src, work;
    auto files = std::make_unique<flist>();
    files->set_source_folder(src.dos(""));
    files->append(src.write("big.bin", noise(2000000, 7)));
    zip z;
    zlist list;
    platform::copy_bounded(z.work_folder, sizeof z.work_folder, work.dos("").c_str());
    z.drive_type = kDriveTypeRemovable;
    z.file_list = files.release();
    test::ScriptedResponder prompts({test::answer(platform::kIdCancel)});
    EXPECT_EQ(zip_operation(z, list, nullptr, "A:\\big.zip", kActionCreate, 0, 1), ZERR_CANCEL);
    std::vector<platform::FindData> work_left;
    platform::find_files(work.dos("*").c_str(), &work_left);
    EXPECT_TRUE(work_left.empty());
}

} // namespace
