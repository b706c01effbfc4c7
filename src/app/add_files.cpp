// The New and Add commands: both fill a file list in the Add Files dialog
// and hand it to the engine's add job.
#include "app/add_files.h"

#include <commctrl.h>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/app_win.h"
#include "ops/add.h"
#include "ops/drives.h"
#include "ops/flist.h"
#include "ops/paths.h"
#include "ui/application.h"
#include "zip/errors.h"

namespace {

std::unique_ptr<flist> new_file_list(int action, int spanning) {
    auto files = std::make_unique<flist>();
    files->action = action;
    files->level = 5;
    files->spanning = spanning;
    return files;
}

// Runs the dialog over files, which belong to the engine from here on: the
// job destroys them, and a cancelled dialog discards them without touching
// a source. True when the job ran; *result is then its error.
bool run_add_files(TAppWin& win, const char* archive, std::unique_ptr<flist> files, int* result,
                   const AddPreset* preset = nullptr) {
    AppState& a = app();
    zip& z = a.engine;
    z.file_list = files.release();
    TAddFileDlg dialog(win.hwnd(), archive, a.lastFolder, *z.file_list, a.includeFilter,
                       a.excludeFilter);
    if (preset) dialog.preset(*preset);
    if (dialog.execute() != IDOK) {
        std::unique_ptr<flist> discarded(z.file_list);
        z.file_list = nullptr;
        return false;
    }
    ListView_DeleteAllItems(win.list());
    const flist& chosen = *z.file_list;
    *result = zip_operation(
        z, a.catalog, win.hwnd(), archive, static_cast<std::uint32_t>(chosen.action),
        static_cast<std::uint32_t>(chosen.level), static_cast<std::uint32_t>(chosen.spanning));
    return true;
}

} // namespace

void TAppWin::cmNew() {
    AppState& a = app();
    ui::FileDialogRequest request;
    request.owner = hwnd();
    request.save = true;
    request.overwrite_prompt = true;
    request.filter = "Zip Files |*.zip";
    request.initial_dir = a.lastFolder;
    request.default_ext = "ZIP";
    std::string chosen;
    if (!ui::ask_file_name(request, &chosen)) return;
    char path[platform::kMaxPath];
    if (!platform::copy_bounded(path, sizeof path, chosen.c_str())) return;
    platform::copy_bounded(a.lastFolder, sizeof a.lastFolder, path);
    stripFileName(a.lastFolder);
    std::uint32_t type = get_drive_type(a.engine, a.lastFolder);
    if (type == kDriveTypeRemovable || type == kDriveTypeFixed ||
        type == kDriveTypeNetwork) {
        int spanning = type == kDriveTypeRemovable ? 1 : 0;
        int r = 0;
        if (run_add_files(*this, path, new_file_list(kActionCreate, spanning), &r) && r == 0) {
            platform::copy_bounded(a.archivePath, sizeof a.archivePath, path);
            archiveOpen_ = 1;
            refreshList();
        }
    } else {
        zip_error(a.engine, ZERR_DRIVE);
    }
    // The new archive, or the previous one again when none was made.
    if (a.archivePath[0]) openArchiveView();
}

void TAppWin::cmAdd() {
    addFiles(nullptr);
}

void TAppWin::addFiles(const AddPreset* preset) {
    AppState& a = app();
    std::uint32_t type = a.engine.drive_type;
    if (type == kDriveTypeFixed || type == kDriveTypeNetwork) {
        int r = 0;
        run_add_files(*this, a.archivePath, new_file_list(kActionAdd, 0), &r, preset);
    } else {
        zip_error(a.engine, ZERR_DRIVE);
    }
    openArchiveView();
}
