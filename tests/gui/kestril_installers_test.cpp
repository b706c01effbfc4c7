// Real installers of the common kinds through the install monitor's whole
// run, built from tests/data at build time: one that writes where a 32-bit
// installer is redirected to and whose uninstaller copies itself away and
// returns at once, a bootstrapper that starts that one and returns, and a
// Windows Installer package run through msiexec. For each: the results
// tree, the report, the monitor's own undo, and in a second run the
// application's uninstaller with what it really left, on disk and in the
// registry, against the state before the trial.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <strings.h>

#include "kestril/resource.h"
#include "kestril_support.h"

namespace {

using test::KestrilRunTest;

constexpr platform::RegKey kLM = platform::kHkeyLocalMachine;

struct Key {
    platform::RegKey root;
    std::string path;
};

// What an installer is known to write, and what the monitor must make of it.
struct InstallerKind {
    const char* name;
    const char* setup; // built into ZARVO_INSTALLERS
    // Folders it fills (and a parent that must not stay behind), and the
    // keys it makes, all removed before a trial; values it adds to keys
    // that were there before.
    std::vector<std::string> folders;
    std::vector<Key> keys;
    std::vector<std::pair<Key, std::string>> values;
    // Keys every used Windows has (a fresh Wine prefix may not): made before
    // a trial, so the tree shows what a user would see.
    std::vector<Key> parents;
    std::vector<std::string> watched;   // folders listed, never removed
    std::vector<std::string> firstTree; // after the installer
    std::vector<std::string> report;    // among the report's lines
    std::vector<std::string> leftTree;  // after the application's uninstaller
    std::vector<std::string> leftState; // state() lines that differ then
    std::string leftUndo;               // the monitor's summary of undoing that
};

std::string lowered(std::string s) {
    if (!s.empty()) platform::lower_case(&s[0]);
    return s;
}

std::string temp_folder() {
    char path[MAX_PATH] = {};
    GetTempPathA(sizeof path, path);
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    return p;
}

std::string reg_data(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
    if (type == platform::kRegSz || type == platform::kRegExpandSz)
        return std::string(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    std::string hex;
    char two[3];
    for (std::uint32_t i = 0; i < size; ++i) {
        snprintf(two, sizeof two, "%02x", data[i]);
        hex += two;
    }
    return hex;
}

void dump_key(platform::RegKey root, const std::string& path, std::vector<std::string>* out) {
    platform::RegKey key;
    if (platform::reg_open(root, path.c_str(), &key) != 0) return;
    out->push_back("key " + path);
    for (std::uint32_t i = 0;; ++i) {
        char name[512];
        std::uint8_t data[1024] = {};
        std::uint32_t ns = sizeof name, ds = sizeof data, type = 0;
        if (platform::reg_enum_value(key, i, name, &ns, &type, data, &ds) != 0) break;
        out->push_back("  " + std::string(name) + " = " + std::to_string(type) + ":" +
                       reg_data(type, data, ds));
    }
    std::vector<std::string> subkeys;
    for (std::uint32_t i = 0;; ++i) {
        char name[512];
        if (platform::reg_enum_key(key, i, name, sizeof name) != 0) break;
        subkeys.push_back(name);
    }
    platform::reg_close(key);
    for (const std::string& s : subkeys)
        dump_key(root, path + "\\" + s, out);
}

void list_folder(const std::string& folder, std::vector<std::string>* out) {
    std::vector<platform::FindData> found;
    if (!platform::find_files((folder + "\\*.*").c_str(), &found)) return;
    std::vector<std::string> names;
    for (const platform::FindData& f : found)
        names.push_back(f.name + std::string(f.attributes & platform::kAttrDirectory ? "\\" : ""));
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        out->push_back(lowered(folder + "\\" + n));
        if (n.back() == '\\') list_folder(folder + "\\" + n.substr(0, n.size() - 1), out);
    }
}

void remove_tree(const std::string& folder) {
    std::vector<platform::FindData> found;
    if (platform::find_files((folder + "\\*.*").c_str(), &found))
        for (const platform::FindData& f : found) {
            const std::string path = folder + "\\" + f.name;
            if (f.attributes & platform::kAttrDirectory)
                remove_tree(path);
            else
                platform::delete_file(path.c_str());
        }
    platform::remove_directory(folder.c_str());
}

std::string value_of(const Key& k, const std::string& wanted) {
    platform::RegKey key;
    if (platform::reg_open(k.root, k.path.c_str(), &key) != 0) return "(no key)";
    std::string found = "(no value)";
    for (std::uint32_t i = 0;; ++i) {
        char name[512];
        std::uint8_t data[1024] = {};
        std::uint32_t ns = sizeof name, ds = sizeof data, type = 0;
        if (platform::reg_enum_value(key, i, name, &ns, &type, data, &ds) != 0) break;
        if (strcasecmp(name, wanted.c_str()) == 0)
            found = std::to_string(type) + ":" + reg_data(type, data, ds);
    }
    platform::reg_close(key);
    return found;
}

// The parts of the machine the installer touches: every file and folder in
// its folders, every key it makes with its values, and the values it adds
// to keys that were there before.
std::vector<std::string> state(const InstallerKind& kind) {
    std::vector<std::string> lines;
    for (const std::string& folder : kind.folders) {
        if (platform::get_attributes(folder.c_str()) == platform::kInvalidAttributes) continue;
        lines.push_back(lowered(folder) + "\\");
        list_folder(folder, &lines);
    }
    for (const std::string& folder : kind.watched)
        list_folder(folder, &lines);
    for (const Key& k : kind.keys)
        dump_key(k.root, k.path, &lines);
    for (const auto& v : kind.values)
        lines.push_back(v.first.path + " : " + v.second + " = " + value_of(v.first, v.second));
    return lines;
}

void reset(const InstallerKind& kind) {
    for (const Key& k : kind.parents) {
        platform::RegKey key;
        ASSERT_EQ(platform::reg_create(k.root, k.path.c_str(), &key), 0) << k.path;
        platform::reg_close(key);
    }
    for (const std::string& folder : kind.folders)
        remove_tree(folder);
    for (const Key& k : kind.keys)
        platform::reg_delete_tree(k.root, k.path.c_str());
    for (const auto& v : kind.values) {
        platform::RegKey key;
        // The key stays, as it does on any used machine.
        ASSERT_EQ(platform::reg_create(v.first.root, v.first.path.c_str(), &key), 0);
        platform::reg_delete_value(key, v.second.c_str());
        platform::reg_close(key);
    }
}

// The tree with the parts named by chance replaced: the name of Windows
// Installer's cached copy of a package.
std::vector<std::string> results_without_chance(HWND tree) {
    std::vector<std::string> lines = test::results_of(tree);
    const std::string cache = "c:\\windows\\installer\\";
    for (std::string& line : lines) {
        std::size_t at = line.find(cache);
        std::size_t end = line.find(".msi [");
        if (at != std::string::npos && end != std::string::npos)
            line = line.substr(0, at + cache.size()) + "*" + line.substr(end);
    }
    return lines;
}

std::string crlf_as_lf(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string undo_summary(int files, int folders, int values) {
    return "Undo: Files deleted: " + std::to_string(files) +
           "\nFolders removed: " + std::to_string(folders) +
           "\nRegistry keys removed: 0\nRegistry values removed: " + std::to_string(values) +
           "\nRegistry values put back: 0\nStart-up files put back: 0";
}

const std::string kX86 = "C:\\Program Files (x86)\\Zarvo Redirected Trial";
const std::string kX86Lower = "c:\\program files (x86)\\zarvo redirected trial";
const std::string kWowUninstall =
    "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZarvoRedirectedTrial";
const std::string kWowShared =
    "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kMsiProduct = "{5A1C0E3B-7D2F-4B8E-9C41-2E6F8A0B3D17}";

// What the redirected installer writes, whoever starts it.
InstallerKind redirected() {
    InstallerKind k;
    k.name = "RedirectedLike32Bit";
    k.setup = "redirected-setup.exe";
    k.folders = {kX86};
    k.keys = {{kLM, "Software\\WOW6432Node\\ZarvoRedirectedTrial"}, {kLM, kWowUninstall}};
    k.values = {{{kLM, kWowShared}, kX86 + "\\shared.dll"}};
    k.parents = {{kLM, "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}};
    k.firstTree = {
        "New Files [1]+",
        "  " + kX86Lower + "\\app.txt [1]",
        "  " + kX86Lower + "\\install.log [1]",
        "  " + kX86Lower + "\\shared.dll [1]",
        "  " + kX86Lower + "\\uninst.exe [1]",
        "Changes to Registry [1]+",
        "  New Keys [1]+",
        // By key path without regard to case: SHAREDDLLS before Uninstall.
        "    "
        "HKEY_LOCAL_"
        "MACHINE\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\SHAREDDLLS\\" +
            kX86 + "\\shared.dll [1]",
        "    "
        "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
        "\\ZarvoRedirectedTrial [1]",
        "    HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ZarvoRedirectedTrial [1]",
    };
    k.report = {
        "NEW > " + kX86Lower + "\\uninst.exe\n",
        "NEW KEY\n  Key > HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ZarvoRedirectedTrial\n",
    };
    // Its uninstaller removes all but the log it wrote and the SharedDLLs
    // count.
    k.leftTree = {
        "New Files [1]+",
        "  " + kX86Lower + "\\install.log [1]",
        "Changes to Registry [1]+",
        "  New Keys [1]+",
        "    "
        "HKEY_LOCAL_"
        "MACHINE\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\SHAREDDLLS\\" +
            kX86 + "\\shared.dll [1]",
    };
    k.leftState = {
        lowered(kX86) + "\\",
        kX86Lower + "\\install.log",
        kWowShared + " : " + kX86 + "\\shared.dll = 4:01000000",
    };
    k.leftUndo = undo_summary(1, 1, 1);
    return k;
}

InstallerKind bootstrapper() {
    InstallerKind k = redirected();
    k.name = "BootstrapperThatReturnsAtOnce";
    k.setup = "bootstrap-setup.exe";
    // The inner setup stays where the bootstrapper put it.
    const std::string inner = temp_folder() + "\\ZarvoBootstrap";
    k.folders.push_back(inner);
    k.firstTree.insert(k.firstTree.begin() + 5, "  " + lowered(inner) + "\\inner-setup.exe [1]");
    k.leftTree.insert(k.leftTree.begin() + 2, "  " + lowered(inner) + "\\inner-setup.exe [1]");
    k.leftState.insert(k.leftState.begin() + 2, lowered(inner) + "\\");
    k.leftState.insert(k.leftState.begin() + 3, lowered(inner) + "\\inner-setup.exe");
    k.leftUndo = undo_summary(2, 2, 1);
    return k;
}

InstallerKind package() {
    const std::string folder = "C:\\Program Files\\Zarvo Package Trial";
    const std::string lower = lowered(folder);
    InstallerKind k;
    k.name = "WindowsInstallerPackage";
    k.setup = "trial.msi";
    k.folders = {folder};
    // Windows Installer registers the product under its code, its upgrade
    // code and its components' codes, each with its halves swapped.
    const std::string classes = "Software\\Classes\\Installer\\";
    const std::string installer = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\";
    const std::string product = "B3E0C1A5F2D7E8B4C914E2F6A8B0D371";
    const std::string upgrade = "F7E8D9C0B5A6D3C4E8F2A1B0C9D8E7F6";
    const std::string components = installer + "UserData\\S-1-5-18\\Components\\";
    k.keys = {{kLM, classes + "Features\\" + product},
              {kLM, classes + "Products\\" + product},
              {kLM, classes + "UpgradeCodes\\" + upgrade},
              {kLM, installer + "UpgradeCodes\\" + upgrade},
              {kLM, components + "8495A6B762730514F8E90D1C2B3A4958"},
              {kLM, components + "C0D1E2F3A8B956744A3B2C1D0E9F8A7B"},
              {kLM, installer + "UserData\\S-1-5-18\\Products\\" + product},
              {kLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kMsiProduct},
              {kLM, "Software\\ZarvoPackageTrial"}};
    k.parents = {{kLM, classes + "Features"},
                 {kLM, classes + "Products"},
                 {kLM, classes + "UpgradeCodes"},
                 {kLM, installer + "UpgradeCodes"},
                 {kLM, components.substr(0, components.size() - 1)},
                 {kLM, installer + "UserData\\S-1-5-18\\Products"}};
    // Its cached copy of the package.
    k.watched = {platform::windows_directory() + "\\Installer"};
    k.firstTree = {
        "New Files [1]+",
        "  " + lower + "\\app.txt [1]",
        "  " + lower + "\\readme.txt [1]",
        "  c:\\windows\\installer\\*.msi [1]",
        "Changes to Registry [1]+",
        "  New Keys [1]+",
    };
    for (const Key& key : k.keys)
        k.firstTree.push_back("    HKEY_LOCAL_MACHINE\\" + key.path + " [1]");
    k.report = {
        "NEW > " + lower + "\\readme.txt\n",
        "NEW KEY\n  Key > HKEY_LOCAL_MACHINE\\Software\\ZarvoPackageTrial\n",
    };
    // msiexec /x removes the whole product.
    k.leftTree = {};
    k.leftState = {};
    return k;
}

class KestrilInstallersTest : public KestrilRunTest,
                              public ::testing::WithParamInterface<InstallerKind> {};

TEST_P(KestrilInstallersTest, IsSeenReportedUndoneAndUninstalled) {
    const InstallerKind& kind = GetParam();
    const std::string built = std::string(ZARVO_INSTALLERS) + "/" + kind.setup;
    ASSERT_TRUE(std::filesystem::exists(built)) << built;
    // As zarvo's Install leaves it: the setup program in a work folder whose
    // name has a blank in it.
    std::filesystem::create_directories(dir.host("work dir"));
    std::filesystem::copy_file(built, dir.host(std::string("work dir/") + kind.setup));
    const std::string setup = dir.dos(std::string("work dir\\") + kind.setup);
    reset(kind);
    const std::vector<std::string> before = state(kind);

    // First run: the monitor's own undo.
    std::vector<std::string> shown, installed;
    std::string report;
    file_answer_ = dir.dos("trial.Kes");
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "WAIT_DLG") return test::ok_when_installed(d);
        ASSERT_EQ(d.template_name(), "RESULTS_DLG");
        shown = results_without_chance(d.item(IDC_RESULTS_TREE));
        installed = state(kind);
        EXPECT_TRUE(IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL)))
            << "the installer registered its uninstaller";
        d.click(IDC_RESULTS_REPORT);
        test::Bytes written = test::read_host_file(dir.host("trial.Kes"));
        report = crlf_as_lf(std::string(written.begin(), written.end()));
        d.click(IDC_RESULTS_UNINSTALL);
    };
    run({setup});
    EXPECT_EQ(shown, kind.firstTree);
    EXPECT_NE(installed, before) << "the installer ran before the results were shown";
    for (const std::string& line : kind.report)
        EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
    EXPECT_EQ(state(kind), before) << "the undo leaves the machine as it was";
    expect_clean();

    // Second run: the application's own uninstaller; the monitor shows what
    // it really left and undoes that.
    reset(kind);
    dialogs.clear();
    prompts.clear();
    std::vector<std::string> second, left;
    answer_ = platform::kIdYes;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "WAIT_DLG") return test::ok_when_installed(d);
        if (IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL))) {
            d.click(IDC_RESULTS_APP_UNINSTALL);
        } else {
            second = results_without_chance(d.item(IDC_RESULTS_TREE));
            for (const std::string& line : state(kind))
                if (std::find(before.begin(), before.end(), line) == before.end())
                    left.push_back(line);
        }
        d.click(IDC_RESULTS_UNINSTALL);
    };
    run({setup});
    std::vector<std::string> questions;
    for (const platform::Prompt& p : prompts)
        if (p.caption != "Installer still running") questions.push_back(p.caption + ": " + p.text);
    if (kind.leftTree.empty()) {
        EXPECT_EQ(dialogs, (std::vector<std::string>{"WAIT_DLG", "RESULTS_DLG"}));
        EXPECT_EQ(questions, std::vector<std::string>{}) << "nothing was left";
    } else {
        EXPECT_EQ(dialogs, (std::vector<std::string>{"WAIT_DLG", "RESULTS_DLG", "RESULTS_DLG"}));
        EXPECT_EQ(questions,
                  (std::vector<std::string>{
                      "Uninstall incomplete: Some componants were left. Want to see them?",
                      kind.leftUndo}));
        EXPECT_EQ(second, kind.leftTree);
        EXPECT_EQ(left, kind.leftState) << "what the uninstaller really left";
    }
    EXPECT_EQ(state(kind), before);
    expect_clean();
    reset(kind);
}

INSTANTIATE_TEST_SUITE_P(RealInstallers, KestrilInstallersTest,
                         ::testing::Values(redirected(), bootstrapper(), package()),
                         [](const ::testing::TestParamInfo<InstallerKind>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
