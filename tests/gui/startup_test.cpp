// Start-up, settings, the work folder, Open, About, Help and the hints of
// the archive manager, with its real windows.
#include <fstream>
#include <sstream>

#include "app/resource.h"
#include "app/settings.h"
#include "gui_support.h"
#include "zip/errors.h"

namespace test {
namespace {

std::string read_text(const std::string& host_path) {
    std::ifstream f(host_path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string& dos_path) {
    return platform::get_attributes(dos_path.c_str()) != platform::kInvalidAttributes;
}

using StartupTest = ZarvoWindowTest;

TEST_F(StartupTest, FirstStartWritesTheSettingsFileAndUsesTheDefaultWorkFolder) {
    ASSERT_TRUE(start());
    std::string ini = read_text(dir.host("zarvo.ini"));
    std::string work = default_work_folder();
    EXPECT_NE(ini.find("[Directores]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Work=" + work), std::string::npos) << ini;
    EXPECT_NE(ini.find("Viewer=NOTEPAD.EXE"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Installer=" + dir.dos("KESTRIL.EXE")), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Done]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Pause=0"), std::string::npos) << ini;
    EXPECT_EQ(app().settings.pauseWhenDone, 0);
    EXPECT_EQ(std::string(app().settings.workDir), work + "\\");
    EXPECT_TRUE(exists(work));
    EXPECT_TRUE(prompts.empty());
    close_program();
    EXPECT_FALSE(exists(work)) << "the work folder is removed at the end";
}

TEST_F(StartupTest, PauseMissingFromAnExistingFileMeansPause) {
    write_ini("[Directores]\r\nWork=" + work_dos() + "\r\n[Programs]\r\nViewer=VIEW.EXE\r\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(app().settings.pauseWhenDone, 1);
    EXPECT_STREQ(app().settings.viewerProgram, "VIEW.EXE");
    EXPECT_EQ(std::string(app().settings.installerProgram), dir.dos("KESTRIL.EXE"));
}

TEST_F(StartupTest, WorkFolderWithOrWithoutBackslashIsUsedAlikeAndEmptiedAtTheEnd) {
    for (std::string setting : {work_dos(), work_dos() + "\\"}) {
        SCOPED_TRACE(setting);
        write_ini("[Directores]\r\nWork=" + setting + "\r\n");
        ASSERT_TRUE(start());
        EXPECT_EQ(std::string(app().settings.workDir), work_dos() + "\\");
        EXPECT_TRUE(same_dos_path(platform::current_directory(), work_dos()));
        // Something a View would leave behind, in a folder of its own.
        ASSERT_TRUE(platform::create_directory((work_dos() + "\\docs").c_str()));
        std::ofstream(dir.host("work/docs/readme.txt")) << "left over";
        close_program();
        EXPECT_FALSE(exists(work_dos()));
        EXPECT_TRUE(prompts.empty());
    }
}

TEST_F(StartupTest, WorkSettingNamingAFolderThatIsNotOursIsRefused) {
    // A folder of the user's with a file in it, a drive root, Windows itself.
    ASSERT_TRUE(platform::create_directory(dir.dos("mine").c_str()));
    std::ofstream(dir.host("mine/letter.txt")) << "keep me";
    for (std::string setting :
         {dir.dos("mine"), std::string("C:\\"), platform::windows_directory()}) {
        SCOPED_TRACE(setting);
        prompts.clear();
        write_ini("[Directores]\r\nWork=" + setting + "\r\n");
        ASSERT_TRUE(start());
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].caption, "ZARVO");
        EXPECT_NE(prompts[0].text.find("will not use " + setting), std::string::npos)
            << prompts[0].text;
        EXPECT_EQ(std::string(app().settings.workDir), default_work_folder() + "\\");
        close_program();
        EXPECT_TRUE(exists(dir.dos("mine\\letter.txt")));
        EXPECT_TRUE(exists(platform::windows_directory() + "\\win.ini"));
    }
}

TEST_F(StartupTest, WorkFolderThatCannotBeMadeEndsTheProgramWithMinusOne) {
    dir.write("plain-file", {'x'});
    write_ini("[Directores]\r\nWork=" + dir.dos("plain-file\\work") + "\r\n");
    StartupOutcome failed = start_program({}, program_path().c_str());
    EXPECT_FALSE(failed.run);
    EXPECT_EQ(failed.exit_status, -1);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Could not set working directory");
    EXPECT_EQ(prompts[0].caption, "Error");
    EXPECT_EQ(prompts[0].style, platform::kMbOk);
    EXPECT_EQ(prompts[0].owner, nullptr);
    end_program(); // what the program does on its way out: releases the mutex
    prompts.clear();
    write_ini_with_work();
    EXPECT_TRUE(start()) << "a later start is not turned away";
}

TEST_F(StartupTest, SecondInstanceIsTurnedAway) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    // A second start while the first holds the mutex.
    StartupOutcome second = start_program({}, program_path().c_str());
    EXPECT_FALSE(second.run);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Only one instance of ZARVO at a time please");
    EXPECT_EQ(prompts[0].caption, "OOPS");
    EXPECT_EQ(prompts[0].style, platform::kMbOk);
}

TEST_F(StartupTest, CommandLineArchiveOpensOnlyWithZipOrZIP) {
    write_ini_with_work();
    std::vector<ZipMember> one = {{"a.txt", {'a'}}};
    const struct {
        const char* name;
        bool opened;
    } cases[] = {{"OLD.zip", true}, {"OLD.ZIP", true}, {"OLD.Zip", false}, {"OLD.exe", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = write_zip(c.name, one);
        ASSERT_TRUE(start({path}));
        EXPECT_EQ(win().archiveOpen(), c.opened ? 1 : 0);
        EXPECT_EQ(frame().status_text(0),
                  c.opened ? std::string(c.name) : std::string("No File Opened"));
        // The folders are taken from the argument either way.
        EXPECT_EQ(std::string(app().lastFolder), folder_dos());
        EXPECT_EQ(std::string(app().extractFolder), folder_dos());
        close_program();
        reset_app_state();
    }
}

TEST_F(StartupTest, WithoutArgumentOpenStartsOneFolderAboveTheCurrentOne) {
    write_ini_with_work();
    ASSERT_TRUE(platform::create_directory(dir.dos("WORK").c_str()));
    ASSERT_TRUE(platform::create_directory(dir.dos("WORK\\SUB").c_str()));
    std::string before = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(dir.dos("WORK\\SUB").c_str()));
    ASSERT_TRUE(start());
    EXPECT_EQ(std::string(app().lastFolder), dir.dos("WORK"));
    EXPECT_EQ(std::string(app().extractFolder), "");
    command(CM_OPEN);
    ASSERT_EQ(file_requests.size(), 1u);
    EXPECT_EQ(file_requests[0].initial_dir, dir.dos("WORK"));
    EXPECT_EQ(file_requests[0].filter, "Zip Files |*.zip| Exe Files |*.exe");
    EXPECT_EQ(file_requests[0].default_ext, "ZIP");
    EXPECT_FALSE(file_requests[0].save);
    EXPECT_EQ(frame().status_text(0), "No File Opened") << "Cancel opens nothing";
    close_program();
    EXPECT_TRUE(same_dos_path(platform::current_directory(), dir.dos("WORK\\SUB")))
        << "the start directory is restored";
    platform::set_current_directory(before.c_str());
}

TEST_F(StartupTest, OpenShowsTheArchiveOrSaysWhyNot) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    Bytes noise(600, 0x5A);
    dir.write("prog.exe", noise);
    dir.write("data.bin", noise);
    write_zip("empty.zip", {});
    const struct {
        const char* file;
        const char* text;
        const char* caption;
    } cases[] = {
        {"prog.exe", "Its not a self extracting zip file or its been corrupted.",
         "Zip format not detected"},
        {"data.bin", "Bad CE signature", "Error"},
        {"empty.zip", "Bad zip structure", "Error"}, // an end record and no members
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        prompts.clear();
        file_answer = dir.dos(c.file);
        command(CM_OPEN);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, c.text);
        EXPECT_EQ(prompts[0].caption, c.caption);
        EXPECT_EQ(prompts[0].owner, win().hwnd());
        EXPECT_EQ(win().archiveOpen(), 0);
        EXPECT_EQ(frame().status_text(0), "No File Opened");
        EXPECT_EQ(rows(), 0);
    }
    // The first file chosen gave the extraction folder; later ones keep it.
    EXPECT_EQ(std::string(app().extractFolder), folder_dos());
    ASSERT_TRUE(platform::create_directory(dir.dos("sub").c_str()));
    prompts.clear();
    file_answer = write_zip("sub\\good.zip", {{"a.txt", {'a'}}, {"b.txt", {'b'}}});
    command(CM_OPEN);
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(win().archiveOpen(), 1);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(std::string(app().lastFolder), dir.dos("sub"));
    EXPECT_EQ(std::string(app().extractFolder), folder_dos());
}

TEST_F(StartupTest, SettingsDialogSavesViewerInstallerAndPauseButNeverWork) {
    std::string work_line = "Work=" + work_dos() + "\\";
    write_ini("[Directores]\r\n" + work_line +
              "\r\n[Programs]\r\nViewer=NOTEPAD.EXE\r\nInstaller=C:\\K\\KESTRIL.EXE\r\n"
              "[Done]\r\nPause=0\r\n");
    ASSERT_TRUE(start());
    std::string before = read_text(dir.host("zarvo.ini"));

    on_dialog = [&](ui::Dialog& d) {
        EXPECT_EQ(d.text(IDC_VIEWER), "NOTEPAD.EXE");
        EXPECT_EQ(d.text(IDC_INSTALLER), "C:\\K\\KESTRIL.EXE");
        EXPECT_FALSE(d.checked(IDC_PAUSE));
        d.set_text(IDC_VIEWER, "WRITE.EXE");
        d.click(IDC_PAUSE);
        d.click(IDCANCEL);
    };
    command(CM_SETTINGS);
    EXPECT_EQ(dialogs, std::vector<std::string>{"SETINI_DLG"});
    EXPECT_EQ(read_text(dir.host("zarvo.ini")), before) << "Cancel writes nothing";
    EXPECT_STREQ(app().settings.viewerProgram, "NOTEPAD.EXE");

    on_dialog = [&](ui::Dialog& d) {
        d.set_text(IDC_VIEWER, "WRITE.EXE");
        d.click(IDC_PAUSE);
        d.click(IDOK);
    };
    command(CM_SETTINGS);
    std::string after = read_text(dir.host("zarvo.ini"));
    EXPECT_NE(after.find("Viewer=WRITE.EXE"), std::string::npos) << after;
    EXPECT_NE(after.find("Installer=C:\\K\\KESTRIL.EXE"), std::string::npos) << after;
    EXPECT_NE(after.find("Pause=1"), std::string::npos) << after;
    EXPECT_NE(after.find(work_line + "\r\n"), std::string::npos)
        << "the hand-edited Work stays: " << after;
    EXPECT_EQ(app().settings.pauseWhenDone, 1);
    EXPECT_STREQ(app().settings.viewerProgram, "WRITE.EXE");
}

TEST_F(StartupTest, AboutAndHelp) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    std::string first_line;
    on_dialog = [&](ui::Dialog& d) {
        char title[64] = {};
        GetWindowTextA(d.hwnd(), title, sizeof title);
        EXPECT_STREQ(title, "About ZARVO");
        HWND line = GetWindow(d.hwnd(), GW_CHILD);
        first_line = ui::window_text(line);
        d.click(IDOK);
    };
    command(CM_ABOUT);
    EXPECT_EQ(dialogs, std::vector<std::string>{"ABOUT_DLG"});
    EXPECT_NE(first_line.find("ZARVO"), std::string::npos);
    EXPECT_NE(first_line.find("V0.99"), std::string::npos);

    command(CM_HELP_CONTENTS);
    ASSERT_EQ(shell_requests.size(), 1u);
    EXPECT_EQ(shell_requests[0].verb, "open");
    EXPECT_EQ(shell_requests[0].file, "WINHELP.EXE");
    EXPECT_EQ(shell_requests[0].parameters, "ZARVO.HLP");
    EXPECT_EQ(shell_requests[0].folder, std::string(app().programFolder));
    EXPECT_TRUE(prompts.empty());
    shell_result = 2; // no program to open it with
    command(CM_HELP_CONTENTS);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_NE(prompts[0].text.find("ZARVO.HLP"), std::string::npos);
}

TEST_F(StartupTest, StatusBarShowsTheHintOfTheHighlightedMenuItemOrButton) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    EXPECT_EQ(frame().status_text(0), "No File Opened");
    EXPECT_EQ(frame().status_text(1), "Files: 0    Size: 0    Pack: 0    Ratio: 0    0 Selected");
    HMENU file_menu = GetSubMenu(GetMenu(frame().hwnd()), 0);
    SendMessageA(frame().hwnd(), WM_MENUSELECT, MAKEWPARAM(CM_OPEN, MF_STRING),
                 reinterpret_cast<LPARAM>(file_menu));
    EXPECT_TRUE(frame().showing_hint());
    EXPECT_EQ(frame().hint_text(), "Open an archive and show its contents");
    SendMessageA(frame().hwnd(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_FALSE(frame().showing_hint());
    EXPECT_EQ(frame().status_text(0), "No File Opened");

    // The mouse entering the Open button (the second) and leaving the bar.
    NMTBHOTITEM hot = {};
    hot.hdr.hwndFrom = frame().toolbar();
    hot.hdr.code = TBN_HOTITEMCHANGE;
    hot.idOld = 0;
    hot.idNew = CM_NEW;
    hot.dwFlags = HICF_MOUSE | HICF_ENTERING;
    SendMessageA(frame().hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hot));
    EXPECT_EQ(frame().hint_text(), "Create a new archive");
    hot.idOld = CM_NEW;
    hot.idNew = 0;
    hot.dwFlags = HICF_MOUSE | HICF_LEAVING;
    SendMessageA(frame().hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hot));
    EXPECT_FALSE(frame().showing_hint());
}

} // namespace
} // namespace test
