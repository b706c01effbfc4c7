// Fixtures for the install monitor inside the test process. The first, for
// its windows: the run's folders in a temporary folder, empty change lists,
// a corner of the real registry, and hooks that answer dialogs, message
// boxes, the file dialog, the shell and process starts and record what was
// asked. Helpers drive the results tree with the messages a user's clicks
// and keys send. The second runs kestril_main whole, for real installers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kestril/results_dlg.h"
#include "kestril/run.h"
#include "monitor/file_changes.h"
#include "monitor/registry_snapshot.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"
#include "monitor_support.h"
#include "test_support.h"
#include "ui/application.h"
#include "ui/dialog.h"
#include "ui/process.h"

#include <commctrl.h>

namespace test {

class KestrilWindowTest : public ::testing::Test {
  protected:
    static constexpr platform::RegKey kCU = platform::kHkeyCurrentUser;
    // Below HKCU; its name must not hold "uninstall", which marks the
    // application's uninstaller.
    static constexpr const char* kCorner = "Software\\KestrilWindowTest";

    void SetUp() override {
        clearLists();
        monitor::runError = 0;
        kestril::appUninstallTried = false;
        monitor::uninstallCommand[0] = '\0';
        setPath(monitor::programDir, folder_dos());
        setPath(monitor::copyDir, dir.dos("Copy"));
        setPath(monitor::logPath, dir.dos("vxdlog"));
        platform::reg_delete_tree(kCU, kCorner);
        previous_dialog_ = ui::set_dialog_hook([this](ui::Dialog& d) {
            dialogs.push_back(d.template_name());
            if (on_dialog) on_dialog(d);
        });
        previous_prompt_ = platform::set_prompt_responder([this](const platform::Prompt& p) {
            prompts.push_back(p);
            return on_prompt ? on_prompt(p) : platform::kIdNo;
        });
        previous_file_dialog_ =
            ui::set_file_dialog_hook([this](const ui::FileDialogRequest& r, std::string* path) {
                file_requests.push_back(r);
                if (file_answer.empty()) return false;
                *path = file_answer;
                return true;
            });
        previous_shell_ = ui::set_shell_hook([this](const ui::ShellRequest& r) -> INT_PTR {
            shell_requests.push_back(r);
            return 42;
        });
        previous_start_ = ui::set_start_process_hook(
            [this](const std::string& command, const std::string& folder, HANDLE* thread) {
                started.push_back({command, folder});
                if (on_start && !on_start()) return false;
                // A thread handle that is already signalled: the uninstaller
                // has ended.
                *thread = CreateEventA(nullptr, TRUE, TRUE, nullptr);
                return true;
            });
    }
    void TearDown() override {
        ui::set_dialog_hook(std::move(previous_dialog_));
        platform::set_prompt_responder(std::move(previous_prompt_));
        ui::set_file_dialog_hook(std::move(previous_file_dialog_));
        ui::set_shell_hook(std::move(previous_shell_));
        ui::set_start_process_hook(std::move(previous_start_));
        platform::reg_delete_tree(kCU, kCorner);
        clearLists();
        monitor::runError = 0;
        kestril::appUninstallTried = false;
    }
    static void clearLists() {
        monitor::regchanges.clear();
        monitor::filechanges.clear();
        monitor::dirchanges.clear();
        monitor::savedlist.clear();
    }

    std::string folder_dos() const {
        std::string p = dir.dos("");
        p.pop_back();
        return p;
    }
    // The log of an installation that wrote these paths (folders and files
    // that exist), read as the monitor reads it.
    void readLogOf(const std::vector<std::string>& dos_paths) {
        write_host_file(dir.host("vxdlog"), logOf(dos_paths));
        ASSERT_EQ(monitor::readLog(), 0);
        ASSERT_EQ(monitor::runError, 0);
    }
    // A key (and a text value when name is given) in the registry corner.
    std::string key(const std::string& below) const { return std::string(kCorner) + "\\" + below; }
    void makeKey(const std::string& below, const char* name = nullptr,
                 const std::string& text = "") {
        platform::RegKey k;
        ASSERT_EQ(platform::reg_create(kCU, key(below).c_str(), &k), 0);
        if (name)
            platform::reg_set_value(k, name, platform::kRegSz, text.c_str(),
                                    static_cast<std::uint32_t>(text.size() + 1));
        platform::reg_close(k);
    }
    bool keyExists(const std::string& below) const {
        platform::RegKey k;
        if (platform::reg_open(kCU, key(below).c_str(), &k) != 0) return false;
        platform::reg_close(k);
        return true;
    }
    bool exists(const std::string& dos_path) const {
        return platform::get_attributes(dos_path.c_str()) != platform::kInvalidAttributes;
    }
    // A lowercased path, as the file-change list keeps it.
    static std::string lowered(std::string path) {
        platform::lower_case(&path[0]);
        return path;
    }

    TempDir dir;
    std::function<void(ui::Dialog&)> on_dialog;
    std::vector<std::string> dialogs;
    std::function<int(const platform::Prompt&)> on_prompt; // No when unset
    std::vector<platform::Prompt> prompts;
    std::string file_answer; // the file dialog is cancelled when empty
    std::vector<ui::FileDialogRequest> file_requests;
    std::vector<ui::ShellRequest> shell_requests;
    std::function<bool()> on_start; // the uninstaller's work; false: it does not start
    std::vector<std::pair<std::string, std::string>> started;

  private:
    ui::DialogHook previous_dialog_;
    platform::PromptResponder previous_prompt_;
    ui::FileDialogHook previous_file_dialog_;
    ui::ShellHook previous_shell_;
    ui::StartProcessHook previous_start_;
};

// ---- The results tree, read and driven by messages -------------------------

inline std::string itemText(HWND tree, HTREEITEM item) {
    char text[1024] = {};
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = sizeof text;
    TreeView_GetItem(tree, &tv);
    return text;
}

inline int itemImage(HWND tree, HTREEITEM item) {
    TVITEMA tv = {};
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    TreeView_GetItem(tree, &tv);
    EXPECT_EQ(tv.iImage, tv.iSelectedImage) << "one image for both states";
    return tv.iImage;
}

inline bool itemExpanded(HWND tree, HTREEITEM item) {
    return (TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

// Every item, depth first: two spaces per level, the text, then the image
// in brackets and "+" for an expanded item, e.g. "  c:\app\a.txt [1]".
inline std::vector<std::string> treeLines(HWND tree) {
    std::vector<std::string> lines;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
        for (; item; item = TreeView_GetNextSibling(tree, item)) {
            lines.push_back(std::string(2 * depth, ' ') + itemText(tree, item) + " [" +
                            std::to_string(itemImage(tree, item)) + "]" +
                            (itemExpanded(tree, item) ? "+" : ""));
            walk(TreeView_GetChild(tree, item), depth + 1);
        }
    };
    walk(TreeView_GetRoot(tree), 0);
    return lines;
}

inline HTREEITEM findItem(HWND tree, const std::string& text) {
    HTREEITEM found = nullptr;
    std::function<void(HTREEITEM)> walk = [&](HTREEITEM item) {
        for (; item && !found; item = TreeView_GetNextSibling(tree, item)) {
            if (itemText(tree, item) == text) found = item;
            walk(TreeView_GetChild(tree, item));
        }
    };
    walk(TreeView_GetRoot(tree));
    EXPECT_TRUE(found) << "no item " << text;
    return found;
}

// A left click on the item's text, as the mouse sends it: the button-up is
// queued first, for the tree watches for it while the button is down.
inline void clickItem(HWND tree, HTREEITEM item) {
    TreeView_EnsureVisible(tree, item);
    RECT r = {};
    ASSERT_TRUE(TreeView_GetItemRect(tree, item, &r, TRUE));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
}

inline void pressKey(HWND tree, WPARAM key) {
    SendMessageA(tree, WM_KEYDOWN, key, 1);
    SendMessageA(tree, WM_KEYUP, key, 0xC0000001);
}

// ---- Whole runs with real installers -----------------------------------------

// kestril's whole run through kestril_main in the test process: its
// program folder (Kestril.ini, the driver) in a temporary folder, and hooks
// that answer its dialogs, questions and file dialogs.
class KestrilRunTest : public ::testing::Test {
  protected:
    static bool exists(const std::string& dos_path) {
        return platform::get_attributes(dos_path.c_str()) != platform::kInvalidAttributes;
    }
    void SetUp() override {
        previous_ = platform::set_prompt_responder([this](const platform::Prompt& p) {
            prompts.push_back(p);
            return (p.style & 0xF) == platform::kMbYesNo ? answer_ : int(platform::kIdOk);
        });
        ui::set_file_dialog_hook([this](const ui::FileDialogRequest&, std::string* path) {
            if (file_answer_.empty()) return false;
            *path = file_answer_;
            return true;
        });
        ui::set_dialog_hook([this](ui::Dialog& d) {
            dialogs.push_back(d.template_name());
            if (on_dialog)
                on_dialog(d);
            else
                d.click(IDCANCEL);
        });
        ui::set_shell_hook([](const ui::ShellRequest&) { return INT_PTR(42); });
        // The program's folder: Kestril.ini and the driver beside it.
        std::filesystem::copy_file(std::string(KESTRIL_VXD_DIR) + "/kestril.vxd",
                                   dir.host("kestril.vxd"));
        copy = dir.dos("Copy");
        write_ini("Copy=" + copy);
        before_ = platform::current_directory();
    }
    void TearDown() override {
        platform::set_current_directory(before_.c_str());
        ui::set_dialog_hook(nullptr);
        ui::set_shell_hook(nullptr);
        ui::set_file_dialog_hook(nullptr);
        platform::set_prompt_responder(previous_);
    }
    void write_ini(const std::string& copy_line) {
        std::string text = "[Paths]\r\n" + copy_line + "\r\n";
        write_host_file(dir.host("Kestril.ini"), Bytes(text.begin(), text.end()));
    }
    void run(const std::vector<std::string>& args = {}) {
        kestril::kestril_main(args, dir.dos("kestril.exe").c_str());
    }
    void expect_clean() {
        EXPECT_FALSE(exists(copy)) << "the Copy folder goes at the end";
        EXPECT_FALSE(exists(dir.dos("vxdlog"))) << "and the log";
        EXPECT_EQ(platform::current_directory(), before_);
    }

    TempDir dir;
    std::string copy;
    std::vector<platform::Prompt> prompts;
    std::vector<std::string> dialogs;
    std::function<void(ui::Dialog&)> on_dialog;
    int answer_ = platform::kIdNo; // to Yes/No questions
    std::string file_answer_;      // the save dialog is cancelled when empty

  private:
    platform::PromptResponder previous_;
    std::string before_;
};

inline std::string value_text(platform::RegKey root, const char* path, const char* name) {
    platform::RegKey key;
    if (platform::reg_open(root, path, &key) != 0) return "(no key)";
    std::string found = "(no value)";
    for (std::uint32_t i = 0;; ++i) {
        char n[260], d[260] = {};
        std::uint32_t ns = sizeof n, ds = sizeof d - 1, type = 0;
        if (platform::reg_enum_value(key, i, n, &ns, &type, reinterpret_cast<std::uint8_t*>(d),
                                     &ds) != 0)
            break;
        if (std::string(n) == name) found = d;
    }
    platform::reg_close(key);
    return found;
}

inline bool key_opens(platform::RegKey root, const char* path) {
    platform::RegKey key;
    if (platform::reg_open(root, path, &key) != 0) return false;
    platform::reg_close(key);
    return true;
}

// The tree's lines without what Wine itself changes while windows come and
// go (display settings under Software\Wine and HARDWARE).
inline std::vector<std::string> results_of(HWND tree) {
    std::vector<std::string> lines;
    for (const std::string& line : treeLines(tree)) {
        std::string lower = line;
        platform::lower_case(&lower[0]);
        if (lower.find("\\software\\wine\\") != std::string::npos ||
            lower.find("hkey_local_machine\\hardware\\") != std::string::npos)
            continue;
        lines.push_back(line);
    }
    return lines;
}

// Ok in WaitDlg once the installer has ended (it is asked again until then).
inline void ok_when_installed(ui::Dialog& d) {
    for (int i = 0; i < 300 && !d.ended(); ++i) {
        d.click(IDOK);
        if (!d.ended()) Sleep(100);
    }
}

} // namespace test
