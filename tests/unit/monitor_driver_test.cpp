// The real kestril.vxd under Wine: what it reports of changes on drive C:,
// and what it leaves out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "monitor/file_changes.h"
#include "monitor/logging.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"
#include "monitor_support.h"

namespace {

using namespace monitor;

std::string lower(std::string s) {
    platform::lower_case(&s[0]);
    return s;
}

// Records that name something below folder, lowercased.
std::vector<std::string> below(const std::vector<std::string>& records, const std::string& folder) {
    std::vector<std::string> found;
    const std::string prefix = lower(folder) + "\\";
    for (const std::string& r : records)
        if (lower(r).compare(0, prefix.size(), prefix) == 0) found.push_back(lower(r));
    return found;
}

std::set<std::string> asSet(const std::vector<std::string>& v) {
    return {v.begin(), v.end()};
}

class LoggingDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        work = dir.dos("work");
        if (lower(work).compare(0, 3, "c:\\") != 0) GTEST_SKIP() << "temporary folder not on C:";
        std::filesystem::create_directory(dir.host("work"));
        std::filesystem::create_directory(dir.host("Copy"));
        runError = 0;
        test::setPath(programDir, platform::dos_path_from_host(KESTRIL_VXD_DIR));
        test::setPath(logPath, dir.dos("vxdlog"));
        test::setPath(copyDir, dir.dos("Copy"));
        logFile = platform::create_file(logPath);
        ASSERT_NE(logFile, platform::kInvalidFile);
    }
    void TearDown() override {
        if (LoggingState == Running) stopLogging();
        platform::close_file(logFile);
        logFile = platform::kInvalidFile;
        dirchanges.clear();
        filechanges.clear();
    }

    // The driver reports asynchronously: waits until the log holds
    // `records` records (or some seconds have passed) and a moment more,
    // then stops logging and returns the log's records.
    std::vector<std::string> stopWhenLogged(std::uint32_t records) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::uint32_t size = 0;
        while (std::chrono::steady_clock::now() < deadline &&
               (!platform::file_size(logFile, &size) || size < records * kLogRecordSize))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        stopLogging();
        EXPECT_EQ(runError, 0);
        EXPECT_EQ(LoggingState.load(), Stopped);
        platform::close_file(logFile);
        logFile = platform::kInvalidFile;
        return test::logRecords(dir.host("vxdlog"));
    }

    test::TempDir dir;
    std::string work;
};

TEST_F(LoggingDriverTest, ReportsWhatIsCreatedAndWrittenButNotTheMonitorsOwnFiles) {
    dir.write("work/old.txt", test::Bytes(10, 'o'));
    dir.write("work/untouched.txt", test::Bytes(10, 'u'));
    ASSERT_EQ(startLogging(), 0);

    // What an installer does: new folders and files, a file written again.
    std::filesystem::create_directories(dir.host("work/app/bin"));
    dir.write("work/app/bin/tool.exe", test::Bytes(5000, 'x'));
    dir.write("work/app/readme.txt", test::Bytes(100, 'r'));
    dir.write("work/old.txt", test::Bytes(20, 'n'));
    // The monitor's own scratch files.
    dir.write("Copy/win.ini", test::Bytes(10, 'c'));
    const std::set<std::string> expected = {
        lower(dir.dos("work\\app")), lower(dir.dos("work\\app\\bin")),
        lower(dir.dos("work\\app\\bin\\tool.exe")), lower(dir.dos("work\\app\\readme.txt")),
        lower(dir.dos("work\\old.txt"))};

    const std::vector<std::string> records =
        stopWhenLogged(static_cast<std::uint32_t>(expected.size()));
    EXPECT_EQ(asSet(below(records, work)), expected);
    EXPECT_TRUE(below(records, dir.dos("Copy")).empty());
    for (const std::string& r : records)
        EXPECT_NE(lower(r), lower(logPath));

    // And what the results make of it.
    savedlist.clear();
    ASSERT_EQ(readLog(), 0);
    std::vector<std::string> dirs, files;
    for (const DirChange* n = dirchanges.head(); n; n = n->next)
        dirs.push_back(n->path);
    for (const FileChange* n = filechanges.head(); n; n = n->next)
        files.push_back(n->path);
    EXPECT_EQ(asSet(below(dirs, work)), (std::set<std::string>{lower(dir.dos("work\\app")),
                                                               lower(dir.dos("work\\app\\bin"))}));
    EXPECT_EQ(asSet(below(files, work)),
              (std::set<std::string>{lower(dir.dos("work\\app\\bin\\tool.exe")),
                                     lower(dir.dos("work\\app\\readme.txt")),
                                     lower(dir.dos("work\\old.txt"))}));
}

// Paths are UTF-8 in the log, as everywhere in the programs: what a setup
// writes below a folder with a non-ASCII name is logged by that name, also
// where the system code page could spell none of it.
TEST_F(LoggingDriverTest, NonAsciiPathsAreLoggedAsUtf8) {
    ASSERT_EQ(startLogging(), 0);
    const std::string folder =
        "work/\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD0\xB0 caf\xC3\xA9";
    const std::string file = folder + "/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.dll";
    std::filesystem::create_directories(std::filesystem::u8path(dir.host(folder)));
    dir.write(file, test::Bytes(100, 'd'));
    const std::vector<std::string> records = stopWhenLogged(2);
    std::set<std::string> found;
    for (const std::string& r : records)
        if (r.compare(0, work.size() + 1, work + "\\") == 0) found.insert(r);
    EXPECT_EQ(found, (std::set<std::string>{dir.dos(folder), dir.dos(file)}));
}

// Each file is reported once, however often it is written.
TEST_F(LoggingDriverTest, ManyFilesWrittenTwiceArriveOnceEach) {
    ASSERT_EQ(startLogging(), 0);
    std::filesystem::create_directory(dir.host("work/many"));
    std::set<std::string> expected = {lower(dir.dos("work\\many"))};
    for (int i = 0; i < 300; ++i) {
        const std::string name = "work/many/file" + std::to_string(i) + ".dat";
        dir.write(name, test::Bytes(64, 'm'));
        dir.write(name, test::Bytes(128, 'm')); // written again: still one record
        expected.insert(lower(dir.dos("work\\many\\file" + std::to_string(i) + ".dat")));
    }

    const std::vector<std::string> records =
        stopWhenLogged(static_cast<std::uint32_t>(expected.size()));
    const std::vector<std::string> found = below(records, work);
    EXPECT_EQ(found.size(), expected.size());
    EXPECT_EQ(asSet(found), expected);
}

// A monitor that consumes nothing: the driver fills the ring's 128 free
// slots and holds the rest back, overwriting nothing, until slots are
// consumed.
TEST_F(LoggingDriverTest, AFullRingWaitsForTheMonitor) {
    platform::LoggingDriver* driver = platform::logging_driver();
    ASSERT_TRUE(driver->open(programDir));
    platform::SharedMemory memory;
    ASSERT_TRUE(platform::create_shared_memory(sizeof(LogRing), &memory));
    auto* ring = static_cast<LogRing*>(memory.view);
    const platform::EventHandle event = platform::create_event();
    std::atomic<std::int32_t>* status = driver->arm(event, ring);
    ASSERT_NE(status, nullptr);

    std::filesystem::create_directory(dir.host("work/many"));
    std::set<std::string> expected = {lower(dir.dos("work\\many"))};
    for (int i = 0; i < 200; ++i) {
        dir.write("work/many/f" + std::to_string(i), test::Bytes(1, 'm'));
        expected.insert(lower(dir.dos("work\\many\\f" + std::to_string(i))));
    }
    auto waitUntil = [](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    waitUntil([&] { return ring->writeIndex.load() == kLogRingSlots - 1; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ring->writeIndex.load(), kLogRingSlots - 1); // full: slot 0 waits for the monitor
    EXPECT_EQ(status->load(), 1);

    // Consume slot by slot from here, as the log thread would.
    std::vector<std::string> records;
    waitUntil([&] {
        const std::int32_t w = ring->writeIndex.load();
        for (std::int32_t r = ring->readIndex.load(); r != w;) {
            r = (r + 1) % kLogRingSlots;
            records.emplace_back(ring->slots[r]);
            ring->readIndex.store(r);
        }
        return records.size() >= expected.size();
    });
    EXPECT_TRUE(driver->stop());
    EXPECT_TRUE(driver->close());
    EXPECT_TRUE(platform::release_shared_memory(&memory));
    EXPECT_TRUE(platform::close_event(event));

    const std::vector<std::string> found = below(records, work);
    EXPECT_EQ(found.size(), expected.size());
    EXPECT_EQ(asSet(found), expected);
}

} // namespace
