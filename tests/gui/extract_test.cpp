// The Extract command: the destination dialog (proposal, folder names,
// drive and folder navigation, Return), the replace question and its
// answers, and the extraction it starts.
#include <fstream>

#include "app/extract_dialogs.h"
#include "app/folder_browse.h"
#include "app/resource.h"
#include "gui_support.h"

namespace test {
namespace {

std::string read_all(const std::string& host_path) {
    std::ifstream f(host_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> list_items(HWND list, bool combo = false) {
    std::vector<std::string> out;
    LRESULT n = SendMessageA(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[300] = {};
        SendMessageA(list, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

// Selects the folder entry and double-clicks it.
void open_folder(ui::Dialog& d, const std::string& entry) {
    HWND list = d.item(IDC_FOLDERS);
    LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(entry.c_str()));
    ASSERT_NE(at, LB_ERR) << entry;
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_FOLDERS, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
}

class ExtractTest : public ZarvoWindowTest {
  protected:
    void open(const std::vector<ZipMember>& members) {
        write_ini_with_work();
        archive = write_zip("set.zip", members);
        ASSERT_TRUE(start({archive}));
    }
    std::string archive;
};

TEST(FolderNavigation, ParentAndChildEntries) {
    const struct {
        const char* folder;
        const char* entry;
        const char* result;
    } cases[] = {{"C:\\OUT", "[..]", "C:\\"},  {"C:\\", "[..]", "C:\\"},       {"C:\\A\\B", "[..]", "C:\\A"},
                 {"C:\\A", "[B]", "C:\\A\\B"}, {"C:\\", "[OUT]", "C:\\OUT"}, {"C:\\A\\", "[B]", "C:\\A\\B"}};
    for (const auto& c : cases) {
        char folder[platform::kMaxPath];
        platform::copy_bounded(folder, sizeof folder, c.folder);
        EXPECT_TRUE(enter_folder(folder, c.entry));
        EXPECT_STREQ(folder, c.result) << c.folder << " " << c.entry;
    }
}

TEST_F(ExtractTest, DestinationDialogProposesFoldersAndNavigates) {
    open({{"a.txt", {'a'}}, {"docs/b.txt", {'b'}}});
    ASSERT_TRUE(platform::create_directory(dir.dos("OUT").c_str()));
    ASSERT_TRUE(platform::create_directory(dir.dos("OUT\\inner").c_str()));
    app().extractFolder[0] = '\0';
    select_rows({0}); // a.txt only: no folder names to use
    on_dialog = [&](ui::Dialog& d) {
        EXPECT_EQ(ui::window_text(d.hwnd()), "ZARVO - Extract to which directory");
        EXPECT_EQ(d.text(IDC_ARCHIVE_FIELD), archive);
        EXPECT_EQ(d.text(IDC_DESTINATION), folder_dos()) << "the archive's folder is proposed";
        EXPECT_FALSE(d.checked(IDC_USE_FOLDER_NAMES));
        EXPECT_FALSE(IsWindowEnabled(d.item(IDC_USE_FOLDER_NAMES)));
        // The drive list holds "[-x-]" entries with the destination's selected.
        std::vector<std::string> drives = list_items(d.item(IDC_DRIVES), true);
        ASSERT_FALSE(drives.empty());
        char selected[8] = {};
        SendMessageA(d.item(IDC_DRIVES), WM_GETTEXT, sizeof selected,
                     reinterpret_cast<LPARAM>(selected));
        EXPECT_EQ(std::string(selected), std::string("[-") + char(folder_dos()[0] | 0x20) + "-]");

        open_folder(d, "[OUT]");
        EXPECT_EQ(d.text(IDC_DESTINATION), dir.dos("OUT"));
        EXPECT_EQ(list_items(d.item(IDC_FOLDERS)), (std::vector<std::string>{"[..]", "[inner]"}));
        // Return with a folder selected in the list opens it and keeps the dialog.
        SendMessageA(d.item(IDC_FOLDERS), LB_SETCURSEL, 1, 0);
        SetFocus(d.item(IDC_FOLDERS));
        SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(d.text(IDC_DESTINATION), dir.dos("OUT\\inner"));
        EXPECT_FALSE(d.ended()) << "Return never closes the dialog";
        open_folder(d, "[..]");
        EXPECT_EQ(d.text(IDC_DESTINATION), dir.dos("OUT"));
        // Return without a selected folder does nothing.
        SendMessageA(d.item(IDC_FOLDERS), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(d.text(IDC_DESTINATION), dir.dos("OUT"));
        EXPECT_FALSE(d.ended());
        // Choosing the C drive goes to its root, where no "[..]" is offered.
        LRESULT c_drive = SendMessageA(d.item(IDC_DRIVES), CB_FINDSTRINGEXACT,
                                       static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("[-c-]"));
        ASSERT_NE(c_drive, CB_ERR);
        SendMessageA(d.item(IDC_DRIVES), CB_SETCURSEL, static_cast<WPARAM>(c_drive), 0);
        SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_DRIVES, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(d.item(IDC_DRIVES)));
        EXPECT_EQ(d.text(IDC_DESTINATION), "C:\\");
        std::vector<std::string> root = list_items(d.item(IDC_FOLDERS));
        EXPECT_TRUE(std::find(root.begin(), root.end(), "[..]") == root.end());
        EXPECT_TRUE(std::find(root.begin(), root.end(), "[windows]") != root.end());
        d.set_text(IDC_DESTINATION, dir.dos("OUT").c_str());
        d.click(IDC_OK_BUTTON);
    };
    command(CM_EXTRACT);
    ASSERT_EQ(dialogs, std::vector<std::string>{"DIRSELECT_DLG"});
    EXPECT_EQ(read_all(dir.host("OUT/a.txt")), "a");
    EXPECT_EQ(std::string(app().extractFolder), dir.dos("OUT"));

    // The next Extract proposes the last destination; with a member in a
    // folder the check box is offered, checked, and may be cleared.
    select_rows({0, 1});
    dialogs.clear();
    on_dialog = [&](ui::Dialog& d) {
        EXPECT_EQ(d.text(IDC_DESTINATION), dir.dos("OUT"));
        EXPECT_TRUE(d.checked(IDC_USE_FOLDER_NAMES));
        EXPECT_TRUE(IsWindowEnabled(d.item(IDC_USE_FOLDER_NAMES)));
        d.set_text(IDC_DESTINATION, dir.dos("NEW").c_str()); // made on OK, one level
        d.click(IDC_OK_BUTTON);
    };
    command(CM_EXTRACT);
    EXPECT_EQ(read_all(dir.host("NEW/docs/b.txt")), "b");
    EXPECT_EQ(read_all(dir.host("NEW/a.txt")), "a");

    // Cancel leaves the destination as it was and extracts nothing.
    on_dialog = [&](ui::Dialog& d) {
        d.set_text(IDC_DESTINATION, dir.dos("ELSEWHERE").c_str());
        d.click(IDCANCEL);
    };
    command(CM_EXTRACT);
    EXPECT_EQ(std::string(app().extractFolder), dir.dos("NEW"));
    EXPECT_EQ(platform::get_attributes(dir.dos("ELSEWHERE").c_str()), platform::kInvalidAttributes);
}

TEST_F(ExtractTest, ReplaceQuestionAnswers) {
    ZipMember a{"a.txt", {'N', 'A'}}, b{"b.txt", {'N', 'B'}}, c{"c.txt", {'N', 'C'}},
        d{"d.txt", {'N', 'D'}};
    a.date = 0x2067; // 1996-03-07
    a.time = 0x6C20; // 13:33:00
    open({a, b, c, d});
    const struct {
        const char* name;
        std::vector<int> answers; // buttons pressed, in order
        const char* expected;     // file contents afterwards, a to d
        int questions;
    } cases[] = {
        {"no then yes to all", {IDC_ANSWER_NO, IDC_YES_TO_ALL}, "oNBNCND", 2},
        {"yes asks again", {IDOK, IDOK, IDC_ANSWER_NO, IDOK}, "NANBoND", 4},
        {"cancel stops", {IDOK, IDCANCEL}, "NAooo", 2},
        {"the close box is cancel", {0}, "oooo", 1},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        std::string out = std::string("out-") + std::to_string(&k - cases);
        ASSERT_TRUE(platform::create_directory(dir.dos(out).c_str()));
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
            dir.write(out + "/" + name, {'o'});
        std::size_t asked = 0;
        dialogs.clear();
        on_dialog = [&](ui::Dialog& dlg) {
            if (dlg.template_name() == "DIRSELECT_DLG") {
                dlg.set_text(IDC_DESTINATION, dir.dos(out).c_str());
                dlg.click(IDC_OK_BUTTON);
                return;
            }
            ASSERT_EQ(dlg.template_name(), "OVERWRITE_DLG");
            ASSERT_LT(asked, k.answers.size());
            if (asked == 0) {
                EXPECT_EQ(dlg.text(IDC_REPLACE_PATH), dir.dos(out + "\\a.txt"));
                EXPECT_EQ(dlg.text(IDC_MEMBER_FILE), "2 Bytes   3/ 7/1996  13:33");
                EXPECT_EQ(dlg.text(IDC_EXISTING_FILE).substr(0, 9), "1 Bytes  ");
            }
            int button = k.answers[asked++];
            if (button == 0)
                SendMessageA(dlg.hwnd(), WM_CLOSE, 0, 0);
            else
                dlg.click(button);
        };
        command(CM_SELECT_ALL);
        command(CM_EXTRACT);
        EXPECT_EQ(asked, static_cast<std::size_t>(k.questions));
        std::string contents;
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
            contents += read_all(dir.host(out + "/" + name));
        EXPECT_EQ(contents, k.expected);
    }
}

// Names in five scripts, stored as UTF-8 with bit 11 and one in code page
// 437, are listed in the window by their UTF-8 names and extracted under
// them: the program's code page is UTF-8, so the ...A calls carry them.
TEST_F(ExtractTest, NonAsciiNamesAreListedAndExtractedByTheirUtf8Names) {
    const std::vector<std::string> names = {
        "caf\xC3\xA9.txt",
        "\xCE\xBA\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1.txt",
        "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
        "\xF0\x9F\x98\x80.txt",
        "se\xC3\xB1or.txt",
    };
    std::vector<ZipMember> members;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        members.push_back({names[i], Bytes(names[i].begin(), names[i].end())});
        members.back().flags = 0x0800;
    }
    members.push_back({"se\xA4or.txt", Bytes(names.back().begin(), names.back().end())});
    open(members);
    // Sorted by name: ASCII letters folded, then byte order, which is code point order.
    const std::vector<std::string> listed = {names[0], names[5], names[1],
                                             names[2], names[3], names[4]};
    EXPECT_EQ(this->names(), listed);
    ASSERT_TRUE(platform::create_directory(dir.dos("out").c_str()));
    on_dialog = [&](ui::Dialog& dlg) {
        ASSERT_EQ(dlg.template_name(), "DIRSELECT_DLG");
        dlg.set_text(IDC_DESTINATION, dir.dos("out").c_str());
        dlg.click(IDC_OK_BUTTON);
    };
    command(CM_SELECT_ALL);
    command(CM_EXTRACT);
    for (const std::string& name : names) {
        Bytes on_disk = read_host_file(dir.host("out/" + name));
        EXPECT_EQ(std::string(on_disk.begin(), on_disk.end()), name);
    }
}

} // namespace
} // namespace test
