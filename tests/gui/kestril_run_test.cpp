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
#include "dialog_keys.h"
#include "kestril/run.h"
#include "kestril_support.h"
#include "monitor/file_changes.h"
#include "monitor/run_state.h"
#include "test_support.h"
#include "ui/application.h"
#include "ui/dialog.h"

namespace {

using test::KestrilRunTest;

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

    // Run without a file: the error, then the picker again, where Cancel ends.
    std::vector<std::size_t> promptsBefore;
    on_dialog = [&](ui::Dialog& d) {
        promptsBefore.push_back(prompts.size());
        d.click(promptsBefore.size() == 1 ? IDC_PICK_RUN : IDCANCEL);
    };
    run();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Error: No file was selected");
    EXPECT_EQ(prompts[0].caption, "Error");
    EXPECT_EQ(dialogs, (std::vector<std::string>{"PICKAPP_DLG", "PICKAPP_DLG", "PICKAPP_DLG"}))
        << "no wait: nothing was started";
    EXPECT_EQ(promptsBefore, (std::vector<std::size_t>{0, 1})) << "the picker comes back after it";
    expect_clean();
}

// Return through the dialog manager, as the keyboard delivers it, with the
// focus on one of the picker's controls.
void pressReturn(ui::Dialog& d, int control) {
    HWND target = d.item(control);
    SetFocus(target);
    PostMessageA(target, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC0000001);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(d.hwnd()) && IsDialogMessageA(d.hwnd(), &m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

std::vector<std::string> listItems(HWND list) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[300] = {};
        if (SendMessageA(list, LB_GETTEXTLEN, i, 0) < LRESULT(sizeof text))
            SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

void selectItem(ui::Dialog& d, int list, const char* text, int notification) {
    LRESULT at = SendMessageA(d.item(list), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(text));
    ASSERT_GE(at, 0) << text;
    SendMessageA(d.item(list), LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    if (notification)
        SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(list, notification),
                     reinterpret_cast<LPARAM>(d.item(list)));
}

// The picker from the keyboard: Return opens a folder in the folder list,
// runs a program in the file list, and elsewhere runs only what Run could.
// The "programs" are no programs, so the run ends at its start, with the
// error that says so.
class PickAppTest : public KestrilRunTest {
  protected:
    void SetUp() override {
        // The picker opens in the folder kestril starts in, and kestril
        // goes back there at its end.
        outside_ = platform::current_directory();
        std::filesystem::create_directories(dir.host("pick/Setups One/inner"));
        for (const char* name :
             {"pick/Setups One/Setup.EXE", "pick/Setups One/app.msi", "pick/Setups One/readme.txt"})
            test::write_host_file(dir.host(name), {'M', 'Z'});
        ASSERT_TRUE(platform::set_current_directory(dir.dos("pick").c_str()));
        KestrilRunTest::SetUp();
        // msiexec would start even for a package that is none.
        previous_ = ui::set_start_process_hook(
            [this](const std::string& line, const std::string&, HANDLE*) {
                started_.push_back(line);
                return false;
            });
    }
    void TearDown() override {
        ui::set_start_process_hook(std::move(previous_));
        KestrilRunTest::TearDown();
        platform::set_current_directory(outside_.c_str());
    }
    // The path the picker ran, and whether the run reached its start.
    void expectRan(const std::string& path) {
        EXPECT_STREQ(kestril::installerPath, path.c_str());
        ASSERT_EQ(started_.size(), 1u);
        EXPECT_EQ(started_[0], kestril::installerCommandLine(path));
        started_.clear();
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, "Error: Can't create the installer thread");
        expect_clean();
    }
    // As the picker names it: the folder list's entries are lowercase.
    const std::string setups = dir.dos("pick\\setups one");
    std::string outside_;
    std::vector<std::string> started_;
    ui::StartProcessHook previous_;
};

TEST_F(PickAppTest, ReturnInTheFolderListOpensAndInTheFileListRuns) {
    std::vector<std::string> folders, files, inner;
    std::string shown;
    bool endedEarly = false;
    on_dialog = [&](ui::Dialog& d) {
        ASSERT_EQ(d.template_name(), "PICKAPP_DLG");
        selectItem(d, IDC_PICK_FOLDERS, "[setups one]", 0);
        pressReturn(d, IDC_PICK_FOLDERS);
        endedEarly = d.ended();
        shown = d.text(IDC_PICK_PATH);
        folders = listItems(d.item(IDC_PICK_FOLDERS));
        files = listItems(d.item(IDC_PICK_FILES));
        selectItem(d, IDC_PICK_FOLDERS, "[inner]", 0);
        pressReturn(d, IDC_PICK_FOLDERS);
        inner = listItems(d.item(IDC_PICK_FILES));
        selectItem(d, IDC_PICK_FOLDERS, "[..]", 0);
        pressReturn(d, IDC_PICK_FOLDERS);
        endedEarly = endedEarly || d.ended();
        // Moving through the file list chooses; Return there runs.
        selectItem(d, IDC_PICK_FILES, "setup.exe", LBN_SELCHANGE);
        pressReturn(d, IDC_PICK_FILES);
        if (!d.ended()) d.click(IDCANCEL);
    };
    run();
    EXPECT_FALSE(endedEarly) << "Return in the folder list never runs";
    EXPECT_EQ(shown, setups);
    EXPECT_EQ(folders, (std::vector<std::string>{"[..]", "[inner]"}));
    EXPECT_EQ(files, (std::vector<std::string>{"app.msi", "setup.exe"}))
        << "programs and installer packages, nothing else";
    EXPECT_TRUE(inner.empty());
    EXPECT_EQ(dialogs, std::vector<std::string>{"PICKAPP_DLG"});
    expectRan(setups + "\\setup.exe");
}

TEST_F(PickAppTest, ReturnElsewhereRunsOnlyAChosenFile) {
    struct Case {
        const char* what;
        std::function<void(ui::Dialog&)> before; // nullptr: nothing chosen
        bool runs;
    };
    auto open = [](ui::Dialog& d) { selectItem(d, IDC_PICK_FOLDERS, "[setups one]", LBN_DBLCLK); };
    const Case cases[] = {
        {"nothing chosen", nullptr, false},
        {"a folder highlighted only",
         [&](ui::Dialog& d) { selectItem(d, IDC_PICK_FOLDERS, "[setups one]", 0); }, false},
        {"a package chosen with the mouse",
         [&](ui::Dialog& d) {
             open(d);
             selectItem(d, IDC_PICK_FILES, "app.msi", LBN_SELCHANGE);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.clear();
        dialogs.clear();
        bool ended = false;
        on_dialog = [&](ui::Dialog& d) {
            if (c.before) c.before(d);
            pressReturn(d, IDC_PICK_DRIVES);
            ended = d.ended();
            if (!ended) d.click(IDCANCEL);
        };
        run();
        EXPECT_EQ(ended, c.runs);
        if (c.runs)
            expectRan(setups + "\\app.msi");
        else
            EXPECT_TRUE(prompts.empty());
    }
}

TEST_F(PickAppTest, ReturnWithGuardOnlyTickedRunsWithoutAProgram) {
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "PICKAPP_DLG") {
            d.click(IDC_PICK_GUARD_ONLY);
            pressReturn(d, IDC_PICK_GUARD_ONLY);
            if (!d.ended()) d.click(IDCANCEL);
            return;
        }
        d.click(IDC_WAIT_NO_UNINSTALL);
        d.click(IDOK);
    };
    run();
    EXPECT_EQ(dialogs, (std::vector<std::string>{"PICKAPP_DLG", "WAIT_DLG"}));
    EXPECT_TRUE(prompts.empty()) << (prompts.empty() ? "" : prompts[0].text);
    expect_clean();
}

TEST(KestrilAccessLetters, EveryButtonHasItsOwnLetter) {
    const struct {
        const char* dialog;
        std::vector<std::string> buttons; // as shown, OK and Cancel included
    } cases[] = {
        {"PICKAPP_DLG", {"Guard Only", "Run", "Cancel", "Help"}},
        {"WAIT_DLG", {"View install changes", "No uninstall wanted", "Ok"}},
        {"EXIT_DLG", {"OK to Exit", "Don't Exit"}},
        {"RESULTS_DLG",
         {"Check to use the applications uninstall program.", "Uninstall", "Keep It", "Report",
          "Help"}},
    };
    for (const auto& c : cases)
        test::expect_own_letters(c.dialog, c.buttons);
}

// The picker's and the wait's letters, pressed as a user would: each
// reaches its control, and none runs or ends anything by itself.
TEST_F(PickAppTest, LettersReachTheirControls) {
    std::vector<std::string> reached;
    on_dialog = [&](ui::Dialog& d) {
        HWND h = d.hwnd();
        if (d.template_name() == "PICKAPP_DLG" && !reached.empty()) {
            d.click(IDCANCEL); // back after an error: the letters failed
            return;
        }
        if (d.template_name() == "PICKAPP_DLG") {
            for (char letter : {'D', 'I', 'F'}) {
                test::press_alt(h, letter);
                reached.push_back(std::string(1, letter) + "=" +
                                  std::to_string(test::focused_id(h)));
            }
            test::press_alt(h, 'G');
            reached.push_back(std::string("G=") +
                              (IsDlgButtonChecked(h, IDC_PICK_GUARD_ONLY) ? "ticked" : "not"));
            EXPECT_FALSE(d.ended());
            test::press_alt(h, 'R'); // Guard Only needs no program: Run goes on
            return;
        }
        test::press_alt(h, 'N');
        reached.push_back(std::string("N=") +
                          (IsDlgButtonChecked(h, IDC_WAIT_NO_UNINSTALL) ? "ticked" : "not"));
        test::press_alt(h, 'V');
        reached.push_back(std::string("V=") +
                          (IsDlgButtonChecked(h, IDC_WAIT_VIEW_CHANGES) ? "ticked" : "not"));
        test::press_alt(h, 'N');
        EXPECT_FALSE(d.ended());
        d.click(IDOK);
    };
    run();
    EXPECT_EQ(reached, (std::vector<std::string>{"D=" + std::to_string(IDC_PICK_DRIVES),
                                                 "I=" + std::to_string(IDC_PICK_FOLDERS),
                                                 "F=" + std::to_string(IDC_PICK_FILES), "G=ticked",
                                                 "N=ticked", "V=ticked"}));
    EXPECT_EQ(dialogs, (std::vector<std::string>{"PICKAPP_DLG", "WAIT_DLG"}));
    EXPECT_TRUE(prompts.empty()) << (prompts.empty() ? "" : prompts[0].text);
    expect_clean();
}

TEST_F(PickAppTest, ADoubleClickOnAFileRunsIt) {
    on_dialog = [&](ui::Dialog& d) {
        selectItem(d, IDC_PICK_FOLDERS, "[setups one]", LBN_DBLCLK);
        selectItem(d, IDC_PICK_FILES, "setup.exe", LBN_SELCHANGE);
        selectItem(d, IDC_PICK_FILES, "setup.exe", LBN_DBLCLK);
        if (!d.ended()) d.click(IDCANCEL);
    };
    run();
    expectRan(setups + "\\setup.exe");
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

namespace {

constexpr platform::RegKey kLM = platform::kHkeyLocalMachine;

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

using test::key_opens;
using test::ok_when_installed;
using test::results_of;
using test::value_text;

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
    EXPECT_EQ(report.compare(0, 20, "Kestril Report\r\n\r\n\r\n"), 0);
    for (const char* line :
         {"NEW > c:\\zarvotrialapp\\app.txt\r\n",
          "NEW KEY\r\n  Key > HKEY_CURRENT_USER\\Software\\ZarvoTrial\r\n",
          "DATA CHANGED\r\n  Key > HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold\r\n  Data "
          "Name > "
          "[Default]\r\n  Previous Data > before\r\n  Previous Type > STRING\r\n  Current Data > "
          "ZarvoTrial.Document\r\n"})
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
    EXPECT_EQ(questions, (std::vector<std::string>{
                             "Uninstall incomplete: Some componants were left. Want to see them?",
                             "Undo: Files deleted: 1\nFolders removed: 1\nRegistry keys removed: "
                             "0\nRegistry values removed: 0\nRegistry values put back: 1\n"
                             "Start-up files put back: 0"}));
    // What the uninstaller left: itself, and the changed value, which still
    // holds the installer's data (the new value beside it it did remove).
    EXPECT_EQ(second, (std::vector<std::string>{
                          "New Files [1]+", "  c:\\zarvotrialapp\\uninst.exe [1]",
                          "Changes to Registry [1]+", "  Changed Keys [1]+",
                          "    HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.zarvotrialold [1]"}));
    EXPECT_FALSE(exists("C:\\ZarvoTrialApp"));
    EXPECT_EQ(value_text(kLM, "SOFTWARE\\Classes\\.zarvotrialold", ""), "before");
    expect_clean();
    reset_machine();
    platform::reg_delete_tree(kLM, "SOFTWARE\\Classes\\.zarvotrialold");
}

} // namespace
