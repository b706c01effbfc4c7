// The install monitor's run as a whole under Wine, with its dialogs answered
// by the test hook: start, the choice of program, the Copy folder, the wait
// while the program runs, the errors, and a clean-up that always leaves no
// log and no Copy folder behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kestril/resource.h"
#include "kestril/run.h"
#include "monitor/file_changes.h"
#include "monitor/run_state.h"
#include "test_support.h"
#include "ui/application.h"
#include "ui/dialog.h"

namespace {

bool exists(const std::string& dos_path) {
    return platform::get_attributes(dos_path.c_str()) != platform::kInvalidAttributes;
}

class KestrilRunTest : public ::testing::Test {
  protected:
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
        test::write_host_file(dir.host("Kestril.ini"), test::Bytes(text.begin(), text.end()));
    }
    void run(const std::vector<std::string>& args = {}) {
        kestril::kestril_main(args, dir.dos("kestril.exe").c_str());
    }
    void expect_clean() {
        EXPECT_FALSE(exists(copy)) << "the Copy folder goes at the end";
        EXPECT_FALSE(exists(dir.dos("vxdlog"))) << "and the log";
        EXPECT_EQ(platform::current_directory(), before_);
    }

    test::TempDir dir;
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

TEST(InstallerFolder, DriveRootsKeepTheirBackslash) {
    EXPECT_EQ(kestril::installerDirOf("c:\\setup.exe"), "c:\\");
    EXPECT_EQ(kestril::installerDirOf("c:\\apps\\setup.exe"), "c:\\apps");
    EXPECT_EQ(kestril::installerDirOf("setup.exe"), "setup.exe");
}

TEST_F(KestrilRunTest, ASecondInstanceIsTurnedAway) {
    ui::NamedMutex first("OOPSKESTRILRUNNING");
    std::filesystem::remove(dir.host("Kestril.ini"));
    run({"c:\\setup.exe"});
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Only one instance of Kestril at a time please");
    EXPECT_EQ(prompts[0].caption, "OOPS");
    EXPECT_FALSE(exists(dir.dos("Kestril.ini"))) << "nothing else happens";
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(KestrilRunTest, CancelLeavesNothingAndRunWithoutAFileIsError11) {
    on_dialog = [&](ui::Dialog& d) {
        EXPECT_EQ(d.template_name(), "PICKAPP_DLG");
        d.click(IDCANCEL);
    };
    run();
    EXPECT_TRUE(prompts.empty());
    EXPECT_FALSE(exists(copy));

    on_dialog = [&](ui::Dialog& d) { d.click(IDC_PICK_RUN); };
    run();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Error: No file was selected");
    EXPECT_EQ(prompts[0].caption, "Error");
    EXPECT_EQ(dialogs, (std::vector<std::string>{"PICKAPP_DLG", "PICKAPP_DLG"}))
        << "no wait: nothing was started";
    expect_clean();
}

TEST_F(KestrilRunTest, ACopySettingThatIsNotOursIsRefused) {
    std::filesystem::create_directories(dir.host("mine"));
    test::write_host_file(dir.host("mine/letter.txt"), {'k'});
    for (const std::string& setting :
         {dir.dos("mine"), std::string("C:\\"), platform::windows_directory()}) {
        SCOPED_TRACE(setting);
        prompts.clear();
        write_ini("Copy=" + setting);
        run({"c:\\setup.exe"});
        ASSERT_EQ(prompts.size(), 2u);
        EXPECT_NE(prompts[0].text.find("will not use " + setting), std::string::npos)
            << prompts[0].text;
        EXPECT_EQ(prompts[1].text, "Error: Unspecified Install Error");
        EXPECT_TRUE(exists(dir.dos("mine\\letter.txt")));
        EXPECT_TRUE(exists(platform::windows_directory() + "\\win.ini"));
    }
}

TEST_F(KestrilRunTest, GuardOnlyRunSeesWhatChangedAndCleansUp) {
    write_ini("Copy=" + copy + "\\"); // used without its trailing backslash
    std::filesystem::create_directories(dir.host("work"));
    std::vector<std::string> seen;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "PICKAPP_DLG") {
            d.click(IDC_PICK_GUARD_ONLY);
            EXPECT_FALSE(IsWindowEnabled(d.item(IDC_PICK_FILES)));
            d.click(IDC_PICK_RUN);
        } else if (d.template_name() == "WAIT_DLG") {
            EXPECT_TRUE(d.checked(IDC_WAIT_VIEW_CHANGES));
            EXPECT_EQ(d.text(IDC_WAIT_STATUS), "Press ok after you try the application. ");
            EXPECT_EQ(platform::current_directory(), copy)
                << "the Copy folder is current during the run";
            // The user tries things out while the monitor watches.
            std::filesystem::create_directories(dir.host("work/tried"));
            test::write_host_file(dir.host("work/tried/made.txt"), {'m'});
            Sleep(1500); // the driver reports as it sees changes
            d.click(IDOK);
            // Only this test's folder: other test programs write on C: too.
            std::string mine = dir.dos("");
            platform::lower_case(&mine[0]);
            for (monitor::FileChange* f = monitor::filechanges.head(); f; f = f->next)
                if (std::string(f->path).compare(0, mine.size(), mine) == 0)
                    seen.push_back(f->path);
        } else {
            d.click(IDCANCEL); // keep it
        }
    };
    run();
    EXPECT_TRUE(prompts.empty()) << (prompts.empty() ? "" : prompts[0].text);
    std::string made = dir.dos("work\\tried\\made.txt");
    platform::lower_case(&made[0]);
    EXPECT_EQ(seen, std::vector<std::string>{made})
        << "with Guard Only no program starts, Ok is never refused";
    EXPECT_TRUE(exists(dir.dos("work\\tried\\made.txt"))) << "kept";
    expect_clean();
}

TEST_F(KestrilRunTest, OkWaitsUntilTheInstallerHasEnded) {
    std::string notepad = platform::system_directory() + "\\notepad.exe";
    int asked = 0;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() != "WAIT_DLG") {
            d.click(IDCANCEL);
            return;
        }
        d.click(IDC_WAIT_NO_UNINSTALL);
        d.click(IDOK); // the installer still runs: refused
        asked = static_cast<int>(prompts.size());
        EXPECT_FALSE(d.ended());
        HANDLE p =
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, kestril::installer.process_id());
        ASSERT_NE(p, nullptr);
        TerminateProcess(p, 0);
        EXPECT_EQ(WaitForSingleObject(p, 10000), WAIT_OBJECT_0);
        CloseHandle(p);
        d.click(IDOK);
    };
    run({notepad});
    EXPECT_EQ(asked, 1);
    ASSERT_FALSE(prompts.empty());
    EXPECT_EQ(prompts[0].text, "You must exit the installion first.");
    EXPECT_EQ(prompts[0].caption, "Installer still running");
    for (std::size_t i = 1; i < prompts.size(); ++i)
        ADD_FAILURE() << prompts[i].caption << ": " << prompts[i].text;
    EXPECT_EQ(dialogs, std::vector<std::string>{"WAIT_DLG"}) << "no uninstall wanted: no results";
    expect_clean();
}

TEST_F(KestrilRunTest, AnInstallerWhoseChildNeverEndsIsStillRunningUntilItIsEnded) {
    // Started bare from a folder with blanks and non-ASCII letters, as a
    // user's download is; it starts a child that never ends and returns.
    const std::string folder = "Setup \xC3\x96rdner"; // "Setup Ördner"
    std::filesystem::create_directories(std::filesystem::u8path(dir.host(folder)));
    std::filesystem::copy_file(KESTRIL_SPAWNER,
                               std::filesystem::u8path(dir.host(folder + "/set up.exe")));
    const std::string args = "start\nrun\n-1\n";
    test::write_host_file(dir.host(folder + "/set up.args"), test::Bytes(args.begin(), args.end()));
    bool by_job = false;
    int refused = 0;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() != "WAIT_DLG") {
            d.click(IDCANCEL);
            return;
        }
        d.click(IDC_WAIT_NO_UNINSTALL);
        by_job = kestril::installer.watch() == ui::WatchedProgram::Watch::Job;
        // Refused now and still a while later, the window answering each time.
        for (int i = 0; i < 3; ++i) {
            Sleep(500);
            d.click(IDOK);
            if (!d.ended()) ++refused;
        }
        ASSERT_NE(kestril::installer.job(), nullptr);
        TerminateJobObject(kestril::installer.job(), 1);
        for (int i = 0; i < 100 && !d.ended(); ++i) {
            Sleep(100);
            d.click(IDOK);
        }
        EXPECT_TRUE(d.ended()) << "Ok is taken once the job's last process is gone";
    };
    run({dir.dos(folder + "\\set up.exe")});
    EXPECT_TRUE(by_job);
    EXPECT_EQ(refused, 3);
    ASSERT_GE(prompts.size(), 3u) << "the setup did not start";
    for (const platform::Prompt& p : prompts)
        EXPECT_EQ(p.caption, "Installer still running") << p.text;
    expect_clean();
}

} // namespace

// ---- A real installer ------------------------------------------------------------

#include "kestril_support.h"

namespace {

constexpr platform::RegKey kLM = platform::kHkeyLocalMachine;

std::string value_text(platform::RegKey root, const char* path, const char* name) {
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

bool key_opens(platform::RegKey root, const char* path) {
    platform::RegKey key;
    if (platform::reg_open(root, path, &key) != 0) return false;
    platform::reg_close(key);
    return true;
}

// The installer's traces, and the value it changes, as they were before.
void reset_machine() {
    platform::reg_delete_tree(kLM, "SOFTWARE\\Classes\\.zarvotrial");
    platform::reg_delete_tree(kLM, "SOFTWARE\\Classes\\.zarvotrialold");
    platform::reg_delete_tree(platform::kHkeyCurrentUser, "Software\\ZarvoTrial");
    platform::reg_delete_tree(
        kLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZarvoTrial");
    for (const char* f : {"C:\\ZarvoTrialApp\\app.txt", "C:\\ZarvoTrialApp\\docs\\readme.txt",
                          "C:\\ZarvoTrialApp\\uninst.exe"})
        platform::delete_file(f);
    platform::remove_directory("C:\\ZarvoTrialApp\\docs");
    platform::remove_directory("C:\\ZarvoTrialApp");
    platform::RegKey old;
    ASSERT_EQ(platform::reg_create(kLM, "SOFTWARE\\Classes\\.zarvotrialold", &old), 0);
    ASSERT_EQ(platform::reg_set_value(old, "", platform::kRegSz, "before", 7), 0);
    platform::reg_close(old);
}

// The tree's lines without what Wine itself changes while windows come and
// go (display settings under Software\Wine and HARDWARE).
std::vector<std::string> results_of(HWND tree) {
    std::vector<std::string> lines;
    for (const std::string& line : test::treeLines(tree)) {
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
void ok_when_installed(ui::Dialog& d) {
    for (int i = 0; i < 300 && !d.ended(); ++i) {
        d.click(IDOK);
        if (!d.ended()) Sleep(100);
    }
}

TEST_F(KestrilRunTest, ARealInstallerIsSeenReportedAndUndone) {
    const std::string setup_built = std::string(ZARVO_NSIS_SETUP);
    ASSERT_TRUE(std::filesystem::exists(setup_built)) << setup_built;
    // As zarvo's Install leaves it: the setup program in the work folder.
    std::filesystem::create_directories(dir.host("work"));
    std::filesystem::copy_file(setup_built, dir.host("work/setup.exe"));
    const std::string setup = dir.dos("work\\setup.exe");
    reset_machine();
    const std::vector<std::string> expected = {
        "New Files [1]+",
        "  c:\\zarvotrialapp\\app.txt [1]",
        "  c:\\zarvotrialapp\\docs\\readme.txt [1]",
        "  c:\\zarvotrialapp\\uninst.exe [1]",
        "Changes to Registry [1]+",
        "  New Keys [1]+", // by key path, whatever the root
        "    HKEY_LOCAL_MACHINE\\Software\\Classes\\.zarvotrial [1]",
        "    HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold\\Content Type [1]",
        "    "
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZarvoTrial "
        "[1]",
        "    HKEY_CURRENT_USER\\Software\\ZarvoTrial [1]",
        "  Changed Keys [1]+",
        "    HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold [1]",
    };

    // First run: the monitor undoes the installation itself.
    std::vector<std::string> shown;
    std::string report;
    file_answer_ = dir.dos("trial.Kes");
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "WAIT_DLG") return ok_when_installed(d);
        ASSERT_EQ(d.template_name(), "RESULTS_DLG");
        shown = results_of(d.item(IDC_RESULTS_TREE));
        EXPECT_TRUE(IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL)))
            << "the installer registered its uninstaller";
        d.click(IDC_RESULTS_REPORT);
        test::Bytes written = test::read_host_file(dir.host("trial.Kes"));
        report.assign(written.begin(), written.end());
        d.click(IDC_RESULTS_UNINSTALL);
    };
    run({setup});
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(report.compare(0, 17, "Kestril Report\n\n\n"), 0);
    for (const char* line :
         {"NEW > c:\\zarvotrialapp\\app.txt\n",
          "NEW KEY\n  Key > HKEY_CURRENT_USER\\Software\\ZarvoTrial\n",
          "DATA CHANGED\n  Key > HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold\n  Data "
          "Name > "
          "[Default]\n  Previous Data > before\n  Previous Type > STRING\n  Current Data > "
          "ZarvoTrial.Document\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
    EXPECT_FALSE(exists("C:\\ZarvoTrialApp")) << "files and then their folders are gone";
    EXPECT_FALSE(key_opens(kLM, "SOFTWARE\\Classes\\.zarvotrial"));
    EXPECT_FALSE(key_opens(platform::kHkeyCurrentUser, "Software\\ZarvoTrial"));
    EXPECT_EQ(value_text(kLM, "SOFTWARE\\Classes\\.zarvotrialold", ""), "before")
        << "the changed value is back";
    EXPECT_EQ(value_text(kLM, "SOFTWARE\\Classes\\.zarvotrialold", "Content Type"), "(no value)");
    expect_clean();

    // Second run: the application's own uninstaller, which leaves itself and
    // the changed value behind; the monitor asks, shows the rest and undoes it.
    reset_machine();
    dialogs.clear();
    prompts.clear();
    std::vector<std::string> second;
    answer_ = platform::kIdYes;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "WAIT_DLG") return ok_when_installed(d);
        if (IsWindowEnabled(d.item(IDC_RESULTS_APP_UNINSTALL))) {
            d.click(IDC_RESULTS_APP_UNINSTALL);
        } else {
            second = results_of(d.item(IDC_RESULTS_TREE));
        }
        d.click(IDC_RESULTS_UNINSTALL);
    };
    run({setup});
    EXPECT_EQ(dialogs, (std::vector<std::string>{"WAIT_DLG", "RESULTS_DLG", "RESULTS_DLG"}));
    // (Ok in the wait may have been refused while the installer ran.)
    std::vector<std::string> questions;
    for (const platform::Prompt& p : prompts)
        if (p.caption != "Installer still running") questions.push_back(p.caption + ": " + p.text);
    EXPECT_EQ(questions, std::vector<std::string>{
                             "Uninstall incomplete: Some componants were left. Want to see them?"});
    // What the uninstaller left: itself, and the changed value's key with
    // the value it did remove (a value record is gone only with its key).
    EXPECT_EQ(
        second,
        (std::vector<std::string>{
            "New Files [1]+", "  c:\\zarvotrialapp\\uninst.exe [1]", "Changes to Registry [1]+",
            "  Changed Keys [1]+", "    HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold [1]",
            "  New Keys [1]+",
            "    HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold\\Content Type [1]"}));
    EXPECT_FALSE(exists("C:\\ZarvoTrialApp"));
    EXPECT_EQ(value_text(kLM, "SOFTWARE\\Classes\\.zarvotrialold", ""), "before");
    expect_clean();
    reset_machine();
    platform::reg_delete_tree(kLM, "SOFTWARE\\Classes\\.zarvotrialold");
}

} // namespace
