// The system files recorded before logging and the lists read from the
// file-change log afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "monitor/file_changes.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"
#include "monitor_support.h"

namespace {

using namespace monitor;
using test::Bytes;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

class MonitorListsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        runError = 0;
        savedlist.clear();
        std::filesystem::create_directory(dir.host("Copy"));
        test::setPath(copyDir, dir.dos("Copy"));
        test::setPath(logPath, dir.dos("vxdlog"));
    }
    void TearDown() override {
        savedlist.clear();
        dirchanges.clear();
        filechanges.clear();
        runError = 0;
    }

    void makeFolder(const std::string& name) {
        std::filesystem::create_directories(dir.host(name));
    }
    void writeLog(const std::vector<std::string>& paths) {
        test::write_host_file(dir.host("vxdlog"), test::logOf(paths));
    }

    std::vector<std::string> savedNames() const {
        std::vector<std::string> names;
        for (const SavedFile* n = savedlist.head(); n; n = n->next)
            names.push_back(n->name);
        return names;
    }

    test::TempDir dir;
};

TEST_F(MonitorListsTest, SaveMatchingRecordsFilesAndCopiesStartUpFiles) {
    makeFolder("win/odd.ini"); // a folder, not a file
    dir.write("win/Win.ini", text("[windows]\n"));
    dir.write("win/system.ini", text("[boot]\n"));
    dir.write("win/readme.txt", text("not matched"));
    dir.write("win/msvcrt.dll", text("MZ"));
    dir.write("Copy/win.ini", text("an older copy"));

    const std::string folder = dir.dos("win"); // no trailing backslash
    saveMatching(folder.c_str(), "*", "ini", SavedCopy);
    saveMatching((folder + "\\").c_str(), "*", "dll", SavedWatch);
    ASSERT_EQ(runError, 0);

    std::vector<std::string> names = savedNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[2], "msvcrt.dll");
    std::sort(names.begin(), names.begin() + 2);
    EXPECT_EQ(names[0], "Win.ini");
    EXPECT_EQ(names[1], "system.ini");
    for (const SavedFile* n = savedlist.head(); n; n = n->next)
        EXPECT_EQ(lower(n->folder), lower(folder + "\\")) << n->name;

    // Copies for the start-up files only, replacing an older copy.
    EXPECT_EQ(test::read_host_file(dir.host("Copy/win.ini")), text("[windows]\n"));
    EXPECT_EQ(test::read_host_file(dir.host("Copy/system.ini")), text("[boot]\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.host("Copy/msvcrt.dll")));

    // Looked up by name alone, without regard to case.
    struct Lookup {
        const char* name;
        int kind; // 0: not found
    };
    for (const Lookup& c :
         {Lookup{"WIN.INI", SavedCopy}, Lookup{"System.Ini", SavedCopy},
          Lookup{"MSVCRT.dll", SavedWatch}, Lookup{"readme.txt", 0}, Lookup{"odd.ini", 0}}) {
        const SavedFile* found = findSaved(c.name);
        EXPECT_EQ(found ? found->kind : 0, c.kind) << c.name;
    }
}

TEST_F(MonitorListsTest, SaveMatchingDoesNothingAfterAnEarlierFailure) {
    makeFolder("win");
    dir.write("win/win.ini", text("x"));
    runError = 9;
    saveMatching(dir.dos("win").c_str(), "*", "ini", SavedCopy);
    EXPECT_EQ(savedlist.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.host("Copy/win.ini")));
    EXPECT_EQ(runError, 9);
}

#ifndef _WIN32
// The start-up files come from c: whatever the Windows folder; this build's
// Windows and system folder are both its temporary folder.
TEST_F(MonitorListsTest, SaveSystemFilesTakesStartUpFilesFromDriveC) {
    test::TempDir drive_c, windows;
    platform::DriveMount mount;
    mount.host_folder = drive_c.host();
    ASSERT_TRUE(platform::mount_drive('C', mount));
    drive_c.write("AUTOEXEC.BAT", text("@echo off\n"));
    drive_c.write("config.sys", text("FILES=40\n"));
    drive_c.write("command.com", text("not recorded"));
    windows.write("win.ini", text("[windows]\n"));
    windows.write("shell.dll", text("MZ"));

    const char* old_tmpdir = std::getenv("TMPDIR");
    const std::string saved_tmpdir = old_tmpdir ? old_tmpdir : "";
    setenv("TMPDIR", windows.host().c_str(), 1);
    saveSystemFiles();
    if (old_tmpdir)
        setenv("TMPDIR", saved_tmpdir.c_str(), 1);
    else
        unsetenv("TMPDIR");
    platform::unmount_drive('C');

    ASSERT_EQ(runError, 0);
    std::vector<std::string> recorded;
    for (const SavedFile* n = savedlist.head(); n; n = n->next)
        recorded.push_back(std::string(n->name) + ":" + std::to_string(n->kind));
    const std::vector<std::string> expected = {"AUTOEXEC.BAT:16", "config.sys:16", "win.ini:16",
                                               "shell.dll:8", "shell.dll:8"};
    EXPECT_EQ(recorded, expected);
    EXPECT_EQ(lower(savedlist.head()->folder), "c:\\");
    for (const char* copy : {"AUTOEXEC.BAT", "config.sys", "win.ini"})
        EXPECT_TRUE(std::filesystem::exists(dir.host("Copy/" + std::string(copy)))) << copy;
}
#endif

// Every kind of record, in one log: what becomes of it.
TEST_F(MonitorListsTest, ReadLogSortsRecordsIntoFoldersAndFiles) {
    makeFolder("sys");
    makeFolder("win");
    dir.write("sys/msvcrt.dll", text("MZ"));
    dir.write("win/win.ini", text("[windows]"));
    saveMatching(dir.dos("sys").c_str(), "*", "dll", SavedWatch);
    saveMatching(dir.dos("win").c_str(), "*", "ini", SavedCopy);
    ASSERT_EQ(runError, 0);

    makeFolder("App/Sub");
    for (const char* name : {"App/Setup.EXE", "App/msvcrt.dll", "App/win.ini", "App/system.dat",
                             "App/USER.DAT", "App/Sub/readme.txt", "App/a..b.txt"})
        dir.write(name, text("data"));
    const std::string app = dir.dos("App");
    const std::string relative = "App\\Setup.EXE"; // resolved against the current folder
    const std::string up = dir.dos("App\\Sub\\..\\Setup.EXE");
    std::string unterminated(monitor::kLogRecordSize, 'x');
    unterminated.replace(0, app.size(), app);

    struct Case {
        std::string record;
        const char* list; // "dir", "file", or "" for no entry
        int kind;
    };
    const std::vector<Case> cases = {
        {app, "dir", 0},
        {app + "\\Setup.EXE", "file", FileNew},
        {app + "\\msvcrt.dll", "file", FileReplaced}, // whatever its folder
        {app + "\\win.ini", "", 0},                   // put back from its copy
        {app + "\\system.dat", "", 0},                // the registry's own files
        {app + "\\USER.DAT", "", 0},
        {app + "\\gone.txt", "", 0}, // no longer there
        {app + "\\Sub", "dir", 0},
        {app + "\\Sub\\readme.txt", "file", FileNew},
        {app + "\\a..b.txt", "file", FileNew}, // dots inside a name are fine
        {relative, "", 0},                     // not a full path
        {up, "", 0},                           // a step back out of a folder
        {"", "", 0},
        {app + "\\Setup.EXE", "file", FileNew}, // reported twice: two entries
    };
    std::vector<std::string> records;
    for (const Case& c : cases)
        records.push_back(c.record);
    Bytes log = test::logOf(records);
    Bytes tail(unterminated.begin(), unterminated.end()); // no NUL in its 254 bytes
    log.insert(log.end(), tail.begin(), tail.end());
    log.insert(log.end(), 100, 'y'); // a part record at the end
    test::write_host_file(dir.host("vxdlog"), log);

    const std::string start_dir = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(dir.dos("").c_str()));
    test::ScriptedResponder responder;
    EXPECT_EQ(readLog(), 0);
    platform::set_current_directory(start_dir.c_str());
    EXPECT_EQ(runError, 0);
    EXPECT_TRUE(responder.prompts().empty());

    std::vector<std::string> dirs, files, expected_dirs, expected_files;
    for (const DirChange* n = dirchanges.head(); n; n = n->next)
        dirs.push_back(n->path);
    for (const FileChange* n = filechanges.head(); n; n = n->next) {
        files.push_back(std::string(n->path) + ":" + std::to_string(n->kind));
        EXPECT_EQ(n->selected, 1);
        EXPECT_EQ(n->gone, 0);
    }
    for (const Case& c : cases) {
        if (std::string(c.list) == "dir") expected_dirs.push_back(lower(c.record));
        if (std::string(c.list) == "file")
            expected_files.push_back(lower(c.record) + ":" + std::to_string(c.kind));
    }
    EXPECT_EQ(dirs, expected_dirs);
    EXPECT_EQ(files, expected_files);
}

TEST_F(MonitorListsTest, ReadLogIndexesFoldersInnerFirstAndFilesAscending) {
    for (const char* name : {"a", "A/b", "a/b/C", "b"})
        makeFolder(name);
    for (const char* name : {"Zeta.txt", "alpha.TXT", "a/Mid.txt"})
        dir.write(name, text("x"));
    writeLog({dir.dos("a"), dir.dos("b"), dir.dos("a\\b\\C"), dir.dos("A\\b"), dir.dos("Zeta.txt"),
              dir.dos("alpha.TXT"), dir.dos("a\\Mid.txt")});
    ASSERT_EQ(readLog(), 0);

    std::vector<std::string> dirs, files;
    for (const DirChange* n : dirchanges.index())
        dirs.push_back(n->path);
    for (const FileChange* n : filechanges.index())
        files.push_back(n->path);
    EXPECT_EQ(dirs, (std::vector<std::string>{lower(dir.dos("b")), lower(dir.dos("a\\b\\c")),
                                              lower(dir.dos("a\\b")), lower(dir.dos("a"))}));
    EXPECT_EQ(files,
              (std::vector<std::string>{lower(dir.dos("a\\mid.txt")), lower(dir.dos("alpha.txt")),
                                        lower(dir.dos("zeta.txt"))}));

    const FileChange* found = findFileChange(dir.dos("ZETA.TXT").c_str());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->path, lower(dir.dos("zeta.txt")));
    EXPECT_EQ(findFileChange(dir.dos("a").c_str()), nullptr);
}

TEST_F(MonitorListsTest, AnEmptyLogGivesEmptyListsAndNoError) {
    writeLog({});
    test::ScriptedResponder responder;
    EXPECT_EQ(readLog(), 0);
    EXPECT_EQ(runError, 0);
    EXPECT_EQ(dirchanges.count(), 0);
    EXPECT_EQ(filechanges.count(), 0);
    EXPECT_TRUE(responder.prompts().empty());
}

TEST_F(MonitorListsTest, AMissingLogIsReportedAndLeavesTheRunErrorAlone) {
    test::ScriptedResponder responder({test::answer(platform::kIdOk)});
    EXPECT_EQ(readLog(), 1);
    EXPECT_EQ(runError, 0);
    ASSERT_EQ(responder.prompts().size(), 1u);
    EXPECT_EQ(responder.prompts()[0].text, "Can't open log file");
    EXPECT_EQ(responder.prompts()[0].caption, "Error");
    EXPECT_EQ(responder.prompts()[0].style, platform::kMbOk);
    EXPECT_EQ(filechanges.count(), 0);
}

// The 16-bit count stops at 65,535 entries: further files are left out and
// the list says so; the other list and the run go on.
TEST_F(MonitorListsTest, AFullFileListRefusesFurtherEntriesAndSaysSo) {
    makeFolder("new");
    const std::string file = dir.write("setup.exe", text("MZ"));
    const Bytes one = test::logRecord(file);
    Bytes log;
    log.reserve(one.size() * 65537);
    for (int i = 0; i < 65536; ++i)
        log.insert(log.end(), one.begin(), one.end());
    const Bytes folder = test::logRecord(dir.dos("new"));
    log.insert(log.end(), folder.begin(), folder.end());
    test::write_host_file(dir.host("vxdlog"), log);

    EXPECT_EQ(readLog(), 0);
    EXPECT_EQ(runError, 0);
    EXPECT_EQ(filechanges.count(), 65535);
    EXPECT_TRUE(filechanges.overflowed());
    EXPECT_EQ(filechanges.index().size(), 65535u);
    EXPECT_EQ(dirchanges.count(), 1);
    EXPECT_FALSE(dirchanges.overflowed());
}

} // namespace
