// The Extract command and its destination dialog; the confirmations the
// extraction and the deletion of sources ask.
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_win.h"
#include "app/extract_dialogs.h"
#include "app/folder_browse.h"
#include "app/job_ui.h"
#include "app/resource.h"
#include "ops/extract.h"
#include "zip/list_text.h"
#include "ops/paths.h"

namespace {

// Answer codes by the button that ended a confirmation.
std::uint32_t answer_of(INT_PTR id) {
    switch (id) {
    case IDOK:
        return 1;
    case IDC_YES_TO_ALL:
        return 8;
    case IDC_ANSWER_NO:
        return 4;
    default:
        return 16;
    }
}

bool is_answer_button(int id) {
    return id == IDOK || id == IDC_YES_TO_ALL || id == IDC_ANSWER_NO || id == IDCANCEL;
}

// "%ld Bytes  %2d/%2d/%2d  %.2d:%.2d"; DOS times are local already.
std::string size_and_time(std::uint64_t size, std::uint16_t date, std::uint16_t time) {
    platform::DosFields t = platform::split_dos_time({date, time});
    char text[80];
    std::snprintf(text, sizeof text, "%llu Bytes  %2d/%2d/%2d  %.2d:%.2d",
                  static_cast<unsigned long long>(size), t.month, t.day, t.year, t.hour, t.minute);
    return text;
}

} // namespace

bool TDirSelectDlg::on_init() {
    if (!caption_.empty()) SetWindowTextA(hwnd(), caption_.c_str());
    set_text(IDC_ARCHIVE_FIELD, archivePath_);
    set_checked(IDC_USE_FOLDER_NAMES, useFolderNames_ == 1);
    if (useFolderNames_ != 1) EnableWindow(item(IDC_USE_FOLDER_NAMES), FALSE);
    set_text(IDC_DESTINATION, destination_);
    ui::fill_drive_list(item(IDC_DRIVES), destination_);
    fill_folder_lists(item(IDC_FOLDERS), nullptr, destination_);
    return true;
}

void TDirSelectDlg::showFolder(const char* folder) {
    set_text(IDC_DESTINATION, folder);
    fill_folder_lists(item(IDC_FOLDERS), nullptr, folder);
}

void TDirSelectDlg::openSelectedFolder() {
    HWND list = item(IDC_FOLDERS);
    LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR) return;
    char entry[platform::kMaxPath + 2] = {};
    if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0) >= static_cast<LRESULT>(sizeof entry)) return;
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(entry));
    char folder[platform::kMaxPath];
    platform::copy_bounded(folder, sizeof folder, text(IDC_DESTINATION).c_str());
    if (enter_folder(folder, entry)) showFolder(folder);
}

bool TDirSelectDlg::on_command(int id, int code) {
    switch (id) {
    case IDOK: // Return: opens the selected folder, never closes the dialog
        if (GetFocus() == item(IDC_FOLDERS)) openSelectedFolder();
        return true;
    case IDC_FOLDERS:
        if (code == LBN_DBLCLK) openSelectedFolder();
        return true;
    case IDC_DRIVES:
        if (code == CBN_SELCHANGE) {
            char root[platform::kMaxPath];
            if (ui::chosen_drive_root(item(IDC_DRIVES), root)) showFolder(root);
        }
        return true;
    case IDC_OK_BUTTON: {
        useFolderNames_ = checked(IDC_USE_FOLDER_NAMES) ? 1 : 0;
        std::string chosen = text(IDC_DESTINATION, platform::kMaxPath + 1);
        platform::create_directory(chosen.c_str()); // one level; an existing folder is fine
        platform::copy_bounded(destination_, platform::kMaxPath, chosen.c_str());
        end(IDOK);
        return true;
    }
    }
    return ui::Dialog::on_command(id, code);
}

bool TOverWriteDlg::on_init() {
    set_text(IDC_REPLACE_PATH, target_);
    std::uint32_t size = 0xFFFFFFFFu;
    std::uint16_t date = 0, time = 0;
    getFileDosTime(target_, &size, &date, &time);
    // A file another program holds open for writing cannot be read.
    std::string existing = size == 0xFFFFFFFFu && date == 0 && time == 0
                               ? std::string("(size and time not known)")
                               : size_and_time(size, date, time);
    set_text(IDC_EXISTING_FILE, existing.c_str());
    const platform::DosTime shown = member_shown_time(entry_);
    set_text(IDC_MEMBER_FILE, size_and_time(entry_.uncompressed_size, shown.date, shown.time).c_str());
    return true;
}

bool TOverWriteDlg::on_command(int id, int) {
    if (!is_answer_button(id)) return false;
    end(id);
    return true;
}

bool TReadOnlyDlg::on_init() {
    set_text(IDC_REPLACE_PATH, path_);
    return true;
}

bool TReadOnlyDlg::on_command(int id, int) {
    if (!is_answer_button(id)) return false;
    end(id);
    return true;
}

std::uint32_t runOverwriteDialog(HWND parent, const char* target_path, const zentry& e) {
    return answer_of(TOverWriteDlg(parent, target_path, e).execute());
}

std::uint32_t runReadOnlyDialog(HWND parent, const char* path) {
    return answer_of(TReadOnlyDlg(parent, path).execute());
}

void TAppWin::cmExtract() {
    AppState& a = app();
    markSelected(0);
    int has_folders = static_cast<int>(a.catalog.test_has_folders());
    if (!a.extractFolder[0]) {
        platform::copy_bounded(a.extractFolder, sizeof a.extractFolder, a.archivePath);
        stripFileName(a.extractFolder);
    }
    TDirSelectDlg dialog(hwnd(), a.archivePath, a.extractFolder, has_folders);
    dialog.set_caption("ZARVO - Extract to which directory");
    if (dialog.execute() != IDOK) return;
    extract_files(a.engine, a.catalog, hwnd(), a.archivePath, a.extractFolder,
                  dialog.useFolderNames() != 0, 1);
}
