// View, Run and Remove, and the watcher that offers to freshen a viewed file.
#include "app/view_run.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_win.h"

#include <commctrl.h>
#include "app/resource.h"
#include "ops/add.h"
#include "ops/extract.h"
#include "ops/paths.h"
#include "ui/process.h"
#include "zip/errors.h"
#include "zip/zlist.h"

namespace {

std::atomic<int> watchers{0};

// Set while a freshen question is up or its job runs, so that a second
// watcher's request waits for it.
bool freshening = false;

const char kWindowTagProperty[] = "zarvo.ViewWatchTag";
const UINT kFreshenRetryMs = 250;

// A number that no other main window of this process had: a request is
// carried out only by the window it was made for, even when a later window
// got the same handle.
LONG_PTR windowTag(HWND window) {
    static LONG_PTR lastTag = 0;
    auto tag = reinterpret_cast<LONG_PTR>(GetPropA(window, kWindowTagProperty));
    if (!tag) {
        tag = ++lastTag;
        SetPropA(window, kWindowTagProperty, reinterpret_cast<HANDLE>(tag));
    }
    return tag;
}

// The timer of a request that had to wait; its id is the request.
void CALLBACK askFreshenAgain(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    if (!PostMessageA(window, WM_VIEW_WATCH_DONE, 0, static_cast<LPARAM>(id)))
        delete reinterpret_cast<ViewWatchRecord*>(id);
}

std::string quoted(const std::string& program) {
    if (program.empty() || program.front() == '"') return program;
    return "\"" + program + "\"";
}

void startWatcher(HANDLE thread, const zentry& member, const char* path, HWND window) {
    auto record = std::make_unique<ViewWatchRecord>();
    record->thread = thread;
    platform::copy_bounded(record->memberName, sizeof record->memberName, member.name.c_str());
    platform::copy_bounded(record->extractedPath, sizeof record->extractedPath, path);
    record->date = member.date;
    record->time = member.time;
    record->window = window;
    record->windowTag = windowTag(window);
    platform::copy_bounded(record->archivePath, sizeof record->archivePath, app().archivePath);
    ++watchers;
    HANDLE watcher = CreateThread(nullptr, 0, &viewWatch, record.get(), 0, nullptr);
    if (!watcher) {
        --watchers;
        CloseHandle(thread);
        return;
    }
    record.release(); // the thread's now
    CloseHandle(watcher);
}

// View (run false) and Run (run true) of the first selected row.
void viewOrRun(TAppWin& w, bool run) {
    AppState& a = app();
    zlist& catalog = a.catalog;
    int row = ListView_GetNextItem(w.list(), -1, LVNI_SELECTED);
    if (row < 0 || static_cast<std::size_t>(row) >= catalog.sorted.size()) return;
    zentry* member = catalog.sorted[static_cast<std::size_t>(row)];
    if (member->is_folder()) {
        platform::message_box(
            {run ? "Can't run a stored directory." : "Can't view a stored directory.",
             "Nothing to do", platform::kMbOk | platform::kMbIconExclamation, w.hwnd()});
        return;
    }
    empty_work_folder();
    catalog.mark_all(0);
    catalog.mark(member);
    if (extract_files(a.engine, catalog, nullptr, a.archivePath, a.settings.workDir, 0, 8) != 0)
        return;
    char path[platform::kMaxPath];
    if (memberTargetPath(a.settings.workDir, member->name, false, path) != 0) return;
    // A member the extraction skipped (it said why) left nothing to open.
    if (platform::get_attributes(path) == platform::kInvalidAttributes) return;
    platform::set_attributes(path, 0); // a read-only member can be edited too

    std::string program = a.settings.viewerProgram;
    if (run) {
        // The shell names a bare program path, which may hold blanks.
        std::string associated = ui::find_associated_program(path, a.settings.workDir);
        if (!associated.empty()) program = quoted(associated);
    }
    HANDLE thread = nullptr;
    if (!startViewer(program.c_str(), path, &thread)) {
        platform::message_box(
            {run ? "No association for the file" : "Can't start the viewer program", "Warning",
             platform::kMbOk | platform::kMbIconExclamation, w.hwnd()});
        return;
    }
    if (!thread) return;
    // Only an archive on a fixed disk is freshened from the work folder.
    if (a.engine.drive_type != kDriveTypeFixed) {
        CloseHandle(thread);
        return;
    }
    startWatcher(thread, *member, path, w.hwnd());
}

} // namespace

bool startViewer(const char* program, const char* filePath, HANDLE* thread) {
    // Quoted, so that a path with blanks reaches the program as one argument.
    std::string line = std::string(program) + " \"" + filePath + "\"";
    char folder[platform::kMaxPath];
    platform::copy_bounded(folder, sizeof folder, filePath);
    stripFileName(folder);
    return ui::start_process(line, folder, thread);
}

DWORD WINAPI viewWatch(LPVOID param) {
    // This thread touches neither the engine nor the catalog nor any window
    // but the one it posts to: the freshen runs on the window's thread.
    std::unique_ptr<ViewWatchRecord> record(static_cast<ViewWatchRecord*>(param));
    WaitForSingleObject(record->thread, INFINITE);
    CloseHandle(record->thread);
    record->thread = nullptr;
    // The time comes from the folder entry, not from opening the file: an
    // open handle, however short, could make another View's emptying of the
    // work folder fail on this file. A file that is gone counts as unchanged.
    std::vector<platform::FindData> found;
    platform::DosTime written = {record->date, record->time};
    if (platform::find_files(record->extractedPath, &found) && found.size() == 1)
        written = found[0].time;
    if ((written.date != record->date || written.time != record->time) &&
        IsWindow(record->window) &&
        PostMessageA(record->window, WM_VIEW_WATCH_DONE, 0, reinterpret_cast<LPARAM>(record.get())))
        record.release(); // the window's now
    --watchers;
    return 0;
}

int viewWatchersRunning() {
    return watchers.load();
}

bool FreshenDlg::on_init() {
    set_text(IDC_FRESHEN_NAME, memberName_);
    SetForegroundWindow(hwnd());
    return true;
}

void TAppWin::cmView() {
    viewOrRun(*this, false);
}

void TAppWin::runByAssociation() {
    if (rowsSelected() && !archiveStillThere()) return;
    viewOrRun(*this, true);
}

void TAppWin::onViewWatchDone(WPARAM, LPARAM lp) {
    std::unique_ptr<ViewWatchRecord> request(reinterpret_cast<ViewWatchRecord*>(lp));
    if (!request || request->windowTag != windowTag(hwnd())) return;
    // A message that arrives inside a job's, a dialog's or another question's
    // message loop must not start an engine job of its own: it waits.
    if (freshening || !IsWindowEnabled(GetAncestor(hwnd(), GA_ROOT))) {
        if (SetTimer(hwnd(), reinterpret_cast<UINT_PTR>(request.get()), kFreshenRetryMs,
                     &askFreshenAgain))
            request.release();
        return;
    }
    AppState& a = app();
    // The file belongs to the archive it was viewed from; another archive
    // opened since must not receive it.
    if (!archiveOpen_ || lstrcmpiA(request->archivePath, a.archivePath) != 0) return;
    // An archive moved or deleted while the program ran (or while the
    // question was up) is reported as every other command reports it,
    // rather than by the engine failing to open it.
    if (!archiveStillThere()) return;
    freshening = true;
    if (FreshenDlg(hwnd(), request->memberName).execute() == IDOK && archiveStillThere()) {
        ListView_DeleteAllItems(list_);
        int r = freshen_member(a.engine, a.catalog, a.archivePath, request->memberName,
                               request->extractedPath, 5);
        if (r == 0)
            refreshList();
        else
            openArchiveView();
    }
    freshening = false;
}

void TAppWin::cmRemove() {
    AppState& a = app();
    std::uint32_t type = a.engine.drive_type;
    if (type != kDriveTypeFixed && type != kDriveTypeNetwork) {
        zip_error(a.engine, ZERR_DRIVE);
        return;
    }
    markSelected(0);
    if (a.catalog.marked >= a.catalog.count()) {
        platform::message_box({"Can't remove all files. Delete the file instead", "Warning",
                               platform::kMbOk | platform::kMbIconExclamation, hwnd()});
        return;
    }
    if (platform::message_box({"Select OK to remove the selected files.", "Confirm File Removal",
                               platform::kMbOkCancel | platform::kMbIconExclamation, hwnd()}) ==
        platform::kIdOk) {
        ListView_DeleteAllItems(list_);
        zip_operation(a.engine, a.catalog, hwnd(), a.archivePath, kActionRemove, 0, 0);
    }
    openArchiveView();
}
