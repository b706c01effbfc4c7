// Undoing a monitored installation with the monitor's own means, and
// counting what an application's uninstaller left: on the in-memory
// registry natively (the real one under Wine, in a corner of its own) and
// on files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "monitor/file_changes.h"
#include "monitor/registry_snapshot.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"
#include "monitor/undo.h"
#include "monitor_support.h"

namespace {

using namespace monitor;
constexpr platform::RegKey kCU = platform::kHkeyCurrentUser;

std::string text_of(const std::string& host_path) {
    test::Bytes b = test::read_host_file(host_path);
    return std::string(b.begin(), b.end());
}

class UndoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::reg_reset_store();
        runError = 0;
        regchanges.clear();
        corner_ = std::string("Software\\ZarvoUndoTest") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        platform::reg_delete_tree(kCU, corner_.c_str());
        std::filesystem::create_directories(dir.host("windows"));
        std::filesystem::create_directories(dir.host("Copy"));
        test::setPath(copyDir, dir.dos("Copy"));
        test::setPath(logPath, dir.dos("vxdlog"));
    }
    void TearDown() override {
        platform::reg_delete_tree(kCU, corner_.c_str());
        regchanges.clear();
        dirchanges.clear();
        filechanges.clear();
        savedlist.clear();
        runError = 0;
    }
    std::string key(const std::string& below) const { return corner_ + "\\" + below; }
    void set(const std::string& path, const char* name, std::uint32_t type,
             const std::string& data) {
        platform::RegKey k;
        ASSERT_EQ(platform::reg_create(kCU, key(path).c_str(), &k), 0);
        // Strings go with their terminator, as programs write them.
        std::uint32_t size =
            static_cast<std::uint32_t>(data.size()) + (type == platform::kRegSz ? 1 : 0);
        ASSERT_EQ(platform::reg_set_value(k, name, type, data.c_str(), size), 0);
        platform::reg_close(k);
    }
    bool value_of(const std::string& path, const char* name, std::uint32_t* type,
                  std::string* data) {
        platform::RegKey k;
        if (platform::reg_open(kCU, key(path).c_str(), &k) != 0) return false;
        bool found = false;
        for (std::uint32_t i = 0;; ++i) {
            char n[260];
            std::uint8_t d[260];
            std::uint32_t ns = sizeof n, ds = sizeof d, t = 0;
            if (platform::reg_enum_value(k, i, n, &ns, &t, d, &ds) != 0) break;
            if (std::string(n) == name) {
                *type = t;
                data->assign(reinterpret_cast<char*>(d), ds);
                found = true;
            }
        }
        platform::reg_close(k);
        return found;
    }
    bool key_exists(const std::string& path) {
        platform::RegKey k;
        if (platform::reg_open(kCU, key(path).c_str(), &k) != 0) return false;
        platform::reg_close(k);
        return true;
    }
    // An installation: a new branch, a new value, a changed value; new
    // files in new folders, a start-up file rewritten, a system DLL replaced.
    void install() {
        test::write_host_file(dir.host("windows/win.ini"), {'o', 'l', 'd'});
        test::write_host_file(dir.host("windows/msvcrt.dll"), {'1'});
        set("Existing", "kept", platform::kRegSz, "same");
        set("Existing", "changed", platform::kRegSz, "before");
        saveMatching(dir.dos("windows").c_str(), "*", "ini", SavedCopy);
        saveMatching(dir.dos("windows").c_str(), "*", "dll", SavedWatch);
        regkey snapshot;
        takeSnapshot(snapshot, static_cast<std::int32_t>(kCU), corner_.c_str(), ScanKeysValues);

        set("App\\Sub", "v", platform::kRegSz, "x");
        set("Existing", "added", platform::kRegSz, "new");
        set("Existing", "changed", platform::kRegBinary, "after!");
        std::filesystem::create_directories(dir.host("app/sub"));
        test::write_host_file(dir.host("app/a.txt"), {'a'});
        test::write_host_file(dir.host("app/sub/b.txt"), {'b'});
        test::write_host_file(dir.host("app/keep.txt"), {'k'});
        test::write_host_file(dir.host("windows/win.ini"), {'n', 'e', 'w'});
        test::write_host_file(dir.host("windows/msvcrt.dll"), {'2'});
        test::write_host_file(
            dir.host("vxdlog"),
            test::logOf({dir.dos("app"), dir.dos("app\\sub"), dir.dos("app\\a.txt"),
                         dir.dos("app\\sub\\b.txt"), dir.dos("app\\keep.txt"),
                         dir.dos("windows\\win.ini"), dir.dos("windows\\msvcrt.dll")}));
        ASSERT_EQ(readLog(), 0);
        compareSnapshot(snapshot);
        ASSERT_EQ(indexRegChanges(), 0);
        ASSERT_EQ(runError, 0);
        ASSERT_EQ(regchanges.records.size(), 3u);
        // Three new files and the replaced DLL; win.ini is put back from its
        // copy, so it is not listed.
        ASSERT_EQ(filechanges.count(), 4);
    }

    test::TempDir dir;
    std::string corner_;
};

TEST_F(UndoTest, EverythingSelectedButOneFileIsUndone) {
    install();
    // The user keeps one file.
    std::string kept = dir.dos("app\\keep.txt");
    platform::lower_case(&kept[0]);
    findFileChange(kept.c_str())->selected = 0;

    UndoResult done;
    EXPECT_EQ(undoRegChanges(done), 0);
    EXPECT_EQ(deleteNewFiles(done), 0);
    EXPECT_EQ(removeNewDirs(done), 0);
    EXPECT_EQ(restoreSystemFiles(done), 0);
    std::string app = dir.dos("app");
    platform::lower_case(&app[0]);
    EXPECT_EQ(undoSummary(done), "Files deleted: 2\n"
                                 "Folders removed: 1\n"
                                 "Registry keys removed: 1\n"
                                 "Registry values removed: 1\n"
                                 "Registry values put back: 1\n"
                                 "Start-up files put back: 1\n"
                                 "\n"
                                 "Not undone:\n"
                                 "could not remove the folder " +
                                     app + ": it is not empty");

    EXPECT_FALSE(key_exists("App")) << "a new key goes with its whole branch";
    std::uint32_t type = 0;
    std::string data;
    EXPECT_FALSE(value_of("Existing", "added", &type, &data));
    ASSERT_TRUE(value_of("Existing", "changed", &type, &data));
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(data, std::string("before", 7)) << "its bytes and their terminator, as before";
    ASSERT_TRUE(value_of("Existing", "kept", &type, &data));

    EXPECT_FALSE(std::filesystem::exists(dir.host("app/a.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.host("app/sub"))) << "an emptied new folder goes";
    EXPECT_EQ(text_of(dir.host("app/keep.txt")), "k")
        << "a file the user kept stays, and its folder";
    EXPECT_EQ(text_of(dir.host("windows/win.ini")), "old") << "the start-up file is put back";
    EXPECT_EQ(text_of(dir.host("windows/msvcrt.dll")), "2")
        << "a replaced DLL stays as the installer left it";
}

TEST_F(UndoTest, WhatTheApplicationsUninstallerLeftIsCounted) {
    install();
    // The application's uninstaller: its files and its own key go.
    std::filesystem::remove_all(dir.host("app"));
    platform::reg_delete_tree(kCU, key("App").c_str());
    // The new and the changed value are still there, and so is the replaced
    // DLL: three things are left.
    EXPECT_EQ(countRemainingFiles(), 1);
    EXPECT_EQ(countRemainingRegChanges(), 2);
    for (FileChange* f = filechanges.head(); f; f = f->next)
        EXPECT_EQ(f->gone, f->kind == FileReplaced ? 0 : 1) << f->path;
    for (const auto& r : regchanges.records)
        EXPECT_EQ(r->gone, r->kind == KeyNew ? 1 : 0) << r->keyPath;

    // Gone records are not undone again; the others still are.
    set("App", "back", platform::kRegSz, "made again by someone else");
    UndoResult done;
    EXPECT_EQ(undoRegChanges(done), 0);
    EXPECT_EQ(done.keysRemoved, 0);
    EXPECT_EQ(done.valuesRemoved, 1);
    EXPECT_EQ(done.valuesRestored, 1);
    EXPECT_TRUE(done.failures.empty());
    EXPECT_TRUE(key_exists("App"));
    std::uint32_t type = 0;
    std::string data;
    EXPECT_FALSE(value_of("Existing", "added", &type, &data));
}

// What an uninstaller did to each of the three records, and whether the
// record counts as left: a new value while it is there, whatever it holds;
// a changed value only while it holds the installer's data.
TEST_F(UndoTest, ARegistryChangeIsLeftOnlyWhileTheInstallersWorkIsThere) {
    struct Case {
        const char* what;
        std::function<void()> uninstall;
        bool appLeft, addedLeft, changedLeft;
    };
    auto remove_value = [this](const char* name) {
        platform::RegKey k;
        ASSERT_EQ(platform::reg_open(kCU, key("Existing").c_str(), &k), 0);
        EXPECT_EQ(platform::reg_delete_value(k, name), 0);
        platform::reg_close(k);
    };
    const Case cases[] = {
        {"nothing removed", [] {}, true, true, true},
        {"values removed",
         [&] {
             remove_value("added");
             remove_value("changed");
         },
         true, false, false},
        {"the changed value put back, the new one rewritten",
         [this] {
             set("Existing", "changed", platform::kRegSz, "before");
             set("Existing", "ADDED", platform::kRegSz, "other");
         },
         true, true, false},
        {"the changed value set to a third text",
         [this] { set("Existing", "changed", platform::kRegBinary, "third!"); }, true, true, false},
        {"the installer's bytes under another type",
         [this] { set("Existing", "changed", platform::kRegSz, "after!"); }, true, true, false},
        {"its own key removed, a value of the same name elsewhere",
         [this] {
             platform::reg_delete_tree(kCU, key("App").c_str());
             set("Other", "added", platform::kRegSz, "new");
         },
         false, true, true},
        {"the whole corner removed", [this] { platform::reg_delete_tree(kCU, corner_.c_str()); },
         false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        install();
        c.uninstall();
        const int expected = int(c.appLeft) + int(c.addedLeft) + int(c.changedLeft);
        EXPECT_EQ(countRemainingRegChanges(), expected);
        for (const auto& r : regchanges.records) {
            const bool left = r->kind == KeyNew     ? c.appLeft
                              : r->kind == ValueNew ? c.addedLeft
                                                    : c.changedLeft;
            EXPECT_EQ(r->gone, left ? 0 : 1) << r->keyPath << " " << r->valueName;
        }
        // What is gone is not undone: a value put back or set by the
        // uninstaller stays as it left it.
        std::uint32_t before_type = 0, after_type = 0;
        std::string before, after;
        const bool had = value_of("Existing", "changed", &before_type, &before);
        UndoResult done;
        EXPECT_EQ(undoRegChanges(done), 0);
        EXPECT_EQ(done.valuesRestored, c.changedLeft ? 1 : 0);
        EXPECT_TRUE(done.failures.empty());
        if (!c.changedLeft) {
            EXPECT_EQ(value_of("Existing", "changed", &after_type, &after), had);
            EXPECT_EQ(after, before);
            EXPECT_EQ(after_type, before_type);
        }
    }
}

TEST_F(UndoTest, KeepItChangesNothingAndUnselectedRecordsStay) {
    install();
    for (const auto& r : regchanges.records)
        r->selected = 0;
    UndoResult done;
    EXPECT_EQ(undoRegChanges(done), 0);
    EXPECT_EQ(done.keysRemoved + done.valuesRemoved + done.valuesRestored, 0);
    EXPECT_TRUE(done.failures.empty());
    EXPECT_TRUE(key_exists("App"));
    std::uint32_t type = 0;
    std::string data;
    EXPECT_TRUE(value_of("Existing", "added", &type, &data));
}

// Steps that fail are told with their reason and the rest goes on; what is
// already gone is neither done nor a failure.
TEST_F(UndoTest, WhatCouldNotBeUndoneIsToldAndTheRestIsDone) {
    install();
    // A new file that is a folder now, a new file already gone, a changed
    // value whose key was removed, a start-up file whose copy is lost.
    std::filesystem::remove(dir.host("app/a.txt"));
    std::filesystem::create_directories(dir.host("app/a.txt/inner"));
    std::filesystem::remove(dir.host("app/keep.txt"));
    platform::reg_delete_tree(kCU, key("Existing").c_str());
    std::filesystem::remove(dir.host("Copy/win.ini"));

    UndoResult done;
    EXPECT_EQ(undoRegChanges(done), 0);
    EXPECT_EQ(deleteNewFiles(done), 0);
    EXPECT_EQ(removeNewDirs(done), 0);
    EXPECT_EQ(restoreSystemFiles(done), 0);
    auto lowered = [](std::string p) {
        platform::lower_case(&p[0]);
        return p;
    };
    EXPECT_EQ(done.filesDeleted, 1) << "app\\sub\\b.txt";
    EXPECT_EQ(done.foldersRemoved, 1) << "app\\sub";
    EXPECT_EQ(done.keysRemoved, 1);
    EXPECT_EQ(done.valuesRemoved, 0) << "the new value went with its key";
    EXPECT_EQ(done.valuesRestored, 0);
    EXPECT_EQ(done.startupRestored, 0);
    EXPECT_EQ(done.failures,
              (std::vector<std::string>{
                  "could not put back the value changed in HKEY_CURRENT_USER\\" + key("Existing") +
                      ": it is not there",
                  "could not delete " + lowered(dir.dos("app\\a.txt")) + ": access is denied",
                  "could not remove the folder " + lowered(dir.dos("app")) + ": it is not empty",
                  "could not put back " + dir.dos("windows") + "\\win.ini: it is not there",
              }));
    EXPECT_FALSE(key_exists("App"));
    EXPECT_FALSE(std::filesystem::exists(dir.host("app/sub")));
    EXPECT_EQ(text_of(dir.host("windows/win.ini")), "new");
}

TEST(UndoSummary, NothingDoneAndVeryManyFailures) {
    UndoResult done;
    EXPECT_EQ(undoSummary(done), "Files deleted: 0\nFolders removed: 0\nRegistry keys removed: 0\n"
                                 "Registry values removed: 0\nRegistry values put back: 0\n"
                                 "Start-up files put back: 0");
    for (int i = 1; i <= 17; ++i)
        done.failures.push_back("failure " + std::to_string(i));
    const std::string text = undoSummary(done);
    EXPECT_NE(text.find("\n\nNot undone:\nfailure 1\nfailure 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nfailure 15\nand 2 more"), std::string::npos) << text;
    EXPECT_EQ(text.find("failure 16"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 10), "and 2 more");
}

TEST(FailureReason, CommonCodes) {
    const struct {
        std::uint32_t code;
        const char* text;
    } cases[] = {
        {2, "it is not there"},      {3, "its folder is not there"}, {5, "access is denied"},
        {32, "it is in use"},        {112, "the disk is full"},      {145, "it is not empty"},
        {1234, "system error 1234"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failureReason(c.code), c.text) << c.code;
}

} // namespace
