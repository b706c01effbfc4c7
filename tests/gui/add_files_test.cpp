// The Add Files dialog and the New and Add commands, with the real windows:
// the dialog's lists and their enabling, folder navigation, the file list
// it hands to the engine, and the archives the jobs leave.
#include <filesystem>

#include "app/add_files.h"
#include "app/resource.h"
#include "gui_support.h"
#include "ops/extract.h"
#include "ops/flist.h"
#include "zip/errors.h"
#include "zip/zlist.h"

namespace test {
namespace {

namespace fs = std::filesystem;

Bytes bytes_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

ZipMember text_member(const std::string& name, const std::string& text) {
    ZipMember m;
    m.name = name;
    m.data = bytes_of(text);
    return m;
}

bool exists(const std::string& dos_path) {
    return platform::get_attributes(dos_path.c_str()) != platform::kInvalidAttributes;
}

std::vector<std::string> items(HWND control, bool combo) {
    UINT count_msg = combo ? CB_GETCOUNT : LB_GETCOUNT;
    UINT text_msg = combo ? CB_GETLBTEXT : LB_GETTEXT;
    std::vector<std::string> out;
    LRESULT n = SendMessageA(control, count_msg, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[300] = {};
        SendMessageA(control, text_msg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

// What the dialog shows.
struct Shown {
    std::string title, archive, source, include, exclude;
    std::vector<std::string> drives, folders, files, actions, rates, spans;
    std::string drive, action, rate, span; // the selected entries, "" for none
    bool action_enabled, span_enabled, include_enabled, exclude_enabled;
    std::vector<bool> checks;
};

std::string selected(HWND combo) {
    LRESULT at = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (at < 0) return "";
    return items(combo, true)[static_cast<std::size_t>(at)];
}

Shown shown(ui::Dialog& d) {
    Shown s;
    char title[128] = {};
    GetWindowTextA(d.hwnd(), title, sizeof title);
    s.title = title;
    s.archive = d.text(IDC_ARCHIVE_FIELD);
    s.source = d.text(IDC_SOURCE_FIELD);
    s.include = d.text(IDC_INCLUDE);
    s.exclude = d.text(IDC_EXCLUDE);
    s.drives = items(d.item(IDC_DRIVES), true);
    s.folders = items(d.item(IDC_FOLDERS), false);
    s.files = items(d.item(IDC_FILES), false);
    s.actions = items(d.item(IDC_ACTION), true);
    s.rates = items(d.item(IDC_COMPRESSION), true);
    s.spans = items(d.item(IDC_SPANNING), true);
    s.drive = selected(d.item(IDC_DRIVES));
    s.action = selected(d.item(IDC_ACTION));
    s.rate = selected(d.item(IDC_COMPRESSION));
    s.span = selected(d.item(IDC_SPANNING));
    s.action_enabled = IsWindowEnabled(d.item(IDC_ACTION)) != 0;
    s.span_enabled = IsWindowEnabled(d.item(IDC_SPANNING)) != 0;
    s.include_enabled = IsWindowEnabled(d.item(IDC_INCLUDE)) != 0;
    s.exclude_enabled = IsWindowEnabled(d.item(IDC_EXCLUDE)) != 0;
    for (int id : {IDC_RECURSE, IDC_FULL_PATHS, IDC_EMPTY_FOLDERS, IDC_DELETE_SOURCES})
        s.checks.push_back(d.checked(id));
    return s;
}

void notify(ui::Dialog& d, int id, int code) {
    SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(d.item(id)));
}

// Picks row of a drop-down list as the user would.
void choose(ui::Dialog& d, int id, int row) {
    SendMessageA(d.item(id), CB_SETCURSEL, static_cast<WPARAM>(row), 0);
    notify(d, id, CBN_SELCHANGE);
}

// Sets the selection of the file list to exactly these names.
void select_files(ui::Dialog& d, const std::vector<std::string>& names) {
    HWND list = d.item(IDC_FILES);
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    for (const std::string& n : names) {
        LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(n.c_str()));
        EXPECT_GE(at, 0) << n << " is not in the file list";
        SendMessageA(list, LB_SETSEL, TRUE, at);
    }
    notify(d, IDC_FILES, LBN_SELCHANGE);
}

void select_folder(ui::Dialog& d, const std::string& entry) {
    HWND list = d.item(IDC_FOLDERS);
    LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(entry.c_str()));
    EXPECT_GE(at, 0) << entry << " is not in the folder list";
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

void double_click_folder(ui::Dialog& d, const std::string& entry) {
    select_folder(d, entry);
    notify(d, IDC_FOLDERS, LBN_DBLCLK);
}

// Return in the folder list, through the dialog manager as the keyboard
// would deliver it.
void press_return(ui::Dialog& d) {
    HWND list = d.item(IDC_FOLDERS);
    SetFocus(list);
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(list, WM_KEYUP, VK_RETURN, 0xC0000001);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(d.hwnd()) && IsDialogMessageA(d.hwnd(), &m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

std::string with_slashes(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

class AddFilesTest : public ZarvoWindowTest {
  protected:
    // Starts the program, with the archive when one is given.
    void run(const std::vector<std::string>& args = {}) {
        write_ini_with_work();
        ASSERT_TRUE(start(args));
    }
    void make_folder(const std::string& name) { fs::create_directories(dir.host(name)); }
    // New into path, with the dialog answered by act.
    void new_archive(const std::string& path, std::function<void(ui::Dialog&)> act) {
        file_answer = path;
        on_dialog = std::move(act);
        command(CM_NEW);
    }
    std::string src() const { return dir.dos("src"); }
    // The caller's buffers of the dialog when it is run by itself.
    struct Buffers {
        char folder[platform::kMaxPath] = {};
        char include[platform::kMaxPath] = {};
        char exclude[platform::kMaxPath] = {};
    };
    struct DialogRun {
        INT_PTR result;
        Shown shown; // as the dialog opened
    };
    // Runs the dialog itself over files, starting in the test folder with
    // these filter texts; act answers it.
    DialogRun run_dialog(flist& files, Buffers& b, const char* include, const char* exclude,
                         std::function<void(ui::Dialog&)> act) {
        platform::copy_bounded(b.folder, sizeof b.folder, folder_dos().c_str());
        platform::copy_bounded(b.include, sizeof b.include, include);
        platform::copy_bounded(b.exclude, sizeof b.exclude, exclude);
        DialogRun run{};
        on_dialog = [&](ui::Dialog& d) {
            run.shown = shown(d);
            act(d);
        };
        TAddFileDlg dialog(win().hwnd(), "C:\\A.ZIP", b.folder, files, b.include, b.exclude);
        run.result = dialog.execute();
        return run;
    }
    // Member of the open archive by name.
    const zentry* member(const std::string& name) {
        for (const auto& e : app().catalog.entries)
            if (e->name == name) return e.get();
        return nullptr;
    }
};

TEST_F(AddFilesTest, NewAsksWhereAndShowsTheDialogForANewArchive) {
    run();
    std::string started_in = app().lastFolder;
    make_folder("src");
    dir.write("data.txt", bytes_of("data"));

    file_answer = "";
    command(CM_NEW);
    ASSERT_EQ(file_requests.size(), 1u);
    EXPECT_TRUE(dialogs.empty()) << "a cancelled file dialog ends the command";
    const ui::FileDialogRequest& r = file_requests[0];
    EXPECT_TRUE(r.save);
    EXPECT_TRUE(r.overwrite_prompt);
    EXPECT_EQ(r.filter, "Zip Files |*.zip");
    EXPECT_EQ(r.initial_dir, started_in);
    EXPECT_EQ(r.default_ext, "ZIP");

    Shown s;
    new_archive(dir.dos("new.zip"), [&](ui::Dialog& d) {
        s = shown(d);
        d.click(IDCANCEL);
    });
    ASSERT_EQ(dialogs, std::vector<std::string>{"ADDFILES_DLG"});
    EXPECT_EQ(s.title, "ZARVO - Add Files");
    EXPECT_EQ(s.archive, dir.dos("new.zip"));
    EXPECT_EQ(s.source, folder_dos());
    ASSERT_GE(s.drive.size(), 3u);
    EXPECT_EQ(toupper(s.drive[2]), toupper(folder_dos()[0]));
    for (const std::string& entry : s.drives) {
        EXPECT_EQ(entry.size(), 5u);
        EXPECT_EQ(entry.substr(0, 2) + entry.substr(3), "[--]") << entry;
    }
    EXPECT_EQ(s.folders, (std::vector<std::string>{"[..]", "[src]", "[work]"}));
    EXPECT_EQ(s.files, (std::vector<std::string>{"data.txt", "zarvo.ini"}));
    EXPECT_EQ(s.include, "*.*");
    EXPECT_EQ(s.exclude, "");
    EXPECT_TRUE(s.include_enabled);
    EXPECT_TRUE(s.exclude_enabled);
    EXPECT_EQ(s.rates, (std::vector<std::string>{"None", "Minimum", "Normal", "Maxium"}));
    EXPECT_EQ(s.rate, "Normal");
    EXPECT_EQ(s.actions,
              (std::vector<std::string>{"Add files replace existing", "Freshen existing with newer",
                                        "Update, add only new files"}));
    EXPECT_EQ(s.action, "Add files replace existing");
    EXPECT_FALSE(s.action_enabled) << "a new archive can only be filled";
    EXPECT_TRUE(s.spans.empty()) << "no spanning on a fixed drive";
    EXPECT_FALSE(s.span_enabled);
    EXPECT_EQ(s.checks, (std::vector<bool>{false, false, false, false}));

    EXPECT_FALSE(exists(dir.dos("new.zip")));
    EXPECT_EQ(app().engine.file_list, nullptr) << "the cancelled list is released";
    EXPECT_STREQ(app().archivePath, "");
    EXPECT_TRUE(same_dos_path(app().lastFolder, folder_dos()));
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, AddShowsTheDialogForTheOpenArchiveAndCancelKeepsIt) {
    std::string archive = write_zip("test.zip", {text_member("a.txt", "aaa")});
    Bytes before = read_host_file(dir.host("test.zip"));
    run({archive});
    Shown s;
    on_dialog = [&](ui::Dialog& d) {
        s = shown(d);
        d.click(IDCANCEL);
    };
    command(CM_ADD);
    ASSERT_EQ(dialogs, std::vector<std::string>{"ADDFILES_DLG"});
    EXPECT_EQ(s.archive, archive);
    EXPECT_EQ(s.source, folder_dos());
    EXPECT_TRUE(s.action_enabled);
    EXPECT_EQ(s.action, "Add files replace existing");
    EXPECT_EQ(s.rate, "Normal");
    EXPECT_TRUE(s.spans.empty());
    EXPECT_FALSE(s.span_enabled);

    EXPECT_EQ(read_host_file(dir.host("test.zip")), before);
    EXPECT_EQ(app().engine.file_list, nullptr);
    EXPECT_EQ(names(), std::vector<std::string>{"a.txt"}) << "the archive is shown again";
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, CompressionRatesHandTheirLevelsToTheJob) {
    run();
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line " + std::to_string(i % 7) + " of a text that packs well\r\n";
    dir.write("data.txt", bytes_of(text));
    const struct {
        int row;
        std::uint32_t level;
        std::uint16_t method, flags;
    } rates[] = {{0, 0, 0, 0}, {1, 3, 8, 0}, {2, 6, 8, 0}, {3, 9, 8, 2}};
    for (const auto& c : rates) {
        SCOPED_TRACE(c.row);
        std::string path = dir.dos("rate" + std::to_string(c.row) + ".zip");
        new_archive(path, [&](ui::Dialog& d) {
            choose(d, IDC_COMPRESSION, c.row);
            select_files(d, {"data.txt"});
            d.click(IDC_OK_BUTTON);
        });
        EXPECT_EQ(app().engine.level, c.level);
        EXPECT_EQ(std::string(app().archivePath), path);
        ASSERT_EQ(names(), std::vector<std::string>{"data.txt"});
        const zentry* e = member("data.txt");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->method, c.method);
        EXPECT_EQ(e->flags, c.flags);
        EXPECT_EQ(e->uncompressed_size, text.size());
    }
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, FiltersWithRecursionPickFilesBelowTheFolderAndAreKept) {
    run();
    make_folder("src/sub/deep");
    const std::vector<std::pair<std::string, std::string>> files = {
        {"src/a.txt", "alpha"},         {"src/b.doc", "bravo"},     {"src/c.bin", "charlie"},
        {"src/temp1.txt", "temp"},      {"src/sub/d.TXT", "delta"}, {"src/sub/tempx.doc", "temp"},
        {"src/sub/deep/e.doc", "echo"},
    };
    for (const auto& f : files)
        dir.write(f.first, bytes_of(f.second));
    std::string path = dir.dos("filtered.zip");
    new_archive(path, [&](ui::Dialog& d) {
        double_click_folder(d, "[src]");
        d.set_text(IDC_INCLUDE, "*.txt *.doc");
        d.set_text(IDC_EXCLUDE, "temp*.*");
        d.set_checked(IDC_RECURSE, true);
        d.click(IDC_OK_BUTTON);
    });
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(win().archiveOpen(), 1);
    EXPECT_EQ(std::string(app().archivePath), path);
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.doc", "sub/d.TXT", "sub/deep/e.doc"}));
    EXPECT_STREQ(app().includeFilter, "*.txt *.doc");
    EXPECT_STREQ(app().excludeFilter, "temp*.*");
    EXPECT_TRUE(same_dos_path(app().lastFolder, src()));
    EXPECT_EQ(app().engine.file_list, nullptr);

    // The archive reads back whole: every member extracts with its CRC
    // checked and its bytes as they were.
    app().catalog.mark_all(1);
    ASSERT_EQ(extract_files(app().engine, app().catalog, nullptr, app().archivePath,
                            dir.dos("out\\").c_str(), 1, 8),
              0);
    for (const auto& f : files) {
        std::string rel = f.first.substr(4);
        if (rel.find("temp") != std::string::npos || rel == "c.bin") continue;
        EXPECT_EQ(read_host_file(dir.host("out/" + rel)), bytes_of(f.second)) << rel;
    }

    // The next time the dialog shows the filters of the last time.
    Shown again;
    new_archive(dir.dos("second.zip"), [&](ui::Dialog& d) {
        again = shown(d);
        d.click(IDCANCEL);
    });
    EXPECT_EQ(again.include, "*.txt *.doc");
    EXPECT_EQ(again.exclude, "temp*.*");
}

TEST_F(AddFilesTest, SelectedFilesGreyTheFiltersAndAreTakenAlone) {
    run();
    make_folder("src/sub");
    for (const char* name : {"src/a.txt", "src/b.doc", "src/c.txt", "src/sub/d.txt"})
        dir.write(name, bytes_of(name));
    std::vector<Shown> states;
    new_archive(dir.dos("picked.zip"), [&](ui::Dialog& d) {
        double_click_folder(d, "[src]");
        d.set_text(IDC_INCLUDE, "*.bin");
        d.set_checked(IDC_RECURSE, true);
        select_files(d, {"a.txt", "b.doc"});
        states.push_back(shown(d));
        select_files(d, {});
        states.push_back(shown(d));
        select_files(d, {"a.txt", "b.doc"});
        d.click(IDC_OK_BUTTON);
    });
    ASSERT_EQ(states.size(), 2u);
    EXPECT_FALSE(states[0].include_enabled);
    EXPECT_FALSE(states[0].exclude_enabled);
    EXPECT_TRUE(states[1].include_enabled);
    EXPECT_TRUE(states[1].exclude_enabled);
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.doc"}));
    EXPECT_STREQ(app().includeFilter, "*.*") << "the greyed filter is not taken";
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, FoldersAreEnteredByDoubleClickOrReturnAndLeftByTheParent) {
    run();
    make_folder("src/sub/inner");
    dir.write("src/sub/s.txt", bytes_of("s"));
    dir.write("src/t.txt", bytes_of("t"));
    std::vector<Shown> steps;
    new_archive(dir.dos("nav.zip"), [&](ui::Dialog& d) {
        press_return(d); // nothing selected: nothing happens
        steps.push_back(shown(d));
        double_click_folder(d, "[src]");
        steps.push_back(shown(d));
        select_folder(d, "[sub]");
        press_return(d);
        steps.push_back(shown(d));
        double_click_folder(d, "[..]");
        steps.push_back(shown(d));
        double_click_folder(d, "[sub]");
        select_files(d, {"s.txt"});
        d.click(IDC_OK_BUTTON);
    });
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].source, folder_dos());
    EXPECT_EQ(steps[1].source, src());
    EXPECT_EQ(steps[1].folders, (std::vector<std::string>{"[..]", "[sub]"}));
    EXPECT_EQ(steps[1].files, std::vector<std::string>{"t.txt"});
    EXPECT_EQ(steps[2].source, dir.dos("src\\sub"));
    EXPECT_EQ(steps[2].folders, (std::vector<std::string>{"[..]", "[inner]"}));
    EXPECT_EQ(steps[2].files, std::vector<std::string>{"s.txt"});
    EXPECT_EQ(steps[3].source, src());
    // Names are stored relative to the folder the user went to.
    EXPECT_EQ(names(), std::vector<std::string>{"s.txt"});
    EXPECT_TRUE(same_dos_path(app().lastFolder, dir.dos("src\\sub")));

    // A drive chosen from the list goes to its root, which has no parent.
    Shown root;
    new_archive(dir.dos("root.zip"), [&](ui::Dialog& d) {
        choose(d, IDC_DRIVES,
               static_cast<int>(SendMessageA(d.item(IDC_DRIVES), CB_GETCURSEL, 0, 0)));
        root = shown(d);
        d.click(IDCANCEL);
    });
    EXPECT_EQ(root.source, std::string(1, static_cast<char>(toupper(folder_dos()[0]))) + ":\\");
    EXPECT_EQ(std::count(root.folders.begin(), root.folders.end(), "[..]"), 0);
    EXPECT_TRUE(same_dos_path(app().lastFolder, folder_dos())) << "Cancel keeps the folder";
}

TEST_F(AddFilesTest, SwitchesReachTheJob) {
    run();
    make_folder("src/hollow");
    make_folder("src/nest/deeper");
    dir.write("src/a.txt", bytes_of("a"));
    dir.write("src/nest/deeper/x.txt", bytes_of("x"));
    dir.write("src/nest/skipped.bin", bytes_of("b"));
    new_archive(dir.dos("switches.zip"), [&](ui::Dialog& d) {
        double_click_folder(d, "[src]");
        d.set_text(IDC_INCLUDE, "*.txt");
        d.set_checked(IDC_RECURSE, true);
        d.set_checked(IDC_FULL_PATHS, true);
        d.set_checked(IDC_EMPTY_FOLDERS, true);
        d.click(IDC_OK_BUTTON);
    });
    std::string full = with_slashes(src().substr(3)) + "/";
    EXPECT_EQ(names(), (std::vector<std::string>{full + "a.txt", full + "hollow/", full + "nest/",
                                                 full + "nest/deeper/x.txt"}));
    EXPECT_TRUE(exists(dir.dos("src\\a.txt"))) << "sources stay unless asked";
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, AddActionsReplaceFreshenOrUpdate) {
    run();
    dir.write("a.txt", bytes_of("new a text"));
    dir.write("b.txt", bytes_of("b"));
    ZipMember old_a = text_member("a.txt", "old");
    old_a.date = static_cast<std::uint16_t>((10 << 9) | (1 << 5) | 1); // 1990-01-01
    const struct {
        int row;
        std::uint32_t action;
        std::vector<std::string> names;
        std::uint32_t a_size;
    } cases[] = {
        {0, kActionAdd, {"a.txt", "b.txt", "keep.txt"}, 10},
        {1, kActionFreshen, {"a.txt", "keep.txt"}, 10},
        {2, kActionUpdate, {"a.txt", "b.txt", "keep.txt"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        file_answer = write_zip("case" + std::to_string(c.row) + ".zip",
                                {old_a, text_member("keep.txt", "k")});
        command(CM_OPEN);
        ASSERT_EQ(rows(), 2);
        on_dialog = [&](ui::Dialog& d) {
            choose(d, IDC_ACTION, c.row);
            select_files(d, {"a.txt", "b.txt"});
            d.click(IDC_OK_BUTTON);
        };
        command(CM_ADD);
        EXPECT_EQ(app().engine.action, c.action);
        EXPECT_EQ(names(), c.names);
        ASSERT_NE(member("a.txt"), nullptr);
        EXPECT_EQ(member("a.txt")->uncompressed_size, c.a_size);
        EXPECT_EQ(app().engine.file_list, nullptr);
    }
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, TheArchiveIsNeverOneOfItsOwnSources) {
    make_folder("box");
    std::string archive = dir.write("box/test.zip", build_zip({text_member("old.txt", "old")}));
    dir.write("box/a.txt", bytes_of("a"));
    run({archive});
    // Add with the archive in the source folder, sources to be deleted.
    on_dialog = [&](ui::Dialog& d) {
        d.set_text(IDC_INCLUDE, "*.*");
        d.set_checked(IDC_DELETE_SOURCES, true);
        d.click(IDC_OK_BUTTON);
    };
    command(CM_ADD);
    EXPECT_TRUE(exists(archive)) << "the new archive is not deleted as a source";
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "old.txt"}));
    EXPECT_FALSE(exists(dir.dos("box\\a.txt")));

    // New over the same file: the file being replaced is not read back into itself.
    dir.write("box/b.txt", bytes_of("b"));
    new_archive(archive, [&](ui::Dialog& d) {
        d.set_checked(IDC_DELETE_SOURCES, true);
        d.click(IDC_OK_BUTTON);
    });
    EXPECT_TRUE(exists(archive));
    EXPECT_EQ(names(), std::vector<std::string>{"b.txt"});
    EXPECT_TRUE(prompts.empty());
}

TEST_F(AddFilesTest, AddIsRefusedOffFixedAndNetworkDrives) {
    std::string archive = write_zip("test.zip", {text_member("a.txt", "a")});
    run({archive});
    for (std::uint32_t type :
         {kDriveTypeRemovable, kDriveTypeCdRom, kDriveTypeRamDisk, kDriveTypeUnknown}) {
        SCOPED_TRACE(type);
        prompts.clear();
        app().engine.drive_type = type; // the drives themselves cannot be had under Wine
        command(CM_ADD);
        EXPECT_TRUE(dialogs.empty());
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, error_text(ZERR_DRIVE, type));
        EXPECT_EQ(prompts[0].caption, "Error");
        EXPECT_EQ(names(), std::vector<std::string>{"a.txt"}) << "the archive is shown again";
        EXPECT_EQ(app().engine.file_list, nullptr);
    }
}

TEST_F(AddFilesTest, NewIsRefusedWhereNoDriveCanHoldTheArchive) {
    std::string archive = write_zip("test.zip", {text_member("a.txt", "a")});
    run({archive});
    char letter = 'Z';
    while (letter > 'D' && (platform::logical_drives() & (1u << (letter - 'A'))))
        --letter;
    ASSERT_GT(letter, 'D') << "every drive letter is in use";
    std::string path = std::string(1, letter) + ":\\new.zip";
    new_archive(path, [&](ui::Dialog& d) { d.click(IDC_OK_BUTTON); });
    EXPECT_TRUE(dialogs.empty());
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, "Error");
    EXPECT_EQ(prompts[0].text, error_text(ZERR_DRIVE, kDriveTypeUnknown));
    EXPECT_EQ(std::string(app().lastFolder), std::string(1, letter) + ":\\");
    EXPECT_EQ(std::string(app().archivePath), archive);
    EXPECT_EQ(names(), std::vector<std::string>{"a.txt"}) << "the previous archive is shown again";
}

TEST_F(AddFilesTest, HelpAsksTheShellForTheAddTopic) {
    run();
    bool still_open = false;
    new_archive(dir.dos("help.zip"), [&](ui::Dialog& d) {
        d.click(IDC_HELP_BUTTON);
        still_open = IsWindow(d.hwnd()) != 0;
        d.click(IDCANCEL);
    });
    EXPECT_TRUE(still_open);
    ASSERT_EQ(shell_requests.size(), 1u);
    const ui::ShellRequest& r = shell_requests[0];
    EXPECT_EQ(r.verb, "open");
    EXPECT_EQ(r.file, "WINHELP");
    EXPECT_EQ(r.parameters, std::string(" -i add ") + app().programFolder + "\\ZARVO.HLP");
    EXPECT_EQ(r.folder, std::string(app().settings.workDir));
    EXPECT_EQ(r.show, SW_SHOWNORMAL);
}

// The dialog itself, as New sets it up for a removable drive (which Wine
// cannot provide to the command).
TEST_F(AddFilesTest, SpanningIsOfferedWhenTheListAsksForIt) {
    run();
    dir.write("data.txt", bytes_of("d"));
    const struct {
        int spanning;
        const char* shown;
        int row_chosen;
        int result;
    } cases[] = {{1, "Span: None", 2, 4}, {2, "Span: Normal", 0, 1}, {4, "Span: Erase Disk", 1, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spanning);
        flist files;
        files.action = kActionCreate;
        files.spanning = c.spanning;
        Buffers b;
        DialogRun run = run_dialog(files, b, "*.*", "", [&](ui::Dialog& d) {
            choose(d, IDC_SPANNING, c.row_chosen);
            d.click(IDC_OK_BUTTON);
        });
        EXPECT_EQ(run.result, IDOK);
        const Shown& s = run.shown;
        EXPECT_TRUE(s.span_enabled);
        EXPECT_EQ(s.spans,
                  (std::vector<std::string>{"Span: None", "Span: Normal", "Span: Erase Disk"}));
        EXPECT_EQ(s.span, c.shown);
        EXPECT_EQ(files.spanning, c.result);
        EXPECT_EQ(files.action, kActionCreate);
        EXPECT_EQ(files.count(), 2u) << "data.txt and zarvo.ini";
    }
}

TEST_F(AddFilesTest, TheListsShowTheLevelAndActionTheyAreGiven) {
    run();
    // Level and action given, the rows shown, and what Ok hands on unchanged.
    const struct {
        int level, action;
        const char* rate;
        const char* row;
        int level_after, action_after;
    } cases[] = {
        {0, kActionAdd, "None", "Add files replace existing", 0, kActionAdd},
        {2, kActionFreshen, "Minimum", "Freshen existing with newer", 3, kActionFreshen},
        {5, kActionUpdate, "Normal", "Update, add only new files", 6, kActionUpdate},
        {9, kActionRemove, "Maxium", "Add files replace existing", 9, kActionAdd},
        {6, kActionAdd, "", "Add files replace existing", 6, kActionAdd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        flist files;
        files.level = c.level;
        files.action = c.action;
        Buffers b;
        DialogRun run =
            run_dialog(files, b, "", "", [&](ui::Dialog& d) { d.click(IDC_OK_BUTTON); });
        EXPECT_EQ(run.result, IDOK);
        const Shown& s = run.shown;
        EXPECT_EQ(s.rate, c.rate);
        EXPECT_EQ(s.action, c.row);
        EXPECT_TRUE(s.action_enabled);
        EXPECT_EQ(files.level, c.level_after);
        EXPECT_EQ(files.action, c.action_after);
        EXPECT_EQ(files.count(), 0u) << "an empty include text collects nothing";
    }
}

// The selection field of a drop-down list is what the user reads: every
// entry has to fit it whole in the list's own font, with the field's inset.
TEST_F(AddFilesTest, EveryEntryOfTheDropDownListsFitsItsField) {
    run();
    flist files;
    files.action = kActionAdd;
    files.spanning = 1; // so the spanning list is filled too
    Buffers b;
    run_dialog(files, b, "", "", [&](ui::Dialog& d) {
        for (int id : {IDC_ACTION, IDC_COMPRESSION, IDC_SPANNING}) {
            SCOPED_TRACE(id);
            HWND combo = d.item(id);
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            ASSERT_TRUE(GetComboBoxInfo(combo, &info));
            int field = info.rcItem.right - info.rcItem.left;
            HDC dc = GetDC(combo);
            HGDIOBJ old =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0)));
            std::vector<std::string> entries = items(combo, true);
            EXPECT_FALSE(entries.empty());
            for (const std::string& e : entries) {
                SIZE extent{};
                GetTextExtentPoint32A(dc, e.c_str(), static_cast<int>(e.size()), &extent);
                EXPECT_LE(extent.cx + 4, field) << '"' << e << "\" is cut off";
            }
            SelectObject(dc, old);
            ReleaseDC(combo, dc);
        }
        d.click(IDCANCEL);
    });
}

TEST_F(AddFilesTest, CancelLeavesTheListFiltersAndFolderAsTheyWere) {
    run();
    make_folder("src");
    dir.write("src/a.txt", bytes_of("a"));
    flist files;
    files.action = kActionAdd;
    Buffers b;
    DialogRun run = run_dialog(files, b, "*.txt", "x*", [&](ui::Dialog& d) {
        d.set_text(IDC_INCLUDE, "*.doc");
        d.set_text(IDC_EXCLUDE, "y*");
        for (int id : {IDC_RECURSE, IDC_FULL_PATHS, IDC_EMPTY_FOLDERS, IDC_DELETE_SOURCES})
            d.set_checked(id, true);
        choose(d, IDC_COMPRESSION, 0);
        choose(d, IDC_ACTION, 2);
        double_click_folder(d, "[src]");
        select_files(d, {"a.txt"});
        select_folder(d, "[..]");
        press_return(d);
        d.click(IDCANCEL);
    });
    EXPECT_EQ(run.result, IDCANCEL) << "Return never closes the dialog";
    EXPECT_EQ(files.count(), 0u);
    EXPECT_EQ(files.level, 5);
    EXPECT_EQ(files.action, kActionAdd);
    EXPECT_EQ(files.recurse + files.full_paths + files.empty_folders + files.delete_sources, 0);
    EXPECT_EQ(files.prefix_length, 0);
    EXPECT_STREQ(b.include, "*.txt");
    EXPECT_STREQ(b.exclude, "x*");
    EXPECT_EQ(std::string(b.folder), folder_dos());
}

} // namespace
} // namespace test

namespace test {
namespace {

TEST_F(AddFilesTest, DeletingSourcesAsksOnceForTheReadOnlyFile) {
    const struct {
        const char* name;
        int answer; // to the one question
        bool a_kept, locked_kept, c_kept;
    } cases[] = {
        {"no keeps it", IDC_ANSWER_NO, false, true, false},
        {"yes to all deletes all", IDC_YES_TO_ALL, false, false, false},
        {"cancel deletes none", IDCANCEL, true, true, true},
    };
    run();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = std::string("del-") + std::to_string(&c - cases);
        make_folder(folder);
        dir.write(folder + "/a.txt", bytes_of("a"));
        std::string locked = dir.write(folder + "/locked.txt", bytes_of("l"));
        dir.write(folder + "/c.txt", bytes_of("c"));
        ASSERT_TRUE(platform::set_attributes(locked.c_str(), platform::kAttrReadOnly));
        std::vector<std::string> questions;
        new_archive(dir.dos(folder + ".zip"), [&](ui::Dialog& d) {
            if (d.template_name() == "READONLY_DLG") {
                questions.push_back(d.text(IDC_REPLACE_PATH));
                d.click(c.answer);
                return;
            }
            double_click_folder(d, "[" + folder + "]");
            d.set_text(IDC_INCLUDE, "*.txt");
            d.set_checked(IDC_DELETE_SOURCES, true);
            d.click(IDC_OK_BUTTON);
        });
        EXPECT_EQ(questions, std::vector<std::string>{locked});
        EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "c.txt", "locked.txt"}));
        EXPECT_EQ(exists(dir.dos(folder + "\\a.txt")), c.a_kept);
        EXPECT_EQ(exists(locked), c.locked_kept);
        EXPECT_EQ(exists(dir.dos(folder + "\\c.txt")), c.c_kept);
        EXPECT_TRUE(exists(dir.dos(folder))) << "the folder the user chose is not the job's to remove";
        if (c.locked_kept) platform::set_attributes(locked.c_str(), 0);
    }
}

} // namespace
} // namespace test
