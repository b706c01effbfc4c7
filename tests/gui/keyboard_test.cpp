// Every dialog of the archive manager with the keyboard alone: each is
// opened by its command, then driven by keys posted to its focused control
// and run through IsDialogMessage as the dialog's own loop runs them. Tab
// goes round every control that can be used, each shown access letter
// reaches its control, Escape cancels and Return does the default.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/resource.h"
#include "app/view_run.h"
#include "dialog_keys.h"
#include "gui_support.h"
#include "ui/process.h"

namespace test {
namespace {

// What a dialog's window procedure was sent, recorded by subclassing it:
// the WM_COMMAND ids, and, while `swallow` is set, clicks kept from acting
// so that one opening can try every letter.
struct Recorder {
    WNDPROC previous = nullptr;
    std::vector<int> commands;
    bool swallow = false;
};
Recorder* recorder = nullptr;

LRESULT CALLBACK recording_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC previous = recorder->previous;
    if (msg == WM_COMMAND && (HIWORD(wp) == BN_CLICKED || lp == 0)) {
        recorder->commands.push_back(LOWORD(wp));
        if (recorder->swallow) return 0;
    }
    return CallWindowProcA(previous, h, msg, wp, lp);
}

class Recording {
  public:
    explicit Recording(HWND dialog) : dialog_(dialog) {
        recorder = &r;
        r.previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recording_proc)));
    }
    ~Recording() {
        if (IsWindow(dialog_))
            SetWindowLongPtrA(dialog_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(r.previous));
        recorder = nullptr;
    }
    Recorder r;

  private:
    HWND dialog_;
};

// Controls a user works with, shown and enabled: what Tab must reach.
std::set<int> usable_controls(HWND dialog) {
    std::set<int> out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        LONG type = GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK;
        bool usable = lstrcmpiA(cls, "Edit") == 0 || lstrcmpiA(cls, "ListBox") == 0 ||
                      lstrcmpiA(cls, "ComboBox") == 0 ||
                      (lstrcmpiA(cls, "Button") == 0 && type != BS_GROUPBOX);
        if (usable && IsWindowVisible(c) && IsWindowEnabled(c)) out.insert(GetDlgCtrlID(c));
    }
    return out;
}

struct Letter {
    char letter;
    int control; // the control it reaches (focused or clicked)
};

struct DialogCase {
    const char* name;           // template
    int command;                // the menu command that opens it
    std::vector<int> tab_order; // from the control focused on opening, once round
    std::vector<Letter> letters;
    int return_sends; // the command Return gives from the first control; 0 none
    bool return_closes;
};

const int kNoCommand = 0;

const std::vector<DialogCase>& dialog_cases() {
    static const std::vector<DialogCase> cases = {
        {"ABOUT_DLG", CM_ABOUT, {IDOK}, {}, IDOK, true},
        {"SELECTNAME_DLG",
         CM_NAME_FILTER,
         {IDC_NAME_FILTER, IDC_CASE_SENSITIVE, IDC_KEEP_PREVIOUS, IDOK, IDCANCEL},
         {{'C', IDC_CASE_SENSITIVE}, {'K', IDC_KEEP_PREVIOUS}},
         IDOK,
         true},
        {"SETINI_DLG",
         CM_SETTINGS,
         {IDC_VIEWER, IDC_INSTALLER, IDC_PAUSE, IDOK, IDCANCEL},
         {{'V', IDC_VIEWER}, {'I', IDC_INSTALLER}, {'P', IDC_PAUSE}},
         IDOK,
         true},
        {"ZCOM_DLG",
         CM_SELECT_COMMENT,
         {IDC_COMMENT_EDIT, IDC_ADD_CRS, IDC_ERASE_COMMENT, IDOK, IDCANCEL},
         {{'A', IDC_ADD_CRS}, {'E', IDC_ERASE_COMMENT}, {'D', IDOK}},
         kNoCommand, // a new line in the comment
         false},
        {"DIRSELECT_DLG",
         CM_EXTRACT,
         {IDC_DESTINATION, IDC_DRIVES, IDC_FOLDERS, IDC_USE_FOLDER_NAMES, IDC_OK_BUTTON, IDCANCEL},
         {{'E', IDC_DESTINATION},
          {'D', IDC_DRIVES},
          {'F', IDC_FOLDERS},
          {'N', IDC_USE_FOLDER_NAMES},
          {'O', IDC_OK_BUTTON}},
         IDOK, // only opens a selected folder
         false},
        {"OVERWRITE_DLG",
         CM_EXTRACT,
         {IDOK, IDC_YES_TO_ALL, IDC_ANSWER_NO, IDCANCEL},
         {{'A', IDC_YES_TO_ALL}, {'N', IDC_ANSWER_NO}, {'C', IDCANCEL}},
         IDOK,
         true},
        {"ADDFILES_DLG",
         CM_ADD,
         {IDC_DRIVES, IDC_INCLUDE, IDC_EXCLUDE, IDC_FOLDERS, IDC_FILES, IDC_ACTION, IDC_COMPRESSION,
          IDC_RECURSE, IDC_FULL_PATHS, IDC_EMPTY_FOLDERS, IDC_DELETE_SOURCES, IDC_OK_BUTTON,
          IDCANCEL, IDC_HELP_BUTTON},
         {{'D', IDC_DRIVES},
          {'I', IDC_INCLUDE},
          {'X', IDC_EXCLUDE},
          {'L', IDC_FOLDERS},
          {'F', IDC_FILES},
          {'A', IDC_ACTION},
          {'M', IDC_COMPRESSION},
          {'N', IDC_SPANNING}, // offered for a new archive on a removable disk only
          {'R', IDC_RECURSE},
          {'P', IDC_FULL_PATHS},
          {'E', IDC_EMPTY_FOLDERS},
          {'S', IDC_DELETE_SOURCES},
          {'O', IDC_OK_BUTTON},
          {'C', IDCANCEL},
          {'H', IDC_HELP_BUTTON}},
         IDOK, // only opens a selected folder
         false},
        {"READONLY_DLG",
         CM_ADD,
         {IDOK, IDC_YES_TO_ALL, IDC_ANSWER_NO, IDCANCEL},
         {{'A', IDC_YES_TO_ALL}, {'N', IDC_ANSWER_NO}, {'C', IDCANCEL}},
         IDOK,
         true},
        {"INSTALLER_DLG", CM_INSTALL, {IDC_INSTALLER_LIST, IDOK, IDCANCEL}, {}, IDOK, true},
        {"SETUP_DLG",
         CM_INSTALL,
         {IDC_NO_UNINSTALL, IDOK, IDCANCEL, IDC_SETUP_HELP},
         {{'N', IDC_NO_UNINSTALL}, {'H', IDC_SETUP_HELP}},
         IDOK,
         true},
        {"FRESHEN_DLG",
         CM_VIEW,
         {IDCANCEL, IDOK},
         {{'N', IDCANCEL}, {'Y', IDOK}},
         IDCANCEL, // "No" is the default
         true},
    };
    return cases;
}

const platform::DosTime kEdited = {0x5A21, 0x7000};

class KeyboardTest : public ZarvoWindowTest {
  protected:
    void SetUp() override {
        ZarvoWindowTest::SetUp();
        // The viewer stand-in has ended at once, having changed the file.
        ui::set_start_process_hook([this](const std::string&, const std::string&, HANDLE* thread) {
            platform::ScopedFile f(platform::open_write((work_dos() + "\\readme.txt").c_str()));
            if (f.valid()) platform::set_file_time(f.get(), kEdited);
            HANDLE ended = CreateEventA(nullptr, TRUE, TRUE, nullptr);
            DuplicateHandle(GetCurrentProcess(), ended, GetCurrentProcess(), thread, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
            CloseHandle(ended);
            return true;
        });
        write_ini_with_work();
        archive = write_zip("keys.zip", {{"docs/a.txt", {'a'}},
                                         {"install.bat", {'i'}},
                                         {"readme.txt", {'r'}},
                                         {"setup.exe", {'s'}}});
        ASSERT_TRUE(start({archive}));
        ASSERT_EQ(rows(), 4);
    }
    void TearDown() override {
        for (int i = 0; i < 500 && viewWatchersRunning() > 0; ++i) {
            pump();
            Sleep(10);
        }
        ZarvoWindowTest::TearDown();
        ui::set_start_process_hook(nullptr);
    }

    int row_of(const std::string& name) {
        std::vector<std::string> n = names();
        return static_cast<int>(std::find(n.begin(), n.end(), name) - n.begin());
    }

    // Opens the case's dialog by its command and has `drive` act on it;
    // the dialogs on the way there are answered as a user would. False
    // when the dialog did not come.
    bool open(const DialogCase& c, const std::function<void(ui::Dialog&)>& drive) {
        dialogs.clear();
        std::string name = c.name;
        std::string out = dir.dos("out");
        std::string sources = dir.dos("sources");
        if (name == "OVERWRITE_DLG") {
            CreateDirectoryA(out.c_str(), nullptr);
            dir.write("out/readme.txt", {'o', 'l', 'd'});
        }
        if (name == "READONLY_DLG") {
            CreateDirectoryA(sources.c_str(), nullptr);
            std::string locked = sources + "\\locked.txt";
            SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
            dir.write("sources/locked.txt", {'l'});
            SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
            platform::copy_bounded(app().lastFolder, sizeof app().lastFolder, sources.c_str());
        }
        on_dialog = [&](ui::Dialog& d) {
            const std::string& t = d.template_name();
            if (t == name) {
                drive(d);
            } else if (t == "DIRSELECT_DLG") {
                d.set_text(IDC_DESTINATION, out.c_str());
                d.click(IDC_OK_BUTTON);
            } else if (t == "ADDFILES_DLG") {
                d.set_text(IDC_INCLUDE, "*.txt");
                d.set_checked(IDC_DELETE_SOURCES, true);
                d.click(IDC_OK_BUTTON);
            } else if (t == "INSTALLER_DLG") {
                SendMessageA(d.item(IDC_INSTALLER_LIST), LB_SETCURSEL, 0, 0);
                d.click(IDOK);
            }
        };
        if (name == "OVERWRITE_DLG" || name == "FRESHEN_DLG")
            select_rows({row_of("readme.txt")});
        else
            select_rows({0, 1, 2, 3});
        command(c.command);
        for (int i = 0; i < 500 && name == "FRESHEN_DLG" && dialogs.empty(); ++i) {
            pump();
            Sleep(10);
        }
        on_dialog = nullptr;
        bool came = std::find(dialogs.begin(), dialogs.end(), name) != dialogs.end();
        if (!came) ADD_FAILURE() << name << " did not open";
        return came;
    }

    std::string archive;
};

TEST_F(KeyboardTest, TabGoesRoundEveryUsableControl) {
    for (const DialogCase& c : dialog_cases()) {
        SCOPED_TRACE(c.name);
        std::vector<int> visited;
        std::set<int> usable;
        open(c, [&](ui::Dialog& d) {
            usable = usable_controls(d.hwnd());
            int first = focused_id(d.hwnd());
            visited.push_back(first);
            for (int i = 0; i < 40; ++i) {
                press(d.hwnd(), VK_TAB);
                int now = focused_id(d.hwnd());
                if (now == first || d.ended()) break;
                visited.push_back(now);
            }
            EXPECT_FALSE(d.ended()) << "Tab closed the dialog";
        });
        EXPECT_EQ(visited, c.tab_order);
        for (int id : usable)
            EXPECT_NE(std::find(visited.begin(), visited.end(), id), visited.end())
                << "control " << id << " is never reached";
    }
}

TEST_F(KeyboardTest, EveryShownLetterReachesItsControl) {
    for (const DialogCase& c : dialog_cases()) {
        SCOPED_TRACE(c.name);
        std::string shown, tried;
        open(c, [&](ui::Dialog& d) {
            HWND h = d.hwnd();
            shown = shown_letters(h);
            Recording recording(h);
            recording.r.swallow = true;
            for (const Letter& l : c.letters) {
                SCOPED_TRACE(std::string("Alt+") + l.letter);
                tried += l.letter;
                recording.r.commands.clear();
                // From a control other than the target, so that the move shows.
                HWND away = d.item(c.tab_order.front() == l.control ? c.tab_order.back()
                                                                    : c.tab_order.front());
                SendMessageA(h, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(away), TRUE);
                press_alt(h, l.letter);
                bool clicked = std::find(recording.r.commands.begin(), recording.r.commands.end(),
                                         l.control) != recording.r.commands.end();
                if (!IsWindowEnabled(d.item(l.control))) {
                    EXPECT_NE(focused_id(h), l.control) << "focus on a disabled control";
                    EXPECT_FALSE(clicked);
                    continue;
                }
                EXPECT_TRUE(focused_id(h) == l.control || clicked)
                    << "reached control " << focused_id(h) << " instead of " << l.control;
                EXPECT_FALSE(d.ended());
            }
        });
        std::string sorted_shown = shown, sorted_tried = tried;
        std::sort(sorted_shown.begin(), sorted_shown.end());
        std::sort(sorted_tried.begin(), sorted_tried.end());
        EXPECT_EQ(sorted_shown, sorted_tried) << "letters shown: " << shown;
        EXPECT_EQ(std::adjacent_find(sorted_shown.begin(), sorted_shown.end()), sorted_shown.end())
            << "a letter serves two controls: " << shown;
    }
}

TEST_F(KeyboardTest, EscapeCancelsAndReturnDoesTheDefault) {
    for (const DialogCase& c : dialog_cases()) {
        for (WPARAM key : {WPARAM(VK_ESCAPE), WPARAM(VK_RETURN)}) {
            bool escape = key == VK_ESCAPE;
            SCOPED_TRACE(std::string(c.name) + (escape ? " Escape" : " Return"));
            std::vector<int> sent;
            bool closed = false;
            std::string comment;
            open(c, [&](ui::Dialog& d) {
                Recording recording(d.hwnd());
                press(d.hwnd(), key);
                sent = recording.r.commands;
                closed = d.ended();
                if (c.name == std::string("ZCOM_DLG")) comment = d.text(IDC_COMMENT_EDIT);
            });
            int expected = escape ? IDCANCEL : c.return_sends;
            EXPECT_EQ(sent, expected ? std::vector<int>{expected} : std::vector<int>{});
            EXPECT_EQ(closed, escape || c.return_closes);
            if (!escape && c.name == std::string("ZCOM_DLG")) EXPECT_EQ(comment, "\r\n");
        }
    }
}

// Return in the folder list opens the folder selected there, in both
// dialogs that browse folders; the dialog stays.
TEST_F(KeyboardTest, ReturnInTheFolderListOpensTheSelectedFolder) {
    CreateDirectoryA(dir.dos("inner").c_str(), nullptr);
    const struct {
        const char* name;
        int field; // shows the folder
    } cases[] = {{"DIRSELECT_DLG", IDC_DESTINATION}, {"ADDFILES_DLG", IDC_SOURCE_FIELD}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DialogCase* dc = nullptr;
        for (const DialogCase& k : dialog_cases())
            if (k.name == std::string(c.name)) dc = &k;
        ASSERT_NE(dc, nullptr);
        platform::copy_bounded(app().extractFolder, sizeof app().extractFolder,
                               folder_dos().c_str());
        platform::copy_bounded(app().lastFolder, sizeof app().lastFolder, folder_dos().c_str());
        std::string shown;
        bool closed = true;
        open(*dc, [&](ui::Dialog& d) {
            HWND list = d.item(IDC_FOLDERS);
            LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>("[inner]"));
            ASSERT_NE(at, LB_ERR);
            SendMessageA(d.hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
            SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
            press(d.hwnd(), VK_RETURN);
            shown = d.text(c.field);
            closed = d.ended();
        });
        EXPECT_TRUE(same_dos_path(shown, dir.dos("inner"))) << shown;
        EXPECT_FALSE(closed);
    }
}

} // namespace
} // namespace test
