// The Install command: which setup program, the last question, the
// extraction into the work folder and what is started.
#include "app/resource.h"
#include "gui_support.h"

namespace test {
namespace {

class InstallTest : public ZarvoWindowTest {
  protected:
    void open(const std::vector<std::string>& names) {
        std::vector<ZipMember> members;
        for (const std::string& n : names)
            members.push_back({n, {'x'}});
        write_ini("[Directores]\r\nWork=" + work_dos() +
                  "\r\n[Programs]\r\nInstaller=C:\\MON\\KESTRIL.EXE\r\n");
        ASSERT_TRUE(start({write_zip("setup.zip", members)}));
        ASSERT_TRUE(win().windowFlags() & TAppWin::hasInstaller);
    }
    bool extracted(const std::string& name) {
        return platform::get_attributes((work_dos() + "\\" + name).c_str()) !=
               platform::kInvalidAttributes;
    }
};

TEST_F(InstallTest, OneSetupProgramGoesToTheMonitorAsOneArgument) {
    open({"readme.txt", "SETUP.EXE", "data/files.cab"});
    select_rows({0});
    on_dialog = [&](ui::Dialog& d) {
        EXPECT_EQ(d.template_name(), "SETUP_DLG") << "no choice to make";
        EXPECT_FALSE(d.checked(IDC_NO_UNINSTALL));
        d.click(IDOK);
    };
    command(CM_INSTALL);
    EXPECT_EQ(dialogs, std::vector<std::string>{"SETUP_DLG"});
    EXPECT_TRUE(extracted("SETUP.EXE"));
    EXPECT_TRUE(extracted("data\\files.cab")) << "the whole archive, with its folders";
    ASSERT_EQ(shell_requests.size(), 1u);
    EXPECT_EQ(shell_requests[0].verb, "open");
    EXPECT_EQ(shell_requests[0].file, "C:\\MON\\KESTRIL.EXE");
    EXPECT_EQ(shell_requests[0].parameters, "\"" + work_dos() + "\\SETUP.EXE\"");
    EXPECT_EQ(rows(), 3) << "the archive is shown again";
    EXPECT_TRUE(selected_rows().empty());
    EXPECT_TRUE(prompts.empty());
}

TEST_F(InstallTest, SeveralSetupProgramsAreChosenFromInRowOrder) {
    open({"disk1/setup.exe", "install.bat", "readme.install.exe.txt", "notes.txt"});
    std::vector<std::string> offered;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "INSTALLER_DLG") {
            HWND list = d.item(IDC_INSTALLER_LIST);
            for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
                char text[300] = {};
                SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(text));
                offered.push_back(text);
            }
            SendMessageA(list, LB_SETCURSEL, 0, 0);
            d.click(IDOK);
        } else {
            d.click(IDOK);
        }
    };
    command(CM_INSTALL);
    EXPECT_EQ(offered, (std::vector<std::string>{"disk1/setup.exe", "install.bat",
                                                 "readme.install.exe.txt"}));
    ASSERT_EQ(shell_requests.size(), 1u);
    EXPECT_EQ(shell_requests[0].parameters, "\"" + work_dos() + "\\disk1\\setup.exe\"")
        << "backslashes throughout, so the monitor finds the setup program's folder";
}

TEST_F(InstallTest, NoUninstallRunsTheSetupProgramItself) {
    open({"disk1/setup.exe"});
    on_dialog = [&](ui::Dialog& d) {
        d.click(IDC_SETUP_HELP);
        d.click(IDC_NO_UNINSTALL);
        d.click(IDOK);
    };
    command(CM_INSTALL);
    ASSERT_EQ(shell_requests.size(), 2u);
    EXPECT_EQ(shell_requests[0].file, "WINHELP");
    EXPECT_EQ(shell_requests[0].parameters,
              std::string(" -i install ") + app().programFolder + "\\ZARVO.HLP");
    EXPECT_EQ(shell_requests[1].file, work_dos() + "\\disk1\\setup.exe");
    EXPECT_EQ(shell_requests[1].parameters, "");
    EXPECT_EQ(shell_requests[1].folder, work_dos() + "\\disk1");
}

TEST_F(InstallTest, CancelInEitherDialogExtractsNothing) {
    open({"setup.exe", "install.exe"});
    for (const char* cancelled : {"INSTALLER_DLG", "SETUP_DLG"}) {
        SCOPED_TRACE(cancelled);
        on_dialog = [&](ui::Dialog& d) {
            d.click(d.template_name() == cancelled ? IDCANCEL : IDOK);
        };
        command(CM_INSTALL);
        EXPECT_FALSE(extracted("setup.exe"));
        EXPECT_TRUE(shell_requests.empty());
    }
}

} // namespace
} // namespace test

namespace test {
namespace {

TEST_F(InstallTest, ARealSetupProgramReachesTheMonitorWhole) {
    // The NSIS installer the monitor's end-to-end test runs, in an archive.
    Bytes setup = read_host_file(ZARVO_NSIS_SETUP);
    ASSERT_FALSE(setup.empty());
    write_ini("[Directores]\r\nWork=" + work_dos() +
              "\r\n[Programs]\r\nInstaller=C:\\MON\\KESTRIL.EXE\r\n");
    ASSERT_TRUE(start({write_zip("trial.zip", {{"readme.txt", {'r'}}, {"setup.exe", setup}})}));
    on_dialog = [&](ui::Dialog& d) { d.click(IDOK); };
    command(CM_INSTALL);
    ASSERT_EQ(shell_requests.size(), 1u);
    EXPECT_EQ(shell_requests[0].file, "C:\\MON\\KESTRIL.EXE");
    EXPECT_EQ(shell_requests[0].parameters, "\"" + work_dos() + "\\setup.exe\"");
    EXPECT_EQ(read_host_file(dir.host("work/setup.exe")), setup) << "extracted byte for byte";
}

} // namespace
} // namespace test
