// A monitored run on the real registry and the real kestril.vxd under Wine:
// the snapshots, the system files, logging while a "setup program"
// (this test) makes keys, values, folders and files, then the stop, the log
// and the comparison. Exactly those changes, and nothing of the monitor's
// own files, must come out.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "monitor/file_changes.h"
#include "monitor/logging.h"
#include "monitor/registry_snapshot.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"
#include "monitor_support.h"
#include "test_support.h"

namespace {

using namespace monitor;

std::string lower(std::string s) {
    platform::lower_case(&s[0]);
    return s;
}

void set_value(platform::RegKey root, const char* path, const char* name, const std::string& text) {
    platform::RegKey key;
    ASSERT_EQ(platform::reg_create(root, path, &key), 0) << path;
    ASSERT_EQ(platform::reg_set_value(key, name, platform::kRegSz, text.c_str(),
                                      static_cast<std::uint32_t>(text.size() + 1)),
              0);
    platform::reg_close(key);
}

// What the "installer" leaves in the registry; removed before and after.
void remove_installed_keys() {
    platform::reg_delete_tree(platform::kHkeyCurrentUser, "Software\\ZarvoMonitoredApp");
    platform::reg_delete_tree(platform::kHkeyLocalMachine, "Software\\Classes\\.zarvomonitored");
    platform::RegKey txt;
    if (platform::reg_open(platform::kHkeyLocalMachine, "Software\\Classes\\.txt", &txt) == 0) {
        platform::reg_delete_value(txt, "ZarvoMonitored");
        platform::reg_close(txt);
    }
}

TEST(MonitoredRun, ExactlyTheInstallersChangesAreFound) {
    test::TempDir dir;
    std::string work = dir.dos("app-root");
    if (lower(work).compare(0, 3, "c:\\") != 0) GTEST_SKIP() << "temporary folder not on C:";
    std::filesystem::create_directory(dir.host("app-root"));
    std::filesystem::create_directory(dir.host("Copy"));
    platform::RegKey classes_txt;
    ASSERT_EQ(
        platform::reg_create(platform::kHkeyLocalMachine, "Software\\Classes\\.txt", &classes_txt),
        0);
    platform::reg_close(classes_txt);
    remove_installed_keys();
    runError = 0;
    regchanges.clear();
    test::setPath(programDir, platform::dos_path_from_host(KESTRIL_VXD_DIR));
    test::setPath(logPath, dir.dos("vxdlog"));
    test::setPath(copyDir, dir.dos("Copy"));
    logFile = platform::create_file(logPath);
    ASSERT_NE(logFile, platform::kInvalidFile);

    // Before the installer: the snapshots, the system files, logging.
    regkey snapshots[kRunSnapshotCount];
    for (int i = 0; i < kRunSnapshotCount; ++i)
        takeSnapshot(snapshots[i], kRunSnapshots[i].root, kRunSnapshots[i].path,
                     kRunSnapshots[i].mode);
    saveSystemFiles();
    ASSERT_EQ(runError, 0);
    ASSERT_EQ(startLogging(), 0);

    // The installer.
    set_value(platform::kHkeyCurrentUser, "Software\\ZarvoMonitoredApp\\Settings", "Theme", "dark");
    set_value(platform::kHkeyLocalMachine, "Software\\Classes\\.zarvomonitored", "",
              "ZarvoMonitored.Document");
    set_value(platform::kHkeyLocalMachine, "Software\\Classes\\.txt", "ZarvoMonitored",
              "opened by the app");
    std::filesystem::create_directories(dir.host("app-root/App/data"));
    test::write_host_file(dir.host("app-root/App/app.exe"), test::Bytes(5000, 'x'));
    test::write_host_file(dir.host("app-root/App/readme.txt"), test::Bytes(40, 'r'));
    test::write_host_file(dir.host("app-root/App/data/store.dat"), test::Bytes(100, 'd'));
    const std::set<std::string> new_folders = {lower(work + "\\App"), lower(work + "\\App\\data")};
    const std::set<std::string> new_files = {lower(work + "\\App\\app.exe"),
                                             lower(work + "\\App\\readme.txt"),
                                             lower(work + "\\App\\data\\store.dat")};

    // The driver reports as it sees the changes: wait for them, then stop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::uint32_t size = 0;
    while (std::chrono::steady_clock::now() < deadline &&
           (!platform::file_size(logFile, &size) || size < 5 * kLogRecordSize))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stopLogging();
    EXPECT_EQ(runError, 0);
    platform::close_file(logFile);
    logFile = platform::kInvalidFile;

    // After: the log, then the registry.
    ASSERT_EQ(readLog(), 0);
    for (regkey& s : snapshots)
        compareSnapshot(s);
    ASSERT_EQ(indexRegChanges(), 0);
    ASSERT_EQ(runError, 0);

    // Other programs may write elsewhere on C: meanwhile (other test
    // programs run beside this one); below this test's folder the lists
    // must hold exactly the installer's folders and files, and nothing of
    // the monitor's own log and Copy folder.
    const std::string mine = lower(dir.dos(""));
    std::set<std::string> folders, files;
    for (DirChange* d = dirchanges.head(); d; d = d->next)
        if (std::string(d->path).compare(0, mine.size(), mine) == 0) folders.insert(d->path);
    for (FileChange* f = filechanges.head(); f; f = f->next) {
        if (std::string(f->path).compare(0, mine.size(), mine) != 0) continue;
        files.insert(f->path);
        EXPECT_EQ(f->kind, FileNew) << f->path;
    }
    EXPECT_EQ(folders, new_folders);
    EXPECT_EQ(files, new_files) << "nor the log, nor the Copy folder";

    // Wine keeps a few keys of its own current (display settings, under
    // Software\Wine and HARDWARE) while windows come and go elsewhere.
    std::set<std::string> keys;
    for (const RegChange* r : regchanges.index) {
        std::string path = lower(r->keyPath);
        if (path.compare(0, 14, "software\\wine\\") == 0 || path.compare(0, 9, "hardware\\") == 0) continue;
        std::string line = std::to_string(r->kind) + " " + (r->root == 0x80000001 ? "CU " : "LM ") +
                           lower(r->keyPath);
        if (r->hasValueName) line += " [" + r->valueName + "]";
        keys.insert(line);
    }
    EXPECT_EQ(keys, (std::set<std::string>{"4 CU software\\zarvomonitoredapp",
                                           "4 LM software\\classes\\.zarvomonitored",
                                           "8 LM software\\classes\\.txt [ZarvoMonitored]"}));
    remove_installed_keys();
    dirchanges.clear();
    filechanges.clear();
    savedlist.clear();
    regchanges.clear();
}

} // namespace
