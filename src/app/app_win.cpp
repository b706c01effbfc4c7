#include "app/app_win.h"

#include <commctrl.h>
#include <ole2.h>
#include <cstring>

#include "app/app.h"
#include "app/dialogs.h"
#include "app/job_ui.h"
#include "app/resource.h"
#include "app/settings.h"
#include "ops/paths.h"
#include "ui/application.h"
#include "ui/dpi.h"
#include "zip/errors.h"
#include "zip/open_archive.h"

namespace {

const char kAppWinClass[] = "zarvo.TAppWin";
const int kCommentCharHeight = 12;

const ui::Command<TAppWin> kCommands[] = {
    {CM_NEW, &TAppWin::cmNew, nullptr},
    {CM_OPEN, &TAppWin::cmOpen, nullptr},
    {CM_SETTINGS, &TAppWin::cmSettings, nullptr},
    {CM_SELECT_ALL, &TAppWin::cmSelectAll, &TAppWin::entriesShown},
    {CM_NAME_FILTER, &TAppWin::cmNameFilter, &TAppWin::entriesShown},
    {CM_INVERT, &TAppWin::cmInvert, &TAppWin::entriesShown},
    {CM_SORT_NAME, &TAppWin::cmSortName, &TAppWin::entriesShown},
    {CM_SORT_DATE, &TAppWin::cmSortDate, &TAppWin::entriesShown},
    {CM_SORT_SIZE, &TAppWin::cmSortSize, &TAppWin::entriesShown},
    {CM_SORT_PACKED, &TAppWin::cmSortPacked, &TAppWin::entriesShown},
    {CM_SORT_RATIO, &TAppWin::cmSortRatio, &TAppWin::entriesShown},
    {CM_SORT_ASCENDING, &TAppWin::cmSortAscending, &TAppWin::entriesShown},
    {CM_SORT_DESCENDING, &TAppWin::cmSortDescending, &TAppWin::entriesShown},
    {CM_ADD, &TAppWin::cmAdd, &TAppWin::entriesShown},
    {CM_SELECT_COMMENT, &TAppWin::cmEditComment, &TAppWin::commentEditable},
    {CM_USE_FILE_COMMENT, &TAppWin::cmUseFileComment, &TAppWin::rowsSelected},
    {CM_REMOVE, &TAppWin::cmRemove, &TAppWin::rowsSelected},
    {CM_VIEW, &TAppWin::cmView, &TAppWin::rowsSelected},
    {CM_EXTRACT, &TAppWin::cmExtract, &TAppWin::rowsSelected},
    {CM_INSTALL, &TAppWin::cmInstall, &TAppWin::installerFound},
    {CM_HELP_CONTENTS, &TAppWin::cmHelpContents, nullptr},
    {CM_ABOUT, &TAppWin::cmAbout, nullptr},
};

} // namespace

TAppWin::TAppWin(ui::DecoratedFrame* frame) : frame_(frame) {}

TAppWin::~TAppWin() {
    if (g_appWin == this) g_appWin = nullptr;
    if (hwnd()) DestroyWindow(hwnd());
    if (commentFont_) DeleteObject(commentFont_);
    if (oleReady_) OleUninitialize();
}

bool TAppWin::create_in_frame() {
    register_class(kAppWinClass, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    if (!create(kAppWinClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, 0,
                frame_->hwnd(), nullptr))
        return false;
    g_appWin = this;
    app().engine.message_owner = hwnd();
    app().engine.ui = &app_job_ui();
    frame_->set_client(this);
    setup_window();
    // DoDragDrop needs OLE on this thread; balanced in the destructor.
    oleReady_ = SUCCEEDED(OleInitialize(nullptr));
    // Files dropped anywhere on the frame come here.
    DragAcceptFiles(hwnd(), TRUE);
    DragAcceptFiles(frame_->hwnd(), TRUE);
    return true;
}

void TAppWin::setup_window() {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    list_ =
        CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0,
                        0, 0, hwnd(), reinterpret_cast<HMENU>(IDC_MEMBER_LIST), inst, nullptr);
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    dpi_ = ui::dpi_of(hwnd());
    makeCommentFont();
    caption_ =
        CreateWindowExA(0, "STATIC", " Zip Comment", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 0, 0,
                        hwnd(), reinterpret_cast<HMENU>(IDC_COMMENT_CAPTION), inst, nullptr);
    SendMessageA(caption_, WM_SETFONT, reinterpret_cast<WPARAM>(commentFont_), FALSE);
    comment_.create(hwnd(), commentFont_);

    frame_->set_status_text(0, "No File Opened");
    frame_->set_status_text(1, "Files: 0    Size: 0    Pack: 0    Ratio: 0    0 Selected");
    insertColumns();
    showSortOrder();
    RECT rc;
    GetClientRect(hwnd(), &rc);
    layout(rc.right, rc.bottom);

    // Only the two spellings an archive's name normally has are opened from
    // the command line; other forms (.Zip, .exe) are left for Open.
    const char* path = app().archivePath;
    if (std::strstr(path, ".ZIP") || std::strstr(path, ".zip")) openArchiveView();
    SetFocus(list_);
}

void TAppWin::makeCommentFont() {
    commentFont_ = CreateFontA(-ui::scale_px(kCommentCharHeight, dpi_), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                               ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    HDC dc = GetDC(hwnd());
    HGDIOBJ old = SelectObject(dc, commentFont_);
    TEXTMETRICA tm = {};
    if (GetTextMetricsA(dc, &tm) && tm.tmHeight > 0) commentLineHeight_ = tm.tmHeight;
    SelectObject(dc, old);
    ReleaseDC(hwnd(), dc);
}

void TAppWin::dpiChanged(int dpi) {
    if (dpi <= 0) dpi = ui::dpi_of(hwnd());
    if (dpi == dpi_ || !list_) return;
    dpi_ = dpi;
    setColumnWidths();
    HFONT old = commentFont_;
    makeCommentFont();
    SendMessageA(caption_, WM_SETFONT, reinterpret_cast<WPARAM>(commentFont_), TRUE);
    SendMessageA(comment_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(commentFont_), TRUE);
    if (old) DeleteObject(old);
    RECT rc;
    GetClientRect(hwnd(), &rc);
    layout(rc.right, rc.bottom);
}

void TAppWin::layout(int width, int height) {
    if (!list_) return;
    // Three lines of the comment font, measured by the font's own line
    // height and with room for the box's edge, so all three show.
    int comment_height =
        3 * commentLineHeight_ + ui::scale_px(3, dpi_) + 2 * GetSystemMetrics(SM_CYEDGE);
    int caption_height = commentLineHeight_ + ui::scale_px(2, dpi_);
    int list_height = height - comment_height - caption_height;
    if (list_height < 0) list_height = 0;
    MoveWindow(list_, 0, 0, width, list_height, TRUE);
    MoveWindow(caption_, 0, list_height, width, caption_height, TRUE);
    MoveWindow(comment_.hwnd(), 0, list_height + caption_height, width, comment_height, TRUE);
}

namespace {

// The commands that read or rewrite the archive shown.
bool needsArchive(int id) {
    switch (id) {
    case CM_ADD:
    case CM_SELECT_COMMENT:
    case CM_USE_FILE_COMMENT:
    case CM_REMOVE:
    case CM_VIEW:
    case CM_EXTRACT:
    case CM_INSTALL:
        return true;
    }
    return false;
}

} // namespace

bool TAppWin::execute_command(int id) {
    if (needsArchive(id) && command_state(id) != ui::CommandState::Disabled && !archiveStillThere())
        return true;
    return ui::execute_from(*this, kCommands, id);
}

bool TAppWin::archiveStillThere() {
    AppState& a = app();
    if (!archiveOpen_ || platform::get_attributes(a.archivePath) != platform::kInvalidAttributes)
        return true;
    std::string text = std::string(a.archivePath) +
                       "\n\nThis archive is no longer there: it was moved or deleted after "
                       "ZARVO read it.";
    platform::message_box({text, "ZARVO", platform::kMbOk | platform::kMbIconExclamation, hwnd()});
    archiveOpen_ = 0;
    refreshList();
    return false;
}

ui::CommandState TAppWin::command_state(int id) {
    return ui::command_state_of(*this, kCommands, id);
}

bool TAppWin::commentEditable() const {
    std::uint32_t type = app().engine.drive_type;
    return type == platform::kDriveFixed || type == platform::kDriveRemote;
}

void TAppWin::openArchiveView() {
    AppState& a = app();
    archiveOpen_ = 0;
    ListView_DeleteAllItems(list_);
    // The archive is kept by its full DOS path, whatever form it was given
    // in: its name in the status bar and the folder Extract proposes are
    // cut from it.
    if (!full_archive_path(a.archivePath, a.archivePath, sizeof a.archivePath)) {
        archive_path_too_long(a.archivePath, hwnd());
        refreshList();
        SetFocus(list_);
        return;
    }
    int r = open_archive(a.engine, a.catalog, a.archivePath);
    if (r == 0) {
        archiveOpen_ = 1;
    } else {
        std::string lower = a.archivePath;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (r == ZERR_NOEND && lower.find(".exe") != std::string::npos)
            platform::message_box({"Its not a self extracting zip file or its been corrupted.",
                                   "Zip format not detected", platform::kMbOk, hwnd()});
        else
            zip_error(a.engine, r);
    }
    refreshList();
    SetFocus(list_);
}

void TAppWin::cmOpen() {
    AppState& a = app();
    ui::FileDialogRequest request;
    request.owner = hwnd();
    request.filter = "Zip Files |*.zip| Exe Files |*.exe";
    request.initial_dir = a.lastFolder;
    request.default_ext = "ZIP";
    std::string chosen;
    if (!ui::ask_file_name(request, &chosen)) return;
    platform::copy_bounded(a.archivePath, sizeof a.archivePath, chosen.c_str());
    platform::copy_bounded(a.lastFolder, sizeof a.lastFolder, chosen.c_str());
    stripFileName(a.lastFolder);
    if (!a.extractFolder[0]) {
        platform::copy_bounded(a.extractFolder, sizeof a.extractFolder, chosen.c_str());
        stripFileName(a.extractFolder);
    }
    openArchiveView();
}

void TAppWin::cmSettings() {
    TIniDlg(hwnd()).execute();
}

void TAppWin::cmAbout() {
    TAboutDlg(hwnd()).execute();
}

void TAppWin::cmHelpContents() {
    ui::ShellRequest request;
    request.owner = hwnd();
    request.verb = "open";
    request.file = "WINHELP.EXE";
    request.parameters = "ZARVO.HLP";
    request.folder = app().programFolder;
    // Where no help viewer is installed the user is told so instead of
    // seeing nothing happen.
    if (ui::shell_execute(request) <= 32)
        platform::message_box({"No help viewer is installed to show ZARVO.HLP.", "Help",
                               platform::kMbOk | platform::kMbIconInformation, hwnd()});
}

LRESULT TAppWin::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        layout(LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_SETFOCUS:
        if (list_) SetFocus(list_);
        return 0;
    case WM_DPICHANGED_AFTERPARENT:
        // The frame passes its new DPI; the system's own message has none.
        dpiChanged(static_cast<int>(wp));
        return 0;
    case WM_COMMAND:
        if (lp == 0) { // a menu: the list's pop-up sends its commands here
            execute_command(LOWORD(wp));
            frame_->refresh_commands();
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->idFrom == IDC_MEMBER_LIST) return on_list_notify(hdr);
        break;
    }
    case WM_DROPFILES:
        onDropFiles(reinterpret_cast<HDROP>(wp));
        frame_->refresh_commands();
        return 0;
    case WM_VIEW_WATCH_DONE:
        onViewWatchDone(wp, lp);
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only comment keeps a white background; disabled it is grey.
        if (reinterpret_cast<HWND>(lp) == comment_.hwnd() && IsWindowEnabled(comment_.hwnd())) {
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    return ui::Window::handle(msg, wp, lp);
}
