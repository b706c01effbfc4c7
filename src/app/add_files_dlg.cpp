#include "app/add_files.h"

#include <iterator>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/folder_browse.h"
#include "app/resource.h"
#include "ops/flist.h"
#include "ops/wildcard.h"
#include "ui/application.h"
#include "zip/zlist.h"

namespace {

const char* const kActions[] = {"Add files replace existing", "Freshen existing with newer",
                                "Update, add only new files"};
const int kActionCodes[] = {kActionAdd, kActionFreshen, kActionUpdate};
const char* const kRates[] = {"None", "Minimum", "Normal", "Maxium"};
// The level a rate hands to the engine, and the level each rate is shown
// for: the commands start from 5, which shows "Normal" and hands on 6.
const int kRateLevels[] = {0, 3, 6, 9};
const int kRateShownFor[] = {0, 2, 5, 9};
const char* const kSpans[] = {"Span: None", "Span: Normal", "Span: Erase Disk"};
const int kSpanCodes[] = {1, 2, 4};

template <std::size_t N> void fill_combo(HWND combo, const char* const (&texts)[N], int selected) {
    for (const char* t : texts)
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    if (selected >= 0) SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// The row of value in codes; -1 when it has none.
template <std::size_t N> int row_of(const int (&codes)[N], int value) {
    for (std::size_t i = 0; i < N; ++i)
        if (codes[i] == value) return static_cast<int>(i);
    return -1;
}

int flag_of(bool on) {
    return on ? 1 : 0;
}

} // namespace

TAddFileDlg::TAddFileDlg(HWND parent, const char* archivePath, char* lastFolder, flist& files,
                         char* includeText, char* excludeText)
    : ui::Dialog(parent, "ADDFILES_DLG"), archivePath_(archivePath), lastFolder_(lastFolder),
      files_(files), includeText_(includeText), excludeText_(excludeText) {
    platform::copy_bounded(folder_, sizeof folder_, lastFolder);
}

void TAddFileDlg::preset(const AddPreset& p) {
    preset_ = &p;
    platform::copy_bounded(folder_, sizeof folder_, p.folder.c_str());
}

bool TAddFileDlg::on_init() {
    set_text(IDC_ARCHIVE_FIELD, archivePath_);
    ui::fill_drive_list(item(IDC_DRIVES), folder_);
    showFolder();
    if (preset_) {
        HWND list = item(IDC_FILES);
        for (const std::string& name : preset_->files) {
            LRESULT row = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(name.c_str()));
            if (row >= 0) SendMessageA(list, LB_SETSEL, TRUE, row);
        }
        if (preset_->recurse) CheckDlgButton(hwnd(), IDC_RECURSE, BST_CHECKED);
        fileSelectionRule();
    }
    set_text(IDC_INCLUDE, includeText_);
    set_text(IDC_EXCLUDE, excludeText_);
    fill_combo(item(IDC_COMPRESSION), kRates, row_of(kRateShownFor, files_.level));
    // A new archive and the remove action show the first row.
    int action = files_.action;
    if (action == kActionCreate || action == kActionRemove) action = kActionAdd;
    fill_combo(item(IDC_ACTION), kActions, row_of(kActionCodes, action));
    // A new archive can only be filled.
    EnableWindow(item(IDC_ACTION), files_.action != kActionCreate);
    // Spanning is offered only for a new archive on a removable drive.
    if (files_.spanning > 0)
        fill_combo(item(IDC_SPANNING), kSpans, row_of(kSpanCodes, files_.spanning));
    EnableWindow(item(IDC_SPANNING), files_.spanning > 0);
    return true;
}

bool TAddFileDlg::on_command(int id, int code) {
    switch (id) {
    case IDOK:
        // Return: steps into the selected folder and never closes the dialog.
        if (selectedRow(IDC_FOLDERS) >= 0) folderChosen();
        return true;
    case IDC_OK_BUTTON:
        if (code == BN_CLICKED) ok();
        return true;
    case IDC_HELP_BUTTON:
        if (code == BN_CLICKED) help();
        return true;
    case IDC_DRIVES:
        if (code == CBN_SELCHANGE) driveChosen();
        return true;
    case IDC_FOLDERS:
        if (code == LBN_DBLCLK && selectedRow(IDC_FOLDERS) >= 0) folderChosen();
        return true;
    case IDC_FILES:
        if (code == LBN_SELCHANGE) fileSelectionRule();
        return true;
    default:
        return ui::Dialog::on_command(id, code);
    }
}

int TAddFileDlg::selectedRow(int id) const {
    UINT msg = id == IDC_FOLDERS ? LB_GETCURSEL : CB_GETCURSEL;
    return static_cast<int>(SendMessageA(item(id), msg, 0, 0));
}

void TAddFileDlg::showFolder() {
    set_text(IDC_SOURCE_FIELD, folder_);
    fill_folder_lists(item(IDC_FOLDERS), item(IDC_FILES), folder_);
    fileSelectionRule();
}

// Selected files are taken as they are, so the filters do not apply to them.
void TAddFileDlg::fileSelectionRule() {
    bool none = SendMessageA(item(IDC_FILES), LB_GETSELCOUNT, 0, 0) <= 0;
    EnableWindow(item(IDC_INCLUDE), none);
    EnableWindow(item(IDC_EXCLUDE), none);
}

void TAddFileDlg::driveChosen() {
    if (!ui::chosen_drive_root(item(IDC_DRIVES), folder_)) return;
    showFolder();
}

void TAddFileDlg::folderChosen() {
    HWND folders = item(IDC_FOLDERS);
    LRESULT row = SendMessageA(folders, LB_GETCURSEL, 0, 0);
    if (row < 0) return;
    LRESULT length = SendMessageA(folders, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (length < 0) return;
    std::vector<char> entry(static_cast<std::size_t>(length) + 1);
    SendMessageA(folders, LB_GETTEXT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(entry.data()));
    if (enter_folder(folder_, entry.data())) showFolder();
}

void TAddFileDlg::help() {
    ui::ShellRequest request;
    request.owner = hwnd();
    request.verb = "open";
    request.file = "WINHELP";
    request.parameters = std::string(" -i add ") + app().programFolder + "\\ZARVO.HLP";
    request.folder = app().settings.workDir;
    request.show = SW_SHOWNORMAL;
    ui::shell_execute(request);
}

void TAddFileDlg::ok() {
    // No selection leaves the list's value.
    auto take = [this](int id, const int* codes, std::size_t n, int* value) {
        int row = selectedRow(id);
        if (row >= 0 && static_cast<std::size_t>(row) < n) *value = codes[row];
    };
    take(IDC_COMPRESSION, kRateLevels, std::size(kRateLevels), &files_.level);
    if (files_.action != kActionCreate)
        take(IDC_ACTION, kActionCodes, std::size(kActionCodes), &files_.action);
    take(IDC_SPANNING, kSpanCodes, std::size(kSpanCodes), &files_.spanning);
    files_.recurse = flag_of(checked(IDC_RECURSE));
    files_.full_paths = flag_of(checked(IDC_FULL_PATHS));
    files_.empty_folders = flag_of(checked(IDC_EMPTY_FOLDERS));
    files_.delete_sources = flag_of(checked(IDC_DELETE_SOURCES));
    files_.set_source_folder(folder_);
    takeFiles();
    platform::copy_bounded(lastFolder_, platform::kMaxPath, folder_);
    end(IDOK);
}

// The selected files, or else the files the filters pick. What cannot be
// taken for lack of memory is left out; the rest is used.
void TAddFileDlg::takeFiles() {
    HWND list = item(IDC_FILES);
    LRESULT selected = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    std::string base = folder_;
    if (base.empty() || base.back() != '\\') base += '\\';
    if (selected <= 0) {
        platform::copy_bounded(includeText_, platform::kMaxPath, text(IDC_INCLUDE).c_str());
        platform::copy_bounded(excludeText_, platform::kMaxPath, text(IDC_EXCLUDE).c_str());
        wlist include(includeText_), exclude(excludeText_);
        include.parse();
        exclude.parse();
        // An empty text leaves one empty filter, which is no filter at all.
        bool any = false;
        for (const std::string& f : include.filters())
            any = any || !f.empty();
        if (any) collectFiles(files_, folder_, include, exclude);
    } else {
        std::vector<int> rows(static_cast<std::size_t>(selected));
        SendMessageA(list, LB_GETSELITEMS, rows.size(), reinterpret_cast<LPARAM>(rows.data()));
        for (int r : rows) {
            LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(r), 0);
            if (length < 0) continue;
            std::vector<char> name(static_cast<std::size_t>(length) + 1);
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(r),
                         reinterpret_cast<LPARAM>(name.data()));
            files_.append(base + name.data());
        }
    }
    // The archive itself is never one of its sources: adding it would copy
    // the old archive into the new one, and deleting sources afterwards
    // would delete the archive just written.
    for (fentry& e : files_.entries)
        if (compare_names(e.path.c_str(), archivePath_) == 0) e.flag = kFentrySkip;
    files_.remove_flagged(kFentrySkip);
}
