// One session of a user on real files, through the commands as the menus
// send them: a new archive from a folder tree, a name filter, an extraction
// over a read-only file, a view whose file is edited and freshened back, a
// removal and a new comment. Info-ZIP's unzip then checks the archive on the
// host.
#include <fstream>

#include "app/resource.h"
#include "ops/paths.h"
#include "gui_support.h"
#include "ui/process.h"
#include "app/view_run.h"

namespace test {
namespace {

std::string read_all(const std::string& host_path) {
    std::ifstream f(host_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void write_text(const TempDir& dir, const std::string& name, const std::string& text,
                platform::DosTime time = {0x4E21, 0x6000}) {
    ASSERT_EQ(createDirPath(dir.dos(name).c_str()), 0);
    std::string path = dir.write(name, Bytes(text.begin(), text.end()));
    platform::ScopedFile f(platform::open_write(path.c_str()));
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(platform::set_file_time(f.get(), time));
}

void double_click_folder(ui::Dialog& d, const char* entry) {
    HWND list = d.item(IDC_FOLDERS);
    LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(entry));
    ASSERT_NE(at, LB_ERR) << entry;
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_FOLDERS, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
}

int row_of(HWND list, const std::string& name) {
    LVFINDINFOA find = {};
    find.flags = LVFI_STRING;
    find.psz = name.c_str();
    return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(&find)));
}

using SessionTest = ZarvoWindowTest;

TEST_F(SessionTest, NewFilterExtractViewFreshenRemoveAndComment) {
    // The user's files, older than today so an edit shows.
    const std::string main_c = "int main(void) { return 0; }\n";
    write_text(dir, "src/docs/readme.txt", "first version of the readme\r\n");
    write_text(dir, "src/docs/guide.doc", std::string(3000, 'g'));
    write_text(dir, "src/code/main.c", main_c);
    write_text(dir, "src/code/util.c", "void util(void) {}\n");
    write_text(dir, "src/code/notes.txt", "to be removed\n");
    // What the "viewer" saves: it copies an edited readme over the viewed file.
    const std::string edited = "second version, edited while viewed\r\n";
    write_text(dir, "edited-readme.txt", edited, {0x5A21, 0x6000}); // 2025
    write_ini("[Directores]\r\nWork=" + work_dos() +
              "\r\n[Programs]\r\nViewer=cmd.exe /c copy /b " + dir.dos("edited-readme.txt") +
              "\r\n[Done]\r\nPause=0\r\n");
    ASSERT_TRUE(start());

    // New: the whole tree below src, recursively, at the normal rate.
    std::string archive = dir.dos("session.zip");
    file_answer = archive;
    on_dialog = [&](ui::Dialog& d) {
        ASSERT_EQ(d.template_name(), "ADDFILES_DLG");
        double_click_folder(d, "[src]");
        d.set_text(IDC_INCLUDE, "*.*");
        d.set_checked(IDC_RECURSE, true);
        d.click(IDC_OK_BUTTON);
    };
    command(CM_NEW);
    EXPECT_TRUE(prompts.empty());
    ASSERT_EQ(win().archiveOpen(), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"code/main.c", "code/notes.txt", "code/util.c",
                                                 "docs/guide.doc", "docs/readme.txt"}));
    EXPECT_EQ(frame().status_text(0), "session.zip");
    EXPECT_EQ(progress_ops.front(), "SetCaption") << "the job had its progress dialog";

    // Select the C sources by a name filter.
    on_dialog = [&](ui::Dialog& d) {
        d.set_text(IDC_NAME_FILTER, "*.c");
        d.set_checked(IDC_KEEP_PREVIOUS, false);
        d.click(IDOK);
    };
    command(CM_NAME_FILTER);
    EXPECT_EQ(selected_rows(),
              (std::vector<int>{row_of(list(), "code/main.c"), row_of(list(), "code/util.c")}));

    // Extract them over an older, read-only main.c.
    write_text(dir, "out/code/main.c", "old");
    ASSERT_TRUE(
        platform::set_attributes(dir.dos("out\\code\\main.c").c_str(), platform::kAttrReadOnly));
    std::vector<std::string> asked;
    on_dialog = [&](ui::Dialog& d) {
        asked.push_back(d.template_name());
        if (d.template_name() == "DIRSELECT_DLG") {
            EXPECT_TRUE(d.checked(IDC_USE_FOLDER_NAMES));
            d.set_text(IDC_DESTINATION, dir.dos("out").c_str());
            d.click(IDC_OK_BUTTON);
        } else {
            d.click(IDOK); // replace it
        }
    };
    command(CM_EXTRACT);
    EXPECT_EQ(asked, (std::vector<std::string>{"DIRSELECT_DLG", "OVERWRITE_DLG"}));
    EXPECT_EQ(read_all(dir.host("out/code/main.c")), main_c);
    EXPECT_EQ(read_all(dir.host("out/code/util.c")), "void util(void) {}\n");

    // View the readme; the viewer changes it; Yes freshens the archive.
    select_rows({row_of(list(), "docs/readme.txt")});
    dialogs.clear();
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "FRESHEN_DLG") {
            EXPECT_EQ(d.text(IDC_FRESHEN_NAME), "docs/readme.txt");
            d.click(IDOK);
        } else {
            d.click(IDCANCEL);
        }
    };
    command(CM_VIEW);
    for (int i = 0; i < 1000 && dialogs.empty(); ++i) {
        pump();
        Sleep(10);
    }
    ASSERT_EQ(dialogs, std::vector<std::string>{"FRESHEN_DLG"})
        << "the viewer did not end or changed nothing";
    for (int i = 0; i < 100 && viewWatchersRunning() != 0; ++i) {
        pump();
        Sleep(10);
    }
    EXPECT_EQ(rows(), 5);

    // Remove the notes after the confirmation.
    select_rows({row_of(list(), "code/notes.txt")});
    answer = [](const platform::Prompt& p) {
        return p.caption == "Confirm File Removal" ? int(platform::kIdOk)
                                                   : int(platform::kIdCancel);
    };
    command(CM_REMOVE);
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(row_of(list(), "code/notes.txt"), -1);

    // A new archive comment.
    on_dialog = [&](ui::Dialog& d) {
        ASSERT_EQ(d.template_name(), "ZCOM_DLG");
        d.set_text(IDC_COMMENT_EDIT, "Made in one session\r\nof zarvo");
        d.click(IDOK);
    };
    command(CM_SELECT_COMMENT);
    EXPECT_EQ(ui::window_text(win().comment_box(), 1000), "Made in one session\r\nof zarvo");
    std::vector<platform::Prompt> unexpected;
    for (const platform::Prompt& p : prompts)
        if (p.caption != "Confirm File Removal") unexpected.push_back(p);
    for (const platform::Prompt& p : unexpected)
        ADD_FAILURE() << p.caption << ": " << p.text;
    close_program();

    // Another tool's view of the result.
    std::string host_archive, out;
    if (!host_path_of(archive, &host_archive) || !run_host_command("/usr/bin/unzip -v", &out) ||
        out.find("UnZip") == std::string::npos)
        GTEST_SKIP() << "no Info-ZIP unzip on a host below";
    ASSERT_TRUE(run_host_command("/usr/bin/unzip -t " + host_archive, &out));
    EXPECT_NE(out.find("No errors detected in compressed data"), std::string::npos) << out;
    ASSERT_TRUE(run_host_command("/usr/bin/unzip -Z1 " + host_archive, &out));
    EXPECT_EQ(out, "code/main.c\ncode/util.c\ndocs/guide.doc\ndocs/readme.txt\n");
    ASSERT_TRUE(run_host_command("/usr/bin/unzip -p " + host_archive + " docs/readme.txt", &out));
    EXPECT_EQ(out, edited);
    ASSERT_TRUE(run_host_command("/usr/bin/unzip -z " + host_archive, &out));
    // unzip prints the comment's lines with its own line ends.
    EXPECT_NE(out.find("Made in one session"), std::string::npos) << out;
    EXPECT_NE(out.find("of zarvo"), std::string::npos) << out;
}

} // namespace
} // namespace test
