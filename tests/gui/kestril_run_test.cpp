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
            return int(platform::kIdOk);
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
        // The installer is closed; it may not have its message queue yet.
        for (int i = 0; i < 100; ++i) {
            PostThreadMessageA(GetThreadId(kestril::installerThread), WM_QUIT, 0, 0);
            if (WaitForSingleObject(kestril::installerThread, 100) == WAIT_OBJECT_0) break;
        }
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

} // namespace
