// Files and folders dropped on the main window, as the shell delivers them:
// a real HDROP with wide names sent as WM_DROPFILES; the Add Files dialog it
// opens is answered by the dialog hook. And members dragged out of the list:
// the data object the drag offers, read as a drop target reads it.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/drag_out.h"
#include "app/resource.h"
#include "gui_support.h"
#include "zip/zlist.h"

#include <shlobj.h>

namespace test {
namespace {

namespace fs = std::filesystem;

Bytes bytes_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::wstring wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

// The block the shell hands to WM_DROPFILES: DROPFILES, then the wide
// names one after another, each ended by a NUL, and one more NUL.
HDROP make_drop(const std::vector<std::wstring>& names) {
    std::size_t chars = 1;
    for (const std::wstring& n : names)
        chars += n.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* at = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& n : names) {
        std::copy(n.begin(), n.end(), at);
        at += n.size() + 1;
    }
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

std::vector<std::string> list_items(HWND list, bool selected_only) {
    std::vector<std::string> out;
    LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        if (selected_only && SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0)
            continue;
        char text[600] = {};
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

// What the Add Files dialog opened with.
struct Opened {
    std::string source;
    std::vector<std::string> selected;
    bool recurse = false;
    bool include_enabled = false;
};

class DropTest : public ZarvoWindowTest {
  protected:
    void run(const std::vector<std::string>& args = {}) {
        write_ini_with_work();
        ASSERT_TRUE(start(args));
    }
    // Sent to the frame, where the shell delivers a drop on any part of it.
    void drop(const std::vector<std::wstring>& names) {
        SendMessageW(frame().hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop(names)), 0);
        pump();
    }
    void drop_utf8(const std::vector<std::string>& names) {
        std::vector<std::wstring> w;
        for (const std::string& n : names)
            w.push_back(wide(n));
        drop(w);
    }
    // A file named by UTF-8 text below the test folder; its DOS path.
    std::string make_file(const std::string& name, const std::string& text) {
        fs::path p = fs::u8path(dir.host(name));
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return dir.dos(name);
    }
    // Answers the Add Files dialog: records what it opened with, then act.
    void answer_add(Opened* opened, std::function<void(ui::Dialog&)> act) {
        on_dialog = [opened, act](ui::Dialog& d) {
            opened->source = d.text(IDC_SOURCE_FIELD);
            opened->selected = list_items(d.item(IDC_FILES), true);
            opened->recurse = d.checked(IDC_RECURSE);
            opened->include_enabled = IsWindowEnabled(d.item(IDC_INCLUDE)) != 0;
            act(d);
        };
    }
    std::string open_archive_with(const std::string& member) {
        ZipMember m;
        m.name = member;
        m.data = bytes_of("old");
        std::string archive = write_zip("test.zip", {m});
        run({archive});
        return archive;
    }
};

const char kCyrillicName[] = "\xd0\xb4\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5.txt"; // данные.txt

TEST_F(DropTest, NothingOpenOneArchiveDroppedIsOpenedAsOpenWould) {
    run();
    ZipMember m;
    m.name = "inside.txt";
    m.data = bytes_of("x");
    std::string archive = write_zip("dropped.zip", {m});
    drop_utf8({archive});
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(win().archiveOpen(), 1);
    EXPECT_EQ(names(), std::vector<std::string>{"inside.txt"});
    EXPECT_TRUE(same_dos_path(app().archivePath, archive));
    EXPECT_TRUE(same_dos_path(app().lastFolder, folder_dos()));
    EXPECT_TRUE(same_dos_path(app().extractFolder, folder_dos()));
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(DropTest, NothingOpenEverythingElseDroppedIsExplained) {
    run();
    std::string text = make_file("notes.txt", "n");
    std::string bad_zip = make_file("broken.zip", "this is no archive");
    std::string sfx = make_file("tool.exe", "MZ no archive here");
    ZipMember m;
    m.name = "a";
    m.data = bytes_of("a");
    std::string one = write_zip("one.zip", {m}), two = write_zip("two.zip", {m});
    fs::create_directories(dir.host("folder"));
    const struct {
        std::vector<std::string> dropped;
        const char* caption;
        const char* says;
    } cases[] = {
        {{text}, "ZARVO", "No archive is open"},
        {{one, two}, "ZARVO", "No archive is open"},
        {{dir.dos("folder")}, "ZARVO", "No archive is open"},
        // An archive that does not open says what Open would say.
        {{bad_zip}, "Error", ""},
        {{sfx}, "Zip format not detected", "Its not a self extracting zip file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dropped[0]);
        prompts.clear();
        drop_utf8(c.dropped);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].caption, c.caption);
        EXPECT_NE(prompts[0].text.find(c.says), std::string::npos) << prompts[0].text;
        EXPECT_EQ(win().archiveOpen(), 0);
        EXPECT_EQ(rows(), 0);
        EXPECT_TRUE(dialogs.empty());
    }
}

TEST_F(DropTest, DroppedFilesAreSelectedInTheirFolderAndAdded) {
    std::string archive = open_archive_with("old.txt");
    std::string a = make_file("src/a.txt", "aaa");
    std::string named = make_file(std::string("src/") + kCyrillicName, "named");
    make_file("src/not-dropped.txt", "no");
    Opened opened;
    answer_add(&opened, [](ui::Dialog& d) { d.click(IDC_OK_BUTTON); });
    drop_utf8({a, named});
    ASSERT_EQ(dialogs, std::vector<std::string>{"ADDFILES_DLG"});
    EXPECT_TRUE(same_dos_path(opened.source, dir.dos("src")));
    std::vector<std::string> selected = opened.selected;
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<std::string>{"a.txt", kCyrillicName}));
    EXPECT_FALSE(opened.recurse);
    EXPECT_FALSE(opened.include_enabled) << "selected files are taken without the filters";
    std::vector<std::string> shown = names();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"a.txt", "old.txt", kCyrillicName}));
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(same_dos_path(app().archivePath, archive));
}

TEST_F(DropTest, ADroppedFolderIsTheSourceWithItsSubFolders) {
    open_archive_with("old.txt");
    make_file("tree/top.txt", "t");
    make_file("tree/sub/deep.txt", "d");
    Opened opened;
    answer_add(&opened, [](ui::Dialog& d) { d.click(IDC_OK_BUTTON); });
    drop_utf8({dir.dos("tree")});
    ASSERT_EQ(dialogs, std::vector<std::string>{"ADDFILES_DLG"});
    EXPECT_TRUE(same_dos_path(opened.source, dir.dos("tree")));
    EXPECT_TRUE(opened.selected.empty());
    EXPECT_TRUE(opened.recurse);
    EXPECT_TRUE(opened.include_enabled);
    std::vector<std::string> shown = names();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"old.txt", "sub/deep.txt", "top.txt"}));
}

TEST_F(DropTest, DropsTheDialogCannotShowAreExplained) {
    open_archive_with("old.txt");
    std::string a = make_file("one/a.txt", "a");
    std::string b = make_file("two/b.txt", "b");
    make_file("two/sub/c.txt", "c");
    const std::vector<std::string> cases[] = {
        {a, b},                           // files of two folders
        {dir.dos("one"), dir.dos("two")}, // two folders
        {b, dir.dos("two\\sub")},         // a file and a folder
    };
    for (const auto& dropped : cases) {
        SCOPED_TRACE(dropped[0] + " " + dropped[1]);
        prompts.clear();
        drop_utf8(dropped);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_NE(prompts[0].text.find("files of one folder or one folder alone"),
                  std::string::npos)
            << prompts[0].text;
        EXPECT_TRUE(dialogs.empty());
        EXPECT_EQ(names(), std::vector<std::string>{"old.txt"});
    }
}

TEST_F(DropTest, ItemsThatAreNoFilesAreLeftOutWithAMessage) {
    open_archive_with("old.txt");
    std::string good = make_file("src/good.txt", "g");
    // 130 two-byte letters: 263 UTF-8 bytes with the drive, 133 characters.
    std::string long_name;
    for (int i = 0; i < 130; ++i)
        long_name += "\xd0\xb6";
    const struct {
        std::wstring item;
        const char* reason;
    } cases[] = {
        {L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
         "is not a file or folder"}, // a virtual folder
        {L"Office Printer", "is not a file or folder"},
        {L"\\\\?\\printer", "is not a file or folder"},
        {wide(dir.dos("src\\gone.txt")), "is no longer there"},
        {wide("C:\\" + long_name), "has a path longer than 259 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        for (bool with_good : {false, true}) {
            prompts.clear();
            dialogs.clear();
            Opened opened;
            answer_add(&opened, [](ui::Dialog& d) { d.click(IDCANCEL); });
            std::vector<std::wstring> items = {c.item};
            if (with_good) items.push_back(wide(good));
            drop(items);
            ASSERT_EQ(prompts.size(), 1u);
            EXPECT_EQ(prompts[0].caption, "ZARVO");
            EXPECT_NE(prompts[0].text.find(c.reason), std::string::npos) << prompts[0].text;
            // The rest of the drop still counts.
            EXPECT_EQ(dialogs.size(), with_good ? 1u : 0u);
            if (with_good) EXPECT_EQ(opened.selected, std::vector<std::string>{"good.txt"});
            EXPECT_EQ(names(), std::vector<std::string>{"old.txt"}) << "the window goes on";
        }
    }
}

TEST_F(DropTest, AFileGoneBeforeTheJobIsReportedByTheJob) {
    std::string archive = open_archive_with("old.txt");
    std::string a = make_file("src/a.txt", "a");
    std::string b = make_file("src/b.txt", "b");
    Opened opened;
    answer_add(&opened, [&](ui::Dialog& d) {
        fs::remove(fs::u8path(dir.host("src/b.txt")));
        d.click(IDC_OK_BUTTON);
    });
    std::vector<std::string> problems;
    on_progress = [&](ProgressDlg& d, const char* op) {
        if (std::string(op) == "Waiting") problems = list_items(d.item(IDC_PROBLEM_LIST), false);
    };
    drop_utf8({a, b});
    ASSERT_EQ(opened.selected, (std::vector<std::string>{"a.txt", "b.txt"}));
    ASSERT_FALSE(problems.empty()) << "the job waited with its warning";
    bool named = false;
    for (const std::string& p : problems)
        named = named || p.find("b.txt") != std::string::npos;
    EXPECT_TRUE(named) << problems.back();
    std::vector<std::string> shown = names();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"a.txt", "old.txt"}));
}

TEST_F(DropTest, FilesOfTheWorkFolderDroppedBackAreIgnored) {
    open_archive_with("old.txt");
    std::string ours = make_file("work/drag1/x.txt", "x");
    drop_utf8({ours});
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(names(), std::vector<std::string>{"old.txt"});
}

// The files a data object offers as CF_HDROP, as a drop target reads them.
std::vector<std::string> offered_files(IDataObject* data) {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    std::vector<std::string> out;
    if (data->GetData(&format, &medium) != S_OK) return out;
    auto drop = static_cast<HDROP>(medium.hGlobal);
    UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        wchar_t name[600] = {};
        DragQueryFileW(drop, i, name, 600);
        char utf8[1200] = {};
        WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
        out.push_back(utf8);
    }
    ReleaseStgMedium(&medium);
    return out;
}

std::string read_file(const std::string& dos_path) {
    std::ifstream f(fs::u8path(dos_path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string after(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
}

class DragOutTest : public DropTest {
  protected:
    void SetUp() override {
        DropTest::SetUp();
        previous_ = set_drag_runner([this](IDataObject* data, IDropSource* source, DWORD* effect) {
            ++drags;
            return on_drag ? on_drag(data, source, effect) : S_OK;
        });
    }
    void TearDown() override {
        set_drag_runner(previous_);
        DropTest::TearDown();
    }
    // The list's notification when the mouse starts dragging the selection.
    void begin_drag() {
        NMLISTVIEW nm = {};
        nm.hdr.hwndFrom = list();
        nm.hdr.idFrom = IDC_MEMBER_LIST;
        nm.hdr.code = LVN_BEGINDRAG;
        nm.iItem = selected_rows().empty() ? 0 : selected_rows()[0];
        SendMessageW(win().hwnd(), WM_NOTIFY, IDC_MEMBER_LIST, reinterpret_cast<LPARAM>(&nm));
        pump();
    }
    int row_of(const std::string& name) {
        std::vector<std::string> all = names();
        return static_cast<int>(std::find(all.begin(), all.end(), name) - all.begin());
    }
    // Everything below the work folder but its mark.
    std::vector<std::string> work_contents() {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(fs::u8path(dir.host("work"))))
            if (e.path().filename() != kWorkFolderMark) out.push_back(e.path().u8string());
        return out;
    }

    int drags = 0;
    DragRunner on_drag;

  private:
    DragRunner previous_;
};

ZipMember member(const std::string& name, const std::string& text, bool wrong_crc = false) {
    ZipMember m;
    m.name = name;
    m.data = bytes_of(text);
    m.wrong_crc = wrong_crc;
    for (unsigned char c : name)
        if (c >= 0x80) m.flags = 0x800; // the name is UTF-8
    return m;
}

TEST_F(DragOutTest, SelectedMembersAreOfferedAsFilesExtractedUnderTheWorkFolder) {
    std::string archive =
        write_zip("test.zip", {member("a.txt", "alpha"), member("docs/b.txt", "beta in docs"),
                               member(kCyrillicName, "named"), member("left.txt", "not dragged")});
    run({archive});
    select_rows({row_of("a.txt"), row_of("docs/b.txt"), row_of(kCyrillicName)});
    std::vector<std::vector<std::string>> offered;
    on_drag = [&](IDataObject* data, IDropSource*, DWORD*) {
        offered.push_back(offered_files(data));
        return S_OK;
    };
    begin_drag();
    begin_drag();
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_TRUE(prompts.empty());
    std::string work = std::string(app().settings.workDir);
    for (std::size_t i = 0; i < offered.size(); ++i) {
        SCOPED_TRACE(i);
        std::vector<std::string> files = offered[i];
        ASSERT_EQ(files.size(), 3u);
        std::sort(files.begin(), files.end());
        // One fresh folder per drag, the members' own folders kept below it.
        std::string folder = work + "drag" + std::to_string(i + 1) + "\\";
        EXPECT_EQ(after(files[0], folder), "a.txt");
        EXPECT_EQ(after(files[1], folder), "docs");
        EXPECT_EQ(after(files[2], folder), kCyrillicName);
        EXPECT_EQ(read_file(files[0]), "alpha");
        EXPECT_EQ(read_file(files[1] + "\\b.txt"), "beta in docs");
        EXPECT_EQ(read_file(files[2]), "named");
    }
    EXPECT_EQ(selected_rows().size(), 3u) << "the drag leaves the selection";
}

TEST_F(DragOutTest, TheDataObjectOffersOnlyFilesAndTheSourceFollowsTheKeys) {
    IDataObject* data = new_file_drop_data({"C:\\x\\a.txt"});
    FORMATETC hdrop = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FORMATETC in_file = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_FILE};
    EXPECT_EQ(data->QueryGetData(&hdrop), S_OK);
    EXPECT_EQ(data->QueryGetData(&text), DV_E_FORMATETC);
    EXPECT_EQ(data->QueryGetData(&in_file), DV_E_TYMED);
    STGMEDIUM medium = {};
    EXPECT_NE(data->GetData(&text, &medium), S_OK);
    EXPECT_EQ(offered_files(data), std::vector<std::string>{"C:\\x\\a.txt"});
    EXPECT_EQ(offered_files(data), std::vector<std::string>{"C:\\x\\a.txt"})
        << "every request gets its own copy";
    IEnumFORMATETC* formats = nullptr;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    FORMATETC got[2] = {};
    ULONG n = 0;
    formats->Next(2, got, &n);
    formats->Release();
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(got[0].cfFormat, CF_HDROP);
    data->Release();

    IDropSource* source = new_drop_source();
    const struct {
        BOOL escape;
        DWORD keys;
        HRESULT result;
    } cases[] = {
        {FALSE, MK_LBUTTON, S_OK},
        {FALSE, 0, DRAGDROP_S_DROP},
        {TRUE, MK_LBUTTON, DRAGDROP_S_CANCEL},
        {FALSE, MK_LBUTTON | MK_RBUTTON, DRAGDROP_S_CANCEL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(source->QueryContinueDrag(c.escape, c.keys), c.result)
            << c.escape << " " << c.keys;
    source->Release();
}

TEST_F(DragOutTest, AnExtractionErrorIsShownAndLeavesNoFiles) {
    std::string archive =
        write_zip("test.zip", {member("good.txt", "fine"), member("bad.txt", "damaged", true)});
    run({archive});
    select_rows({row_of("good.txt"), row_of("bad.txt")});
    begin_drag();
    EXPECT_EQ(drags, 0) << "nothing is dragged";
    EXPECT_FALSE(prompts.empty()) << "the engine said what went wrong";
    EXPECT_EQ(work_contents(), std::vector<std::string>{}) << "no half-made files are left";
    // The window goes on: a drag of the good member alone works.
    prompts.clear();
    select_rows({row_of("good.txt")});
    std::vector<std::string> files;
    on_drag = [&](IDataObject* data, IDropSource*, DWORD*) {
        files = offered_files(data);
        return S_OK;
    };
    begin_drag();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(read_file(files[0]), "fine");
    EXPECT_TRUE(prompts.empty());
}

TEST_F(DragOutTest, NothingIsDraggedWithoutASelectionOrWhenTheArchiveIsGone) {
    std::string archive = write_zip("test.zip", {member("a.txt", "a")});
    run({archive});
    begin_drag();
    EXPECT_EQ(drags, 0);
    select_rows({0});
    fs::remove(fs::u8path(dir.host("test.zip")));
    begin_drag();
    EXPECT_EQ(drags, 0);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_NE(prompts[0].text.find("no longer there"), std::string::npos);
    EXPECT_EQ(work_contents(), std::vector<std::string>{});
}

} // namespace
} // namespace test
