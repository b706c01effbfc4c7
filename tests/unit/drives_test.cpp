#include <gtest/gtest.h>

#include <cstring>

#include "ops/drives.h"
#include "test_support.h"
#include "zip/zip.h"

namespace {

using platform::DriveMount;

// Mounts a simulated drive for the length of a test (posix build only).
class MountedDrive {
  public:
    MountedDrive(char letter, const DriveMount& m) : letter_(letter) { ok_ = platform::mount_drive(letter, m); }
    ~MountedDrive() {
        if (ok_) platform::unmount_drive(letter_);
    }
    bool ok() const { return ok_; }

  private:
    char letter_;
    bool ok_;
};

DriveMount drive(const std::string& folder, unsigned type, const std::string& label = "", std::uint32_t serial = 0) {
    DriveMount m;
    m.host_folder = folder;
    m.type = type;
    m.label = label;
    m.serial = serial;
    return m;
}

#define REQUIRE_MOUNT(m) \
    if (!(m).ok()) GTEST_SKIP() << "simulated drives exist only in the posix build"

TEST(DriveType, ClassifiesEveryKindAndMissingRoots) {
    test::TempDir dir;
    const struct {
        unsigned platform_type;
        std::uint32_t engine_type;
    } cases[] = {
        {platform::kDriveRemovable, 2}, {platform::kDriveFixed, 3}, {platform::kDriveRemote, 4},
        {platform::kDriveCdRom, 5},     {platform::kDriveRamDisk, 6}, {platform::kDriveUnknown, 0},
    };
    for (const auto& c : cases) {
        MountedDrive m('K', drive(dir.host(), c.platform_type));
        REQUIRE_MOUNT(m);
        zip z;
        EXPECT_EQ(get_drive_type(z, "K:\\a.zip"), c.engine_type);
        EXPECT_EQ(z.drive_type, c.engine_type);
    }
    zip z;
    z.drive_type = 3;
    EXPECT_EQ(get_drive_type(z, "Q:\\nothing\\here.zip"), 0u); // no such drive
    EXPECT_EQ(z.drive_type, 0u);
}

TEST(SpanLabel, NumbersDisksFromTheirLabels) {
    const struct {
        const char* label;
        int span;
        std::uint32_t disk;
    } cases[] = {
        {"PKBACK# 001", 1, 0}, {"PKBACK# 002", 1, 1}, {"PKBACK# 003", 1, 2}, {"PKBACK# 120", 1, 119},
        {"pkback# 003", 0, 0}, {"PKBACK 003", 0, 0},  {"BACKUP", 0, 0},      {"", 0, 0},
    };
    for (const auto& c : cases) {
        zip z;
        platform::copy_bounded(z.volume_label, sizeof z.volume_label, c.label);
        EXPECT_EQ(is_span_label(z), c.span) << c.label;
        EXPECT_EQ(disk_from_label(z), c.disk) << c.label;
    }
}

TEST(VolumeInfo, ReadsLabelAndSerialOrFailsWith32) {
    test::TempDir dir;
    MountedDrive m('K', drive(dir.host(), platform::kDriveRemovable, "PKBACK# 004", 0xABCD1234));
    REQUIRE_MOUNT(m);
    zip z;
    EXPECT_EQ(read_volume_info(z, "K:\\x.zip"), 0);
    EXPECT_STREQ(z.volume_label, "PKBACK# 004");
    EXPECT_EQ(z.volume_serial, 0xABCD1234u);
    EXPECT_EQ(disk_from_label(z), 3u);

    zip missing;
    EXPECT_EQ(read_volume_info(missing, "Q:\\x.zip"), 1);
    EXPECT_EQ(missing.error, ZERR_GETVOL);
}

TEST(VolumeInfo, OverlongLabelIsCutToTheField) {
    test::TempDir dir;
    MountedDrive m('K', drive(dir.host(), platform::kDriveRemovable, std::string(60, 'L')));
    REQUIRE_MOUNT(m);
    zip z;
    EXPECT_EQ(read_volume_info(z, "K:\\x.zip"), 0);
    EXPECT_EQ(std::strlen(z.volume_label), sizeof z.volume_label - 1);
}

TEST(OpenArchiveInput, OpensAndSizesOrReports20) {
    test::TempDir dir;
    zip z;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path, dir.write("a.zip", test::Bytes(1234, 7)).c_str());
    z.bytes_left = 99;
    z.buffer_position = 0;
    EXPECT_EQ(open_archive_input(z), 0);
    EXPECT_NE(z.input_handle, platform::kInvalidFile);
    EXPECT_EQ(z.input_size, 1234u);
    EXPECT_EQ(z.bytes_left, 0); // the buffer never serves a block of an earlier open
    EXPECT_EQ(z.buffer_position, kNoBlock);

    platform::copy_bounded(z.archive_path, sizeof z.archive_path, dir.dos("missing.zip").c_str());
    EXPECT_EQ(open_archive_input(z), ZERR_NOZIP);
    EXPECT_EQ(z.input_handle, platform::kInvalidFile);
    release_job(z);
}

// A removable drive whose disk can be changed by remounting its folder.
struct DiskSet {
    test::TempDir disks[3];
    DiskSet() {
        for (int i = 0; i < 3; ++i) disks[i].write("set.zip", test::Bytes(100 + i, 0));
    }
    bool insert(int disk) {
        char label[16];
        std::snprintf(label, sizeof label, "PKBACK# %03d", disk + 1);
        return platform::mount_drive('A', drive(disks[disk].host(), platform::kDriveRemovable, label, 100u + disk));
    }
    test::ScriptedResponder::Step insert_then_ok(int disk) {
        return [this, disk](const platform::Prompt&) {
            insert(disk);
            return platform::kIdOk;
        };
    }
    ~DiskSet() { platform::unmount_drive('A'); }
};

TEST(AskForDisk, PromptsUntilTheWantedDiskIsInTheDrive) {
    DiskSet set;
    if (!set.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    // First the user just presses OK with the wrong disk still in, then puts in
    // disk 1 (still wrong), then the right one.
    test::ScriptedResponder responder({test::answer(platform::kIdOk), set.insert_then_ok(1), set.insert_then_ok(2)});
    zip z;
    z.drive_type = kDriveTypeRemovable;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path, "A:\\set.zip");
    ask_for_disk(z, 2);
    EXPECT_EQ(z.error, 0);
    EXPECT_EQ(z.current_disk, 2u);
    EXPECT_EQ(z.input_size, 102u); // the file on the third disk
    ASSERT_EQ(responder.prompts().size(), 3u);
    for (const auto& p : responder.prompts()) {
        EXPECT_EQ(p.text, "Insert disk # 3 ");
        EXPECT_EQ(p.caption, "Paused");
        EXPECT_EQ(p.style, platform::kMbOkCancel | platform::kMbIconStop);
        EXPECT_EQ(p.owner, nullptr);
    }
    release_job(z);
}

TEST(AskForDisk, CancelLeavesInputClosedWithError8) {
    DiskSet set;
    if (!set.insert(0)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::ScriptedResponder responder({test::answer(platform::kIdCancel)});
    zip z;
    z.drive_type = kDriveTypeRemovable;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path, "A:\\set.zip");
    ASSERT_EQ(open_archive_input(z), 0);
    ask_for_disk(z, 1);
    EXPECT_EQ(z.error, ZERR_CANCEL);
    EXPECT_EQ(z.input_handle, platform::kInvalidFile);
    EXPECT_EQ(responder.prompts().size(), 1u);
}

TEST(AskForDisk, DiskWithoutSpanLabelCountsAsDiskZero) {
    DiskSet set;
    if (!set.insert(2)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    test::TempDir plain;
    plain.write("set.zip", test::Bytes(5, 0));
    test::ScriptedResponder responder({[&](const platform::Prompt&) {
        platform::mount_drive('A', drive(plain.host(), platform::kDriveRemovable, "MY DISK"));
        return platform::kIdOk;
    }});
    zip z;
    z.drive_type = kDriveTypeRemovable;
    z.current_disk = 2;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path, "A:\\set.zip");
    ask_for_disk(z, 0);
    EXPECT_EQ(z.error, 0);
    EXPECT_EQ(z.current_disk, 0u);
    EXPECT_EQ(z.input_size, 5u);
    EXPECT_EQ(responder.prompts().at(0).text, "Insert disk # 1 ");
    release_job(z);
}

} // namespace
