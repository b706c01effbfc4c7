// How the archive manager takes the path of its archive: a relative or Unix
// path on the command line, a path too long for its buffers, and an archive
// that disappears while it is shown.
#include <fstream>

#include "app/resource.h"
#include "gui_support.h"

namespace test {
namespace {

std::string read_all(const std::string& host_path) {
    std::ifstream f(host_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class ArchivePathTest : public ZarvoWindowTest {
  protected:
    void SetUp() override {
        ZarvoWindowTest::SetUp();
        write_ini_with_work();
        ASSERT_TRUE(platform::create_directory(dir.dos("sub").c_str()));
        archive = write_zip("sub\\inc.zip", {{"aliases.h", {'h'}}, {"b.txt", {'b'}}});
        before = platform::current_directory();
    }
    void TearDown() override {
        platform::set_current_directory(before.c_str());
        ZarvoWindowTest::TearDown();
    }
    std::string archive;
    std::string before;
};

TEST_F(ArchivePathTest, CommandLineArchiveIsTakenFromTheFolderTheProgramStartedIn) {
    std::string unix_path;
    ASSERT_TRUE(host_path_of(archive, &unix_path)) << "these tests run under Wine";
    ASSERT_EQ(unix_path[0], '/');
    const struct {
        const char* start_in; // inside the test folder
        std::string argument;
    } cases[] = {
        {"sub", "inc.zip"},        {"", "sub\\inc.zip"}, {"sub", ".\\..\\sub\\inc.zip"},
        {"sub", "sub/../inc.zip"}, // a folder that is not there, left again
        {"", unix_path},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        ASSERT_TRUE(platform::set_current_directory(dir.dos(c.start_in).c_str()));
        ASSERT_TRUE(start({c.argument}));
        EXPECT_TRUE(prompts.empty()) << prompts[0].text;
        EXPECT_EQ(win().archiveOpen(), 1);
        EXPECT_TRUE(same_dos_path(app().archivePath, archive)) << app().archivePath;
        EXPECT_EQ(frame().status_text(0), "inc.zip");
        EXPECT_EQ(names(), (std::vector<std::string>{"aliases.h", "b.txt"}));
        EXPECT_TRUE(same_dos_path(app().lastFolder, dir.dos("sub"))) << app().lastFolder;
        EXPECT_TRUE(same_dos_path(app().extractFolder, dir.dos("sub"))) << app().extractFolder;
        close_program();
        reset_app_state();
    }
}

TEST_F(ArchivePathTest, UnixPathArchiveExtractsIntoItsOwnFolder) {
    std::string unix_path;
    ASSERT_TRUE(host_path_of(archive, &unix_path));
    ASSERT_TRUE(start({unix_path}));
    select_rows({0});
    std::string proposed;
    on_dialog = [&](ui::Dialog& d) {
        proposed = d.text(IDC_DESTINATION);
        d.click(IDC_OK_BUTTON);
    };
    command(CM_EXTRACT);
    EXPECT_TRUE(same_dos_path(proposed, dir.dos("sub"))) << proposed;
    EXPECT_TRUE(prompts.empty()) << prompts[0].text;
    EXPECT_EQ(read_all(dir.host("sub/aliases.h")), "h");
}

TEST_F(ArchivePathTest, PathLongerThanTheBuffersIsRefusedAndTheWindowStaysUsable) {
    std::string folder(120, 'd');
    std::string tail = folder + "\\" + folder + "\\x.zip";
    std::string unix_folder;
    ASSERT_TRUE(host_path_of(folder_dos(), &unix_folder));
    for (std::string argument :
         {dir.dos(tail), unix_folder + "/" + folder + "/" + folder + "/x.zip",
          "..\\sub\\" + tail}) {
        SCOPED_TRACE(argument);
        ASSERT_TRUE(platform::set_current_directory(dir.dos("sub").c_str()));
        prompts.clear();
        outcome = start_program({argument}, program_path().c_str());
        ASSERT_TRUE(outcome.run);
        application = std::make_unique<Zarvo95App>();
        ASSERT_TRUE(application->init_main_window(false));
        pump();
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].caption, "ZARVO");
        EXPECT_NE(prompts[0].text.find("longer than 259 characters"), std::string::npos)
            << prompts[0].text;
        EXPECT_NE(prompts[0].text.find(argument), std::string::npos) << "the whole path is shown";
        EXPECT_EQ(win().archiveOpen(), 0);
        EXPECT_EQ(frame().status_text(0), "No File Opened");
        EXPECT_STREQ(app().archivePath, "");
        // Open still works.
        file_answer = archive;
        command(CM_OPEN);
        EXPECT_EQ(win().archiveOpen(), 1);
        EXPECT_EQ(rows(), 2);
        close_program();
        reset_app_state();
    }
}

TEST_F(ArchivePathTest, ArchiveDeletedWhileShownIsReportedByTheNextCommandThatNeedsIt) {
    std::string setup = write_zip("sub\\trial.zip", {{"setup.exe", {'M', 'Z'}}, {"b.txt", {'b'}}});
    ASSERT_TRUE(start({setup}));
    const int commands[] = {CM_EXTRACT, CM_VIEW,           CM_REMOVE,          CM_ADD,
                            CM_INSTALL, CM_SELECT_COMMENT, CM_USE_FILE_COMMENT};
    for (int id : commands) {
        SCOPED_TRACE(id);
        write_zip("sub\\trial.zip", {{"setup.exe", {'M', 'Z'}}, {"b.txt", {'b'}}});
        file_answer = setup;
        command(CM_OPEN);
        ASSERT_EQ(win().archiveOpen(), 1);
        select_rows({0});
        ASSERT_TRUE(platform::delete_file(setup.c_str()));
        prompts.clear();
        dialogs.clear();
        progress_ops.clear();
        command(id);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].caption, "ZARVO");
        EXPECT_NE(prompts[0].text.find(setup), std::string::npos) << prompts[0].text;
        EXPECT_NE(prompts[0].text.find("no longer there"), std::string::npos) << prompts[0].text;
        EXPECT_EQ(prompts[0].owner, win().hwnd());
        EXPECT_TRUE(dialogs.empty()) << dialogs[0];
        EXPECT_TRUE(progress_ops.empty()) << progress_ops[0];
        EXPECT_EQ(win().archiveOpen(), 0);
        EXPECT_EQ(rows(), 0);
        EXPECT_EQ(frame().status_text(0), "No File Opened");
        EXPECT_FALSE(button_enabled(CM_EXTRACT));
    }
    // The double click that runs a member finds it gone too.
    write_zip("sub\\trial.zip", {{"setup.exe", {'M', 'Z'}}, {"b.txt", {'b'}}});
    command(CM_OPEN);
    select_rows({1});
    ASSERT_TRUE(platform::delete_file(setup.c_str()));
    prompts.clear();
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = list();
    click.hdr.idFrom = IDC_MEMBER_LIST;
    click.hdr.code = NM_DBLCLK;
    click.iItem = 1;
    SendMessageA(win().hwnd(), WM_NOTIFY, IDC_MEMBER_LIST, reinterpret_cast<LPARAM>(&click));
    pump();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_NE(prompts[0].text.find("no longer there"), std::string::npos) << prompts[0].text;
    EXPECT_TRUE(shell_requests.empty());
    EXPECT_EQ(win().archiveOpen(), 0);
}

} // namespace
} // namespace test
