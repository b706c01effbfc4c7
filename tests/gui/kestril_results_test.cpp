// The results dialog and the results loop: the tree of changes and its
// check marks, the report, help, and what each way out of the dialog does
// to the files and the registry.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "monitor/undo.h"

#include "kestril/resource.h"
#include "kestril_support.h"
#include "monitor/report.h"

namespace test {
namespace {

using monitor::FileChange;
using monitor::RegChange;

const char kHkcu[] = "HKEY_CURRENT_USER\\";

class ResultsTest : public KestrilWindowTest {
  protected:
    // An installation: new files in a new folder, a replaced system DLL, new
    // keys and values and a changed value, in the registry corner. The
    // records are added in an order that differs from their key order.
    void install() {
        std::filesystem::create_directories(dir.host("windows"));
        std::filesystem::create_directories(dir.host("app"));
        write_host_file(dir.host("windows/shared.dll"), {'1'});
        monitor::saveMatching(dir.dos("windows").c_str(), "*", "dll", monitor::SavedWatch);
        write_host_file(dir.host("app/b.exe"), {'b'});
        write_host_file(dir.host("app/a.txt"), {'a'});
        readLogOf({dir.dos("app"), dir.dos("app\\b.exe"), dir.dos("windows\\shared.dll"),
                   dir.dos("app\\a.txt")});

        makeKey("Zed", "size", "2");
        makeKey("Bee\\Sub");
        makeKey("Cee", "v", "new");
        makeKey("Cee", "", "2");
        const std::uint8_t before[] = {'1', 0}, after[] = {'2', 0};
        addRegChange(key("Zed"), "size", before, 2, after, 2, monitor::ValueChanged);
        addRegChange(key("Bee"), nullptr, nullptr, 0, nullptr, 0, monitor::KeyNew);
        addRegChange(key("Cee"), "v", nullptr, 0, after, 2, monitor::ValueNew);
        addRegChange(key("Cee"), "", nullptr, 0, after, 2, monitor::ValueNew);
        ASSERT_EQ(monitor::indexRegChanges(), 0);
    }
    void addRegChange(const std::string& keyPath, const char* name, const std::uint8_t* previous,
                      std::int32_t previousSize, const std::uint8_t* current,
                      std::int32_t currentSize, std::int16_t kind) {
        ASSERT_EQ(monitor::addRegChange(static_cast<std::int32_t>(kCU), keyPath, name, previous,
                                        previousSize, platform::kRegSz, current, currentSize,
                                        platform::kRegSz, kind),
                  0);
    }
    // The application's own Uninstall key, with or without its command.
    void addUninstallKey(const char* command) {
        makeKey("Uninstall\\App", command ? "UninstallString" : "DisplayName",
                command ? command : "App");
        addRegChange(key("Uninstall\\App"), nullptr, nullptr, 0, nullptr, 0, monitor::KeyNew);
        ASSERT_EQ(monitor::indexRegChanges(), 0);
    }
    FileChange* file(const std::string& dos_path) {
        FileChange* f = monitor::findFileChange(lowered(dos_path).c_str());
        EXPECT_TRUE(f) << dos_path;
        return f;
    }
    const RegChange* record(const std::string& keyPath, bool hasName = false) {
        for (const auto& r : monitor::regchanges.records)
            if (r->keyPath == keyPath && r->hasValueName == hasName) return r.get();
        ADD_FAILURE() << keyPath;
        return nullptr;
    }
    std::string fileItem(const std::string& name) { return lowered(dir.dos(name)); }
    std::string keyItem(const std::string& below) { return kHkcu + key(below); }
};

TEST_F(ResultsTest, NoChangesShowOnlyTheTwoHeadings) {
    std::vector<std::string> lines;
    bool offered = true;
    on_dialog = [&](ui::Dialog& d) {
        EXPECT_EQ(ui::window_text(d.hwnd()), "System Changes ");
        lines = treeLines(d.item(IDC_RESULTS_TREE));
        offered = IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL));
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(dialogs, std::vector<std::string>{"RESULTS_DLG"});
    EXPECT_EQ(lines, (std::vector<std::string>{"New Files [1]", "Changes to Registry [1]"}));
    EXPECT_FALSE(offered) << "no Uninstall key, no application uninstaller";
    EXPECT_TRUE(prompts.empty());
}

TEST_F(ResultsTest, ItemsFollowTheIndexesAndGroupsAppearWhenFirstNeeded) {
    install();
    file(dir.dos("app\\a.txt"))->selected = 0;
    // New files and keys that are gone are left out.
    std::filesystem::remove(dir.host("app/b.exe"));
    platform::reg_delete_tree(kCU, key("Bee").c_str());
    monitor::countRemainingFiles();
    monitor::countRemainingRegChanges();
    std::vector<std::string> lines;
    on_dialog = [&](ui::Dialog& d) {
        lines = treeLines(d.item(IDC_RESULTS_TREE));
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    const std::vector<std::string> expected = {
        "New Files [1]+",
        "  " + fileItem("app\\a.txt") + " [0]",
        "Replaced Files [1]",
        "  " + fileItem("windows\\shared.dll") + " [0]",
        "Changes to Registry [1]+",
        "  New Keys [1]+",
        "    " + keyItem("Cee") + "\\v [1]",
        "    " + keyItem("Cee") + " [1]",
        "  Changed Keys [1]+",
        "    " + keyItem("Zed") + "\\size [1]",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(ResultsTest, ChangedKeysComeFirstWhenTheirRecordDoes) {
    addRegChange(key("Aaa"), "x", nullptr, 0, nullptr, 0, monitor::ValueChanged);
    addRegChange(key("Bbb"), nullptr, nullptr, 0, nullptr, 0, monitor::KeyNew);
    addRegChange(key("Ccc"), nullptr, nullptr, 0, nullptr, 0, monitor::KeyNew);
    ASSERT_EQ(monitor::indexRegChanges(), 0);
    monitor::regchanges.records[2]->gone = 1;
    std::vector<std::string> lines;
    on_dialog = [&](ui::Dialog& d) {
        lines = treeLines(d.item(IDC_RESULTS_TREE));
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(lines,
              (std::vector<std::string>{"New Files [1]", "Changes to Registry [1]+",
                                        "  Changed Keys [1]+", "    " + keyItem("Aaa") + "\\x [1]",
                                        "  New Keys [1]+", "    " + keyItem("Bbb") + " [1]"}));
}

TEST_F(ResultsTest, EachClickTogglesANewFileOrKey) {
    install();
    struct Seen {
        int image;
        std::int16_t selected;
    };
    std::vector<Seen> seen;
    on_dialog = [&](ui::Dialog& d) {
        HWND tree = d.item(IDC_RESULTS_TREE);
        HTREEITEM a = findItem(tree, fileItem("app\\a.txt"));
        clickItem(tree, a);
        seen.push_back({itemImage(tree, a), file(dir.dos("app\\a.txt"))->selected});
        clickItem(tree, a);
        seen.push_back({itemImage(tree, a), file(dir.dos("app\\a.txt"))->selected});
        HTREEITEM bee = findItem(tree, keyItem("Bee"));
        clickItem(tree, bee);
        seen.push_back({itemImage(tree, bee), record(key("Bee"))->selected});
        // Selected by the tree itself (as when it gets the focus back from
        // another program), not by a click: nothing changes.
        TreeView_SelectItem(tree, nullptr);
        TreeView_SelectItem(tree, a);
        seen.push_back({itemImage(tree, a), file(dir.dos("app\\a.txt"))->selected});
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].image, 1) << "a selection not made by a click toggles nothing";
    EXPECT_EQ(seen[3].selected, 1);
    EXPECT_EQ(seen[0].image, 0) << "one click clears it";
    EXPECT_EQ(seen[0].selected, 0);
    EXPECT_EQ(seen[1].image, 1) << "a second click selects it again";
    EXPECT_EQ(seen[1].selected, 1);
    EXPECT_EQ(seen[2].image, 0);
    EXPECT_EQ(seen[2].selected, 0);
}

TEST_F(ResultsTest, ReplacedFilesChangedKeysAndHeadingsNeverToggle) {
    install();
    std::vector<std::string> before, after;
    on_dialog = [&](ui::Dialog& d) {
        HWND tree = d.item(IDC_RESULTS_TREE);
        TreeView_Expand(tree, findItem(tree, "Replaced Files"), TVE_EXPAND);
        before = treeLines(tree);
        for (const std::string& text :
             {fileItem("windows\\shared.dll"), keyItem("Zed") + "\\size", std::string("New Files"),
              std::string("New Keys"), std::string("Changes to Registry")})
            clickItem(tree, findItem(tree, text));
        after = treeLines(tree);
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(after, before);
    EXPECT_EQ(file(dir.dos("windows\\shared.dll"))->selected, 1);
    EXPECT_EQ(record(key("Zed"), true)->selected, 1);
}

TEST_F(ResultsTest, TheSpaceBarTogglesAndArrowKeysDoNot) {
    install();
    std::vector<std::string> start, moved, spaced;
    std::string highlighted;
    on_dialog = [&](ui::Dialog& d) {
        HWND tree = d.item(IDC_RESULTS_TREE);
        SetFocus(tree);
        start = treeLines(tree);
        for (WPARAM key : {VK_HOME, VK_DOWN, VK_DOWN, VK_DOWN, VK_UP, VK_UP})
            pressKey(tree, key);
        moved = treeLines(tree);
        highlighted = itemText(tree, TreeView_GetSelection(tree));
        pressKey(tree, VK_SPACE);
        spaced = treeLines(tree);
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(moved, start);
    EXPECT_EQ(highlighted, fileItem("app\\a.txt"));
    std::vector<std::string> expected = start;
    expected[1] = "  " + fileItem("app\\a.txt") + " [0]";
    EXPECT_EQ(spaced, expected);
    EXPECT_EQ(file(dir.dos("app\\a.txt"))->selected, 0);
}

TEST_F(ResultsTest, UninstallUndoesWhatStaysSelected) {
    install();
    on_dialog = [&](ui::Dialog& d) {
        HWND tree = d.item(IDC_RESULTS_TREE);
        clickItem(tree, findItem(tree, keyItem("Bee")));
        clickItem(tree, findItem(tree, fileItem("app\\b.exe")));
        d.click(IDC_RESULTS_UNINSTALL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(monitor::runError, 0);
    EXPECT_TRUE(keyExists("Bee\\Sub")) << "a cleared new key stays out of the undo";
    EXPECT_TRUE(exists(dir.dos("app\\b.exe"))) << "so does a cleared new file, and its folder";
    EXPECT_TRUE(exists(dir.dos("app")));
    EXPECT_FALSE(exists(dir.dos("app\\a.txt")));
    EXPECT_TRUE(exists(dir.dos("windows\\shared.dll"))) << "replaced files are never undone";
    EXPECT_TRUE(keyExists("Cee")) << "only its new values go";
    platform::RegKey k;
    ASSERT_EQ(platform::reg_open(kCU, key("Cee").c_str(), &k), 0);
    char name[64];
    std::uint32_t size = sizeof name, type = 0, dataSize = 0;
    EXPECT_NE(platform::reg_enum_value(k, 0, name, &size, &type, nullptr, &dataSize), 0)
        << "the new value is gone";
    platform::reg_close(k);
    EXPECT_TRUE(started.empty());
    // What was undone, and the folder that stays for the file kept in it.
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, "Undo");
    EXPECT_EQ(prompts[0].style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_EQ(prompts[0].text, "Files deleted: 1\n"
                               "Folders removed: 0\n"
                               "Registry keys removed: 0\n"
                               "Registry values removed: 2\n"
                               "Registry values put back: 1\n"
                               "Start-up files put back: 0\n"
                               "\n"
                               "Not undone:\n"
                               "could not remove the folder " +
                                   fileItem("app") + ": it is not empty");
}

TEST_F(ResultsTest, KeepItAndEnterChangeNothing) {
    install();
    bool endedByEnter = true;
    on_dialog = [&](ui::Dialog& d) {
        SendMessageA(d.hwnd(), WM_COMMAND, IDOK, 0);
        endedByEnter = d.ended();
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_FALSE(endedByEnter) << "Enter must not undo the installation";
    EXPECT_EQ(dialogs.size(), 1u);
    for (const char* name : {"app\\a.txt", "app\\b.exe", "windows\\shared.dll"})
        EXPECT_TRUE(exists(dir.dos(name))) << name;
    EXPECT_TRUE(keyExists("Bee\\Sub"));
    EXPECT_TRUE(keyExists("Zed"));
}

TEST_F(ResultsTest, ReportWritesTheReportAndTheDialogStays) {
    install();
    file_answer = dir.dos("trial.kes");
    bool stayed = false;
    on_dialog = [&](ui::Dialog& d) {
        d.click(IDC_RESULTS_REPORT);
        stayed = !d.ended();
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    ASSERT_EQ(file_requests.size(), 1u);
    const ui::FileDialogRequest& r = file_requests[0];
    EXPECT_TRUE(r.save);
    EXPECT_TRUE(r.overwrite_prompt);
    EXPECT_TRUE(r.hide_read_only);
    EXPECT_EQ(r.filter, "Kestril Report Files (*.Kes)|*.Kes");
    EXPECT_EQ(r.default_ext, "KES");
    EXPECT_EQ(r.initial_dir, folder_dos());
    const Bytes written = read_host_file(dir.host("trial.kes"));
    EXPECT_EQ(std::string(written.begin(), written.end()), monitor::reportText());
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(prompts.empty());
}

TEST_F(ResultsTest, AReportThatCannotBeCreatedIsAWarning) {
    file_answer = dir.dos("no such folder\\trial.kes");
    HWND owner = nullptr;
    bool stayed = false;
    on_dialog = [&](ui::Dialog& d) {
        owner = d.hwnd();
        d.click(IDC_RESULTS_REPORT);
        stayed = !d.ended();
        d.click(IDCANCEL);
    };
    on_prompt = [](const platform::Prompt&) { return platform::kIdOk; };
    kestril::resultsLoop();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Can't create the report file");
    EXPECT_EQ(prompts[0].caption, "Warning");
    EXPECT_EQ(prompts[0].style, platform::kMbOk);
    EXPECT_EQ(prompts[0].owner, owner);
    EXPECT_TRUE(stayed);
}

TEST_F(ResultsTest, CancelledReportWritesNothing) {
    on_dialog = [&](ui::Dialog& d) {
        d.click(IDC_RESULTS_REPORT);
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(file_requests.size(), 1u);
    EXPECT_TRUE(prompts.empty());
}

TEST_F(ResultsTest, HelpOpensTheInstallTopic) {
    on_dialog = [&](ui::Dialog& d) {
        d.click(IDC_RESULTS_HELP);
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    ASSERT_EQ(shell_requests.size(), 1u);
    EXPECT_EQ(shell_requests[0].verb, "open");
    EXPECT_EQ(shell_requests[0].file, "WINHELP");
    EXPECT_EQ(shell_requests[0].parameters, " -i install " + folder_dos() + "\\ZARVO.HLP");
    EXPECT_EQ(shell_requests[0].show, SW_SHOW);
}

// ---- Resizing ---------------------------------------------------------------

// A control's place in its dialog's client area.
RECT placeIn(HWND dialog, HWND control) {
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE clientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

SIZE windowSize(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// Long registry paths need a wider tree: every room the dialog gains goes to
// the tree, the check box and the buttons stay below it at their distance
// from the bottom, and the dialog never gets smaller than its template.
// The 20 x 16 check boxes of the tree, half as large again at 144 DPI, both
// still there with white masked out.
TEST_F(ResultsTest, TheCheckBoxesAreSizedForTheDisplayDpi) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(dpi == 96 || dpi == 144) << "the display is at " << dpi << " DPI";
    const SIZE expected = dpi == 96 ? SIZE{20, 16} : SIZE{30, 24};
    int cx = 0, cy = 0, count = 0;
    bool masked = false;
    on_dialog = [&](ui::Dialog& d) {
        HIMAGELIST images = TreeView_GetImageList(d.item(IDC_RESULTS_TREE), TVSIL_NORMAL);
        if (images) {
            ImageList_GetIconSize(images, &cx, &cy);
            count = ImageList_GetImageCount(images);
            IMAGEINFO info = {};
            masked = ImageList_GetImageInfo(images, 0, &info) && info.hbmMask;
        }
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(cx, expected.cx);
    EXPECT_EQ(cy, expected.cy);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(masked) << "white is masked out";
}

TEST_F(ResultsTest, TheTreeGrowsWithTheDialogAndTheButtonsFollowTheBottom) {
    const int buttons[] = {IDC_RESULTS_UNINSTALL, IDCANCEL, IDC_RESULTS_REPORT, IDC_RESULTS_HELP};
    struct Grow {
        int dx, dy;
    };
    const Grow grows[] = {{240, 160}, {300, 0}, {0, 200}, {1, 1}};
    on_dialog = [&](ui::Dialog& d) {
        const HWND dlg = d.hwnd();
        const HWND tree = d.item(IDC_RESULTS_TREE);
        const HWND box = d.item(IDC_RESULTS_APP_UNINSTALL);
        ASSERT_TRUE(GetWindowLongA(dlg, GWL_STYLE) & WS_THICKFRAME) << "a frame the user can drag";
        const SIZE window0 = windowSize(dlg);
        const SIZE client0 = clientSize(dlg);
        const SIZE tree0 = clientSize(tree);
        const RECT box0 = placeIn(dlg, box);
        RECT button0[4];
        for (int i = 0; i < 4; ++i)
            button0[i] = placeIn(dlg, d.item(buttons[i]));

        for (const Grow& g : grows) {
            SCOPED_TRACE(testing::Message() << "grown by " << g.dx << " x " << g.dy);
            SetWindowPos(dlg, nullptr, 0, 0, window0.cx + g.dx, window0.cy + g.dy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            const SIZE client = clientSize(dlg);
            EXPECT_EQ(client.cx - client0.cx, g.dx);
            EXPECT_EQ(client.cy - client0.cy, g.dy);
            const SIZE grownTree = clientSize(tree);
            EXPECT_EQ(grownTree.cx - tree0.cx, g.dx);
            EXPECT_EQ(grownTree.cy - tree0.cy, g.dy);
            const RECT treeAt = placeIn(dlg, tree);
            const RECT boxAt = placeIn(dlg, box);
            EXPECT_EQ(boxAt.top, box0.top + g.dy);
            EXPECT_GE(boxAt.top, treeAt.bottom) << "the check box is below the tree";
            EXPECT_LE(boxAt.right, client.cx);
            for (int i = 0; i < 4; ++i) {
                SCOPED_TRACE(testing::Message() << "button " << buttons[i]);
                const RECT b = placeIn(dlg, d.item(buttons[i]));
                EXPECT_EQ(b.left, button0[i].left);
                EXPECT_EQ(client.cy - b.bottom, client0.cy - button0[i].bottom);
                EXPECT_EQ(b.right - b.left, button0[i].right - button0[i].left);
                EXPECT_GE(b.top, boxAt.bottom) << "below the tree and the check box";
                EXPECT_GE(b.left, 0);
                EXPECT_LE(b.right, client.cx);
                EXPECT_LE(b.bottom, client.cy);
            }
        }

        // Smaller than the template: held at the template's size, and every
        // control is back where the template put it.
        MoveWindow(dlg, 0, 0, window0.cx / 2, window0.cy / 3, TRUE);
        const SIZE least = windowSize(dlg);
        EXPECT_EQ(least.cx, window0.cx);
        EXPECT_EQ(least.cy, window0.cy);
        EXPECT_EQ(clientSize(tree).cx, tree0.cx);
        EXPECT_EQ(clientSize(tree).cy, tree0.cy);
        EXPECT_EQ(placeIn(dlg, box).top, box0.top);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(placeIn(dlg, d.item(buttons[i])).top, button0[i].top);
        d.click(IDCANCEL);
    };
    kestril::resultsLoop();
    EXPECT_EQ(dialogs, std::vector<std::string>{"RESULTS_DLG"});
}

// ---- The application's own uninstaller -------------------------------------

class AppUninstallTest : public ResultsTest {
  protected:
    // Checks the box and clicks Uninstall in the first pass, and records
    // whether each pass offered the box.
    void chooseAppUninstaller() {
        on_dialog = [&](ui::Dialog& d) {
            offered.push_back(IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL)) != FALSE);
            if (offered.size() == 1) {
                d.click(IDC_RESULTS_APP_UNINSTALL);
                d.click(IDC_RESULTS_UNINSTALL);
            } else {
                lines = treeLines(d.item(IDC_RESULTS_TREE));
                d.click(second_pass);
            }
        };
    }
    std::vector<bool> offered;
    std::vector<std::string> lines;
    int second_pass = IDCANCEL;
};

TEST_F(AppUninstallTest, AnUninstallerThatLeftNothingEndsTheLoop) {
    install();
    addUninstallKey("C:\\APP\\UNWISE.EXE /S");
    chooseAppUninstaller();
    on_start = [&] {
        std::filesystem::remove_all(dir.host("app"));
        std::filesystem::remove_all(dir.host("windows"));
        platform::reg_delete_tree(kCU, kCorner);
        return true;
    };
    kestril::resultsLoop();
    EXPECT_EQ(offered, std::vector<bool>{true});
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].first, "C:\\APP\\UNWISE.EXE /S");
    EXPECT_EQ(started[0].second, "") << "the uninstaller starts in the monitor's folder";
    EXPECT_TRUE(kestril::appUninstallTried);
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AppUninstallTest, WhatIsLeftIsShownAgainWithoutTheUninstallerAndCanBeUndone) {
    install();
    addUninstallKey("C:\\APP\\UNWISE.EXE");
    chooseAppUninstaller();
    second_pass = IDC_RESULTS_UNINSTALL;
    // The uninstaller removes one file, the Bee branch and one new value.
    on_start = [&] {
        std::filesystem::remove(dir.host("app/b.exe"));
        platform::reg_delete_tree(kCU, key("Bee").c_str());
        platform::RegKey k;
        EXPECT_EQ(platform::reg_open(kCU, key("Cee").c_str(), &k), 0);
        EXPECT_EQ(platform::reg_delete_value(k, "v"), 0);
        platform::reg_close(k);
        return true;
    };
    on_prompt = [](const platform::Prompt&) { return platform::kIdYes; };
    kestril::resultsLoop();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0].text, "Some componants were left. Want to see them?");
    EXPECT_EQ(prompts[0].caption, "Uninstall incomplete");
    EXPECT_EQ(prompts[0].style, platform::kMbYesNo);
    EXPECT_EQ(offered, (std::vector<bool>{true, false}));
    EXPECT_EQ(started.size(), 1u);
    const std::vector<std::string> expected = {
        "New Files [1]+",
        "  " + fileItem("app\\a.txt") + " [1]",
        "Replaced Files [1]",
        "  " + fileItem("windows\\shared.dll") + " [0]",
        "Changes to Registry [1]+",
        "  New Keys [1]+",
        "    " + keyItem("Cee") + " [1]",
        "    " + keyItem("Uninstall\\App") + " [1]",
        "  Changed Keys [1]+",
        "    " + keyItem("Zed") + "\\size [1]",
    };
    EXPECT_EQ(lines, expected);
    // The second pass's Uninstall is the monitor's own undo of the rest.
    EXPECT_FALSE(exists(dir.dos("app\\a.txt")));
    EXPECT_FALSE(exists(dir.dos("app")));
    EXPECT_FALSE(keyExists("Uninstall\\App"));
    EXPECT_EQ(prompts[1].caption, "Undo");
    EXPECT_EQ(prompts[1].style, platform::kMbOk | platform::kMbIconInformation);
    EXPECT_EQ(prompts[1].text, "Files deleted: 1\n"
                               "Folders removed: 1\n"
                               "Registry keys removed: 1\n"
                               "Registry values removed: 1\n"
                               "Registry values put back: 1\n"
                               "Start-up files put back: 0");
}

TEST_F(AppUninstallTest, LeftoversAreCountedOnlyAfterTheUninstallersLastProcess) {
    // A real uninstaller of the kind that starts its copy and returns: the
    // copy removes b.exe 1.5 s later and notes when it ended.
    ui::set_start_process_hook(nullptr);
    std::filesystem::copy_file(KESTRIL_SPAWNER, dir.host("spawner.exe"));
    install();
    const std::string stamp = dir.dos("ended");
    const std::string command =
        "\"" + dir.dos("spawner.exe") + "\" start run 1500 " + dir.dos("app\\b.exe") + " " + stamp;
    addUninstallKey(command.c_str());
    chooseAppUninstaller();
    unsigned long long asked_at = 0;
    on_prompt = [&](const platform::Prompt&) {
        asked_at = GetTickCount64();
        return platform::kIdYes;
    };
    kestril::resultsLoop();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, "Uninstall incomplete");
    EXPECT_FALSE(exists(dir.dos("app\\b.exe")));
    const std::string b = "  " + fileItem("app\\b.exe") + " [1]";
    const std::string a = "  " + fileItem("app\\a.txt") + " [1]";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), b), 0) << "removed by the child: not left";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), a), 1);
    test::Bytes ended = test::read_host_file(dir.host("ended"));
    ASSERT_FALSE(ended.empty()) << "the question came before the child ended";
    const unsigned long long ended_at = std::stoull(std::string(ended.begin(), ended.end()));
    EXPECT_GE(asked_at, ended_at);
    EXPECT_LT(asked_at - ended_at, 5000u);
    std::printf("uninstaller's last process end to the leftover question: %llu ms\n",
                asked_at - ended_at);
}

TEST_F(AppUninstallTest, NoToWhatIsLeftEndsTheLoop) {
    install();
    addUninstallKey("C:\\APP\\UNWISE.EXE");
    chooseAppUninstaller();
    on_start = [] { return true; }; // removes nothing
    kestril::resultsLoop();
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(exists(dir.dos("app\\a.txt")));
    EXPECT_TRUE(keyExists("Bee"));
}

TEST_F(AppUninstallTest, AnUninstallerThatCannotStartOffersTheMonitorsUndo) {
    struct Case {
        const char* command; // nullptr: the key has no UninstallString
        bool starts;
        int answer;
        bool undone;
    };
    const Case cases[] = {
        {nullptr, true, platform::kIdYes, true},
        {nullptr, true, platform::kIdNo, false},
        {"C:\\APP\\MISSING.EXE", false, platform::kIdYes, true},
        {"C:\\APP\\MISSING.EXE", false, platform::kIdNo, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command ? c.command : "no command") + " " +
                     std::to_string(c.answer));
        TearDown();
        SetUp();
        offered.clear();
        started.clear();
        prompts.clear();
        install();
        addUninstallKey(c.command);
        chooseAppUninstaller();
        on_start = [&] { return c.starts; };
        on_prompt = [&](const platform::Prompt&) { return c.answer; };
        kestril::resultsLoop();
        EXPECT_EQ(started.size(), c.command ? 1u : 0u) << "an empty command is not started";
        ASSERT_EQ(prompts.size(), c.undone ? 2u : 1u);
        if (c.undone) EXPECT_EQ(prompts[1].caption, "Undo");
        EXPECT_EQ(prompts[0].text, "Can't start program. Uninstall with ZARVO?");
        EXPECT_EQ(prompts[0].caption, "Alert");
        EXPECT_EQ(prompts[0].style, platform::kMbYesNo);
        EXPECT_EQ(offered.size(), 1u);
        EXPECT_EQ(exists(dir.dos("app\\a.txt")), !c.undone);
        EXPECT_EQ(keyExists("Bee"), !c.undone);
    }
}

TEST_F(AppUninstallTest, AnUncheckedBoxMeansTheMonitorsUndo) {
    install();
    addUninstallKey("C:\\APP\\UNWISE.EXE");
    on_dialog = [&](ui::Dialog& d) {
        EXPECT_TRUE(IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL)));
        d.click(IDC_RESULTS_UNINSTALL);
    };
    kestril::resultsLoop();
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(kestril::appUninstallTried);
    EXPECT_FALSE(exists(dir.dos("app\\a.txt")));
    EXPECT_FALSE(keyExists("Uninstall\\App"));
}

TEST_F(AppUninstallTest, OnceTriedTheUninstallerIsNotOfferedAgain) {
    addUninstallKey("C:\\APP\\UNWISE.EXE");
    kestril::appUninstallTried = true;
    chooseAppUninstaller();
    kestril::resultsLoop();
    EXPECT_EQ(offered, std::vector<bool>{false});
    EXPECT_TRUE(started.empty()) << "the click on the disabled box does nothing";
}

} // namespace
} // namespace test
