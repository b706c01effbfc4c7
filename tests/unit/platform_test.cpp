#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "test_support.h"

namespace {

TEST(CopyBounded, NeverOverflows) {
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_TRUE(platform::copy_bounded(buf, sizeof buf, "1234567"));
    EXPECT_STREQ(buf, "1234567");
    EXPECT_FALSE(platform::copy_bounded(buf, sizeof buf, "123456789"));
    EXPECT_STREQ(buf, "1234567");
    EXPECT_TRUE(platform::copy_bounded(buf, sizeof buf, nullptr));
    EXPECT_STREQ(buf, "");
}

TEST(DosTime, ConvertsWithoutTimeZoneAndClampsToTheDosRange) {
    const struct {
        std::int64_t unix_seconds;
        std::uint16_t date, time;
    } cases[] = {
        {315532800, 0x0021, 0x0000},            // 1980-01-01 00:00:00
        {1549350518, 0x4E45, 0x3913},           // 2019-02-05 07:08:38
        {951868799, 0x285D, 0xBF7D},            // 2000-02-29 23:59:59 (odd second dropped)
        {0, 0x0021, 0x0000},                    // before 1980: the first DOS day
        {4354819199, 0xFF9F, 0xBF7D},           // 2107-12-31 23:59:58
        {5000000000, 0xFF9F, 0xBF7D},           // after 2107: the last DOS second
    };
    for (const auto& c : cases) {
        platform::DosTime t = platform::dos_time_from_unix(c.unix_seconds);
        EXPECT_EQ(t.date, c.date) << c.unix_seconds;
        EXPECT_EQ(t.time, c.time) << c.unix_seconds;
    }
    platform::DosTime t{0x4E45, 0x3913};
    EXPECT_EQ(platform::unix_from_dos_time(t), 1549350518);
    platform::DosFields f = platform::split_dos_time(t);
    EXPECT_EQ(f.year, 2019);
    EXPECT_EQ(f.month, 2);
    EXPECT_EQ(f.day, 5);
    EXPECT_EQ(f.hour, 7);
    EXPECT_EQ(f.minute, 8);
    EXPECT_EQ(f.second, 38);
}

TEST(Files, WriteReadSeekTimesAndAttributes) {
    test::TempDir dir;
    std::string path = dir.dos("f.bin");
    {
        platform::ScopedFile f(platform::create_file(path.c_str()));
        ASSERT_TRUE(f.valid());
        std::uint32_t n = 0;
        ASSERT_TRUE(platform::write_file(f.get(), "hello world", 11, &n));
        EXPECT_EQ(n, 11u);
        ASSERT_TRUE(platform::set_file_time(f.get(), {0x4E45, 0x3913}));
    }
    platform::ScopedFile f(platform::open_read(path.c_str()));
    ASSERT_TRUE(f.valid());
    std::uint32_t size = 0, got = 0;
    ASSERT_TRUE(platform::file_size(f.get(), &size));
    EXPECT_EQ(size, 11u);
    ASSERT_TRUE(platform::seek_file(f.get(), 6));
    char buf[16] = {};
    ASSERT_TRUE(platform::read_file(f.get(), buf, sizeof buf, &got));
    EXPECT_EQ(std::string(buf, got), "world");
    platform::DosTime t;
    ASSERT_TRUE(platform::get_file_time(f.get(), &t));
    EXPECT_EQ(t.date, 0x4E45);
    EXPECT_EQ(t.time, 0x3913);
    f.reset();

    ASSERT_TRUE(platform::set_attributes(path.c_str(), platform::kAttrReadOnly));
    EXPECT_TRUE(platform::get_attributes(path.c_str()) & platform::kAttrReadOnly);
    // Read-only files refuse writers and deletion, as on Windows.
    EXPECT_EQ(platform::open_write(path.c_str()), platform::kInvalidFile);
    EXPECT_FALSE(platform::delete_file(path.c_str()));
    EXPECT_EQ(platform::last_error(), platform::kErrAccessDenied);
    ASSERT_TRUE(platform::set_attributes(path.c_str(), 0));
    EXPECT_TRUE(platform::delete_file(path.c_str()));
    EXPECT_EQ(platform::get_attributes(path.c_str()), platform::kInvalidAttributes);

    EXPECT_EQ(platform::open_read(dir.dos("missing").c_str()), platform::kInvalidFile);
    EXPECT_EQ(platform::last_error(), platform::kErrFileNotFound);
    EXPECT_EQ(platform::create_file(dir.dos("no\\such\\folder.txt").c_str()), platform::kInvalidFile);
    EXPECT_EQ(platform::last_error(), platform::kErrPathNotFound);
}

TEST(Folders, CreateListWithWildcardsAndRemove) {
    test::TempDir dir;
    ASSERT_TRUE(platform::create_directory(dir.dos("Sub").c_str()));
    EXPECT_TRUE(platform::get_attributes(dir.dos("Sub").c_str()) & platform::kAttrDirectory);
    dir.write("Sub/a.TXT", test::Bytes(3));
    dir.write("Sub/b.txt", test::Bytes(4));
    dir.write("Sub/c.bin", test::Bytes(5));
    dir.write("Sub/noext", test::Bytes(1));
    const struct {
        const char* mask;
        const char* names;
    } cases[] = {{"*.txt", "a.TXT b.txt"}, {"?.*", "a.TXT b.txt c.bin"}, {"*.*", "a.TXT b.txt c.bin noext"},
                 {"*", "a.TXT b.txt c.bin noext"}, {"C.BIN", "c.bin"}, {"*.zip", ""}};
    for (const auto& c : cases) {
        std::vector<platform::FindData> found;
        ASSERT_TRUE(platform::find_files((dir.dos("Sub") + "\\" + c.mask).c_str(), &found));
        std::vector<std::string> names;
        for (auto& f : found) names.push_back(f.name);
        std::sort(names.begin(), names.end());
        std::string joined;
        for (auto& n : names) joined += (joined.empty() ? "" : " ") + n;
        EXPECT_EQ(joined, c.names) << c.mask;
    }
    std::vector<platform::FindData> found;
    ASSERT_TRUE(platform::find_files((dir.dos("Sub") + "\\b.txt").c_str(), &found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, 4u);
    EXPECT_FALSE(platform::remove_directory(dir.dos("Sub").c_str())); // not empty
    for (const char* n : {"a.TXT", "b.txt", "c.bin", "noext"}) platform::delete_file(dir.dos(std::string("Sub/") + n).c_str());
    EXPECT_TRUE(platform::remove_directory(dir.dos("Sub").c_str()));
}

TEST(Folders, NamesMatchWithoutRegardToCase) {
    test::TempDir dir;
    dir.write("MixedCase.Txt", test::Bytes(2));
    platform::ScopedFile f(platform::open_read(dir.dos("mixedcase.TXT").c_str()));
    EXPECT_TRUE(f.valid());
}

TEST(SimulatedDrive, CapacityLimitsWritesWithDiskFull) {
    test::TempDir dir;
    platform::DriveMount m;
    m.host_folder = dir.host();
    m.type = platform::kDriveRemovable;
    m.capacity = 1000;
    if (!platform::mount_drive('B', m)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    std::uint64_t free_bytes = 0, total = 0;
    ASSERT_TRUE(platform::get_free_space("B:\\", &free_bytes, &total));
    EXPECT_EQ(free_bytes, 1000u);
    EXPECT_EQ(total, 1000u);
    {
        platform::ScopedFile f(platform::create_file("B:\\big.bin"));
        ASSERT_TRUE(f.valid());
        test::Bytes data(700, 1);
        std::uint32_t n = 0;
        ASSERT_TRUE(platform::write_file(f.get(), data.data(), 700, &n));
        EXPECT_FALSE(platform::write_file(f.get(), data.data(), 700, &n));
        EXPECT_EQ(n, 300u);
        EXPECT_EQ(platform::last_error(), platform::kErrDiskFull);
    }
    ASSERT_TRUE(platform::get_free_space("B:\\", &free_bytes, nullptr));
    EXPECT_EQ(free_bytes, 0u);
    ASSERT_TRUE(platform::set_volume_label("B:\\", "PKBACK# 001"));
    char label[25];
    std::uint32_t serial;
    ASSERT_TRUE(platform::get_volume_info("B:\\", label, sizeof label, &serial));
    EXPECT_STREQ(label, "PKBACK# 001");
    EXPECT_TRUE(platform::logical_drives() & (1u << 1));
    platform::unmount_drive('B');
    EXPECT_FALSE(platform::logical_drives() & (1u << 1));
    EXPECT_EQ(platform::get_drive_type("B:\\"), platform::kDriveNoRoot);
}

TEST(HostPaths, BecomeDosPaths) {
    std::string p = platform::dos_path_from_host(test::data_host_path("zip/../zip/izip_store.zip"));
    ASSERT_GE(p.size(), 3u);
    EXPECT_EQ(p[1], ':');
    EXPECT_EQ(p.find('/'), std::string::npos);
    EXPECT_EQ(p.find(".."), std::string::npos);
    platform::ScopedFile f(platform::open_read(p.c_str()));
    EXPECT_TRUE(f.valid());
}

} // namespace

namespace {

std::uint16_t dos_date(int y, int m, int d) { return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d); }
std::uint16_t dos_clock(int h, int m, int s) { return static_cast<std::uint16_t>((h << 11) | (m << 5) | (s / 2)); }

// DOS fields are local time in the zone of that date. Natively each zone is
// set in turn; under Wine, which takes the zone from TZ when it starts, the
// rows of the zone the run was started in (ctest starts one run per zone
// and names it in ZARVO_TEST_ZONE).
TEST(LocalTime, DosFieldsFollowTheZoneOfTheirDate) {
    const char* kNewYork = "America/New_York";
    const char* kKolkata = "Asia/Kolkata";
    const struct {
        const char* zone;
        std::int64_t utc;
        std::uint16_t date, time;
        bool both_ways; // false: the local time is not the zone's only reading of utc
    } cases[] = {
        {kNewYork, 1705320000, dos_date(2024, 1, 15), dos_clock(7, 0, 0), true},    // winter, UTC-5
        {kNewYork, 1721044800, dos_date(2024, 7, 15), dos_clock(8, 0, 0), true},    // summer, UTC-4
        {kNewYork, 1704074400, dos_date(2023, 12, 31), dos_clock(21, 0, 0), true},  // the evening before
        {kNewYork, 1710055800, dos_date(2024, 3, 10), dos_clock(2, 30, 0), false},  // in the gap: the offset before it
        {kNewYork, 1730611800, dos_date(2024, 11, 3), dos_clock(1, 30, 0), false},  // twice: the first time
        {kKolkata, 1705320000, dos_date(2024, 1, 15), dos_clock(17, 30, 0), true},  // UTC+5:30
        {kKolkata, 1721073600, dos_date(2024, 7, 16), dos_clock(1, 30, 0), true},   // the next day
    };
    test::TempDir dir;
    const std::string path = dir.dos("t.bin");
    int rows = 0;
    for (const char* zone : {kNewYork, kKolkata}) {
#ifdef _WIN32
        const char* tz = std::getenv("ZARVO_TEST_ZONE"); // TZ itself is set to UTC for the C library
        if (!tz || std::strcmp(tz, zone) != 0) continue;
#else
        setenv("TZ", zone, 1);
        tzset();
#endif
        for (const auto& c : cases) {
            if (std::strcmp(c.zone, zone) != 0) continue;
            ++rows;
            SCOPED_TRACE(std::string(zone) + " " + std::to_string(c.utc));
            EXPECT_EQ(platform::unix_from_local_dos_time({c.date, c.time}), c.utc);
            if (!c.both_ways) continue;
            const platform::DosTime t = platform::local_dos_time_from_unix(c.utc);
            EXPECT_EQ(t.date, c.date);
            EXPECT_EQ(t.time, c.time);
            // Through a real file: its UTC time read back as local DOS time, and set from one.
            platform::ScopedFile f(platform::create_file(path.c_str()));
            ASSERT_TRUE(f.valid());
            ASSERT_TRUE(platform::set_file_unix_time(f.get(), c.utc));
            platform::DosTime got;
            ASSERT_TRUE(platform::get_file_time(f.get(), &got));
            EXPECT_EQ(got.date, c.date);
            EXPECT_EQ(got.time, c.time);
            ASSERT_TRUE(platform::set_file_time(f.get(), {c.date, c.time}));
            std::int64_t seconds = 0;
            ASSERT_TRUE(platform::get_file_unix_time(f.get(), &seconds));
            EXPECT_EQ(seconds, c.utc);
        }
    }
#ifndef _WIN32
    setenv("TZ", "UTC", 1);
    tzset();
#endif
    EXPECT_GT(rows, 0) << "started in a zone without rows";
}

} // namespace

#ifndef _WIN32
namespace {

// create_file_below does not rely on the caller having asked link_between:
// a folder link put on the way after that check is not followed either, and
// set_attributes never reaches through a link.
TEST(NoLinkFollowing, CreateBelowAndSetAttributes) {
    test::TempDir dir;
    ASSERT_TRUE(platform::create_directory(dir.dos("dest").c_str()));
    ASSERT_TRUE(platform::create_directory(dir.dos("outside").c_str()));
    ASSERT_EQ(symlink(dir.host("outside").c_str(), dir.host("dest/sub").c_str()), 0);
    std::string dest = dir.dos("dest") + "\\";
    platform::FileHandle h =
        platform::create_file_below(dest.c_str(), dir.dos("dest/sub/x.txt").c_str());
    EXPECT_EQ(h, platform::kInvalidFile);
    platform::close_file(h);
    EXPECT_EQ(platform::last_error(), platform::kErrAccessDenied);
    struct stat st;
    EXPECT_NE(lstat(dir.host("outside/x.txt").c_str(), &st), 0);

    std::string victim = dir.host("outside/victim.txt");
    test::write_host_file(victim, {'v'});
    ASSERT_EQ(chmod(victim.c_str(), 0644), 0);
    ASSERT_EQ(symlink(victim.c_str(), dir.host("dest/v.txt").c_str()), 0);
    EXPECT_FALSE(platform::set_attributes(dir.dos("dest/v.txt").c_str(), platform::kAttrReadOnly));
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// The host name a DOS name comes to, below the temporary folder.
std::string host_name(const test::TempDir& dir, const std::string& name) {
    const std::string host = platform::host_path_for_display(dir.dos(name));
    return host.substr(dir.host().size() + 1);
}

// Within a job the answers are those the file system would give without
// one: an exact name before one in another case, the job's own creations,
// moves and removals seen at once, in any case.
TEST(NameCache, AnswersFollowTheJobsOwnChanges) {
    test::TempDir dir;
    ASSERT_EQ(mkdir(dir.host("Sub").c_str(), 0755), 0);
    dir.write("Sub/foo", test::Bytes(1));
    dir.write("Sub/FOO", test::Bytes(2));
    dir.write("Sub/Keep.txt", test::Bytes(3));
    const platform::NameCacheScope names;
    EXPECT_EQ(host_name(dir, "sub/missing.txt"), "Sub/missing.txt"); // reads Sub whole
    EXPECT_EQ(host_name(dir, "SUB/foo"), "Sub/foo");
    EXPECT_EQ(host_name(dir, "sub/FOO"), "Sub/FOO");
    EXPECT_EQ(host_name(dir, "sub/keep.TXT"), "Sub/Keep.txt");

    platform::ScopedFile made(platform::create_file(dir.dos("Sub/New.Txt").c_str()));
    ASSERT_TRUE(made.valid());
    EXPECT_EQ(host_name(dir, "SUB/NEW.TXT"), "Sub/New.Txt");
    EXPECT_NE(platform::get_attributes(dir.dos("sub/new.txt").c_str()), platform::kInvalidAttributes);

    ASSERT_TRUE(platform::create_directory(dir.dos("sub/Made").c_str()));
    EXPECT_TRUE(platform::get_attributes(dir.dos("SUB/MADE").c_str()) & platform::kAttrDirectory);
    const std::string below = dir.dos("sub/made/x.bin");
    platform::FileHandle h = platform::create_file_below(dir.dos("").c_str(), below.c_str());
    ASSERT_NE(h, platform::kInvalidFile);
    platform::close_file(h);
    EXPECT_EQ(host_name(dir, "SUB/MADE/X.BIN"), "Sub/Made/x.bin");

    ASSERT_TRUE(platform::move_file(dir.dos("sub/keep.txt").c_str(), dir.dos("sub/Moved.txt").c_str()));
    EXPECT_EQ(platform::get_attributes(dir.dos("sub/keep.txt").c_str()), platform::kInvalidAttributes);
    EXPECT_EQ(host_name(dir, "sub/MOVED.TXT"), "Sub/Moved.txt");

    ASSERT_TRUE(platform::delete_file(dir.dos("sub/foo").c_str()));
    EXPECT_EQ(host_name(dir, "sub/Foo"), "Sub/FOO"); // the other one of the same letters
    ASSERT_TRUE(platform::delete_file(dir.dos("sub/MADE/x.bin").c_str()));
    ASSERT_TRUE(platform::remove_directory(dir.dos("sub/made").c_str()));
    EXPECT_EQ(platform::get_attributes(dir.dos("sub/made").c_str()), platform::kInvalidAttributes);
    ASSERT_TRUE(platform::create_directory(dir.dos("sub/MADE").c_str()));
    EXPECT_EQ(host_name(dir, "sub/made/x.bin"), "Sub/MADE/x.bin");
}

// What the job found missing and another process then made: found when it
// has the case asked for (the file system is asked for names the listing
// has not settled), never replaced when the job would create it.
TEST(NameCache, NameMadeBehindTheJobsBackIsNotReplaced) {
    test::TempDir dir;
    ASSERT_EQ(mkdir(dir.host("d").c_str(), 0755), 0);
    dir.write("d/old.txt", test::Bytes(1));
    const platform::NameCacheScope names;
    const std::string dest = dir.dos("d") + "\\";
    EXPECT_EQ(platform::get_attributes(dir.dos("d/late.txt").c_str()), platform::kInvalidAttributes);
    test::write_host_file(dir.host("d/late.txt"), {'t'});
    platform::FileHandle h = platform::create_file_below(dest.c_str(), dir.dos("d/late.txt").c_str());
    EXPECT_EQ(h, platform::kInvalidFile);
    platform::close_file(h);
    EXPECT_EQ(platform::last_error(), 80u);
    EXPECT_EQ(test::read_host_file(dir.host("d/late.txt")), test::Bytes{'t'});
    // The folder is read afresh after that.
    EXPECT_NE(platform::get_attributes(dir.dos("d/LATE.TXT").c_str()), platform::kInvalidAttributes);
}

// A folder the job made and so knows, put back as a link by another
// process: nothing is created through it.
TEST(NameCache, LinkPutInPlaceOfAKnownFolderIsNotFollowed) {
    test::TempDir dir;
    ASSERT_EQ(mkdir(dir.host("outside").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.host("dest").c_str(), 0755), 0);
    const platform::NameCacheScope names;
    ASSERT_TRUE(platform::create_directory(dir.dos("dest/sub").c_str()));
    EXPECT_FALSE(platform::link_between((dir.dos("dest") + "\\").c_str(), dir.dos("dest/sub/x.txt").c_str()));
    ASSERT_EQ(rmdir(dir.host("dest/sub").c_str()), 0);
    ASSERT_EQ(symlink(dir.host("outside").c_str(), dir.host("dest/sub").c_str()), 0);
    platform::FileHandle h =
        platform::create_file_below((dir.dos("dest") + "\\").c_str(), dir.dos("dest/sub/x.txt").c_str());
    EXPECT_EQ(h, platform::kInvalidFile);
    platform::close_file(h);
    EXPECT_EQ(platform::last_error(), platform::kErrAccessDenied);
    struct stat st;
    EXPECT_NE(lstat(dir.host("outside/x.txt").c_str(), &st), 0);
}

} // namespace
#endif

namespace {

// The real drive of the temporary folder, on both builds: a fixed disk whose
// volume can be read; a letter that maps nowhere has no root.
TEST(Drives, TemporaryFolderIsOnAFixedDisk) {
    test::TempDir dir;
    std::string path = dir.dos("x");
    char root[4] = {path[0], ':', '\\', '\0'};
    EXPECT_EQ(platform::get_drive_type(root), platform::kDriveFixed) << path;
    char label[25];
    std::uint32_t serial = 0;
    EXPECT_TRUE(platform::get_volume_info(root, label, sizeof label, &serial)) << path;
    std::uint64_t free_bytes = 0, total = 0;
    EXPECT_TRUE(platform::get_free_space(root, &free_bytes, &total));
    EXPECT_GT(total, 0u);
    EXPECT_TRUE(platform::logical_drives() & (1u << (root[0] - 'A')));
    EXPECT_EQ(platform::get_drive_type("Q:\\"), platform::kDriveNoRoot);
}

} // namespace

TEST(IniFiles, ReadWriteAndKeepOtherLines) {
    test::TempDir dir;
    std::string ini = dir.dos("settings.ini");
    EXPECT_EQ(platform::ini_read_string(ini.c_str(), "Programs", "Viewer", "NOTEPAD.EXE"),
              "NOTEPAD.EXE");
    EXPECT_EQ(platform::ini_read_int(ini.c_str(), "Done", "Pause", 1), 1);
    test::write_host_file(dir.host("settings.ini"),
                          test::Bytes{'[', 'D', 'i', 'r',  'e',  'c',  't', 'o',  'r',
                                      'e', 's', ']', '\r', '\n', 'W',  'o', 'r',  'k',
                                      ' ', '=', ' ', 'C',  ':',  '\\', 'W', '\r', '\n'});
    EXPECT_EQ(platform::ini_read_string(ini.c_str(), "directores", "WORK", ""), "C:\\W");
    ASSERT_TRUE(platform::ini_write_string(ini.c_str(), "Programs", "Viewer", "WRITE.EXE"));
    ASSERT_TRUE(platform::ini_write_string(ini.c_str(), "Done", "Pause", "0"));
    ASSERT_TRUE(platform::ini_write_string(ini.c_str(), "Programs", "Viewer", "VIEW.EXE"));
    ASSERT_TRUE(platform::ini_write_string(ini.c_str(), "Programs", "Installer", "K.EXE"));
    EXPECT_EQ(platform::ini_read_string(ini.c_str(), "Directores", "Work", ""), "C:\\W");
    EXPECT_EQ(platform::ini_read_string(ini.c_str(), "Programs", "Viewer", ""), "VIEW.EXE");
    EXPECT_EQ(platform::ini_read_string(ini.c_str(), "Programs", "Installer", ""), "K.EXE");
    EXPECT_EQ(platform::ini_read_int(ini.c_str(), "Done", "Pause", 1), 0);
    // A value longer than the programs' buffers is cut to fit one.
    std::string long_value(400, 'v');
    ASSERT_TRUE(platform::ini_write_string(ini.c_str(), "Programs", "Viewer", long_value.c_str()));
    EXPECT_EQ(platform::ini_read_string(ini.c_str(), "Programs", "Viewer", "").size(),
              platform::kMaxPath - 1);
}
