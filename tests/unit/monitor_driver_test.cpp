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
std::set<std::string> below(const std::vector<std::string>& records, const std::string& folder) {
    std::set<std::string> found;
    const std::string prefix = lower(folder) + "\\";
    for (const std::string& r : records)
        if (lower(r).compare(0, prefix.size(), prefix) == 0) found.insert(lower(r));
    return found;
}

// The driver reports asynchronously: waits until the log holds `records`
// records, or some seconds have passed.
void waitForRecords(std::uint32_t records) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::uint32_t size = 0;
    while (std::chrono::steady_clock::now() < deadline &&
           (!platform::file_size(logFile, &size) || size < records * kLogRecordSize))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(LoggingDriverTest, ReportsWhatIsCreatedAndWrittenOnDriveCButNotTheMonitorsOwnFiles) {
    test::TempDir dir;
    const std::string work = dir.dos("work");
    if (lower(work).compare(0, 3, "c:\\") != 0) GTEST_SKIP() << "temporary folder not on C:";
    std::filesystem::create_directory(dir.host("work"));
    std::filesystem::create_directory(dir.host("Copy"));
    dir.write("work/old.txt", test::Bytes(10, 'o'));
    dir.write("work/untouched.txt", test::Bytes(10, 'u'));

    runError = 0;
    test::setPath(programDir, platform::dos_path_from_host(KESTRIL_VXD_DIR));
    test::setPath(logPath, dir.dos("vxdlog"));
    test::setPath(copyDir, dir.dos("Copy"));
    logFile = platform::create_file(logPath);
    ASSERT_NE(logFile, platform::kInvalidFile);
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
    waitForRecords(static_cast<std::uint32_t>(expected.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // anything later still comes

    stopLogging();
    EXPECT_EQ(runError, 0);
    EXPECT_EQ(LoggingState.load(), Stopped);
    platform::close_file(logFile);
    logFile = platform::kInvalidFile;

    const std::vector<std::string> records = test::logRecords(dir.host("vxdlog"));
    EXPECT_EQ(below(records, dir.dos("work")), expected);
    EXPECT_TRUE(below(records, dir.dos("Copy")).empty());
    for (const std::string& r : records)
        EXPECT_NE(lower(r), lower(logPath));

    // And what the results make of it.
    savedlist.clear();
    ASSERT_EQ(readLog(), 0);
    std::set<std::string> dirs, files;
    for (const DirChange* n = dirchanges.head(); n; n = n->next)
        if (below({n->path}, dir.dos("work")).size()) dirs.insert(n->path);
    for (const FileChange* n = filechanges.head(); n; n = n->next)
        if (below({n->path}, dir.dos("work")).size()) files.insert(n->path);
    EXPECT_EQ(dirs, (std::set<std::string>{lower(dir.dos("work\\app")),
                                           lower(dir.dos("work\\app\\bin"))}));
    EXPECT_EQ(files, (std::set<std::string>{lower(dir.dos("work\\app\\bin\\tool.exe")),
                                            lower(dir.dos("work\\app\\readme.txt")),
                                            lower(dir.dos("work\\old.txt"))}));
    dirchanges.clear();
    filechanges.clear();
}

} // namespace
